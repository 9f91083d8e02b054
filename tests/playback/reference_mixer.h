// An independent, frame-by-frame model of one mixer voice, written straight from the mixer's
// formulas (no packed weights, no groups, no shared code with the kernels), against which the
// real kernels and the voice loop are checked.
#pragma once

#include <cstdint>
#include <vector>

namespace tunemill::testing {

struct ReferenceVoice {
    std::vector<int32_t> samples16; // the sample in 16-bit units
    uint32_t loop_start = 0xFFFFFFFF;
    uint64_t position = 0; // 16.16
    uint32_t step = 0;
    uint32_t left_gain = 0, right_gain = 0;
    bool interpolate = false;   // the format interpolates (below step 1.0)
    bool eight_bit = false;     // direct frames of an 8-bit sample use the level table
    std::vector<uint8_t> bytes; // the raw 8-bit sample for the level table
    bool looped = false;
    bool running = true;
    // glide
    bool gliding = false;
    int32_t glide_delta = 0;
    uint32_t glide_steps_left = 0, frames_to_glide_step = 0, frames_per_glide_step = 0;
};

inline int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

inline int16_t clamp16(int64_t v) {
    return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// One channel's contribution of the frame at the voice's position.
inline int64_t reference_value(const ReferenceVoice& v, uint32_t gain, bool left) {
    const uint64_t whole = v.position >> 16;
    const uint32_t end = uint32_t(v.samples16.size());
    // The step of this very frame decides: a glide that crosses 1.0 changes the resampling there.
    if (!v.interpolate || v.step >= 65536) {
        if (v.eight_bit) return (int64_t(v.bytes[whole]) - 128) * (gain / 256) + 128;
        const int64_t n = int64_t(gain) * v.samples16[whole] + 32768 * (gain % 2);
        // q = n / 65536; left: nearest (halves up), right: down.
        return left ? floor_div(n + 32768, 65536) : floor_div(n, 65536);
    }
    const int64_t newer = v.samples16[whole];
    int64_t older;
    if (v.looped && v.loop_start != 0xFFFFFFFF && whole == v.loop_start)
        older = v.samples16[end - 1];
    else if (whole == 0)
        older = 0;
    else
        older = v.samples16[whole - 1];
    const uint32_t phase = uint32_t((v.position & 0xFFFF) >> 12);
    const int64_t wn = (gain / 2 + phase * int64_t(gain)) / 16;
    const int64_t wo = int64_t(gain) - wn;
    const int64_t u = wn * newer + wo * older + 32768 * (gain % 2);
    if (!left) return floor_div(u, 65536);
    const int64_t rounded = floor_div(u + 8192, 16384) * 16384; // nearest multiple, halves up
    return floor_div(rounded, 65536);
}

// Mixes frames frames of the voice into mix (channels interleaved), following loops and glides
// one frame at a time.
inline void reference_mix(ReferenceVoice& v, std::vector<int16_t>& mix, size_t offset,
                          uint32_t frames, int channels) {
    const uint64_t end = v.samples16.size();
    const bool loops = v.loop_start != 0xFFFFFFFF && v.loop_start < end;
    for (uint32_t f = 0; f < frames && v.running; ++f) {
        while ((v.position >> 16) >= end) {
            if (!loops) {
                v.running = false;
                v.gliding = false;
                return;
            }
            v.position -= (end - v.loop_start) << 16;
        }
        if (v.left_gain != 0 || v.right_gain != 0) {
            int16_t* out = &mix[(offset + f) * channels];
            out[0] = clamp16(out[0] + reference_value(v, v.left_gain, true));
            if (channels == 2) out[1] = clamp16(out[1] + reference_value(v, v.right_gain, false));
        }
        v.position += v.step;
        if (v.gliding && --v.frames_to_glide_step == 0) {
            v.step = uint32_t(int64_t(v.step) + v.glide_delta);
            v.frames_to_glide_step = v.frames_per_glide_step;
            if (--v.glide_steps_left == 0) v.gliding = false;
        }
    }
    if (v.running && (v.position >> 16) >= end) {
        if (!loops) {
            v.running = false;
            v.gliding = false;
        } else {
            v.position -= (end - v.loop_start) << 16;
        }
    }
}

} // namespace tunemill::testing
