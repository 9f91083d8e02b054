// The model of one pattern window.
#include "app/pattern/editor.h"

#include <algorithm>

#include "app/document/document.h"
#include "app/live/player.h"
#include "settings/settings.h"

namespace tunemill {

namespace {

const Pattern& empty_pattern() {
    static const Pattern empty;
    return empty;
}

} // namespace

PatternEditor::PatternEditor(Document& document, EnginePlayer* player, QObject* parent)
    : QObject(parent), document_(document), player_(player) {
    for (int pane = 0; pane < PANE_COUNT; ++pane)
        rows_[pane].rows = pane_rows(Pane(pane));
}

PatternEditor::~PatternEditor() {
    stop_owned_block_playback();
}

const Song& PatternEditor::song() const {
    return document_.song();
}
int32_t PatternEditor::ticks_per_beat() const {
    return std::max(song().ticks_per_beat, 1);
}
int32_t PatternEditor::beats_per_measure() const {
    return std::max(song().beats_per_measure, 1);
}

bool PatternEditor::pattern_valid() const {
    return pattern_ < song().patterns.size();
}

const Pattern& PatternEditor::pattern() const {
    return pattern_valid() ? song().patterns[pattern_] : empty_pattern();
}

const Voice* PatternEditor::current_voice() const {
    const Pattern& shown = pattern();
    return voice_ < shown.voices.size() ? &shown.voices[voice_] : nullptr;
}

void PatternEditor::set_voice(size_t voice) {
    const size_t count = pattern().voices.size();
    if (count == 0)
        voice = 0;
    else
        voice = std::min(voice, count - 1);
    if (voice == voice_) return;
    voice_ = voice;
    emit voicesChanged();
    emit repaintAll();
    emit stateChanged();
}

void PatternEditor::switch_to(size_t index) {
    if (index == pattern_) return;
    stop_owned_block_playback();
    end_recording();
    // The current voice follows its instrument: the k-th voice of that instrument here is the
    // k-th voice of that instrument there (the last one when there are fewer, else voice 0).
    size_t next_voice = 0;
    if (const Voice* old = current_voice(); old && index < song().patterns.size()) {
        size_t k = 0;
        for (size_t v = 0; v < voice_; ++v)
            k += pattern().voices[v].instrument == old->instrument;
        const auto& voices = song().patterns[index].voices;
        size_t seen = 0;
        for (size_t v = 0; v < voices.size(); ++v) {
            if (voices[v].instrument != old->instrument) continue;
            next_voice = v;
            if (seen++ == k) break;
        }
    }
    pattern_ = index;
    voice_ = next_voice;
    block_ = {};
    cursor_ = 0;
    geometry_.first_tick = 0;
    transpose_mode_ = false;
    playback_tick_ = -1;
    emit patternShown();
    emit voicesChanged();
    emit scrollChanged();
    emit blockChanged();
    emit cursorMoved();
    emit stateChanged();
    emit repaintAll();
}

void PatternEditor::renumber(size_t index) {
    if (index == pattern_) return;
    pattern_ = index;
    emit patternShown();
}

void PatternEditor::song_replaced() {
    end_recording();
    block_playing_ = false;
    block_ = {};
    cursor_ = 0;
    voice_ = 0;
    geometry_.first_tick = 0;
    transpose_mode_ = false;
    playback_tick_ = -1;
    playing_ = false;
    fit_note_length();
    emit patternShown();
    emit patternListChanged();
    emit voicesChanged();
    emit scrollChanged();
    emit blockChanged();
    emit cursorMoved();
    emit stateChanged();
    emit repaintAll();
}

// --- Geometry and scrolling ------------------------------------------------------------------

void PatternEditor::set_cell_size(int cell_x, int cell_y) {
    cell_x = clamp_cell_size(cell_x);
    cell_y = clamp_cell_size(cell_y);
    if (cell_x == geometry_.cell_x && cell_y == geometry_.cell_y) return;
    geometry_.cell_x = cell_x;
    geometry_.cell_y = cell_y;
    emit repaintAll();
}

void PatternEditor::set_visible_columns(int columns) {
    columns = std::max(columns, 0);
    if (columns == geometry_.visible_columns) return;
    geometry_.visible_columns = columns;
    clamp_first_beat();
    emit scrollChanged();
}

void PatternEditor::set_visible_rows(Pane pane, int visible) {
    PaneRows& rows = rows_[pane_number(pane)];
    rows.visible = std::max(visible, 0);
    // Until a pane is scrolled, each sizing (the window laid out, maximized or resized after it
    // was made) places pitch 36 two thirds down the note pane, and the curve's default value in
    // the middle of a curve pane.
    if (!rows_scrolled_[pane_number(pane)] && visible > 0) {
        switch (pane) {
        case Pane::NOTES:
            rows.first = initial_note_row(visible);
            break;
        case Pane::VOLUME:
            rows.first = 0;
            break;
        case Pane::BALANCE:
            rows.first = row_of_value(DEFAULT_BALANCE) - visible / 2;
            break;
        case Pane::TEMPO:
            rows.first = row_of_value(DEFAULT_TEMPO_VALUE) - visible / 2;
            break;
        }
    }
    rows.first = std::clamp(rows.first, 0, rows.max_first());
    emit rowsScrolled(pane);
}

void PatternEditor::set_first_row(Pane pane, int first) {
    PaneRows& rows = rows_[pane_number(pane)];
    first = std::clamp(first, 0, rows.max_first());
    rows_scrolled_[pane_number(pane)] = true;
    if (first == rows.first) return;
    rows.first = first;
    emit rowsScrolled(pane);
}

BeatScroll PatternEditor::scroll() const {
    return beat_scroll(pattern().tick_length(), geometry_.visible_columns, ticks_per_beat());
}

int PatternEditor::first_beat() const {
    return int(geometry_.first_tick / Tick(ticks_per_beat()));
}

bool PatternEditor::set_first_beat(int beat, bool by_user) {
    if (by_user && !user_moves_allowed()) return false;
    beat = std::clamp(beat, 0, scroll().max_first);
    const Tick first = Tick(beat) * Tick(ticks_per_beat());
    if (first == geometry_.first_tick) return false;
    geometry_.first_tick = first;
    emit scrollChanged();
    emit repaintAll();
    return true;
}

void PatternEditor::clamp_first_beat() {
    // The first visible tick stays a whole beat within the scroll range (a shorter pattern or
    // another ticks per beat pulls it back).
    const int beat = std::clamp(first_beat(), 0, scroll().max_first);
    const Tick first = Tick(beat) * Tick(ticks_per_beat());
    if (first != geometry_.first_tick) {
        geometry_.first_tick = first;
        emit repaintAll();
    }
}

void PatternEditor::scroll_to_show(Tick tick) {
    const int columns = geometry_.visible_columns;
    if (columns <= 0) return;
    const Tick per_beat = Tick(ticks_per_beat());
    const Tick first = geometry_.first_tick;
    if (tick < first) {
        set_first_beat(int(tick / per_beat), false);
    } else if (tick >= first + Tick(columns)) {
        set_first_beat(int((tick - Tick(columns)) / per_beat + 1), false);
    }
}

// --- Panes shown -----------------------------------------------------------------------------

void PatternEditor::set_shown(Pane pane, bool shown) {
    if (pane == Pane::NOTES || shows(pane) == shown) return;
    shown_[pane_number(pane)] = shown;
    // A block of a pane that goes counts as a note-pane block from now on.
    if (!shown && block_.exists() && block_.pane == pane) block_.pane = Pane::NOTES;
    emit panesChanged();
    emit stateChanged();
}

// --- Block -----------------------------------------------------------------------------------

void PatternEditor::set_block(Tick a, Tick b, Pane pane) {
    const Tick length = pattern().tick_length();
    a = std::min(a, length);
    b = std::min(b, length);
    EditorBlock next{std::min(a, b), std::max(a, b), shows(pane) ? pane : Pane::NOTES};
    if (!next.exists()) next = {};
    if (next == block_) return;
    stop_owned_block_playback();
    if (recording_.active && recording_.block) end_recording();
    const EditorBlock old_block = block_;
    block_ = next;
    repaint_block_columns(old_block, block_);
    emit blockChanged();
    emit stateChanged();
}

void PatternEditor::repaint_block_columns(const EditorBlock& old_block,
                                          const EditorBlock& new_block) {
    for (const EditorBlock& block : {old_block, new_block})
        if (block.exists()) emit repaintColumns(ALL_PANES, block.from, block.to);
}

bool PatternEditor::all_voices_scope() const {
    return settings().all_voices != 0 || block_.pane == Pane::TEMPO || !has_voices();
}

Block PatternEditor::operation_block() const {
    Block block;
    block.from = block_.from;
    block.to = block_.to;
    switch (block_.pane) {
    case Pane::NOTES:
        block.aspect = Aspect::NOTES;
        break;
    case Pane::VOLUME:
        block.aspect = Aspect::VOLUME;
        break;
    case Pane::BALANCE:
        block.aspect = Aspect::BALANCE;
        break;
    case Pane::TEMPO:
        block.aspect = Aspect::TEMPO;
        break;
    }
    block.voice = all_voices_scope() ? ALL_VOICES : int32_t(voice_);
    return block;
}

// --- Cursor ----------------------------------------------------------------------------------

void PatternEditor::set_cursor(Tick tick) {
    const Tick old = cursor_;
    cursor_ = tick;
    scroll_to_show(tick);
    if (old == tick) return;
    emit repaintColumns(ALL_PANES, old, old + 1);
    emit repaintColumns(ALL_PANES, tick, tick + 1);
    emit cursorMoved();
}

bool PatternEditor::user_moves_allowed() const {
    return !recording_.active && !(follow_ && playing_);
}

Tick PatternEditor::cursor_limit() const {
    const int64_t limit = int64_t(pattern().tick_length()) + geometry_.visible_columns - 1;
    return Tick(std::max<int64_t>(limit, 1));
}

bool PatternEditor::move_cursor_key(int key, bool shift) {
    if (!user_moves_allowed()) return false;
    const Tick from = cursor_;
    Tick to = from;
    switch (key) {
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = pattern().tick_length();
        break;
    case Qt::Key_Left:
        to = from > 0 ? from - 1 : 0;
        break;
    case Qt::Key_Right:
        if (from + 1 < cursor_limit()) to = from + 1;
        break;
    default:
        return false;
    }
    if (shift) {
        // The block edge where the cursor stood goes with it; with no block, one is made from
        // where the cursor stood to where it goes.
        if (block_.exists() && from == block_.from)
            set_block(to, block_.to, Pane::NOTES);
        else if (block_.exists() && from == block_.to)
            set_block(block_.from, to, Pane::NOTES);
        else
            set_block(from, to, Pane::NOTES);
    }
    if (to == from) {
        scroll_to_show(to);
        return false;
    }
    set_cursor(to);
    return true;
}

// --- Playback --------------------------------------------------------------------------------

void PatternEditor::set_playback_tick(int64_t tick) {
    if (tick == playback_tick_) return;
    const int64_t old = playback_tick_;
    playback_tick_ = tick;
    if (old >= 0) emit repaintColumns(ALL_PANES, Tick(old), Tick(old) + 1);
    if (tick >= 0) emit repaintColumns(ALL_PANES, Tick(tick), Tick(tick) + 1);
}

void PatternEditor::show_position(uint32_t pattern_index, int32_t tick) {
    if (tick < 0) return;
    const bool leading = follow_ || recording_.active;
    if (!leading && pattern_index != pattern_) {
        // The playback went on in another pattern: this one's cell goes.
        set_playback_tick(-1);
        return;
    }
    // A block playback of this window shows nothing past the block's end.
    if (block_playing_ && block_.exists() && !recording_.active && Tick(tick) >= block_.to) return;
    const bool was_playing = playing_;
    playing_ = true;
    if (leading) {
        if (pattern_index != pattern_ && pattern_index < song().patterns.size())
            switch_to(pattern_index);
        const int64_t first =
            follow_jump(Tick(tick), geometry_.first_tick, geometry_.visible_columns,
                        pattern().tick_length(), ticks_per_beat(), beats_per_measure());
        if (first >= 0) set_first_beat(int(first / ticks_per_beat()), false);
        set_playback_tick(tick);
        set_cursor(Tick(tick));
    } else {
        set_playback_tick(tick);
    }
    if (!was_playing) emit stateChanged();
}

void PatternEditor::playback_ended() {
    const bool was_playing = playing_;
    playing_ = false;
    block_playing_ = false;
    // A recording that is still waiting for its first note goes on waiting.
    if (recording_.active && !recording_.start_pending) end_recording();
    if (!recording_.active) set_playback_tick(-1);
    if (was_playing) emit stateChanged();
}

void PatternEditor::stop_owned_block_playback() {
    if (!block_playing_) return;
    block_playing_ = false;
    if (player_) player_->output().stop_block_if_owned(this);
}

// --- Modes -----------------------------------------------------------------------------------

void PatternEditor::set_follow(bool follow) {
    if (follow == follow_) return;
    follow_ = follow;
    emit stateChanged();
}

void PatternEditor::set_note_length(int index) {
    if (index < 0 || index >= NOTE_LENGTHS) return;
    note_length_ = index;
    emit stateChanged();
}

void PatternEditor::fit_note_length() {
    const int fitted = usable_note_length(note_length_, ticks_per_beat(), beats_per_measure());
    if (fitted == note_length_) return;
    note_length_ = fitted;
    emit stateChanged();
}

bool PatternEditor::note_length_usable() const {
    return tunemill::note_length_usable(note_length_, ticks_per_beat(), beats_per_measure());
}

Tick PatternEditor::note_length_ticks() const {
    return tunemill::note_length_ticks(note_length_, ticks_per_beat());
}

// --- Recording -------------------------------------------------------------------------------

bool PatternEditor::start_recording(bool block) {
    if (!has_voices() || (block && !block_.exists())) return false;
    if (player_) player_->stop();
    block_playing_ = false;
    playing_ = false;
    emit discardPositions();
    recording_ = {};
    recording_.active = true;
    recording_.block = block;
    recording_.start_pending = true;
    const Tick start = block ? block_.from : 0;
    set_playback_tick(start);
    set_cursor(start);
    emit stateChanged();
    return true;
}

void PatternEditor::end_recording() {
    if (!recording_.active) return;
    const bool owned = block_playing_;
    recording_ = {};
    if (owned && player_) {
        block_playing_ = false;
        player_->output().stop_recording_if_owned(this);
    }
    set_playback_tick(-1);
    emit stateChanged();
}

Tick PatternEditor::entry_position() const {
    if ((follow_ || recording_.active) && playback_tick_ >= 0) return Tick(playback_tick_);
    return cursor_;
}

// --- Change notices --------------------------------------------------------------------------

unsigned PatternEditor::panes_of(const SongChange& change) const {
    switch (change.kind) {
    case ChangeKind::NOTES:
        return pane_bit(Pane::NOTES);
    case ChangeKind::VOLUME:
        return pane_bit(Pane::VOLUME);
    case ChangeKind::BALANCE:
        return pane_bit(Pane::BALANCE);
    case ChangeKind::TEMPO:
        return pane_bit(Pane::TEMPO);
    default:
        return ALL_PANES;
    }
}

void PatternEditor::change_begins(const SongChange& change) {
    if (change.pattern < 0 || size_t(change.pattern) == pattern_)
        length_before_change_ = pattern().tick_length();
}

void PatternEditor::change_done(const SongChange& change) {
    const bool whole =
        change.kind == ChangeKind::WHOLE_PATTERN || change.kind == ChangeKind::VOICES;
    if (whole || change.pattern < 0) emit patternListChanged();
    if (change.pattern >= 0 && size_t(change.pattern) != pattern_) return;
    if (change.pattern < 0) fit_note_length();
    // The voice stays inside the pattern's voices.
    const size_t count = pattern().voices.size();
    if (count && voice_ >= count) voice_ = count - 1;
    if (!count) voice_ = 0;
    const Tick length = pattern().tick_length();
    if (change.pattern < 0) geometry_.first_tick = Tick(first_beat()) * Tick(ticks_per_beat());
    clamp_first_beat();
    emit scrollChanged();
    if (whole || change.pattern < 0) {
        emit voicesChanged();
        emit repaintAll();
    } else {
        emit repaintColumns(panes_of(change), change.from, change.to);
        if (length != length_before_change_) {
            // The pattern's end moved: its double line is drawn in every pane.
            emit repaintColumns(ALL_PANES,
                                std::min(length, length_before_change_) -
                                    std::min<Tick>(1, std::min(length, length_before_change_)),
                                std::max(length, length_before_change_) + 1);
        }
    }
    length_before_change_ = length;
    emit stateChanged();
}

void PatternEditor::voice_removed(int32_t pattern_index, int32_t voice) {
    if (pattern_index < 0 || size_t(pattern_index) != pattern_) return;
    if (int32_t(voice_) > voice) --voice_;
    const size_t count = pattern().voices.size();
    if (count && voice_ >= count) voice_ = count - 1;
    emit voicesChanged();
}

} // namespace tunemill
