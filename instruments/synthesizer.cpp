// The synthesizer: integer tables, operator set-up, envelopes, LFOs, feedback, the loop and
// silence detection, and the rendering of a synthesized instrument in 16384-frame steps.
#include "instruments/synthesizer.h"

#include <algorithm>
#include <cstdlib>

#include "instruments/waveform_bank.h"

namespace tunemill {

namespace {

constexpr Frame RENDER_STEP = 16384;
constexpr Frame RENDER_LIMIT = 65536;

struct Tables {
    std::array<int16_t, WAVEFORM_LENGTH> sine{};
    std::array<uint8_t, 128> tremolo{};
    std::array<std::array<int16_t, WAVEFORM_LENGTH>, 9> shapes{}; // waveforms 0 to 8

    Tables() {
        // An integer oscillator rather than sin(): the table is the same on every machine.
        int32_t c = 32760, d = 0;
        for (size_t k = 0; k < WAVEFORM_LENGTH; ++k) {
            sine[(k + 512) % WAVEFORM_LENGTH] = int16_t(c);
            d += -c / 350;
            c += d / 300;
        }
        for (size_t j = 0; j < 128; ++j)
            tremolo[j] = uint8_t(32 - (sine[16 * j] + 32768) / 6553);

        shapes[0] = sine;
        for (size_t k = 0; k < WAVEFORM_LENGTH; ++k) {
            const size_t quarter = k / 512;
            const int32_t j = int32_t(k % 512);
            shapes[1][k] = k < 1024 ? sine[k] : 0;
            shapes[2][k] = sine[k % 1024];
            shapes[3][k] = (quarter == 0 || quarter == 2) ? sine[j] : 0;
            shapes[4][k] = k < 1024 ? 32767 : -32768;
            shapes[5][k] = k < 512 ? 32767 : -32768;
            shapes[6][k] = int16_t(uint16_t(k * 32));
            static constexpr int32_t sign[4] = {1, 1, -1, -1};
            const int32_t triangle[4] = {j * 64, 32767 - j * 64, -j * 64, j * 64 - 32767};
            shapes[7][k] = int16_t(triangle[quarter]);
            const int32_t a = std::min(j * 128, 32767);
            const int32_t b = std::min(2 * (32767 - j * 64), 32767);
            shapes[8][k] = int16_t(sign[quarter] * ((quarter % 2) == 0 ? a : b));
        }
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

// floor(256 * 2^(i/8)) for i = 0..62, written out so no floating-point rounding can move an
// entry; 63 is the near-silent setting.
constexpr std::array<uint32_t, 64> ATTENUATION = {
    256,   279,   304,   331,   362,   394,   430,   469,   512,   558,   608,   663,   724,
    789,   861,   939,   1024,  1116,  1217,  1327,  1448,  1579,  1722,  1878,  2048,  2233,
    2435,  2655,  2896,  3158,  3444,  3756,  4096,  4466,  4870,  5311,  5792,  6316,  6888,
    7512,  8192,  8933,  9741,  10623, 11585, 12633, 13777, 15024, 16384, 17866, 19483, 21247,
    23170, 25267, 27554, 30048, 32768, 35733, 38967, 42494, 46340, 50535, 55108, 65535};

// floor(65535 * 2^(-i/2)).
constexpr std::array<uint32_t, 16> SUSTAIN = {65535, 46340, 32767, 23170, 16383, 11585, 8191, 5792,
                                              4095,  2896,  2047,  1448,  1023,  724,   511,  362};

constexpr uint32_t VIBRATO_STEPS[4] = {0, 24, 48, 96};
constexpr uint32_t TREMOLO_STEPS[4] = {0, 1, 2, 4};

} // namespace

const std::array<int16_t, WAVEFORM_LENGTH>& synth_sine_table() {
    return tables().sine;
}
const std::array<uint8_t, 128>& synth_tremolo_table() {
    return tables().tremolo;
}
const std::array<uint32_t, 64>& synth_attenuation_table() {
    return ATTENUATION;
}
const std::array<uint32_t, 16>& synth_sustain_table() {
    return SUSTAIN;
}

const int16_t* synth_waveform(uint32_t number) {
    if (number < NOISE_WAVEFORM) return tables().shapes[number].data();
    if (number >= FIRST_BANK_WAVEFORM && number < WAVEFORM_COUNT)
        return SYNTH_WAVEFORM_BANK[number - FIRST_BANK_WAVEFORM];
    return nullptr;
}

bool valid_synth_parameters(const SynthParameters& p) {
    if (p[0] >= 2) return false;
    if (p[8] >= 32) return false; // operator 2 has no feedback
    if ((p[8] & 31) == 31 || (p[3] & 31) == 31) return false;
    for (size_t base : {size_t(1), size_t(6)}) {
        if ((p[base + 1] & 63) >= 32) return false;
        if ((p[base + 3] >> 4) > 11) return false;
        if ((p[base + 3] & 15) > 13 || (p[base + 4] & 15) > 13) return false;
    }
    return true;
}

Synthesizer::Synthesizer(const SynthParameters& parameters) {
    modulation_ = parameters[0] == 1;
    set_up(ops_[0], &parameters[1], true);
    set_up(ops_[1], &parameters[6], false);
    const uint32_t feedback = parameters[3] >> 5;
    feedback_shift_ = feedback == 0 ? 16 : 10 - feedback - (modulation_ ? 2 : 0);
}

void Synthesizer::set_up(Operator& op, const uint8_t* bytes, bool first) {
    const uint32_t attenuation = bytes[0] & 63;
    const uint32_t waveform = bytes[1] & 63;
    const uint32_t multiple = bytes[2] & 31;
    const uint32_t attack = bytes[3] >> 4, decay = bytes[3] & 15;
    const uint32_t sustain = bytes[4] >> 4, release = bytes[4] & 15;

    op.wave = synth_waveform(waveform);
    op.lfo_step = VIBRATO_STEPS[bytes[0] >> 6];
    op.tremolo_step = TREMOLO_STEPS[bytes[1] >> 6];

    op.divisor = ATTENUATION[attenuation] / 2;
    const bool modulator = first && modulation_;
    if (modulator) op.divisor *= 4;
    op.silent = op.divisor >= 65535;

    op.attack_step = int32_t(24u << attack);
    op.decay = decay == 0 ? 0 : (9848 >> decay) + 1;
    op.release = release == 0 ? 0 : (9848 >> release) + 1;
    if (attenuation == 63) {
        op.attack_step = 49152;
        op.decay = 1;
        op.release = 1;
    }
    op.sustain = int32_t(SUSTAIN[sustain]);

    const int64_t q = modulator ? 6554 : 4915;
    op.threshold = op.silent ? 65536 : int32_t(((q * op.divisor - 1) | 0xF80) >> 7);

    op.multiplier = 8 * (multiple + 1);
    op.phase_step = op.multiplier * 65536;
}

void Synthesizer::recompute_amplitude(Operator& op) {
    op.amplitude = op.silent ? 0 : int32_t((int64_t(op.level & ~31) * op.tremolo * 2) / op.divisor);
}

void Synthesizer::step_lfos(Operator& op) {
    if (op.lfo_step != 0) {
        op.lfo_phase = (op.lfo_phase + op.lfo_step) % 2048;
        const int32_t bend = synth_sine_table()[op.lfo_phase] / 62;
        op.phase_step = uint32_t((65536 + bend) * int64_t(op.multiplier));
    }
    if (op.tremolo_step != 0) {
        op.tremolo_phase = (op.tremolo_phase + op.tremolo_step) % 128;
        op.tremolo = synth_tremolo_table()[op.tremolo_phase];
        recompute_amplitude(op);
    }
}

void Synthesizer::step_envelope(Operator& op) {
    if (op.attacking) {
        op.level += op.attack_step;
        if (op.level > 65535) {
            op.level = 65535;
            op.attacking = false;
        }
    } else {
        if (op.decay != 0) {
            op.level -= op.level > op.decay ? op.level / op.decay : 2;
            if (op.level < 0) {
                op.level = 0;
                op.decay = 0;
            }
        }
        // The sustain level is passed once; from there on the release rate decays the sound.
        if (op.level < op.sustain) {
            op.level = op.sustain;
            op.decay = op.release;
            op.sustain = 0;
        }
    }
    recompute_amplitude(op);
}

bool Synthesizer::loop_closes() const {
    const Frame distance = frame_ - loop_mark_;
    const uint32_t output_difference = uint32_t(snapshot_.last_output) - uint32_t(last_output_);
    if ((output_difference & 0xFE00) != 0) return false;
    if (snapshot_.seed != seed_) return false;
    for (size_t k = 0; k < 2; ++k) {
        const Operator& op = ops_[k];
        if (((snapshot_.accumulator[k] - op.accumulator) & 0x7FFFFFF) > 16ull * distance)
            return false;
        const uint32_t lfo = snapshot_.lfo_phase[k] > op.lfo_phase
                                 ? snapshot_.lfo_phase[k] - op.lfo_phase
                                 : op.lfo_phase - snapshot_.lfo_phase[k];
        if (lfo > distance / 1024) return false;
        const uint32_t tremolo = snapshot_.tremolo_phase[k] > op.tremolo_phase
                                     ? snapshot_.tremolo_phase[k] - op.tremolo_phase
                                     : op.tremolo_phase - snapshot_.tremolo_phase[k];
        if (tremolo > distance / 65536) return false;
    }
    return true;
}

int32_t Synthesizer::output(Operator& op, int32_t index) {
    int32_t sample;
    if (op.wave == nullptr) {
        seed_ = uint16_t(seed_ * 805u + 1u);
        sample = int16_t(seed_);
    } else {
        sample = op.wave[uint32_t(index) & (WAVEFORM_LENGTH - 1)];
    }
    return (op.amplitude * sample) >> 15;
}

Synthesizer::Outcome Synthesizer::render(int16_t* out, Frame capacity) {
    Operator& op1 = ops_[0];
    Operator& op2 = ops_[1];
    for (; frame_ < capacity; ++frame_) {
        if (frame_ % 16 == 0) {
            if (loop_mark_ == NO_LOOP && !op1.attacking && !op2.attacking && op1.decay == 0 &&
                op2.decay == 0) {
                loop_mark_ = frame_;
                snapshot_ = {{op1.accumulator, op2.accumulator},
                             {op1.lfo_phase, op2.lfo_phase},
                             {op1.tremolo_phase, op2.tremolo_phase},
                             last_output_,
                             seed_};
            }
            if (frame_ % 128 == 0) {
                step_lfos(op1);
                step_lfos(op2);
            }
            step_envelope(op1);
            step_envelope(op2);
        }
        if (loop_mark_ != NO_LOOP) {
            if (frame_ > loop_mark_ && loop_closes()) return Outcome::LOOP_FOUND;
        } else if (frame_ % 256 == 0) {
            const bool quiet2 = !op2.attacking && op2.level <= op2.threshold;
            const bool quiet1 = !op1.attacking && op1.level <= op1.threshold;
            if (quiet2 && (modulation_ || quiet1)) return Outcome::FINISHED;
        }

        int32_t index1 = int32_t(op1.accumulator >> 16);
        if (feedback_shift_ < 16)
            index1 +=
                (last_output_ >> feedback_shift_) + ((last_output_ >> (feedback_shift_ - 1)) & 1);
        const int32_t o1 = output(op1, index1);
        int32_t index2 = int32_t(op2.accumulator >> 16);
        if (modulation_) index2 += o1;
        const int32_t o2 = output(op2, index2);
        out[frame_] = int16_t(modulation_ ? o2 : std::clamp(o1 + o2, -32768, 32767));

        op1.accumulator += op1.phase_step;
        op2.accumulator += op2.phase_step;
        last_output_ = o1;
    }
    return Outcome::CAPACITY_REACHED;
}

Instrument make_synthesized_instrument(std::string name, uint32_t category,
                                       const SynthParameters& parameters, bool from_bank) {
    Instrument instrument;
    instrument.name = std::move(name);
    instrument.category = category;
    instrument.from_bank = from_bank;
    instrument.bytes_per_sample = 2;
    instrument.rate = SYNTH_RATE;
    instrument.synth_parameters = parameters;
    instrument.id = next_instrument_id();

    Synthesizer synthesizer(parameters);
    Frame capacity = 0;
    Synthesizer::Outcome outcome = Synthesizer::Outcome::CAPACITY_REACHED;
    std::vector<uint8_t>& block = instrument.samples;
    while (outcome == Synthesizer::Outcome::CAPACITY_REACHED && capacity < RENDER_LIMIT) {
        capacity += RENDER_STEP;
        block.resize(size_t(capacity) * 2 + SAMPLE_PADDING);
        outcome = synthesizer.render(reinterpret_cast<int16_t*>(block.data()), capacity);
    }
    instrument.length = synthesizer.frame();
    if (outcome == Synthesizer::Outcome::LOOP_FOUND)
        instrument.loop_start = synthesizer.loop_start();
    block.resize(size_t(instrument.length) * 2 + SAMPLE_PADDING);
    std::fill(block.begin() + ptrdiff_t(instrument.sample_bytes()), block.end(), uint8_t(0));
    block.shrink_to_fit();
    return instrument;
}

} // namespace tunemill
