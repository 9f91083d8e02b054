// Drawing of an edit pane.
#include "app/pattern/pane_painter.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

#include "settings/settings.h"

namespace tunemill {

namespace {

// An open note while the events are walked: where its bar starts, and where the note it came
// from by portamento ended (for the join).
struct OpenNote {
    bool open = false;
    Tick start = 0;
    bool joined = false;
    Tick join_from_tick = 0; // the end of the previous bar
    int join_from_key = 0;
};

uint8_t curve_kind(Pane pane) {
    return pane == Pane::VOLUME ? VOLUME : BALANCE;
}

int default_value(Pane pane) {
    switch (pane) {
    case Pane::VOLUME:
        return DEFAULT_VOLUME;
    case Pane::BALANCE:
        return DEFAULT_BALANCE;
    default:
        return DEFAULT_TEMPO_VALUE;
    }
}

} // namespace

int line_row(Tick a, int row_a, Tick b, int row_b, Tick column) {
    if (a == b) return row_b;
    const double t = (double(column) - double(a)) / (double(b) - double(a));
    return int(std::lround(row_a + t * (row_b - row_a)));
}

std::pair<Tick, Tick> PanePainter::columns_in(const QRect& area) const {
    const PatternGeometry& g = editor_.geometry();
    const Tick first = g.column_at(area.left() - 3);
    const Tick last = g.column_at(area.right() + 3) + 1;
    return {first, last};
}

void PanePainter::paint(QPainter& painter, const QRect& area, const DragPreview& preview) const {
    paint_background(painter, area);
    paint_grid(painter, area);
    paint_content(painter, area);
    paint_preview(painter, area, preview);
    paint_cursor(painter, area);
}

void PanePainter::paint_background(QPainter& painter, const QRect& area) const {
    painter.fillRect(area, pane_colors::BACKGROUND);
    const PatternGeometry& g = editor_.geometry();
    const EditorBlock& block = editor_.block();
    if (block.exists() && (block.pane == pane_ || block.pane == Pane::NOTES)) {
        const QColor color =
            settings().all_voices ? pane_colors::BLOCK_ALL_VOICES : pane_colors::BLOCK_ONE_VOICE;
        const QRect columns(QPoint(g.column_x(block.from), area.top()),
                            QPoint(g.column_x(block.to) - 1, area.bottom()));
        painter.fillRect(columns & area, color);
    }
    if (editor_.playback_tick() >= 0) {
        const int x = g.column_x(Tick(editor_.playback_tick()));
        painter.fillRect(QRect(x + 2, area.top(), g.cell_x - 3, area.height()) & area,
                         pane_colors::PLAYBACK_CELL);
    }
}

void PanePainter::paint_grid(QPainter& painter, const QRect& area) const {
    const PatternGeometry& g = editor_.geometry();
    const PaneRows& rows = editor_.rows(pane_);
    // Row lines: one pixel at the top of every row.
    const int first_row = std::max(0, area.top() / g.cell_y);
    const int last_row = area.bottom() / g.cell_y;
    const int pane_rows_left = rows.rows - rows.first;
    for (int r = first_row; r <= last_row && r <= pane_rows_left; ++r)
        painter.fillRect(QRect(area.left(), r * g.cell_y, area.width(), 1), pane_colors::ROW_LINE);
    // Beat and measure lines at the left edge of their columns.
    const Tick per_beat = Tick(editor_.ticks_per_beat());
    const Tick measure = per_beat * Tick(editor_.beats_per_measure());
    auto [first, last] = columns_in(area);
    Tick beat = (first + per_beat - 1) / per_beat * per_beat;
    for (Tick column = beat; column < last; column += per_beat) {
        const int x = g.column_x(column);
        painter.fillRect(QRect(x, area.top(), 1, area.height()), column % measure == 0
                                                                     ? pane_colors::MEASURE_LINE
                                                                     : pane_colors::BEAT_LINE);
    }
    // The pattern's end: a double line.
    const Tick end = editor_.pattern().tick_length();
    if (end + 1 >= first && end <= last) {
        const int x = g.column_x(end);
        painter.fillRect(QRect(x, area.top(), 1, area.height()), pane_colors::MEASURE_LINE);
        painter.fillRect(QRect(x + 2, area.top(), 1, area.height()), pane_colors::MEASURE_LINE);
    }
}

void PanePainter::paint_content(QPainter& painter, const QRect& area) const {
    const Pattern& pattern = editor_.pattern();
    const Voice* current = editor_.current_voice();
    if (pane_ == Pane::TEMPO) {
        paint_curve(painter, area, nullptr, pane_colors::CURRENT_VOICE);
        return;
    }
    for (const Voice& voice : pattern.voices) {
        if (&voice == current) continue;
        if (pane_ == Pane::NOTES)
            paint_notes(painter, area, voice, pane_colors::OTHER_VOICES);
        else
            paint_curve(painter, area, &voice, pane_colors::OTHER_VOICES);
    }
    if (current) {
        if (pane_ == Pane::NOTES)
            paint_notes(painter, area, *current, pane_colors::CURRENT_VOICE);
        else
            paint_curve(painter, area, current, pane_colors::CURRENT_VOICE);
    }
}

void PanePainter::paint_bar(QPainter& painter, const QRect& area, Tick from, Tick to, int row,
                            const QColor& color) const {
    const PatternGeometry& g = editor_.geometry();
    const PaneRows& rows = editor_.rows(pane_);
    const int y = g.row_y(rows, row);
    if (y + g.cell_y <= area.top() || y > area.bottom()) return;
    const int left = g.column_x(from) + 2;
    const int right = g.column_x(to) - 2;
    if (right <= area.left() || left > area.right()) return;
    painter.fillRect(QRect(left, y + 2, std::max(right - left, 1), g.cell_y - 3), color);
}

void PanePainter::paint_notes(QPainter& painter, const QRect& area, const Voice& voice,
                              const QColor& color, int transpose, Tick from, Tick to) const {
    const PatternGeometry& g = editor_.geometry();
    const PaneRows& rows = editor_.rows(pane_);
    auto [first_column, last_column] = columns_in(area);
    const Tick clip_from = std::max(from, first_column);
    const Tick clip_to = std::min(to, last_column);
    if (clip_from >= clip_to) return;
    std::array<OpenNote, KEY_COUNT> open{};
    int open_count = 0;
    painter.setPen(color);
    auto bar = [&](Tick start, Tick end, int key) {
        start = std::max(start, from);
        end = std::min(end, to);
        if (start >= end || end <= clip_from || start >= clip_to) return;
        const int shifted = std::clamp(key + transpose, 0, KEY_COUNT - 1);
        paint_bar(painter, area, start, end, row_of_pitch(shifted), color);
    };
    auto join = [&](Tick from_tick, int from_key, Tick to_tick, int to_key) {
        if (to_tick < clip_from || from_tick > clip_to || from_tick < from || to_tick > to) return;
        const int y1 =
            g.row_y(rows, row_of_pitch(std::clamp(from_key + transpose, 0, KEY_COUNT - 1))) + 2 +
            (g.cell_y - 3) / 2;
        const int y2 =
            g.row_y(rows, row_of_pitch(std::clamp(to_key + transpose, 0, KEY_COUNT - 1))) + 2 +
            (g.cell_y - 3) / 2;
        const int x1 = g.column_x(from_tick) - 2;
        const int x2 = g.column_x(to_tick) + 2;
        if (std::max(x1, x2) < area.left() || std::min(x1, x2) > area.right()) return;
        painter.drawLine(x1, y1, x2, y2);
    };
    for (const Event& e : voice.events) {
        if (e.tick >= clip_to && open_count == 0) break;
        const int key = e.param1;
        switch (e.kind) {
        case NOTE_ON:
            if (key < KEY_COUNT && !open[key].open) {
                open[key] = {true, e.tick, false, 0, 0};
                ++open_count;
            }
            break;
        case NOTE_OFF:
            if (key < KEY_COUNT && open[key].open) {
                bar(open[key].start, e.tick, key);
                if (open[key].joined)
                    join(open[key].join_from_tick, open[key].join_from_key, open[key].start, key);
                open[key].open = false;
                --open_count;
            }
            break;
        case PORTAMENTO: {
            const int target = e.param2;
            if (key >= KEY_COUNT || target >= KEY_COUNT || !open[key].open) break;
            // The sliding note's bar ends one tick after the slide begins; the note it slides to
            // starts where the slide ends, joined to it by a line.
            const Tick end = e.tick + 1;
            bar(open[key].start, end, key);
            if (open[key].joined)
                join(open[key].join_from_tick, open[key].join_from_key, open[key].start, key);
            open[key].open = false;
            --open_count;
            if (!open[target].open) {
                open[target] = {true, e.tick + e.param3, true, end, key};
                ++open_count;
            }
            break;
        }
        default:
            break;
        }
    }
}

void PanePainter::paint_curve(QPainter& painter, const QRect& area, const Voice* voice,
                              const QColor& color, int shift, Tick from, Tick to) const {
    const Tick length = editor_.pattern().tick_length();
    if (length == 0) return;
    auto [first_column, last_column] = columns_in(area);
    const Tick clip_from = std::max(from, first_column);
    const Tick clip_to = std::min({to, last_column, length});
    if (clip_from >= clip_to) return;
    auto segment = [&](Tick start, Tick end, int value) {
        start = std::max(start, clip_from);
        end = std::min(end, clip_to);
        if (start >= end) return;
        paint_bar(painter, area, start, end,
                  row_of_value(std::clamp(value + shift, 0, int(MAX_LEVEL))), color);
    };
    int value = default_value(pane_);
    Tick since = 0;
    if (voice) {
        const uint8_t kind = curve_kind(pane_);
        for (const Event& e : voice->events) {
            if (e.kind != kind) continue;
            if (e.tick >= clip_to) break;
            if (e.tick > since) segment(since, e.tick, value);
            since = e.tick;
            value = e.param1;
        }
    } else {
        for (const TempoPoint& p : editor_.pattern().tempo_points) {
            if (p.tick >= clip_to) break;
            if (p.tick > since) segment(since, p.tick, value);
            since = p.tick;
            value = p.value;
        }
    }
    segment(since, length, value);
}

void PanePainter::paint_preview(QPainter& painter, const QRect& area,
                                const DragPreview& preview) const {
    switch (preview.kind) {
    case DragPreview::Kind::NONE:
        return;
    case DragPreview::Kind::LINE: {
        const Tick lo = std::min(preview.anchor_column, preview.column);
        const Tick hi = std::max(preview.anchor_column, preview.column);
        auto [first_column, last_column] = columns_in(area);
        for (Tick column = std::max(lo, first_column); column <= hi && column < last_column;
             ++column) {
            const int row = line_row(preview.anchor_column, preview.anchor_row, preview.column,
                                     preview.row, column);
            paint_bar(painter, area, column, column + 1, row, pane_colors::PREVIEW);
        }
        return;
    }
    case DragPreview::Kind::TRANSPOSE: {
        const EditorBlock& block = editor_.block();
        if (!block.exists()) return;
        const Pattern& pattern = editor_.pattern();
        if (pane_ == Pane::TEMPO) {
            paint_curve(painter, area, nullptr, pane_colors::PREVIEW, preview.amount, block.from,
                        block.to);
            return;
        }
        const bool all = settings().all_voices != 0;
        for (size_t v = 0; v < pattern.voices.size(); ++v) {
            if (!all && v != editor_.voice()) continue;
            const Voice& voice = pattern.voices[v];
            if (pane_ == Pane::NOTES)
                paint_notes(painter, area, voice, pane_colors::PREVIEW, preview.amount, block.from,
                            block.to);
            else
                paint_curve(painter, area, &voice, pane_colors::PREVIEW, preview.amount, block.from,
                            block.to);
        }
        return;
    }
    }
}

void PanePainter::paint_cursor(QPainter& painter, const QRect& area) const {
    const PatternGeometry& g = editor_.geometry();
    const Tick cursor = editor_.cursor();
    if (cursor < g.first_tick) return;
    const int x = cursor == g.first_tick ? 0 : g.column_x(cursor) - 2;
    painter.fillRect(QRect(x, area.top(), 3, area.height()) & area, pane_colors::CURSOR);
}

} // namespace tunemill
