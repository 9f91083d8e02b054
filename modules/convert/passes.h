// The conversion's passes, one file each: the structure and recording passes that play the
// module (structure.cpp), the tick grid fitted to the recorded times (ticks.cpp), the voices
// written from the events and merged (voices.cpp), the finishing of the song (finish.cpp), and
// the names (names.cpp). convert.cpp runs them in order.
#pragma once

#include "foundation/errors.h"
#include "modules/convert.h"
#include "modules/player.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace tunemill::converting {

constexpr int64_t NEVER = std::numeric_limits<int64_t>::max();
constexpr int64_t SNAP_TIME = 31250;    // events closer than this share a time
constexpr int64_t FIT_TOLERANCE = 5000; // a length fits a grid within this
constexpr int64_t LONG_GRID = 125000;   // finer grids are tried only down from here
constexpr int MAX_SONG_PATTERN_ROWS = 512;
constexpr int MAX_CONVERSION_CHANNELS = 256;

// round(a / b) in integer arithmetic.
inline int64_t rounded(int64_t a, int64_t b) {
    return (a + b / 2) / b;
}

[[noreturn]] inline void internal_error() {
    throw LOAD_ERROR(1);
}

// The order positions that sound alike, and where song patterns begin.
struct Structure {
    std::vector<int> ids;     // per played position
    std::vector<int> numbers; // song pattern number per played position, -1: continues
    int repeat_entry = 0;
    int next_instrument = 0;
};

Structure structure_pass(ModuleReader& reader);

// Each song pattern's events, with times relative to its start, and the song's sequence.
struct Recording {
    std::vector<std::vector<ModuleEvent>> patterns; // events with times relative to the start
    std::vector<uint32_t> sequence;
    int32_t repeat_position = 0;
};

Recording recording_pass(ModuleReader& reader, const Structure& structure);

struct Candidate {
    int64_t length = 0;
    int count = 0;
    TempoChoice tempo;
};

struct TimedPattern {
    std::vector<ModuleEvent> events;
    std::vector<int64_t> times;             // distinct times, ascending
    std::vector<size_t> interval_candidate; // per interval between successive times
    std::vector<Candidate> candidates;
    std::vector<Tick> event_ticks; // per event
    std::vector<TempoPoint> tempo_points;
    Tick length = 0;
};

// Snaps close events together and finds the tick-length candidates of the intervals.
void find_candidates(TimedPattern& pattern);
int choose_overall_tempo(const std::vector<TimedPattern>& patterns);
// Gives every event its tick under the overall tempo, with tempo points where the grid changes.
void assign_ticks(TimedPattern& pattern, int overall_tempo);

// An event placed by the order rules, searching back from the end (writers append in order).
void put_event(Voice& voice, const Event& event);
// The pattern's voices from its timed events: one voice per channel and instrument.
void write_pattern(Song& song, Pattern& pattern, int channels, const TimedPattern& timed);
// Voices of one instrument that can play as one become one.
void merge_voices(Pattern& pattern);

void finish_patterns(Song& song);
// A song that starts over from its beginning loses the silence at its end.
void trim_end(Song& song);

std::string table_text(uint32_t id);
std::string lower(std::string text);
// The song description: the module title in quotes, then the sample names.
std::string description_of(const ModuleReader& reader);

} // namespace tunemill::converting
