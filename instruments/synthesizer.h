// The two-operator synthesizer that renders a synthesized instrument once, when it is created,
// into a 16-bit sample at SYNTH_RATE, and finds where the sound dies away or starts to repeat.
#pragma once

#include <array>
#include <cstdint>

#include "instruments/instrument.h"

namespace tunemill {

constexpr size_t WAVEFORM_LENGTH = 2048;
constexpr uint32_t WAVEFORM_COUNT = 32;
constexpr uint32_t NOISE_WAVEFORM = 9;
constexpr uint32_t FIRST_BANK_WAVEFORM = 10;
constexpr uint32_t BANK_WAVEFORM_COUNT = 22;

// True when the block may be given to the synthesizer: mode 0 or 1, multiples below 31, no
// feedback on operator 2, waveforms below 32, attack at most 11, decay and release at most 13.
bool valid_synth_parameters(const SynthParameters& parameters);

// The shared tables, built once on first use.
const std::array<int16_t, WAVEFORM_LENGTH>& synth_sine_table();
const std::array<uint8_t, 128>& synth_tremolo_table();
const std::array<uint32_t, 64>& synth_attenuation_table();
const std::array<uint32_t, 16>& synth_sustain_table();
// One cycle of waveform 0 to 31 except the noise waveform 9 (nullptr for that).
const int16_t* synth_waveform(uint32_t number);

// One rendering. Set up from a valid block, then render() in growing capacities; each call
// continues where the previous one stopped.
class Synthesizer {
  public:
    enum class Outcome {
        FINISHED,         // the sound has died away: length = frame(), no loop
        LOOP_FOUND,       // periodic from loop_start() on: length = frame()
        CAPACITY_REACHED, // frame() == capacity, neither of the above yet
    };

    explicit Synthesizer(const SynthParameters& parameters);

    // Writes frames frame() .. capacity - 1 into out (indexed from frame 0) until an end.
    Outcome render(int16_t* out, Frame capacity);

    Frame frame() const { return frame_; }
    Frame loop_start() const { return loop_mark_; }

  private:
    struct Operator {
        const int16_t* wave = nullptr; // nullptr: noise
        uint32_t lfo_phase = 0;
        uint32_t lfo_step = 0;
        uint32_t tremolo_phase = 0;
        uint32_t tremolo_step = 0;
        int32_t level = 0;
        int64_t divisor = 0; // n
        bool silent = false;
        int32_t tremolo = 32;
        int32_t amplitude = 0;
        bool attacking = true;
        int32_t attack_step = 0;
        int32_t decay = 0;
        int32_t release = 0;
        int32_t sustain = 0;
        uint32_t accumulator = 0;
        uint32_t multiplier = 0; // 8 * (m + 1)
        uint32_t phase_step = 0;
        int32_t threshold = 0;
    };
    struct Snapshot {
        uint32_t accumulator[2];
        uint32_t lfo_phase[2];
        uint32_t tremolo_phase[2];
        int32_t last_output;
        uint16_t seed;
    };

    void set_up(Operator& op, const uint8_t* bytes, bool first);
    void recompute_amplitude(Operator& op);
    void step_envelope(Operator& op);
    void step_lfos(Operator& op);
    bool loop_closes() const;
    int32_t output(Operator& op, int32_t index);

    Operator ops_[2];
    bool modulation_ = false;
    unsigned feedback_shift_ = 16;
    uint16_t seed_ = 0;
    int32_t last_output_ = 0;
    Frame frame_ = 0;
    Frame loop_mark_ = NO_LOOP;
    Snapshot snapshot_{};
};

} // namespace tunemill
