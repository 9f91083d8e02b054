// One mixer voice and the mixing kernels that play it. This header is kept free of every
// library include except <cstdint>, because the vector kernels are compiled with other
// instruction-set flags and must not instantiate shared inline code.
#pragma once

#include <cstdint>

namespace tunemill {

// Flags of a MixVoice.
constexpr uint32_t VOICE_GAINS_STALE = 0x001;   // gains must be recomputed from volume/balance
constexpr uint32_t VOICE_DIRECT_STALE = 0x002;  // direct-kernel constants must be rebuilt
constexpr uint32_t VOICE_WEIGHTS_STALE = 0x004; // 16-phase weight tables must be rebuilt
constexpr uint32_t VOICE_GLIDING = 0x008;       // a pitch glide is in progress
constexpr uint32_t VOICE_LOOPED = 0x010;        // placed past the end of a looping sample
constexpr uint32_t VOICE_RUNNING = 0x020;       // the position lies inside the sample
constexpr uint32_t VOICE_IN_USE = 0x040;        // the note sounds
constexpr uint32_t VOICE_TOUCHED = 0x080;       // temporary mark of a seek
constexpr uint32_t VOICE_PREVIEW = 0x100;       // preview note (keyboard window, MIDI)
constexpr uint32_t VOICE_AUDITION = 0x200;      // note auditioned from the pattern editor

constexpr uint32_t PREVIEW_VOICE_ID = 0xFFFFFFFF; // pattern voice id of a preview note
constexpr uint64_t HELD_UNTIL_RELEASED = ~uint64_t(0);

constexpr int PHASES = 16; // fractional phases of the interpolating kernels
constexpr uint32_t UNITY_GAIN = 65536;
constexpr uint32_t UNITY_STEP = 65536; // 16.16: one source frame per output frame
constexpr uint32_t MAX_KERNEL_FRAMES = 65535;

struct MixVoice;
// Mixes frames output frames of the voice into the 16-bit mix buffer (interleaved when stereo)
// with saturation and advances the voice's position. The caller has cut frames so that every
// mixed frame lies inside the sample.
using Kernel = void (*)(MixVoice& voice, int16_t* mix, uint32_t frames);

struct MixVoice {
    uint32_t fraction = 0;     // 0..65535: fractional part of the play position
    uint32_t position = 0;     // whole part: index of a sample frame
    uint32_t step = 0;         // 16.16 source frames per output frame
    int32_t glide_delta = 0;   // added to step at every glide step
    uint32_t glide_target = 0; // step at the end of the glide
    uint32_t glide_steps_left = 0;
    uint32_t frames_to_glide_step = 0;
    uint32_t frames_per_glide_step = 0;
    const uint8_t* samples = nullptr; // the instrument's sample frames (padded)
    uint32_t bytes_per_sample = 2;
    uint32_t loop_start = 0xFFFFFFFF; // NO_LOOP or a frame index
    uint32_t sample_end = 0;          // frames in the sample, also the end of the loop
    Kernel kernel = nullptr;          // chosen for the current chunk
    uint32_t left_gain = 0;           // 0..65536
    uint32_t right_gain = 0;
    // Per phase and channel (0 left, 1 right) the two interpolation weights as one word:
    // (newer weight - 32768) in the upper 16 bits, (older weight - 32768) in the lower 16 bits.
    alignas(32) int32_t weights[2][PHASES] = {};
    uint32_t flags = 0;
    uint32_t pattern_voice_id = 0; // owning pattern voice, PREVIEW_VOICE_ID for previews
    uint32_t instrument = 0;       // index into the song's instruments
    uint32_t key = 0;              // 0..83
    uint32_t volume = 0;           // 0..31 (31 only for preview notes)
    uint32_t balance = 15;         // 0..30, 15 = centre
    uint32_t preview_handle = 0;
    uint64_t end_frame = HELD_UNTIL_RELEASED; // frame count at which a preview/audition ends

    bool has(uint32_t flag) const { return (flags & flag) != 0; }
    bool loops() const { return loop_start != 0xFFFFFFFF; }
};

// The kernel table, indexed by stereo * 4 + (bytes per sample - 1) * 2 + interpolate.
constexpr int KERNEL_COUNT = 8;
constexpr int kernel_index(bool stereo, uint32_t bytes_per_sample, bool interpolate) {
    return (stereo ? 4 : 0) + int(bytes_per_sample - 1) * 2 + (interpolate ? 1 : 0);
}
constexpr bool kernel_interpolates(int index) {
    return (index & 1) != 0;
}

// Interpolating kernels over a table of (older, newer) sample pairs in 16-bit units, two int16
// per frame, for short loops laid out many times over; index 0 mono, 1 stereo. The vector ones
// when the processor has them.
const Kernel* pair_kernels();
const Kernel* portable_pair_kernels();
const Kernel* vector_pair_kernels();

// The kernels the mixer uses: the vector ones when the processor has them, else the portable ones.
const Kernel* kernels();
// The portable kernels, always available.
const Kernel* portable_kernels();
// The vector kernels, or nullptr when this processor (or build) has none.
const Kernel* vector_kernels();
// Advances the position by step * frames and writes nothing.
void silent_kernel(MixVoice& voice, int16_t* mix, uint32_t frames);
// A kernel table of silent kernels only: the voices move exactly as mixing would move them.
const Kernel* silent_kernels();

// The 8-bit volume lookup table: for level L = 0..256 and unsigned byte x, (x - 128) * L + 128.
using EightBitLevels = int16_t[257][256];
const EightBitLevels& eight_bit_levels();

// Rebuilds the weight tables of the interpolating kernels from the voice's gains.
void build_weights(MixVoice& voice);

} // namespace tunemill
