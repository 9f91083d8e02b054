// Fitting the song's timing model to a MIDI file's tempo map: ticks per beat, beats per measure,
// the overall tempo and a tempo value for every song tick, chosen so that the song's ticks keep
// step with the file's beats, and the real time of every song tick.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/file_content.h"
#include "midi/smf.h"

namespace tunemill {

// The file's tempo map: milliseconds at a file tick.
class FileClock {
  public:
    FileClock(const MidiDivision& division, const std::vector<FileTempo>& tempos);
    double ms_at(double tick) const;
    // The length of one quarter note (for SMPTE files: of 500 ms) in file ticks.
    double quarter_ticks() const { return quarter_ticks_; }
    // Milliseconds per quarter in effect at the tick.
    double quarter_ms_at(double tick) const;

  private:
    struct Segment {
        double tick, ms, ms_per_tick;
    };
    std::vector<Segment> segments_;
    double quarter_ticks_;
};

struct SongTiming {
    int32_t ticks_per_beat = 4;
    int32_t beats_per_measure = 4;
    int32_t overall_tempo = 40;
    double song_ticks_per_file_tick = 0; // ticks_per_beat / beat length in file ticks
    uint32_t length = 0;                 // song ticks from the start to the file's end
    std::vector<uint8_t> values;         // the tempo value of each song tick (length entries)
    std::vector<uint64_t> ms;            // the time at which each song tick begins (length + 1)
    std::vector<uint32_t> measures;      // the song tick at which each measure begins

    // The song tick whose start lies nearest to the time (at most length).
    uint32_t tick_at_ms(double ms) const;
};

// How far the song's ticks may drift from the file's beats before the tempo value changes.
constexpr double TEMPO_SLACK_MS = 10.0;
// The longest tick the fit aims at (a 16th note at 120 BPM), and the shortest the model has.
constexpr double LONGEST_WANTED_TICK_MS = 125.0;
constexpr double SHORTEST_TICK_MS = 31.25;

SongTiming fit_song_timing(const MidiFile& file, const FileContent& content,
                           const FileClock& clock);

} // namespace tunemill
