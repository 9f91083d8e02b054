// The mouse tools of an edit pane.
#include "app/pattern/mouse_tools.h"

#include <algorithm>

#include "app/document/document.h"
#include "settings/settings.h"
#include "song/voice_cursor.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

Aspect aspect_of(Pane pane) {
    switch (pane) {
    case Pane::VOLUME:
        return Aspect::VOLUME;
    case Pane::BALANCE:
        return Aspect::BALANCE;
    case Pane::TEMPO:
        return Aspect::TEMPO;
    default:
        return Aspect::NOTES;
    }
}

ChangeKind change_kind_of(Pane pane) {
    switch (pane) {
    case Pane::VOLUME:
        return ChangeKind::VOLUME;
    case Pane::BALANCE:
        return ChangeKind::BALANCE;
    case Pane::TEMPO:
        return ChangeKind::TEMPO;
    default:
        return ChangeKind::NOTES;
    }
}

void narrow(int key, int& low, int& high) {
    low = std::max(low, -key);
    high = std::min(high, int(KEY_COUNT) - 1 - key);
}

} // namespace

std::pair<int, int> transpose_limits(const Pattern& pattern, const Block& block) {
    int low = -(int(KEY_COUNT) - 1);
    int high = int(KEY_COUNT) - 1;
    for (size_t v = 0; v < pattern.voices.size(); ++v) {
        if (block.voice != ALL_VOICES && size_t(block.voice) != v) continue;
        const Voice& voice = pattern.voices[v];
        VoiceCursor cursor(voice);
        cursor.seek(block.from);
        size_t i = cursor.next_index();
        // The note offs lying exactly at the block's start end their keys first.
        for (size_t j = i; j < voice.events.size() && voice.events[j].tick == block.from; ++j)
            if (voice.events[j].kind == NOTE_OFF) cursor.clear_key(voice.events[j].param1);
        for (Key key = 0; key < KEY_COUNT; ++key)
            if (cursor.is_sounding(key)) {
                const size_t by = cursor.sounding(key);
                narrow(voice.events[by].kind == PORTAMENTO ? voice.events[by].param2 : key, low,
                       high);
            }
        for (; i < voice.events.size() && voice.events[i].tick < block.to; ++i) {
            const Event& e = voice.events[i];
            if (e.kind == NOTE_ON)
                narrow(e.param1, low, high);
            else if (e.kind == PORTAMENTO)
                narrow(e.param2, low, high);
        }
    }
    return {low, high};
}

PaneDrag::Cell PaneDrag::cell_at(QPoint point) const {
    const PatternGeometry& g = editor_.geometry();
    return {g.column_at(point.x()), g.row_at(editor_.rows(pane_), point.y())};
}

bool PaneDrag::press(Qt::MouseButton button, bool shift_or_control, QPoint point) {
    if (mode_ != Mode::NONE) return false;
    mouse_ = point;
    const Cell cell = cell_at(point);
    anchor_ = last_ = cell;
    preview_ = {};
    if (button == Qt::RightButton) {
        editor_.set_transpose_mode(false);
        mode_ = Mode::SELECT;
        return true;
    }
    if (button != Qt::LeftButton) return false;
    const bool transpose = shift_or_control || editor_.transpose_mode();
    if (transpose) {
        // A transposition needs a block and, outside the tempo pane, voices.
        editor_.set_transpose_mode(false);
        if (!editor_.block().exists() || (pane_ != Pane::TEMPO && !editor_.has_voices()))
            return false;
        mode_ = Mode::EDIT;
        transposing_ = true;
        low_ = -83;
        high_ = 83;
        if (pane_ == Pane::NOTES) {
            Block block = editor_.operation_block();
            block.voice = settings().all_voices ? ALL_VOICES : int32_t(editor_.voice());
            std::tie(low_, high_) = transpose_limits(editor_.pattern(), block);
            if (low_ > high_) low_ = high_ = 0;
        }
        preview_.kind = DragPreview::Kind::TRANSPOSE;
        preview_.amount = 0;
        return true;
    }
    transposing_ = false;
    if (pane_ != Pane::TEMPO && !editor_.has_voices()) return false;
    mode_ = Mode::EDIT;
    if (pane_ == Pane::NOTES) {
        const Voice* voice = editor_.current_voice();
        erase_ = key_sounding(*voice, cell.column, Key(pitch_of_row(cell.row)));
        gesture_ = Document::new_gesture();
        edit_notes(cell.column);
    } else {
        preview_.kind = DragPreview::Kind::LINE;
        preview_.anchor_column = preview_.column = cell.column;
        preview_.anchor_row = preview_.row = cell.row;
        if (repaint_columns) repaint_columns(cell.column, cell.column + 1);
    }
    return true;
}

void PaneDrag::move(QPoint point) {
    mouse_ = point;
    if (mode_ == Mode::NONE) return;
    const Cell cell = cell_at(point);
    if (mode_ == Mode::SELECT) {
        if (cell.column != last_.column) select_to(cell);
        last_ = cell;
        return;
    }
    if (transposing_) {
        const int amount = std::clamp(anchor_.row - cell.row, low_, high_);
        last_ = cell;
        if (amount != preview_.amount) {
            preview_.amount = amount;
            if (repaint_pane) repaint_pane();
        }
        return;
    }
    if (pane_ == Pane::NOTES) {
        if (cell.column != last_.column) {
            last_ = cell;
            edit_notes(cell.column);
        }
        return;
    }
    if (cell == last_) return;
    last_ = cell;
    const DragPreview old_preview = preview_;
    preview_.column = cell.column;
    preview_.row = cell.row;
    repaint_line(old_preview);
}

void PaneDrag::release(QPoint point) {
    if (mode_ == Mode::NONE) return;
    move(point);
    const Mode mode = mode_;
    mode_ = Mode::NONE;
    if (mode == Mode::EDIT) {
        if (transposing_)
            apply_transposition();
        else if (pane_ != Pane::NOTES)
            apply_line(last_);
    }
    transposing_ = false;
    const DragPreview old_preview = preview_;
    preview_ = {};
    if (old_preview.kind == DragPreview::Kind::TRANSPOSE) {
        if (repaint_pane) repaint_pane();
    } else if (old_preview.kind == DragPreview::Kind::LINE) {
        repaint_line(old_preview);
    }
}

void PaneDrag::cancel() {
    if (mode_ == Mode::NONE) return;
    mode_ = Mode::NONE;
    transposing_ = false;
    const DragPreview old_preview = preview_;
    preview_ = {};
    if (old_preview.kind == DragPreview::Kind::TRANSPOSE && repaint_pane) repaint_pane();
    if (old_preview.kind == DragPreview::Kind::LINE) repaint_line(old_preview);
}

void PaneDrag::timer_tick() {
    if (mode_ != Mode::SELECT) return;
    // Outside the pane the view scrolls towards the mouse: a beat sideways, a row up or down.
    if (mouse_.x() < 0)
        editor_.set_first_beat(editor_.first_beat() - 1, true);
    else if (mouse_.x() >= size_.width())
        editor_.set_first_beat(editor_.first_beat() + 1, true);
    const PaneRows& rows = editor_.rows(pane_);
    if (mouse_.y() < 0)
        editor_.set_first_row(pane_, rows.first - 1);
    else if (mouse_.y() >= size_.height())
        editor_.set_first_row(pane_, rows.first + 1);
    const Cell cell = cell_at(mouse_);
    if (cell.column != last_.column) select_to(cell);
    last_ = cell;
}

void PaneDrag::select_to(Cell cell) {
    if (editor_.user_moves_allowed()) editor_.set_cursor(cell.column);
    editor_.set_block(anchor_.column, cell.column, pane_);
}

void PaneDrag::edit_notes(Tick column) {
    const Tick from = std::min(anchor_.column, column);
    const Tick to = std::max(anchor_.column, column) + 1;
    const size_t voice = editor_.voice();
    const size_t pattern = editor_.pattern_index();
    const Key key = Key(pitch_of_row(anchor_.row));
    Edit edit;
    edit.name = erase_ ? U_ERASE_NOTES : U_DRAW_NOTES;
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = int32_t(voice);
    edit.change.kind = ChangeKind::NOTES;
    edit.change.from = from;
    edit.change.to = to;
    edit.gesture = gesture_;
    const bool erase = erase_;
    try {
        editor_.document().edit(edit, [=](EditContext& context) {
            Pattern& target = context.song().patterns[pattern];
            if (erase) {
                if (target.tick_length() < to) target.length = int32_t(to);
                erase_note(target, voice, from, to, key);
            } else {
                add_note(target, voice, from, to, key);
            }
        });
    } catch (...) {
        mode_ = Mode::NONE;
        if (failed) failed();
    }
}

void PaneDrag::apply_line(Cell end) {
    const Tick length = editor_.pattern().tick_length();
    const Tick lo = std::min(anchor_.column, end.column);
    const Tick hi = std::min<Tick>(std::max(anchor_.column, end.column) + 1, length);
    if (lo >= hi) return;
    if (pane_ != Pane::TEMPO && !editor_.has_voices()) return;
    const size_t voice = editor_.voice();
    const size_t pattern = editor_.pattern_index();
    const Pane pane = pane_;
    const Cell anchor = anchor_;
    Edit edit;
    edit.name = pane == Pane::VOLUME    ? U_DRAW_VOLUME
                : pane == Pane::BALANCE ? U_DRAW_BALANCE
                                        : U_DRAW_TEMPO;
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = pane == Pane::TEMPO ? -1 : int32_t(voice);
    edit.change.kind = change_kind_of(pane);
    edit.change.from = lo;
    edit.change.to = hi;
    try {
        editor_.document().edit(edit, [=](EditContext& context) {
            Pattern& target = context.song().patterns[pattern];
            // Runs of equal value, left to right.
            Tick start = lo;
            int value = value_of_row(line_row(anchor.column, anchor.row, end.column, end.row, lo));
            for (Tick column = lo + 1; column <= hi; ++column) {
                const int next = column < hi ? value_of_row(line_row(anchor.column, anchor.row,
                                                                     end.column, end.row, column))
                                             : -1;
                if (next == value) continue;
                if (pane == Pane::TEMPO)
                    set_tempo_range(target, start, column, uint8_t(value));
                else
                    set_curve_range(target, voice, start, column,
                                    pane == Pane::VOLUME ? VOLUME : BALANCE, uint8_t(value));
                start = column;
                value = next;
            }
        });
    } catch (...) {
        if (failed) failed();
    }
}

void PaneDrag::apply_transposition() {
    const int amount = preview_.amount;
    if (amount == 0 || !editor_.block().exists()) return;
    Block block = editor_.operation_block();
    block.aspect = aspect_of(pane_);
    block.voice = pane_ == Pane::TEMPO || settings().all_voices || !editor_.has_voices()
                      ? ALL_VOICES
                      : int32_t(editor_.voice());
    const size_t pattern = editor_.pattern_index();
    Edit edit;
    edit.name = U_TRANSPOSE_BLOCK;
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = block.voice;
    edit.change.kind = pane_ == Pane::NOTES ? ChangeKind::NOTES : change_kind_of(pane_);
    edit.change.from = block.from;
    edit.change.to = block.to + 1;
    try {
        editor_.document().edit(edit, [=](EditContext& context) {
            transpose_block(context.song().patterns[pattern], block, amount);
        });
    } catch (...) {
        if (failed) failed();
    }
}

void PaneDrag::repaint_line(const DragPreview& old_preview) {
    if (!repaint_columns) return;
    for (const DragPreview* p : {&old_preview, static_cast<const DragPreview*>(&preview_)}) {
        if (p->kind != DragPreview::Kind::LINE) continue;
        repaint_columns(std::min(p->anchor_column, p->column),
                        std::max(p->anchor_column, p->column) + 1);
    }
}

} // namespace tunemill
