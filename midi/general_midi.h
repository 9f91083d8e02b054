// The General MIDI tables: each of the 128 programs as an instrument category and the stock
// bank instrument that plays it, and each drum sound of channel 10 (notes 27 to 87) as a drum
// instrument of the bank at a fixed key. Import reads them forward, export backward.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tunemill {

constexpr uint8_t MIDI_DRUM_CHANNEL = 9; // channel 10 as users count
constexpr uint8_t FIRST_GM_DRUM = 27;
constexpr uint8_t LAST_GM_DRUM = 87;
// MIDI note numbers a song key can hold: key = note - 24.
constexpr uint8_t LOWEST_KEY_NOTE = 24;
constexpr uint8_t HIGHEST_KEY_NOTE = 107;

struct GmInstrument {
    uint32_t category;      // 0..28
    const char* instrument; // stock bank name
};

struct GmDrum {
    const char* instrument; // stock bank name
    uint8_t key;            // the song key it sounds at
};

// The program's category and bank instrument (program 0..127).
const GmInstrument& gm_program(uint8_t program);
// The drum sound of a channel 10 note; notes outside 27..87 are played as the nearest kind
// (below 27 a high percussion, above 87 a low one).
const GmDrum& gm_drum(uint8_t note);

// The program an instrument is exported with: the first program whose bank instrument has this
// name, else the first program of its category (0 when the category has none).
uint8_t gm_program_for(std::string_view instrument, uint32_t category);
// The channel 10 note of an instrument at a key: the first drum sound that the import maps to
// exactly this instrument and key; none when the pair is not a drum sound.
std::optional<uint8_t> gm_drum_note_for(std::string_view instrument, uint8_t key);

} // namespace tunemill
