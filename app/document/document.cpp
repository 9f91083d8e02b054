// The edit path, the song clean-up and the undo history.
#include "app/document/document.h"

#include <QTimer>
#include <atomic>

#include "app/common/error_box.h"
#include "app/document/edit_step.h"
#include "app/document/song_paths.h"
#include "foundation/string_table.h"
#include "song/instrument_array.h"
#include "song/song_lock.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

SongChange whole_pattern(int32_t pattern) {
    SongChange change;
    change.pattern = pattern;
    change.kind = ChangeKind::WHOLE_PATTERN;
    return change;
}

} // namespace

QString step_name(uint32_t id) {
    return id ? QString::fromUtf8(load_string(step_strings(), id)) : QString();
}

size_t EditContext::add_instrument(Instrument instrument) {
    const size_t index = tunemill::add_instrument(song_, std::move(instrument));
    step_.instrument_added(index);
    return index;
}

void EditContext::adopt_instrument(size_t index) {
    step_.instrument_added(index);
}

void EditContext::moved(const ArrangementMove& move) {
    if (listener_) listener_->moved(move);
    step_.moved(move);
}

Document::Document(QObject* parent) : QObject(parent) {
    qRegisterMetaType<tunemill::SongChange>();
    song_.lock.set_reporter(report_in_error_box);
    // Undo back to the saved point makes the song clean again, any other step changed.
    connect(&history_, &QUndoStack::cleanChanged, this,
            [this](bool clean) { set_modified(!clean); });
}

Document::~Document() = default;

uint32_t Document::new_gesture() {
    static std::atomic<uint32_t> next{1};
    return next++;
}

bool Document::edit(const Edit& edit, const std::function<void(EditContext&)>& operation) {
    auto step = std::make_unique<EditStep>(*this, step_name(edit.name), edit.gesture);
    const bool was_modified = song_.modified;
    emit aboutToChange(edit.change);
    {
        SongLockGuard lock(song_, true);
        if (!lock) return false;
        const SongSnapshot before(song_, edit.change.pattern);
        EditContext context(song_, *step, listener_);
        auto record = [&] {
            SongDiff diff = before.diff(song_);
            for (int32_t pattern : diff.touched_patterns())
                song_.observers.pattern_changed(pattern);
            step->song_changed(std::move(diff));
        };
        try {
            operation(context);
        } catch (...) {
            // What the operation managed stays, and stays undoable.
            record();
            if (!step->empty()) history_.push(step.release());
            emit changed(edit.change);
            throw;
        }
        record();
    }
    emit changed(edit.change);
    announce_pattern_moves(step->moves(true));
    if (step->touches_instruments()) {
        song_.observers.instruments_changed();
        emit instrumentsChanged();
    }
    if (edit.clean_up) run_clean_up(*step, edit.clean_up->first, edit.clean_up->second);
    commit(std::move(step), was_modified);
    return true;
}

std::optional<size_t> Document::add_temporary_instrument(Instrument instrument) {
    SongLockGuard lock(song_, false);
    if (!lock) return std::nullopt;
    return tunemill::add_instrument(song_, std::move(instrument));
}

void Document::remove_temporary_instrument() {
    if (song_.instruments.empty()) return;
    const size_t index = song_.instruments.size() - 1;
    {
        SongLockGuard lock(song_, false);
        if (!lock) return;
        song_.instruments.pop_back();
        song_.observers.instrument_removed(uint32_t(index));
    }
}

bool Document::toggle_mute(size_t pattern, size_t voice) {
    {
        SongLockGuard lock(song_, false);
        if (!lock) return false;
        if (pattern >= song_.patterns.size() || voice >= song_.patterns[pattern].voices.size())
            return false;
        Voice& target = song_.patterns[pattern].voices[voice];
        target.muted = !target.muted;
        song_.observers.pattern_changed(int32_t(pattern));
    }
    const SongChange change = whole_pattern(int32_t(pattern));
    emit aboutToChange(change);
    emit changed(change);
    return true;
}

bool Document::try_overall_tempo(int32_t tempo) {
    SongLockGuard lock(song_, false);
    if (!lock) return false;
    song_.overall_tempo = tempo;
    // Every pattern plays at another speed: the engine re-seeks.
    song_.observers.pattern_changed(-1);
    return true;
}

bool Document::clean_up(int32_t kept_pattern, int32_t kept_voice) {
    auto step = std::make_unique<EditStep>(*this, step_name(U_CLEAN_UP), 0);
    const bool was_modified = song_.modified;
    run_clean_up(*step, kept_pattern, kept_voice);
    commit(std::move(step), was_modified);
    return true;
}

void Document::commit(std::unique_ptr<EditStep> step, bool was_modified) {
    if (step->empty()) {
        // Nothing changed: no step, and the song is as changed as it was.
        song_.modified = was_modified;
        return;
    }
    history_.push(step.release());
    set_modified(!history_.isClean());
}

void Document::run_clean_up(EditStep& step, int32_t kept_pattern, int32_t kept_voice) {
    for (size_t p = 0; p < song_.patterns.size(); ++p)
        if (!clean_up_voices(step, p, kept_pattern, kept_voice)) return;
    clean_up_instruments(step);
}

bool Document::clean_up_voices(EditStep& step, size_t p, int32_t kept_pattern, int32_t kept_voice) {
    // Voices without a note; the pattern is locked once the first one goes.
    SongChange change;
    change.pattern = int32_t(p);
    change.kind = ChangeKind::NOTES;
    change.to = song_.patterns[p].tick_length();
    std::optional<SongLockGuard> lock;
    auto& voices = song_.patterns[p].voices;
    for (size_t v = 0; v < voices.size();) {
        const bool kept = int32_t(p) == kept_pattern && int32_t(v) == kept_voice;
        if (kept || voice_has_notes(voices[v])) {
            ++v;
            continue;
        }
        if (!lock) {
            emit aboutToChange(change);
            lock.emplace(song_, true);
            if (!*lock) return false;
        }
        Voice removed = std::move(voices[v]);
        voices.erase(voices.begin() + std::ptrdiff_t(v));
        step.voice_removed(p, v, std::move(removed));
        emit voiceRemoved(int32_t(p), int32_t(v));
        if (int32_t(p) == kept_pattern && int32_t(v) < kept_voice) --kept_voice;
    }
    if (!lock) return true;
    song_.observers.pattern_changed(int32_t(p));
    lock.reset();
    emit changed(change);
    return true;
}

void Document::clean_up_instruments(EditStep& step) {
    // The instruments that no voice uses, all under one lock.
    std::optional<SongLockGuard> lock;
    for (size_t i = 0; i < song_.instruments.size();) {
        if (is_used(song_, uint32_t(i))) {
            ++i;
            continue;
        }
        if (!lock) {
            lock.emplace(song_, true);
            if (!*lock) return;
        }
        Instrument removed = std::move(song_.instruments[i]);
        song_.instruments.erase(song_.instruments.begin() + std::ptrdiff_t(i));
        song_.observers.instrument_removed(uint32_t(i));
        for (size_t p = 0; p < song_.patterns.size(); ++p) {
            bool moved = false;
            for (Voice& voice : song_.patterns[p].voices)
                if (voice.instrument > i) {
                    --voice.instrument;
                    moved = true;
                }
            if (moved) song_.observers.pattern_changed(int32_t(p));
        }
        step.instrument_removed(i, std::move(removed));
    }
    if (!lock) return;
    lock.reset();
    song_.observers.instruments_changed();
    emit instrumentsChanged();
    for (size_t p = 0; p < song_.patterns.size(); ++p)
        emit changed(whole_pattern(int32_t(p)));
}

void Document::apply_history_step(EditStep& step, bool forward) {
    const std::set<int32_t> touched = step.touched_patterns();
    for (int32_t pattern : touched)
        emit aboutToChange(whole_pattern(pattern));
    if (!lock_song(song_, true)) {
        // The song could not be had: the history no longer matches it, so it is given up.
        QTimer::singleShot(0, this, [this] { history_.clear(); });
        return;
    }
    step.apply(song_, forward);
    // The engine hears the step's moves as it heard them when the change was made; undo plays
    // them backwards, so an insertion is heard as a removal and the other way round.
    const std::vector<ArrangementMove> moves = step.moves(forward);
    if (listener_)
        for (const ArrangementMove& move : moves)
            listener_->moved(move);
    for (int32_t pattern : touched)
        song_.observers.pattern_changed(pattern);
    unlock_song(song_, true);
    for (int32_t pattern : touched)
        emit changed(whole_pattern(pattern));
    announce_pattern_moves(moves);
    if (step.touches_instruments()) {
        song_.observers.instruments_changed();
        emit instrumentsChanged();
    }
}

void Document::announce_pattern_moves(const std::vector<ArrangementMove>& moves) {
    for (const ArrangementMove& move : moves) {
        if (move.kind == ArrangementMove::Kind::PATTERN_INSERTED) emit patternInserted(move.index);
        if (move.kind == ArrangementMove::Kind::PATTERN_REMOVED) emit patternDeleted(move.index);
    }
}

void Document::undo() {
    if (history_.canUndo()) history_.undo();
}

void Document::redo() {
    if (history_.canRedo()) history_.redo();
}

bool Document::replace_song(const std::function<void(Song&)>& make) {
    {
        SongLockGuard lock(song_, false, false);
        if (!lock) return false;
        make(song_);
        song_.modified = false;
        for (size_t index = 0; index < song_.patterns.size(); ++index)
            song_.observers.pattern_changed(int32_t(index));
    }
    song_replaced();
    return true;
}

void Document::set_file(std::string path, bool song_file) {
    song_.path = std::move(path);
    song_.song_file = song_file;
}

void Document::song_replaced() {
    history_.clear();
    history_.setClean();
    set_modified(false);
    emit songReplaced();
}

void Document::mark_saved() {
    history_.setClean();
    set_modified(false);
    emit songSaved();
}

void Document::mark_recovered() {
    history_.clear();
    history_.resetClean();
    set_modified(true);
}

void Document::set_modified(bool modified) {
    const bool was = song_.modified;
    song_.modified = modified;
    if (was != modified || modified_announced_ != modified) {
        modified_announced_ = modified;
        emit modifiedChanged(modified);
    }
}

QString Document::window_title() const {
    return song_window_title(song_.path);
}

void Document::announce_all() {
    song_.observers.instruments_changed();
    emit instrumentsChanged();
    for (size_t p = 0; p < song_.patterns.size(); ++p) {
        const SongChange change = whole_pattern(int32_t(p));
        emit aboutToChange(change);
        emit changed(change);
    }
}

} // namespace tunemill
