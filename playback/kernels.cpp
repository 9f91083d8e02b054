// The portable mixing kernels, the silent kernel, the 8-bit level table and the choice between
// the portable and the vector kernels.
#include <cstdint>

#include "playback/mix_voice.h"

namespace tunemill {

namespace {
#include "playback/kernel_loop.h"

template <typename Sample, int Channels, bool Interpolate> struct Portable {
    static void run(MixVoice& voice, int16_t* mix, uint32_t frames) {
        mix_portable<Sample, Channels, Interpolate>(voice, mix, frames);
    }
};

constexpr KernelTable<Portable> portable_table;
static_assert(portable_table.complete(), "every kernel shape has its own index");

constexpr Kernel portable_pair_table[2] = {mix_pairs_portable<1>, mix_pairs_portable<2>};

struct LevelTable {
    EightBitLevels levels;
    LevelTable() {
        for (int level = 0; level <= 256; ++level)
            for (int x = 0; x < 256; ++x)
                levels[level][x] = int16_t((x - 128) * level + 128);
    }
};
} // namespace

// Defined in kernels_avx2.cpp when the build targets x86-64.
const Kernel* avx2_kernels();
const Kernel* avx2_pair_kernels();

const EightBitLevels& eight_bit_levels() {
    static const LevelTable table;
    return table.levels;
}

const Kernel* portable_kernels() {
    return portable_table.entries;
}

const Kernel* vector_kernels() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has_avx2 = __builtin_cpu_supports("avx2");
    return has_avx2 ? avx2_kernels() : nullptr;
#else
    return nullptr;
#endif
}

const Kernel* kernels() {
    static const Kernel* chosen = vector_kernels() ? vector_kernels() : portable_kernels();
    return chosen;
}

const Kernel* portable_pair_kernels() {
    return portable_pair_table;
}

const Kernel* vector_pair_kernels() {
    return vector_kernels() ? avx2_pair_kernels() : nullptr;
}

const Kernel* pair_kernels() {
    static const Kernel* chosen =
        vector_pair_kernels() ? vector_pair_kernels() : portable_pair_kernels();
    return chosen;
}

void silent_kernel(MixVoice& voice, int16_t*, uint32_t frames) {
    uint64_t position = (uint64_t(voice.position) << 16) | voice.fraction;
    position += uint64_t(voice.step) * frames;
    voice.position = uint32_t(position >> 16);
    voice.fraction = uint32_t(position & 0xFFFF);
}

const Kernel* silent_kernels() {
    static const Kernel table[KERNEL_COUNT] = {silent_kernel, silent_kernel, silent_kernel,
                                               silent_kernel, silent_kernel, silent_kernel,
                                               silent_kernel, silent_kernel};
    return table;
}

void build_weights(MixVoice& voice) {
    const uint32_t gains[2] = {voice.left_gain, voice.right_gain};
    for (int channel = 0; channel < 2; ++channel) {
        const int64_t gain = gains[channel];
        for (int phase = 0; phase < PHASES; ++phase) {
            // The newer sample weighs about (phase + 0.5) / 16 of the gain.
            const int64_t newer = (gain / 2 + phase * gain) / 16;
            const int64_t older = gain - newer;
            voice.weights[channel][phase] =
                int32_t(uint32_t(newer - 32768) << 16 | (uint32_t(older - 32768) & 0xFFFF));
        }
    }
}

} // namespace tunemill
