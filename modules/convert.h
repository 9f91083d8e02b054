// Turning a tracker module into a song: the module is played once to learn where it repeats
// itself, then again to record what is heard; the recorded times become ticks under a tempo
// curve, and the notes of each channel and instrument become voices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modules/module.h"
#include "song/song.h"

namespace tunemill {

class File;

// Converts the module that reader has read from file into song, which is reset first. Sample
// data is read from file for the slots the music uses. An inconsistency, or a result that fails
// validation, throws LOAD_ERROR 1 ("Internal load error"); sample data cut short throws
// FILE_ERROR(READ, END_OF_FILE).
void convert_module(ModuleReader& reader, File& file, Song& song);

// ---- The pieces, for the tests ----

// The numerals of pattern names: 100 "C", 99 "IC", 95 "VC", 90 "XC", 50 "L", 49 "IL", 45 "VL",
// 40 "XL", 10 "X", 9 "IX", 5 "V", 4 "IV", 1 "I", taken greedily.
std::string pattern_numeral(int number);

// The key of a pitch value: 44100 (period 428) is key 36, an octave is 12 keys; 0 to 83.
int key_of_pitch(uint32_t pitch);
// A module volume (0 to 65536) as a song volume 0 to 30, logarithmically.
int song_volume(uint32_t value);
// A module pan (0 left to 65536 right) as a song balance (30 left, 0 right).
int song_balance(uint32_t value);

// A sample name cleaned for an instrument: control characters become spaces, the ends are
// trimmed, an empty name becomes "Untitled", and the result is cut to 16 characters.
std::string clean_instrument_name(const std::string& raw);

// Whether two tick lengths (microseconds) fit one tick grid; common is the grid's length.
bool tick_lengths_fit(int64_t a, int64_t b, int64_t& common);

// The tempo value (0 to 20) for a tick-length candidate L under the overall tempo, and the
// length of one tick of it (L divided into whole ticks of that tempo value).
struct TempoChoice {
    int value = 20;
    int64_t tick_length = 0;
};
TempoChoice tempo_for_length(int64_t length, int overall_tempo);

// Gives every instrument name that occurs more than once a number: "Bass 1" to "Bass 4".
void rename_duplicate_instruments(Song& song);

} // namespace tunemill
