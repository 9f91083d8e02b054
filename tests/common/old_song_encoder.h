// A writer of the older song format, for the tests only (the program never writes it): MSB-first
// bits, the skip codes, key codes and flags of the voice streams, and whole files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "instruments/instrument.h"

namespace tunemill::storage_testing {

class BitWriter {
  public:
    void put(uint32_t value, unsigned bits);
    // Bits written as text, e.g. "0 1 00010 0110000" (spaces ignored).
    void put_text(const std::string& bits);
    void align();
    void put_byte(uint8_t value) { put(value, 8); }
    void put_string(const std::string& text); // the characters and a zero
    void put_bytes(const std::vector<uint8_t>& bytes);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    unsigned used_ = 8; // bits used of the last byte
};

// One step of a voice stream: the ticks skipped before it, the key code (0 nothing, 1 key off,
// k >= 2 move by k - 1 as the reader decodes it), the flags (1 slide start, 2 volume, 4 balance)
// and the amounts added to volume and balance.
struct OldStep {
    uint32_t skip = 0;
    uint32_t key_code = 0;
    uint32_t flags = 0;
    uint32_t volume_add = 0;
    uint32_t balance_add = 0;
    bool skip_only = false; // the skip reaches the pattern's end: nothing follows it
};
inline OldStep skip_to_end(uint32_t skip) {
    return OldStep{skip, 0, 0, 0, 0, true};
}

// The key code that moves from one key to another (raise up to 62, lower up to 63).
uint32_t key_code_for(int from, int to);
// The key code that strikes the key on a voice without a key (which starts at 48).
inline uint32_t strike(int key) {
    return key_code_for(48, key);
}

void put_skip(BitWriter& out, uint32_t skip);
void put_key_code(BitWriter& out, uint32_t code, uint32_t flags);
void put_step(BitWriter& out, const OldStep& step);

struct OldPattern {
    std::string name;
    uint32_t length = 0;
    std::vector<uint32_t> instruments;                     // one per voice
    std::vector<std::pair<uint32_t, uint32_t>> tempo_runs; // value, run; empty: 20 throughout
    std::vector<std::pair<char, uint32_t>> text_runs; // character, run (spaces only); empty: spaces
    std::vector<std::vector<OldStep>> voices;
    std::string raw_voice_bits; // when set, written instead of the voices' steps
};

struct OldSong {
    uint8_t head[15] = {'S', 'N', 'G', 's', 0, 0, 1, 1, 0, 0, 0, 0, 40, 4, 4};
    std::string name = "Old song";
    std::vector<uint8_t> sequence = {0};
    std::vector<OldPattern> patterns;
    std::vector<Instrument> stored;
    std::vector<std::string> bank;
};

// The file; the counts in the head are taken from the content unless keep_counts is set.
std::vector<uint8_t> encode_old_song(OldSong song, bool keep_counts = false);

} // namespace tunemill::storage_testing
