// The mixing loop, written once as a template over sample type, channel count and resampling.
// Every output sample follows the mixer's integer formulas exactly. This file is included inside
// an unnamed namespace by each kernel translation unit (portable and vector), after <cstdint> and
// playback/mix_voice.h, so that each unit gets its own copy compiled with its own flags.
// NOLINT(build/header_guard): deliberately without include guard or includes.

inline int16_t add_saturated(int16_t mix, int32_t value) {
    int32_t sum = int32_t(mix) + value;
    return int16_t(sum < -32768 ? -32768 : (sum > 32767 ? 32767 : sum));
}

// A sample in 16-bit units: 8-bit samples are unsigned with 128 as the zero level.
template <typename Sample> inline int32_t sample16(const Sample* samples, uint32_t index) {
    if constexpr (sizeof(Sample) == 1)
        return (int32_t(samples[index]) - 128) * 256;
    else
        return samples[index];
}

// The older sample of the first frame of a kernel call: the frame before the position, silence at
// position 0, and the last frame of the sample at the loop start of a voice placed into its loop.
template <typename Sample> inline int32_t first_older(const MixVoice& voice) {
    const Sample* samples = reinterpret_cast<const Sample*>(voice.samples);
    if ((voice.flags & VOICE_LOOPED) != 0 && voice.position == voice.loop_start &&
        voice.sample_end > 0)
        return sample16(samples, voice.sample_end - 1);
    if (voice.position == 0) return 0;
    return sample16(samples, voice.position - 1);
}

// Rounding constants of the two channels. Direct kernels: q = (G * s + 32768 * (G mod 2)) / 65536,
// the left (or only) channel takes q rounded to the nearest integer (halves up), the right q
// rounded down. Interpolating kernels: the left channel rounds u to the nearest multiple of 16384
// before flooring, which is floor((u + 8192) / 65536).
struct ChannelBias {
    int32_t left;
    int32_t right;
};
inline ChannelBias direct_bias(const MixVoice& voice) {
    return {int32_t(32768 * (voice.left_gain & 1) + 32768),
            int32_t(32768 * (voice.right_gain & 1))};
}
inline ChannelBias interpolation_bias(const MixVoice& voice) {
    return {int32_t(32768 * (voice.left_gain & 1) + 8192), int32_t(32768 * (voice.right_gain & 1))};
}

inline int32_t newer_weight(int32_t packed) {
    return (packed >> 16) + 32768;
}
inline int32_t older_weight(int32_t packed) {
    return int32_t(int16_t(packed & 0xFFFF)) + 32768;
}

// Floor division by 65536 of a value that fits 64 bits.
inline int32_t floor_65536(int64_t value) {
    return int32_t(value >> 16);
}

// One interpolated output frame at a 16.16 position (only its fraction counts) added into the mix.
template <int Channels>
inline void mix_interpolated_frame(const MixVoice& voice, int16_t* mix, uint32_t position,
                                   int64_t newer, int64_t older, ChannelBias bias) {
    const uint32_t phase = (position >> 12) & (PHASES - 1);
    const int32_t left = voice.weights[0][phase];
    mix[0] = add_saturated(
        mix[0], floor_65536(newer_weight(left) * newer + older_weight(left) * older + bias.left));
    if constexpr (Channels == 2) {
        const int32_t right = voice.weights[1][phase];
        mix[1] = add_saturated(mix[1], floor_65536(newer_weight(right) * newer +
                                                   older_weight(right) * older + bias.right));
    }
}

template <typename Sample, int Channels, bool Interpolate>
void mix_portable(MixVoice& voice, int16_t* mix, uint32_t frames) {
    static_assert(Channels == 1 || Channels == 2);
    static_assert(sizeof(Sample) == 1 || sizeof(Sample) == 2);
    const Sample* samples = reinterpret_cast<const Sample*>(voice.samples);
    uint64_t position = (uint64_t(voice.position) << 16) | voice.fraction; // 16.16
    const uint64_t step = voice.step;

    if constexpr (!Interpolate && sizeof(Sample) == 2) {
        const int64_t left_gain = voice.left_gain, right_gain = voice.right_gain;
        const ChannelBias bias = direct_bias(voice);
        for (uint32_t frame = 0; frame < frames; ++frame, position += step, mix += Channels) {
            const int64_t s = samples[position >> 16];
            mix[0] = add_saturated(mix[0], floor_65536(left_gain * s + bias.left));
            if constexpr (Channels == 2)
                mix[1] = add_saturated(mix[1], floor_65536(right_gain * s + bias.right));
        }
    } else if constexpr (!Interpolate) {
        const EightBitLevels& levels = eight_bit_levels();
        const int16_t* left = levels[voice.left_gain >> 8];
        const int16_t* right = levels[voice.right_gain >> 8];
        for (uint32_t frame = 0; frame < frames; ++frame, position += step, mix += Channels) {
            const uint8_t x = samples[position >> 16];
            mix[0] = add_saturated(mix[0], left[x]);
            if constexpr (Channels == 2) mix[1] = add_saturated(mix[1], right[x]);
        }
    } else {
        const uint32_t start = voice.position;
        const int32_t start_older = first_older<Sample>(voice);
        const ChannelBias bias = interpolation_bias(voice);
        for (uint32_t frame = 0; frame < frames; ++frame, position += step, mix += Channels) {
            const uint32_t whole = uint32_t(position >> 16);
            const int64_t newer = sample16(samples, whole);
            const int64_t older = whole == start ? start_older : sample16(samples, whole - 1);
            mix_interpolated_frame<Channels>(voice, mix, uint32_t(position), newer, older, bias);
        }
    }
    voice.position = uint32_t(position >> 16);
    voice.fraction = uint32_t(position & 0xFFFF);
}

// A frame of a short loop laid out many times over: the older sample at each loop start is the
// one the loop wrap takes, which is not the frame before it in memory, so each frame carries its
// own pair (in 16-bit units).
struct SamplePair {
    int16_t older;
    int16_t newer;
};

// Interpolating over a table of sample pairs: the same sound as mix_portable's interpolation,
// with the older sample of every frame taken from its pair.
template <int Channels> void mix_pairs_portable(MixVoice& voice, int16_t* mix, uint32_t frames) {
    const SamplePair* pairs = reinterpret_cast<const SamplePair*>(voice.samples);
    uint64_t position = (uint64_t(voice.position) << 16) | voice.fraction;
    const uint64_t step = voice.step;
    const ChannelBias bias = interpolation_bias(voice);
    for (uint32_t frame = 0; frame < frames; ++frame, position += step, mix += Channels) {
        const SamplePair pair = pairs[position >> 16];
        mix_interpolated_frame<Channels>(voice, mix, uint32_t(position), pair.newer, pair.older,
                                         bias);
    }
    voice.position = uint32_t(position >> 16);
    voice.fraction = uint32_t(position & 0xFFFF);
}

// The kernels of one family, each at the index kernel_index gives its shape. A table where two
// shapes meet at one index leaves another empty, which complete() finds at compile time.
template <template <typename, int, bool> class Table> struct KernelTable {
    Kernel entries[KERNEL_COUNT] = {};
    // Which indices a shape took: kept apart from the entries because comparing function
    // addresses is not a constant expression under every compiler mode (UBSan's among them).
    bool placed[KERNEL_COUNT] = {};

    constexpr KernelTable() {
        place<uint8_t, 1, false>();
        place<uint8_t, 1, true>();
        place<int16_t, 1, false>();
        place<int16_t, 1, true>();
        place<uint8_t, 2, false>();
        place<uint8_t, 2, true>();
        place<int16_t, 2, false>();
        place<int16_t, 2, true>();
    }

    template <typename Sample, int Channels, bool Interpolate> constexpr void place() {
        static_assert(kernel_interpolates(
                          kernel_index(Channels == 2, sizeof(Sample), Interpolate)) == Interpolate);
        constexpr int index = kernel_index(Channels == 2, sizeof(Sample), Interpolate);
        entries[index] = Table<Sample, Channels, Interpolate>::run;
        placed[index] = true;
    }

    constexpr bool complete() const {
        for (bool taken : placed)
            if (!taken) return false;
        return true;
    }
};
