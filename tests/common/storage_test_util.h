// Helpers of the song storage tests: scratch files, events from a compact text, instruments and
// random valid songs, byte builders for crafted song files, and a field-by-field song comparison.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "event_text.h"
#include "instruments/instrument.h"
#include "scratch_files.h"
#include "song/song.h"
#include "storage/song_file.h"

namespace tunemill::storage_testing {

using testing::read_whole_file;
using testing::scratch_folder;
using testing::write_scratch_file;

// Events from words such as "on40@0", "off40@8", "vol20@2", "bal10@2", "port40>43:3@5",
// "rel40@6" (release mark), in the given order, and back.
using testing::describe;
using testing::events;

// A sampled instrument with pseudo-random samples drawn from a seed value.
Instrument sampled(const std::string& name, uint32_t bytes_per_sample, uint32_t length,
                   uint32_t loop_start = NO_LOOP, uint32_t rate = 22050, uint32_t seed = 1);
Instrument synthesized(const std::string& name);

// A bank of named instruments for the song file reader; lookups of other names fail as the
// instrument bank does.
struct TestBank {
    std::map<std::string, Instrument> instruments;
    BankLookup lookup() const;
};

// A random song that passes validation: up to a few patterns with tempo points and voices of
// chords, slides and volume and balance changes; instruments of every kind, some from the bank
// (added to the bank given).
Song random_song(uint32_t seed, TestBank& bank);

// Compares everything a song file stores (not voice ids, mute flags, paths or flags).
void expect_same_song(const Song& expected, const Song& actual);

// Byte builders for crafted files.
void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes = 4);
std::vector<uint8_t> chunk(const char* tag, const std::vector<uint8_t>& payload);
std::vector<uint8_t> text_bytes(const std::string& text);
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b);
// A "SN2" file around the chunks, with the counts and globals given.
std::vector<uint8_t> song_file(uint32_t patterns, uint32_t instruments,
                               const std::vector<uint8_t>& chunks, uint32_t repeat = 0,
                               uint32_t tempo = 40, uint32_t ticks_per_beat = 4,
                               uint32_t beats_per_measure = 4);
// A "PAT" chunk of the length around the sub-chunks.
std::vector<uint8_t> pattern_chunk(uint32_t length, const std::vector<uint8_t>& subchunks);
// A "voi" chunk naming the instrument, with the records given as raw bytes.
std::vector<uint8_t> voice_chunk(uint32_t instrument, const std::vector<uint8_t>& records);

// Reads the bytes as a song file through a scratch file.
bool read_song_bytes(const std::vector<uint8_t>& bytes, Song& song, const BankLookup& bank = {});

} // namespace tunemill::storage_testing
