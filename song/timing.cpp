// Song time from ticks: the tempo curve of each pattern and the song's overall tempo.
#include "song/timing.h"

#include <algorithm>

namespace tunemill {

uint32_t tick_duration(int32_t overall_tempo, uint8_t tempo_value) {
    const int64_t d = 1280 - 32 * int64_t(std::min(tempo_value, MAX_LEVEL));
    return uint32_t((d / 2 + (int64_t(overall_tempo) + 40) * 1000) / d);
}

TickDurations tick_durations(int32_t overall_tempo) {
    TickDurations table{};
    for (uint8_t v = 0; v <= MAX_LEVEL; ++v)
        table[v] = tick_duration(overall_tempo, v);
    return table;
}

namespace {
// The first tempo point whose tick is greater than the tick.
std::vector<TempoPoint>::const_iterator first_point_after(const Pattern& pattern, Tick tick) {
    return std::upper_bound(pattern.tempo_points.begin(), pattern.tempo_points.end(), tick,
                            [](Tick t, const TempoPoint& p) { return t < p.tick; });
}
} // namespace

uint8_t tempo_value_at(const Pattern& pattern, Tick tick) {
    auto after = first_point_after(pattern, tick);
    return after == pattern.tempo_points.begin() ? DEFAULT_TEMPO_VALUE : std::prev(after)->value;
}

uint64_t duration(const Pattern& pattern, Tick from, Tick to, int32_t overall_tempo) {
    if (to <= from) return 0;
    const TickDurations table = tick_durations(overall_tempo);
    auto point = first_point_after(pattern, from);
    uint8_t value =
        point == pattern.tempo_points.begin() ? DEFAULT_TEMPO_VALUE : std::prev(point)->value;
    uint64_t total = 0;
    Tick at = from;
    for (; point != pattern.tempo_points.end() && point->tick < to; ++point) {
        total += uint64_t(point->tick - at) * table[std::min(value, MAX_LEVEL)];
        at = point->tick;
        value = point->value;
    }
    return total + uint64_t(to - at) * table[std::min(value, MAX_LEVEL)];
}

uint64_t song_length(const Song& song) {
    uint64_t total = 0;
    for (uint32_t entry : song.sequence) {
        if (entry >= song.patterns.size()) continue;
        const Pattern& pattern = song.patterns[entry];
        total += duration(pattern, 0, pattern.tick_length(), song.overall_tempo);
    }
    return total;
}

MinutesSeconds song_length_display(const Song& song) {
    uint64_t seconds = (song_length(song) + 500) / 1000;
    return MinutesSeconds{seconds / 60, uint32_t(seconds % 60)};
}

int32_t overall_tempo_percent(int32_t overall_tempo) {
    return 8000 / (overall_tempo + 40);
}

} // namespace tunemill
