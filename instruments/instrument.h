// The instrument record: one mono sampled sound with an optional forward loop to its end.
// Sampled and synthesized instruments look the same to the mixer once created.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tunemill {

using Frame = uint32_t;

constexpr uint32_t NO_LOOP = 0xFFFFFFFF;
constexpr uint32_t NO_CATEGORY = 29;
constexpr uint32_t CATEGORY_COUNT = 29;
// Every sample block carries this many spare bytes after the samples, so the mixer may read one
// frame past the end without a bounds check.
constexpr size_t SAMPLE_PADDING = 16;
constexpr size_t SYNTH_PARAMETER_BYTES = 11;
// The rate at which every synthesized instrument sounds at its own pitch.
constexpr uint32_t SYNTH_RATE = 33488;

using SynthParameters = std::array<uint8_t, SYNTH_PARAMETER_BYTES>;

struct Instrument {
    std::string name;                // bytes as stored (Windows-1252); files hold at most 16
    uint32_t category = NO_CATEGORY; // 0..28, or NO_CATEGORY
    bool from_bank = false;
    uint32_t bytes_per_sample = 2; // 1: unsigned 8-bit, 2: signed 16-bit little-endian
    uint32_t length = 0;           // frames
    std::vector<uint8_t> samples;  // length * bytes_per_sample + SAMPLE_PADDING bytes
    uint32_t rate = 0;             // Hz at the instrument's own pitch
    uint32_t loop_start = NO_LOOP; // NO_LOOP or less than length
    std::optional<SynthParameters> synth_parameters;
    uint32_t id = 0; // never 0 once created, unique within a run

    bool loops() const { return loop_start != NO_LOOP; }
    bool synthesized() const { return synth_parameters.has_value(); }
    size_t sample_bytes() const { return size_t(length) * bytes_per_sample; }
    const int16_t* samples16() const { return reinterpret_cast<const int16_t*>(samples.data()); }
    int16_t* samples16() { return reinterpret_cast<int16_t*>(samples.data()); }
};

// The next instrument id: 1 for the first instrument of the run, never 0, never reused.
uint32_t next_instrument_id();

// A sampled instrument with a zeroed sample block of length * bytes_per_sample + padding bytes,
// for the caller to fill. Validates nothing: readers check rate, length and loop start first.
Instrument make_sampled_instrument(std::string name, uint32_t category, uint32_t length,
                                   uint32_t loop_start, uint32_t rate, uint32_t bytes_per_sample,
                                   bool from_bank);

// A synthesized instrument: the 16-bit samples are rendered from the parameter block, which
// also decides the length and the loop; the rate is SYNTH_RATE.
Instrument make_synthesized_instrument(std::string name, uint32_t category,
                                       const SynthParameters& parameters, bool from_bank);

// Same sound, same name and attributes: the browser drops an instrument loaded twice.
bool equal(const Instrument& a, const Instrument& b);

} // namespace tunemill
