// Undo steps.
#include "app/document/edit_step.h"

#include <algorithm>

#include "app/document/document.h"

namespace tunemill {

namespace {

// Instrument indices of every voice from `from` on move by `delta` (an instrument left or came
// back at `from`).
void shift_instrument_indices(Song& song, size_t from, int delta) {
    for (Pattern& pattern : song.patterns)
        for (Voice& voice : pattern.voices)
            if (voice.instrument >= from)
                voice.instrument = uint32_t(int64_t(voice.instrument) + delta);
}

} // namespace

EditStep::EditStep(Document& document, const QString& text, uint32_t gesture)
    : QUndoCommand(text), document_(document), gesture_(gesture) {}

void EditStep::redo() {
    if (first_redo_) {
        first_redo_ = false;
        return;
    }
    document_.apply_history_step(*this, true);
}

void EditStep::undo() {
    document_.apply_history_step(*this, false);
}

bool EditStep::mergeWith(const QUndoCommand* other) {
    const auto* step = dynamic_cast<const EditStep*>(other);
    if (!step || step->gesture_ != gesture_) return false;
    auto* source = const_cast<EditStep*>(step);
    for (Action& action : source->actions_)
        actions_.push_back(std::move(action));
    source->actions_.clear();
    moves_.insert(moves_.end(), source->moves_.begin(), source->moves_.end());
    source->moves_.clear();
    return true;
}

void EditStep::instrument_added(size_t index) {
    actions_.push_back(InstrumentAdded{index, {}});
}

void EditStep::song_changed(SongDiff diff) {
    if (!diff.empty()) actions_.push_back(std::move(diff));
}

void EditStep::voice_removed(size_t pattern, size_t index, Voice voice) {
    VoiceRemoved removed{pattern, index, {}};
    removed.held.push_back(std::move(voice));
    actions_.push_back(std::move(removed));
}

void EditStep::instrument_removed(size_t index, Instrument instrument) {
    InstrumentRemoved removed{index, {}};
    removed.held.push_back(std::move(instrument));
    actions_.push_back(std::move(removed));
}

void EditStep::apply(Song& song, bool forward) {
    if (forward) {
        for (Action& action : actions_)
            apply(song, action, true);
    } else {
        for (auto at = actions_.rbegin(); at != actions_.rend(); ++at)
            apply(song, *at, false);
    }
}

void EditStep::apply(Song& song, Action& action, bool forward) {
    if (auto* diff = std::get_if<SongDiff>(&action)) {
        diff->apply(song, forward);
    } else if (auto* added = std::get_if<InstrumentAdded>(&action)) {
        if (forward) {
            song.instruments.insert(song.instruments.begin() + std::ptrdiff_t(added->index),
                                    std::move(added->held.front()));
            added->held.clear();
        } else {
            added->held.push_back(std::move(song.instruments[added->index]));
            song.instruments.erase(song.instruments.begin() + std::ptrdiff_t(added->index));
            song.observers.instrument_removed(uint32_t(added->index));
        }
    } else if (auto* voice = std::get_if<VoiceRemoved>(&action)) {
        auto& voices = song.patterns[voice->pattern].voices;
        if (forward) {
            voice->held.push_back(std::move(voices[voice->index]));
            voices.erase(voices.begin() + std::ptrdiff_t(voice->index));
        } else {
            voices.insert(voices.begin() + std::ptrdiff_t(voice->index),
                          std::move(voice->held.front()));
            voice->held.clear();
        }
    } else if (auto* instrument = std::get_if<InstrumentRemoved>(&action)) {
        if (forward) {
            instrument->held.push_back(std::move(song.instruments[instrument->index]));
            song.instruments.erase(song.instruments.begin() + std::ptrdiff_t(instrument->index));
            shift_instrument_indices(song, instrument->index + 1, -1);
            song.observers.instrument_removed(uint32_t(instrument->index));
        } else {
            shift_instrument_indices(song, instrument->index, +1);
            song.instruments.insert(song.instruments.begin() + std::ptrdiff_t(instrument->index),
                                    std::move(instrument->held.front()));
            instrument->held.clear();
        }
    }
}

std::vector<ArrangementMove> EditStep::moves(bool forward) const {
    std::vector<ArrangementMove> told;
    if (forward) {
        told = moves_;
    } else {
        for (auto at = moves_.rbegin(); at != moves_.rend(); ++at)
            told.push_back(at->reversed());
    }
    // The entries' moves come first: a pattern's move makes a playing song take the pattern of
    // the entry it stands at, which the entries' moves set.
    std::stable_partition(told.begin(), told.end(), [](const ArrangementMove& move) {
        return move.kind == ArrangementMove::Kind::ENTRY_INSERTED ||
               move.kind == ArrangementMove::Kind::ENTRY_REMOVED;
    });
    return told;
}

std::set<int32_t> EditStep::touched_patterns() const {
    std::set<int32_t> touched;
    for (const Action& action : actions_) {
        if (const auto* diff = std::get_if<SongDiff>(&action)) {
            for (int32_t pattern : diff->touched_patterns())
                touched.insert(pattern);
        } else if (const auto* voice = std::get_if<VoiceRemoved>(&action)) {
            touched.insert(int32_t(voice->pattern));
        } else {
            touched.insert(-1); // instrument indices of every pattern may move
        }
    }
    if (touched.count(-1)) return {-1};
    return touched;
}

bool EditStep::touches_instruments() const {
    for (const Action& action : actions_) {
        if (std::holds_alternative<InstrumentAdded>(action) ||
            std::holds_alternative<InstrumentRemoved>(action))
            return true;
        if (const auto* diff = std::get_if<SongDiff>(&action))
            if (diff->fields && diff->fields->first.instruments != diff->fields->second.instruments)
                return true;
    }
    return false;
}

} // namespace tunemill
