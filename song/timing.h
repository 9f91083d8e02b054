// Song time: how long a tick lasts at a tempo value and overall tempo, how long a stretch of a
// pattern lasts, and how long the song plays.
#pragma once

#include <array>
#include <cstdint>

#include "song/song.h"

namespace tunemill {

// Tick durations in milliseconds for the tempo values 0 to 30 at one overall tempo.
using TickDurations = std::array<uint32_t, MAX_LEVEL + 1>;

// (T + 40) * 1000 / (1280 - 32 v), rounded to the nearest millisecond: 125 ms by default.
uint32_t tick_duration(int32_t overall_tempo, uint8_t tempo_value);
TickDurations tick_durations(int32_t overall_tempo);

// The tempo value in effect at the tick: that of the last point at or before it, else 20.
uint8_t tempo_value_at(const Pattern& pattern, Tick tick);

// Milliseconds that the ticks [from, to) of the pattern last.
uint64_t duration(const Pattern& pattern, Tick from, Tick to, int32_t overall_tempo);

// Milliseconds the sequence plays once through (each entry's pattern from 0 to its length).
uint64_t song_length(const Song& song);

// The song length as the Song Options dialog shows it: whole minutes and seconds, rounded.
struct MinutesSeconds {
    uint64_t minutes;
    uint32_t seconds;
};
MinutesSeconds song_length_display(const Song& song);

// The overall tempo as the user sees it, in percent: 8000 / (tempo + 40).
int32_t overall_tempo_percent(int32_t overall_tempo);

} // namespace tunemill
