// The mixing kernels for processors with AVX2: eight output frames per step, the samples of a
// group fetched with one gather, both weights of a frame applied with one multiply-add per
// channel, and the mix updated with saturating 16-bit adds. Results are bit-identical to the
// portable loop, which also mixes the few frames that do not fill a group.
// This unit is compiled with -mavx2 and includes nothing but intrinsics and the plain voice
// record, so that no shared inline code is built with these flags.
#include <cstdint>

#include "playback/mix_voice.h"

#if defined(__x86_64__) && defined(__AVX2__)
#include <immintrin.h>

namespace tunemill {

namespace {
#include "playback/kernel_loop.h"

// The vector loop works on 32-bit offsets from the group's first frame: eight steps and a
// fraction must fit 32 bits. Larger steps (far beyond any key) take the portable loop.
constexpr uint32_t MAX_VECTOR_STEP = 1u << 28;
constexpr uint32_t GROUP = 8;

// Eight results of one channel, as int32 lanes, added into eight mono frames.
inline void add_mono(int16_t* mix, __m256i values) {
    const __m256i packed = _mm256_packs_epi32(values, values);
    const __m128i ordered = _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
    const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mix));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mix), _mm_adds_epi16(current, ordered));
}

// Eight left and eight right results, as int32 lanes, added into eight stereo frames.
inline void add_stereo(int16_t* mix, __m256i left, __m256i right) {
    // packs gives L0-3 R0-3 | L4-7 R4-7 per 128-bit lane; the shuffle interleaves each lane.
    const __m256i interleave =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                         11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i packed = _mm256_shuffle_epi8(_mm256_packs_epi32(left, right), interleave);
    const __m256i current = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mix));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(mix), _mm256_adds_epi16(current, packed));
}

// Sixteen ready int16 values (eight stereo frames) added into the mix.
inline void add_interleaved(int16_t* mix, __m256i values) {
    const __m256i current = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mix));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(mix), _mm256_adds_epi16(current, values));
}

// The weight word of each frame's phase (the top four bits of its fraction) from a channel's
// 16-entry table held in two registers.
inline __m256i phase_weights(__m256i low, __m256i high, __m256i offsets) {
    const __m256i index = _mm256_srli_epi32(offsets, 12); // low 3 bits: phase & 7
    const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(offsets, 16)); // sign: phase & 8
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(low, index)),
                         _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(high, index)), upper));
}

// The (older, newer) pairs of eight frames as int16 pairs in 16-bit units; base points at the
// frame before the group's first position (at the group's first pair for a pair table).
template <typename Sample> inline __m256i sample_pairs(const uint8_t* base, __m256i frames) {
    if constexpr (sizeof(Sample) == 4) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), frames, 4);
    } else if constexpr (sizeof(Sample) == 2) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), frames, 2);
    } else {
        const __m256i bytes = _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), frames, 1);
        // bytes o, n, -, - of each lane become the words (o << 8), (n << 8), then the top bit
        // flips: (x - 128) * 256.
        const __m256i spread = _mm256_setr_epi8(-128, 0, -128, 1, -128, 4, -128, 5, -128, 8, -128,
                                                9, -128, 12, -128, 13, -128, 0, -128, 1, -128, 4,
                                                -128, 5, -128, 8, -128, 9, -128, 12, -128, 13);
        return _mm256_xor_si256(_mm256_shuffle_epi8(bytes, spread),
                                _mm256_set1_epi16(int16_t(0x8000)));
    }
}

// 16 unsigned 8-bit samples as 16-bit units: (x - 128) * 256.
inline __m256i widened(__m128i bytes) {
    return _mm256_xor_si256(_mm256_slli_epi16(_mm256_cvtepu8_epi16(bytes), 8),
                            _mm256_set1_epi16(int16_t(0x8000)));
}

// The same pairs as sample_pairs when the eight frames lie within eight source frames (a step
// below 1.0): two plain loads and two permutes instead of a gather. Reads 16 frames from base
// (8 pairs from a pair table), which the caller has checked lie inside the sample block.
template <typename Sample> inline __m256i near_pairs(const uint8_t* base, __m256i frames) {
    if constexpr (sizeof(Sample) == 4) {
        return _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base)), frames);
    } else {
        // Word pairs starting at even and at odd offsets from base.
        __m256i even, odd;
        if constexpr (sizeof(Sample) == 2) {
            even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base));
            odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + 2));
        } else {
            even = widened(_mm_loadu_si128(reinterpret_cast<const __m128i*>(base)));
            odd = widened(_mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 1)));
        }
        const __m256i half = _mm256_srli_epi32(frames, 1);
        const __m256 take_odd = _mm256_castsi256_ps(_mm256_slli_epi32(frames, 31));
        return _mm256_castps_si256(_mm256_blendv_ps(
            _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, half)),
            _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, half)), take_odd));
    }
}

// Where the group being mixed starts, and the offsets of its eight frames from there.
struct GroupCursor {
    uint32_t whole;
    uint32_t fraction;
    uint32_t step;
    __m256i step_offsets; // 0 to 7 steps

    explicit GroupCursor(const MixVoice& voice)
        : whole(voice.position), fraction(voice.fraction), step(voice.step),
          step_offsets(_mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                          _mm256_set1_epi32(int(voice.step)))) {}
    // The 16.16 offsets of the group's frames from its first whole frame.
    __m256i offsets() const {
        return _mm256_add_epi32(_mm256_set1_epi32(int(fraction)), step_offsets);
    }
    void next_group() {
        const uint32_t total = fraction + GROUP * step;
        whole += total >> 16;
        fraction = total & 0xFFFF;
    }
};

// Interpolating: both weights of a frame applied to its (older, newer) pair with one multiply-add
// per channel. Mixes whole groups from done on; returns the frames done.
template <typename Sample, int Channels>
[[gnu::always_inline]] inline uint32_t mix_interpolated(const MixVoice& voice, int16_t*& mix,
                                                        uint32_t frames, uint32_t done,
                                                        GroupCursor& at) {
    const ChannelBias bias = interpolation_bias(voice);
    const __m256i left_low = _mm256_load_si256(reinterpret_cast<const __m256i*>(voice.weights[0]));
    const __m256i left_high =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(voice.weights[0] + 8));
    const __m256i right_low = _mm256_load_si256(reinterpret_cast<const __m256i*>(voice.weights[1]));
    const __m256i right_high =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(voice.weights[1] + 8));
    const __m256i half = _mm256_set1_epi16(16384);
    const __m256i left_bias = _mm256_set1_epi32(bias.left);
    const __m256i right_bias = _mm256_set1_epi32(bias.right);
    // Below step 1.0 a group's frames lie within eight source frames; the plain loads read 16
    // frames of samples (a pair table holds 8 more than it plays).
    const bool near = voice.step < UNITY_STEP;
    const uint32_t near_until = sizeof(Sample) == 4     ? 0xFFFFFFFFu
                                : voice.sample_end > 16 ? voice.sample_end - 16
                                                        : 0;
    for (; frames - done >= GROUP; done += GROUP, mix += GROUP * Channels, at.next_group()) {
        const __m256i offsets = at.offsets();
        const uint64_t first = sizeof(Sample) == 4 ? uint64_t(at.whole) : uint64_t(at.whole) - 1;
        const uint8_t* base = voice.samples + first * sizeof(Sample);
        const __m256i whole_offsets = _mm256_srli_epi32(offsets, 16);
        const __m256i pairs = near && at.whole <= near_until
                                  ? near_pairs<Sample>(base, whole_offsets)
                                  : sample_pairs<Sample>(base, whole_offsets);
        // Wn * n + Wo * o = (Wn - 32768) * n + (Wo - 32768) * o + 32768 * (n + o); the weights
        // are stored less 32768 so that they fit 16 bits. 32-bit wrap-around in the parts is
        // harmless: the sum itself fits.
        const __m256i common = _mm256_slli_epi32(_mm256_madd_epi16(pairs, half), 1);
        const __m256i left = _mm256_srai_epi32(
            _mm256_add_epi32(
                _mm256_add_epi32(
                    _mm256_madd_epi16(pairs, phase_weights(left_low, left_high, offsets)), common),
                left_bias),
            16);
        if constexpr (Channels == 2) {
            const __m256i right = _mm256_srai_epi32(
                _mm256_add_epi32(
                    _mm256_add_epi32(
                        _mm256_madd_epi16(pairs, phase_weights(right_low, right_high, offsets)),
                        common),
                    right_bias),
                16);
            add_stereo(mix, left, right);
        } else {
            add_mono(mix, left);
        }
    }
    return done;
}

// 16-bit samples without interpolation: one 32-bit multiply per channel.
template <int Channels>
[[gnu::always_inline]] inline uint32_t mix_direct_16(const MixVoice& voice, int16_t*& mix,
                                                     uint32_t frames, uint32_t done,
                                                     GroupCursor& at) {
    const ChannelBias bias = direct_bias(voice);
    const __m256i left_gain = _mm256_set1_epi32(int(voice.left_gain));
    const __m256i right_gain = _mm256_set1_epi32(int(voice.right_gain));
    const __m256i left_bias = _mm256_set1_epi32(bias.left);
    const __m256i right_bias = _mm256_set1_epi32(bias.right);
    for (; frames - done >= GROUP; done += GROUP, mix += GROUP * Channels, at.next_group()) {
        const __m256i words = _mm256_i32gather_epi32(
            reinterpret_cast<const int*>(voice.samples + uint64_t(at.whole) * 2),
            _mm256_srli_epi32(at.offsets(), 16), 2);
        const __m256i s = _mm256_srai_epi32(_mm256_slli_epi32(words, 16), 16);
        const __m256i left =
            _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(s, left_gain), left_bias), 16);
        if constexpr (Channels == 2) {
            const __m256i right = _mm256_srai_epi32(
                _mm256_add_epi32(_mm256_mullo_epi32(s, right_gain), right_bias), 16);
            add_stereo(mix, left, right);
        } else {
            add_mono(mix, left);
        }
    }
    return done;
}

// 8-bit samples without interpolation: (x - 128) * L + 128 with L = gain / 256, the same values
// as the 8-bit level table.
template <int Channels>
[[gnu::always_inline]] inline uint32_t mix_direct_8(const MixVoice& voice, int16_t*& mix,
                                                    uint32_t frames, uint32_t done,
                                                    GroupCursor& at) {
    const __m256i levels =
        _mm256_set1_epi32(int((voice.left_gain >> 8) | ((voice.right_gain >> 8) << 16)));
    const __m256i zero_level = _mm256_set1_epi32(128);
    const __m256i word_bias = _mm256_set1_epi16(128);
    for (; frames - done >= GROUP; done += GROUP, mix += GROUP * Channels, at.next_group()) {
        const __m256i bytes =
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(voice.samples + uint64_t(at.whole)),
                                   _mm256_srli_epi32(at.offsets(), 16), 1);
        const __m256i x =
            _mm256_sub_epi32(_mm256_and_si256(bytes, _mm256_set1_epi32(0xFF)), zero_level);
        if constexpr (Channels == 2) {
            // Each lane holds x twice as int16; one 16-bit multiply gives left and right.
            const __m256i twice = _mm256_or_si256(_mm256_and_si256(x, _mm256_set1_epi32(0xFFFF)),
                                                  _mm256_slli_epi32(x, 16));
            add_interleaved(mix, _mm256_add_epi16(_mm256_mullo_epi16(twice, levels), word_bias));
        } else {
            const __m256i level = _mm256_set1_epi32(int(voice.left_gain >> 8));
            add_mono(mix, _mm256_add_epi32(_mm256_mullo_epi32(x, level), zero_level));
        }
    }
    return done;
}

// Until the first carry out of the fraction the older sample of an interpolating voice may be
// silence or the sample's last frame rather than the frame before the position: those frames
// take the portable loop. Returns the frames done.
template <typename Sample, int Channels>
[[gnu::always_inline]] inline uint32_t mix_lead_in(MixVoice& voice, int16_t*& mix,
                                                   uint32_t frames) {
    const uint32_t start = voice.position;
    uint32_t done = 0;
    if (start == 0 || ((voice.flags & VOICE_LOOPED) != 0 && start == voice.loop_start)) {
        while (done < frames && voice.position == start) {
            mix_portable<Sample, Channels, true>(voice, mix, 1);
            mix += Channels;
            ++done;
        }
    }
    return done;
}

template <typename Sample, int Channels, bool Interpolate> struct Avx2 {
    static void run(MixVoice& voice, int16_t* mix, uint32_t frames) {
        if (voice.step >= MAX_VECTOR_STEP || frames < GROUP) {
            mix_portable<Sample, Channels, Interpolate>(voice, mix, frames);
            return;
        }
        uint32_t done = 0;
        if constexpr (Interpolate) done = mix_lead_in<Sample, Channels>(voice, mix, frames);
        GroupCursor at(voice);
        if constexpr (Interpolate)
            done = mix_interpolated<Sample, Channels>(voice, mix, frames, done, at);
        else if constexpr (sizeof(Sample) == 2)
            done = mix_direct_16<Channels>(voice, mix, frames, done, at);
        else
            done = mix_direct_8<Channels>(voice, mix, frames, done, at);
        voice.position = at.whole;
        voice.fraction = at.fraction;
        if (done < frames) mix_portable<Sample, Channels, Interpolate>(voice, mix, frames - done);
    }
};

constexpr KernelTable<Avx2> avx2_table;
static_assert(avx2_table.complete(), "every kernel shape has its own index");

// Interpolating over a pair table: every frame carries its older sample, so no lead-in.
template <int Channels> void mix_pairs_avx2(MixVoice& voice, int16_t* mix, uint32_t frames) {
    if (voice.step >= MAX_VECTOR_STEP || frames < GROUP) {
        mix_pairs_portable<Channels>(voice, mix, frames);
        return;
    }
    GroupCursor at(voice);
    const uint32_t done = mix_interpolated<SamplePair, Channels>(voice, mix, frames, 0, at);
    voice.position = at.whole;
    voice.fraction = at.fraction;
    if (done < frames) mix_pairs_portable<Channels>(voice, mix, frames - done);
}

constexpr Kernel avx2_pair_table[2] = {mix_pairs_avx2<1>, mix_pairs_avx2<2>};
} // namespace

const Kernel* avx2_kernels() {
    return avx2_table.entries;
}

const Kernel* avx2_pair_kernels() {
    return avx2_pair_table;
}

} // namespace tunemill

#else

namespace tunemill {
const Kernel* avx2_kernels() {
    return nullptr;
}
const Kernel* avx2_pair_kernels() {
    return nullptr;
}
} // namespace tunemill

#endif
