// The composer's document: the one song of the run and the one road by which any window changes
// it. Every change is made by edit(): the views are told that a change begins, the song lock is
// taken (marking the song changed), the operation runs, the playback engine is told which
// patterns changed, the lock is released and the views are told that the change is done. Each
// change is one step of the undo history; the song clean-up that follows a command belongs to
// that command's step. The modified flag, the window title and the history's saved point live
// here too.
#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "song/arrangement.h"
#include "song/song.h"

namespace tunemill {

class EditStep;

// Handed to an operation: the song, and the only ways an instrument enters the song's list
// during a change (so that undo can take it out again).
class EditContext {
  public:
    EditContext(Song& song, EditStep& step, ArrangementListener* listener)
        : song_(song), step_(step), listener_(listener) {}
    Song& song() { return song_; }
    // Appends the instrument to the song's list; returns its index.
    size_t add_instrument(Instrument instrument);
    // Makes a temporary instrument (Document::add_temporary_instrument) a lasting part of the
    // song in this step: undo takes it out again.
    void adopt_instrument(size_t index);
    // Tells the arrangement's listener (the playback engine) of a move of the pattern list or
    // the sequence the operation made. The step keeps it and tells it again on redo, reversed on
    // undo; the pattern windows follow pattern moves.
    void moved(const ArrangementMove& move);

  private:
    Song& song_;
    EditStep& step_;
    ArrangementListener* listener_;
};

// One change as the views are told of it and as the history keeps it.
struct Edit {
    // Dialog string id of the step's name ("Add Voice"); the history shows it.
    uint32_t name = 0;
    // What the views are told: pattern (-1 for the whole song), voice (-1 for all), what changes
    // and the tick range. The pattern also bounds what the step keeps: an edit of one pattern
    // keeps that pattern's differences only.
    SongChange change;
    // Run the song clean-up afterwards, keeping this voice (pattern, voice; -1, -1 keeps none).
    std::optional<std::pair<int32_t, int32_t>> clean_up;
    // Several edits with the same non-zero gesture id in a row form one step (a mouse drag).
    uint32_t gesture = 0;
};

class Document : public QObject {
    Q_OBJECT

  public:
    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    // Who follows the moves of the arrangement while the song plays (none: nobody).
    void set_arrangement_listener(ArrangementListener* listener) { listener_ = listener; }

    // Read access for the windows; changes go through edit().
    const Song& song() const { return song_; }
    // The song itself, for the playback engine, the audio export and the autosave, which lock
    // it themselves.
    Song& song_for_engine() { return song_; }

    // --- The song's file ---
    // Another song takes this one's place (New, Load): `make` fills the song under the lock, the
    // engine hears that every pattern changed, the history starts afresh and the song is clean.
    // False when the lock was refused ("Internal error" has been shown; the song is unchanged).
    // An ERROR thrown by `make` passes on, with the song as `make` left it.
    bool replace_song(const std::function<void(Song&)>& make);
    // Where the song is kept: its path, and whether a song file of its own lies there (Save
    // writes to it) or the path is only the name to offer (Save asks).
    void set_file(std::string path, bool song_file);
    const std::string& path() const { return song_.path; }
    bool has_file() const { return song_.song_file; }

    // The edit path. Returns false when nothing was done (the lock was refused: "Internal error"
    // has been shown). An ERROR thrown by the operation leaves what it did undoable and passes on.
    bool edit(const Edit& edit, const std::function<void(EditContext&)>& operation);

    // The instrument browser's previews: an instrument put at the end of the song's list while
    // the dialog is open, so the engine can sound it. No step and no change of the song: the
    // browser takes it out again before it closes, or an edit adopts it (EditContext).
    // Its index, or none when the lock was refused ("Internal error" has been shown).
    std::optional<size_t> add_temporary_instrument(Instrument instrument);
    // Removes the last instrument of the list, which must be a temporary one nobody uses.
    void remove_temporary_instrument();

    // Toggles a voice's mute flag: under the lock, without marking the song changed, not a step.
    bool toggle_mute(size_t pattern, size_t voice);

    // The overall tempo tried out while Song Options is open: under the lock, heard at once,
    // without marking the song changed and not a step (the dialog's OK makes the step).
    bool try_overall_tempo(int32_t tempo);

    // The song clean-up outside a command (Save's): a step of its own when it removed something.
    bool clean_up(int32_t kept_pattern, int32_t kept_voice);

    // Another new or loaded song: the history starts afresh, the song is clean.
    void song_replaced();
    // The song was written to its file: this is the saved point of the history.
    void mark_saved();
    // A song recovered from an autosave: changed, with no saved point in its history.
    void mark_recovered();

    QUndoStack& history() { return history_; }
    void undo();
    void redo();

    bool modified() const { return song_.modified; }
    // "Tunemill - " and the song's name.
    QString window_title() const;

    // Tells every view that each pattern changed wholly (after New, Load, Song Options).
    void announce_all();

    // A gesture id for a run of edits that make one step.
    static uint32_t new_gesture();

  signals:
    // The views: a change begins / is done (the same notice both times).
    void aboutToChange(const tunemill::SongChange& change);
    void changed(const tunemill::SongChange& change);
    // Voice index `voice` of the pattern is gone; later voices moved down by one.
    void voiceRemoved(int32_t pattern, int32_t voice);
    // A pattern came in at `index` (later ones moved up) or the one at `index` went (later
    // ones moved down), by an edit or by undo and redo.
    void patternInserted(size_t index);
    void patternDeleted(size_t index);
    // The song's instrument list changed (names, categories, instruments added or removed).
    void instrumentsChanged();
    // The modified flag changed (the title follows it).
    void modifiedChanged(bool modified);
    // The song was written to its file, or another song took its place.
    void songSaved();
    void songReplaced();

  private:
    friend class EditStep;
    friend class EditContext;
    void run_clean_up(EditStep& step, int32_t kept_pattern, int32_t kept_voice);
    // The clean-up of one pattern's voices (false when the lock was refused), and of the
    // instruments.
    bool clean_up_voices(EditStep& step, size_t pattern, int32_t kept_pattern, int32_t kept_voice);
    void clean_up_instruments(EditStep& step);
    void set_modified(bool modified);
    // The step goes onto the history, unless it changed nothing (the modified flag is then as it
    // was before).
    void commit(std::unique_ptr<EditStep> step, bool was_modified);
    // Tells the views of the pattern moves among the step's moves.
    void announce_pattern_moves(const std::vector<ArrangementMove>& moves);
    // Undo (forward false) or redo of one step under the lock; the engine and the views learn
    // what it touched.
    void apply_history_step(EditStep& step, bool forward);

    Song song_;
    ArrangementListener* listener_ = nullptr;
    QUndoStack history_;
    bool modified_announced_ = false;
};

// The text of a dialog string id in the current language.
QString step_name(uint32_t id);

} // namespace tunemill

Q_DECLARE_METATYPE(tunemill::SongChange)
