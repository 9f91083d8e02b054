// The pattern window's arithmetic, free of widgets: ticks to x and rows to y (one geometry shared
// by every pane), the cell under the mouse, the labels of the bars beside the panes, the note
// lengths, the horizontal scrolling counted in beats and the paging of follow playback.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "app/shell/child_windows.h"
#include "song/song.h"

namespace tunemill {

constexpr int PANE_COUNT = 4;
constexpr int pane_number(Pane pane) {
    return int(pane);
}

// Rows of a pane: 84 pitches in the note pane, the values 0..30 in a curve pane.
constexpr int NOTE_ROWS = KEY_COUNT;
constexpr int CURVE_ROWS = MAX_LEVEL + 1;
constexpr int pane_rows(Pane pane) {
    return pane == Pane::NOTES ? NOTE_ROWS : CURVE_ROWS;
}

// The pitch whose row carries the small triangle of the pitch bar.
constexpr Key MARKED_PITCH = 36;

// Cell sizes in pixels are kept within 6..15.
constexpr int MIN_CELL = 6;
constexpr int MAX_CELL = 15;
int clamp_cell_size(int size);

// One pane's vertical state: its first visible row and how many rows fit.
struct PaneRows {
    int rows = NOTE_ROWS;
    int first = 0;
    int visible = 0;

    int max_first() const { return rows - visible > 0 ? rows - visible : 0; }
};

// Ticks to pixels and back. Column c has its left edge at (c - first tick) * cell width; a row
// r of a pane at (r - first row) * cell height.
struct PatternGeometry {
    int cell_x = 10;
    int cell_y = 10;
    Tick first_tick = 0;
    int visible_columns = 0; // whole columns in the edit area

    // The column's left edge (limited to +-16384, as drawing wants).
    int column_x(Tick column) const;
    // The column under x (x < 0 counts as 0).
    Tick column_at(int x) const;
    // Columns [from, to) as a horizontal pixel span [left, right), widened by the cursor's and
    // the notes' overhang so that a repaint of it covers everything drawn for those columns.
    std::pair<int, int> span_of(Tick from, Tick to) const;
    // The last column visible (partly).
    Tick last_visible_tick() const { return first_tick + Tick(visible_columns); }

    int row_y(const PaneRows& pane, int row) const { return (row - pane.first) * cell_y; }
    // The row under y (y < 0 counts as 0), limited to the pane's rows.
    int row_at(const PaneRows& pane, int y) const;
};

// Rows and values: row r of the note pane is pitch 83 - r; row r of a curve pane the value 30 - r.
constexpr int pitch_of_row(int row) {
    return NOTE_ROWS - 1 - row;
}
constexpr int row_of_pitch(int pitch) {
    return NOTE_ROWS - 1 - pitch;
}
constexpr int value_of_row(int row) {
    return MAX_LEVEL - row;
}
constexpr int row_of_value(int value) {
    return MAX_LEVEL - value;
}

// The first visible row when the note pane is first sized: pitch 36 two thirds down.
int initial_note_row(int visible_rows);

// Bar labels: the Helmholtz name of a pitch ("C 1", "c#", "a 3"), split into the name with its
// sharp and the octave mark; the volume, balance ("15L", "0", "15R") and tempo (beats per
// minute) labels of a row.
struct PitchName {
    QString name; // letter and "#" or blank
    QString mark; // octave mark, right-aligned by the bar ("1".."4" or blank)
};
PitchName pitch_name(int pitch);
QString volume_label(int row);
QString balance_label(int row, const QString& left, const QString& right);
QString tempo_label(int row, int32_t ticks_per_beat);

// Note lengths: index k (0..5) is ticks-per-beat * 4 / 2^k ticks (4, 2, 1, 1/2, 1/4, 1/8 beats),
// usable when that is whole and not longer than a measure.
constexpr int NOTE_LENGTHS = 6;
bool note_length_usable(int index, int32_t ticks_per_beat, int32_t beats_per_measure);
Tick note_length_ticks(int index, int32_t ticks_per_beat);
// Lowers the index one step at a time until it is usable or 0; a stored index of 6 or more is 2.
int usable_note_length(int index, int32_t ticks_per_beat, int32_t beats_per_measure);

// Horizontal scrolling, counted in beats.
struct BeatScroll {
    int range_end = 0; // (length + visible columns - 1) / ticks-per-beat
    int page = 0;      // whole beats in the edit area + 2
    int max_first = 0; // the first visible beat lies in 0..max_first
};
BeatScroll beat_scroll(Tick length, int visible_columns, int32_t ticks_per_beat);

// Follow playback: the first visible tick that shows the position, or none when the view may
// stay. unit: a measure when more than a measure's width is visible, else a beat.
struct FollowPage {
    Tick unit = 1;
    Tick end = 0; // the page runs [first visible tick, end)
};
FollowPage follow_page(Tick first_tick, int visible_columns, int32_t ticks_per_beat,
                       int32_t beats_per_measure);
// The new first visible tick for the position, or -1 when the view stays where it is.
int64_t follow_jump(Tick position, Tick first_tick, int visible_columns, Tick length,
                    int32_t ticks_per_beat, int32_t beats_per_measure);

// The status bar's values: the measure of a tick (from 1) and a time in milliseconds as
// minutes, seconds and hundredths.
int32_t measure_of(Tick tick, int32_t ticks_per_beat, int32_t beats_per_measure);
struct ClockTime {
    uint64_t minutes;
    uint32_t seconds;
    uint32_t hundredths;
};
ClockTime clock_time(uint64_t milliseconds);

} // namespace tunemill
