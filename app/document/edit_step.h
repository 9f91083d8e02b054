// One step of the undo history: what one command did to the song, as a list of actions that run
// forward on redo and backward on undo. A change of song data is kept as a diff; instruments and
// voices that the song clean-up removed, and instruments a command added, travel whole (moved,
// never copied), so a step holds no more than its change touched.
#pragma once

#include <QUndoCommand>
#include <cstdint>
#include <set>
#include <variant>
#include <vector>

#include "app/document/song_diff.h"
#include "song/arrangement.h"

namespace tunemill {

class Document;

class EditStep : public QUndoCommand {
  public:
    EditStep(Document& document, const QString& text, uint32_t gesture);

    // QUndoStack::push runs redo() once; the change has been made already by then.
    void redo() override;
    void undo() override;
    int id() const override { return gesture_ ? 0x4D : -1; }
    bool mergeWith(const QUndoCommand* other) override;

    // Recording, in the order things happened.
    void instrument_added(size_t index);
    void song_changed(SongDiff diff);
    void voice_removed(size_t pattern, size_t index, Voice voice);
    void instrument_removed(size_t index, Instrument instrument);

    // A move of the pattern list or the sequence, told to the song's observers as it happened.
    void moved(const ArrangementMove& move) { moves_.push_back(move); }

    bool empty() const { return actions_.empty() && moves_.empty(); }

    // The moves in the order they are told when the step runs forward (redo) or backward (undo):
    // backward is the list reversed, each move reversed; the sequence entries' moves come before
    // the patterns'.
    std::vector<ArrangementMove> moves(bool forward) const;

    // Runs the actions on the song (the caller holds the song lock and tells everyone).
    void apply(Song& song, bool forward);
    // What the actions touch: patterns (-1: the whole song) and whether the instrument list.
    std::set<int32_t> touched_patterns() const;
    bool touches_instruments() const;

  private:
    struct InstrumentAdded {
        size_t index;
        std::vector<Instrument> held; // the instrument while the step is undone
    };
    struct VoiceRemoved {
        size_t pattern;
        size_t index;
        std::vector<Voice> held; // the voice while the step is done
    };
    struct InstrumentRemoved {
        size_t index;
        std::vector<Instrument> held; // the instrument while the step is done
    };
    using Action = std::variant<InstrumentAdded, SongDiff, VoiceRemoved, InstrumentRemoved>;

    void apply(Song& song, Action& action, bool forward);

    Document& document_;
    uint32_t gesture_;
    bool first_redo_ = true;
    std::vector<Action> actions_;
    std::vector<ArrangementMove> moves_;
};

} // namespace tunemill
