// The pattern window's arithmetic.
#include "app/pattern/geometry.h"

#include <algorithm>

namespace tunemill {

int clamp_cell_size(int size) {
    return std::clamp(size, MIN_CELL, MAX_CELL);
}

int PatternGeometry::column_x(Tick column) const {
    const int64_t x = (int64_t(column) - int64_t(first_tick)) * cell_x;
    return int(std::clamp<int64_t>(x, -16384, 16384));
}

Tick PatternGeometry::column_at(int x) const {
    return Tick(std::max(x, 0) / cell_x) + first_tick;
}

std::pair<int, int> PatternGeometry::span_of(Tick from, Tick to) const {
    // The cursor reaches 3 pixels left of its column; a note's portamento join may reach back
    // into the previous column, so a column's repaint takes its left neighbour's edge too.
    return {column_x(from) - 3, column_x(std::max(to, from + 1)) + 3};
}

int PatternGeometry::row_at(const PaneRows& pane, int y) const {
    const int row = std::max(y, 0) / cell_y + pane.first;
    return std::clamp(row, 0, pane.rows - 1);
}

int initial_note_row(int visible_rows) {
    return std::max(0, 47 - 2 * visible_rows / 3);
}

PitchName pitch_name(int pitch) {
    const int octave = pitch / 12;
    const int note = pitch % 12;
    static const char upper[] = "CCDDEFFGGAAB";
    static const char lower[] = "ccddeffggaab";
    static const char marks[] = "1  1234";
    const bool black = note == 1 || note == 3 || note == 6 || note == 8 || note == 10;
    PitchName name;
    name.name = QString(QChar::fromLatin1(octave < 2 ? upper[note] : lower[note])) +
                QChar::fromLatin1(black ? '#' : ' ');
    const char mark = octave >= 0 && octave < 7 ? marks[octave] : ' ';
    name.mark = mark == ' ' ? QString() : QString(QChar::fromLatin1(mark));
    return name;
}

QString volume_label(int row) {
    return QString::number(value_of_row(row));
}

QString balance_label(int row, const QString& left, const QString& right) {
    if (row < 15) return QString::number(15 - row) + left;
    if (row > 15) return QString::number(row - 15) + right;
    return QStringLiteral("0");
}

QString tempo_label(int row, int32_t ticks_per_beat) {
    return QString::number((40 - row) * 24 / std::max(ticks_per_beat, 1));
}

bool note_length_usable(int index, int32_t ticks_per_beat, int32_t beats_per_measure) {
    if (index < 0 || index >= NOTE_LENGTHS) return false;
    const int64_t quarters = int64_t(ticks_per_beat) * 4;
    const int64_t divisor = int64_t(1) << index;
    if (quarters % divisor != 0) return false;
    return quarters / divisor <= int64_t(ticks_per_beat) * beats_per_measure;
}

Tick note_length_ticks(int index, int32_t ticks_per_beat) {
    return Tick(int64_t(ticks_per_beat) * 4 >> std::clamp(index, 0, NOTE_LENGTHS - 1));
}

int usable_note_length(int index, int32_t ticks_per_beat, int32_t beats_per_measure) {
    if (index >= NOTE_LENGTHS) index = 2;
    if (index < 0) index = 0;
    while (index > 0 && !note_length_usable(index, ticks_per_beat, beats_per_measure))
        --index;
    return index;
}

BeatScroll beat_scroll(Tick length, int visible_columns, int32_t ticks_per_beat) {
    const int64_t per_beat = std::max(ticks_per_beat, 1);
    BeatScroll scroll;
    scroll.range_end =
        int(std::max<int64_t>(0, (int64_t(length) + visible_columns - 1) / per_beat));
    const int visible_beats = int(std::max(visible_columns, 0) / per_beat);
    scroll.page = visible_beats + 2;
    scroll.max_first = std::max(0, scroll.range_end - visible_beats - 1);
    return scroll;
}

FollowPage follow_page(Tick first_tick, int visible_columns, int32_t ticks_per_beat,
                       int32_t beats_per_measure) {
    const Tick beat = Tick(std::max(ticks_per_beat, 1));
    const Tick measure = beat * Tick(std::max(beats_per_measure, 1));
    FollowPage page;
    page.unit = Tick(visible_columns) > measure ? measure : beat;
    const Tick units = std::max<Tick>(1, Tick(std::max(visible_columns, 0)) / page.unit);
    page.end = first_tick + units * page.unit;
    return page;
}

int64_t follow_jump(Tick position, Tick first_tick, int visible_columns, Tick length,
                    int32_t ticks_per_beat, int32_t beats_per_measure) {
    const FollowPage page =
        follow_page(first_tick, visible_columns, ticks_per_beat, beats_per_measure);
    const bool reaches_past_end = int64_t(first_tick) + visible_columns > int64_t(length);
    if (position >= first_tick && (position < page.end || reaches_past_end)) return -1;
    return int64_t(position / page.unit * page.unit);
}

int32_t measure_of(Tick tick, int32_t ticks_per_beat, int32_t beats_per_measure) {
    const int64_t measure = int64_t(std::max(ticks_per_beat, 1)) * std::max(beats_per_measure, 1);
    return int32_t(int64_t(tick) / measure + 1);
}

ClockTime clock_time(uint64_t milliseconds) {
    return {milliseconds / 60000, uint32_t(milliseconds / 1000 % 60),
            uint32_t(milliseconds / 10 % 100)};
}

} // namespace tunemill
