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
    step->set_pattern_moves(edit.inserts_pattern, edit.deletes_pattern);
    const bool was_modified = song_.modified;
    emit aboutToChange(edit.change);
    {
        SongLockGuard lock(song_, true);
        if (!lock) return false;
        const SongSnapshot before(song_, edit.change.pattern);
        EditContext context(song_, *step);
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
    if (edit.inserts_pattern) emit patternInserted(*edit.inserts_pattern);
    if (edit.deletes_pattern) emit patternDeleted(*edit.deletes_pattern);
    if (step->touches_instruments()) {
        song_.observers.instruments_changed();
        emit instrumentsChanged();
    }
    if (edit.clean_up) run_clean_up(*step, edit.clean_up->first, edit.clean_up->second);
    if (step->empty()) {
        // Nothing changed: no step, and the song is as changed as it was.
        song_.modified = was_modified;
        return true;
    }
    history_.push(step.release());
    set_modified(!history_.isClean());
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
    if (step->empty()) {
        song_.modified = was_modified;
        return true;
    }
    history_.push(step.release());
    set_modified(!history_.isClean());
    return true;
}

void Document::run_clean_up(EditStep& step, int32_t kept_pattern, int32_t kept_voice) {
    // Voices without a note, pattern by pattern, each pattern under the lock.
    for (size_t p = 0; p < song_.patterns.size(); ++p) {
        bool locked = false;
        SongChange change;
        change.pattern = int32_t(p);
        change.kind = ChangeKind::NOTES;
        change.to = song_.patterns[p].tick_length();
        auto& voices = song_.patterns[p].voices;
        for (size_t v = 0; v < voices.size();) {
            const bool kept = int32_t(p) == kept_pattern && int32_t(v) == kept_voice;
            if (kept || voice_has_notes(voices[v])) {
                ++v;
                continue;
            }
            if (!locked) {
                emit aboutToChange(change);
                if (!lock_song(song_, true)) return;
                locked = true;
            }
            Voice removed = std::move(voices[v]);
            voices.erase(voices.begin() + std::ptrdiff_t(v));
            step.voice_removed(p, v, std::move(removed));
            emit voiceRemoved(int32_t(p), int32_t(v));
            if (int32_t(p) == kept_pattern && int32_t(v) < kept_voice) --kept_voice;
        }
        if (locked) {
            song_.observers.pattern_changed(int32_t(p));
            unlock_song(song_, true);
            emit changed(change);
        }
    }
    // Then the instruments that no voice uses, all under one lock.
    bool locked = false;
    for (size_t i = 0; i < song_.instruments.size();) {
        if (is_used(song_, uint32_t(i))) {
            ++i;
            continue;
        }
        if (!locked) {
            if (!lock_song(song_, true)) return;
            locked = true;
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
    if (!locked) return;
    unlock_song(song_, true);
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
    // Undo of an insertion is a deletion, and the other way round.
    const std::optional<size_t> came = forward ? step.inserted_pattern() : step.deleted_pattern();
    const std::optional<size_t> went = forward ? step.deleted_pattern() : step.inserted_pattern();
    if (came) song_.observers.pattern_inserted(uint32_t(*came));
    if (went) song_.observers.pattern_removed(uint32_t(*went));
    for (int32_t pattern : touched)
        song_.observers.pattern_changed(pattern);
    unlock_song(song_, true);
    for (int32_t pattern : touched)
        emit changed(whole_pattern(pattern));
    if (came) emit patternInserted(*came);
    if (went) emit patternDeleted(*went);
    if (step.touches_instruments()) {
        song_.observers.instruments_changed();
        emit instrumentsChanged();
    }
}

void Document::undo() {
    if (history_.canUndo()) history_.undo();
}

void Document::redo() {
    if (history_.canRedo()) history_.redo();
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
