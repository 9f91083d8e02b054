// The mixer's tables, gains, voice pool, placement, glides and the per-voice and per-chunk
// mixing loops around the kernels.
#include "playback/mixer.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

namespace tunemill {

const std::array<uint32_t, PITCH_KEYS> PITCH_TABLE = [] {
    std::array<uint32_t, PITCH_KEYS> table{};
    for (uint32_t key = 0; key < PITCH_KEYS; ++key)
        table[key] =
            uint32_t(std::llround(440.0 * std::exp2((double(key) - 45.0) / 12.0) * 65536.0));
    return table;
}();

const std::array<uint32_t, 32> VOLUME_CURVE = {0,   16,  18,  19,  21,  23,  26,  28,  31,  34, 38,
                                               42,  46,  50,  55,  61,  67,  74,  81,  89,  98, 108,
                                               119, 131, 144, 159, 175, 192, 211, 233, 256, 384};

uint32_t scale(uint32_t a, uint32_t b, uint32_t c) {
    if (c == 0) return 0;
    const uint64_t result = (uint64_t(a) * b + c / 2) / c;
    return result > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(result);
}

uint32_t key_rate_divisor(uint32_t output_rate) {
    return uint32_t(uint64_t(output_rate) * 26163 / 100);
}

uint32_t key_step(uint32_t instrument_rate, uint32_t key, uint32_t divisor) {
    return scale(instrument_rate, PITCH_TABLE[std::min(key, PITCH_KEYS - 1)], divisor);
}

Gains voice_gains(uint32_t volume, uint32_t balance, uint32_t amplification, bool stereo) {
    const uint64_t v = VOLUME_CURVE[std::min<uint32_t>(volume, 31)];
    const uint64_t b = std::min<uint32_t>(balance, 30);
    const uint64_t factor = uint64_t(amplification) + 10;
    auto limited = [](uint64_t gain) { return uint32_t(std::min<uint64_t>(gain, UNITY_GAIN)); };
    if (!stereo) {
        const uint32_t gain = limited(v * 256 * factor / 80);
        return {gain, gain};
    }
    const uint64_t d = ((30 - b) * v + 7) / 15;
    // The louder side never exceeds the centre gain of full volume.
    const uint64_t cap = std::max<uint64_t>(v, 256);
    return {limited(std::min(2 * v - d, cap) * 256 * factor / 80),
            limited(std::min(d, cap) * 256 * factor / 80)};
}

void refresh_gains(MixVoice& voice, uint32_t amplification, bool stereo) {
    if (!voice.has(VOICE_GAINS_STALE)) return;
    voice.flags &= ~VOICE_GAINS_STALE;
    const Gains gains = voice_gains(voice.volume, voice.balance, amplification, stereo);
    if (gains.left != voice.left_gain || gains.right != voice.right_gain) {
        voice.left_gain = gains.left;
        voice.right_gain = gains.right;
        voice.flags |= VOICE_DIRECT_STALE | VOICE_WEIGHTS_STALE;
    }
}

namespace {

// Where a voice is after elapsed frames at a 16.16 step. The whole part passes 64 bits only for
// a hostile elapsed time, which must not wrap into the sample: it is held as high * 65536 + low.
struct Travel {
    uint64_t high;
    uint64_t low; // below 2^48
    uint32_t fraction;

    Travel(uint64_t elapsed, uint32_t step) {
        // elapsed * step = (elapsed_high * step) * 2^32 + elapsed_low * step, each part 64 bits.
        const uint64_t low_product = (elapsed & 0xFFFFFFFF) * step;
        high = (elapsed >> 32) * step;
        low = low_product >> 16;
        fraction = uint32_t(low_product & 0xFFFF);
    }
    // The whole part when it is below limit.
    std::optional<uint32_t> whole_below(uint32_t limit) const {
        if (high >= limit) return std::nullopt; // then high * 65536 alone is past it
        const uint64_t whole = high * 65536 + low;
        return whole < limit ? std::optional<uint32_t>(uint32_t(whole)) : std::nullopt;
    }
    // The whole part modulo divisor (not 0).
    uint32_t whole_modulo(uint32_t divisor) const {
        return uint32_t(((high % divisor) * 65536 % divisor + low % divisor) % divisor);
    }
};

} // namespace

void place_voice(MixVoice& voice, uint64_t elapsed, uint32_t loop_start, uint32_t sample_end) {
    const Travel travel(elapsed, voice.step);
    voice.fraction = travel.fraction;
    voice.flags &= ~VOICE_LOOPED;
    const bool loops = loop_start != NO_LOOP && loop_start < sample_end;
    if (voice.has(VOICE_GLIDING) && !loops) {
        // The position of a glide cannot be found from the step alone; the note stays silent.
        voice.flags &= ~VOICE_RUNNING;
        return;
    }
    if (const std::optional<uint32_t> whole = travel.whole_below(sample_end)) {
        voice.position = *whole;
        voice.flags |= VOICE_RUNNING;
        return;
    }
    if (!loops) {
        voice.flags &= ~VOICE_RUNNING;
        return;
    }
    // Past the end, so past the loop start: (whole - loop_start) modulo the loop's length.
    const uint32_t length = sample_end - loop_start;
    voice.position =
        loop_start +
        uint32_t((uint64_t(travel.whole_modulo(length)) + length - loop_start % length) % length);
    voice.flags |= VOICE_LOOPED | VOICE_RUNNING;
}

void start_glide(MixVoice& voice, uint32_t length, uint32_t interval, uint64_t elapsed) {
    voice.flags &= ~VOICE_GLIDING;
    if (interval == 0) interval = 1;
    const uint32_t steps = uint32_t((uint64_t(length) + interval / 2) / interval);
    if (steps == 0) return;
    const uint32_t frames_per_step = std::max<uint32_t>(length / steps, 1);
    voice.frames_per_glide_step = frames_per_step;
    voice.frames_to_glide_step = frames_per_step;
    const int64_t distance = int64_t(voice.glide_target) - int64_t(voice.step);
    if (distance == 0) return;
    voice.glide_delta = int32_t(distance / steps); // truncated toward zero
    voice.glide_steps_left = steps;
    voice.flags |= VOICE_GLIDING;
    if (elapsed > 0) {
        const uint64_t passed = elapsed / frames_per_step;
        const uint32_t into = uint32_t(elapsed % frames_per_step);
        if (passed >= steps) {
            voice.flags &= ~VOICE_GLIDING;
            voice.step = voice.glide_target;
            return;
        }
        voice.glide_steps_left = steps - uint32_t(passed);
        voice.frames_to_glide_step -= into;
        voice.step = uint32_t(int64_t(voice.step) + int64_t(passed) * voice.glide_delta);
    }
}

namespace {
// Mixes up to frames frames with the voice's kernel, cut where the sample ends; returns the frames
// mixed.
uint32_t mix_to_sample_end(MixVoice& voice, int16_t* mix, uint32_t frames) {
    if (voice.step > 0) {
        const uint64_t position = (uint64_t(voice.position) << 16) | voice.fraction;
        const uint64_t distance = (uint64_t(voice.sample_end) << 16) - position;
        const uint64_t to_end = (distance + voice.step - 1) / voice.step;
        if (to_end <= 0xFFFFFFFFu) frames = uint32_t(std::min<uint64_t>(frames, to_end));
    }
    voice.kernel(voice, mix, frames);
    return frames;
}
} // namespace

void mix_voice(MixVoice& voice, int16_t* mix, uint32_t frames, const OutputFormat& format,
               const Kernel* table, const LaidOutLoop* loop) {
    const uint32_t channels = format.channels();
    const bool loops = voice.loops() && voice.loop_start < voice.sample_end;
    while (frames > 0) {
        if (voice.position >= voice.sample_end) {
            if (!loops) {
                voice.flags &= ~(VOICE_RUNNING | VOICE_GLIDING);
                return;
            }
            // A tiny loop played at a high step can overshoot by more than one loop length.
            voice.position = voice.loop_start + (voice.position - voice.loop_start) %
                                                    (voice.sample_end - voice.loop_start);
        }
        uint32_t chunk = std::min<uint32_t>(frames, MAX_KERNEL_FRAMES);
        if (voice.has(VOICE_GLIDING))
            chunk = std::min(chunk, std::max<uint32_t>(voice.frames_to_glide_step, 1));
        if (loop && voice.position >= voice.loop_start)
            chunk = mix_through_loop(voice, mix, chunk, *loop, format.stereo, table);
        else
            chunk = mix_to_sample_end(voice, mix, chunk);
        mix += size_t(chunk) * channels;
        frames -= chunk;
        if (voice.position >= voice.sample_end) {
            if (!loops) {
                voice.flags &= ~(VOICE_RUNNING | VOICE_GLIDING);
                return;
            }
            voice.position -= voice.sample_end - voice.loop_start;
        }
        if (voice.has(VOICE_GLIDING)) {
            voice.frames_to_glide_step -=
                std::min<uint32_t>(uint32_t(chunk), voice.frames_to_glide_step);
            if (voice.frames_to_glide_step == 0) {
                voice.step = uint32_t(int64_t(voice.step) + voice.glide_delta);
                voice.frames_to_glide_step = voice.frames_per_glide_step;
                if (--voice.glide_steps_left == 0) voice.flags &= ~VOICE_GLIDING;
                // A glide may cross step 1.0 here: the kernel follows the step at once, so that
                // the sound does not depend on where the caller's chunks begin.
                prepare_kernel(voice, format, table);
            }
        }
    }
}

void convert_to_8_bits(uint8_t* destination, const int16_t* source, size_t count) {
    for (size_t i = 0; i < count; ++i)
        destination[i] = uint8_t((uint16_t(source[i]) >> 8) ^ 0x80);
}

void VoicePool::reserve(size_t count) {
    if (count > voices_.capacity()) voices_.reserve((count + GROWTH - 1) / GROWTH * GROWTH);
}

MixVoice* VoicePool::allocate() {
    MixVoice* voice = nullptr;
    for (MixVoice& candidate : voices_)
        if (is_free(candidate)) {
            voice = &candidate;
            break;
        }
    if (!voice) {
        try {
            if (voices_.size() == voices_.capacity()) voices_.reserve(voices_.size() + GROWTH);
            voices_.emplace_back();
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        voice = &voices_.back();
        // A voice that never played has no valid kernel constants.
        voice->flags = VOICE_DIRECT_STALE | VOICE_WEIGHTS_STALE;
    }
    voice->flags = (voice->flags & (VOICE_DIRECT_STALE | VOICE_WEIGHTS_STALE)) | VOICE_IN_USE |
                   VOICE_RUNNING | VOICE_GAINS_STALE;
    voice->end_frame = HELD_UNTIL_RELEASED;
    return voice;
}

namespace {
// Points the voice at its instrument's samples; false when it has nothing to play.
bool refresh_sample(MixVoice& voice, std::span<const Instrument> instruments) {
    if (voice.instrument >= instruments.size()) return false;
    const Instrument& instrument = instruments[voice.instrument];
    if (instrument.bytes_per_sample != 1 && instrument.bytes_per_sample != 2) return false;
    // Never trust the length beyond the sample block actually held.
    const size_t held =
        instrument.samples.size() >= SAMPLE_PADDING
            ? (instrument.samples.size() - SAMPLE_PADDING) / instrument.bytes_per_sample
            : 0;
    voice.samples = instrument.samples.data();
    voice.bytes_per_sample = instrument.bytes_per_sample;
    voice.loop_start = instrument.loop_start;
    voice.sample_end = uint32_t(std::min<size_t>(instrument.length, held));
    return true;
}
} // namespace

void prepare_kernel(MixVoice& voice, const OutputFormat& format, const Kernel* table) {
    const bool interpolate = format.interpolate && voice.step < UNITY_STEP;
    const int index = kernel_index(format.stereo, voice.bytes_per_sample, interpolate);
    refresh_gains(voice, format.amplification, format.stereo);
    if (voice.left_gain == 0 && voice.right_gain == 0) {
        voice.kernel = silent_kernel;
        return;
    }
    voice.kernel = table[index];
    if (kernel_interpolates(index)) {
        if (voice.has(VOICE_WEIGHTS_STALE)) {
            build_weights(voice);
            voice.flags &= ~VOICE_WEIGHTS_STALE;
        }
    } else {
        // The direct kernels derive their constants from the gains on every call.
        voice.flags &= ~VOICE_DIRECT_STALE;
    }
}

ChunkReport mix_chunk(VoicePool& pool, std::span<const Instrument> instruments,
                      const OutputFormat& format, int16_t* mix, uint32_t frames,
                      uint64_t frame_count, const Kernel* table, ShortLoops* short_loops) {
    ChunkReport report;
    for (MixVoice& voice : pool.voices()) {
        if (voice.has(VOICE_RUNNING) && voice.has(VOICE_IN_USE)) {
            if (!refresh_sample(voice, instruments)) continue;
            prepare_kernel(voice, format, table);
            if (voice.sample_end != 0)
                mix_voice(voice, mix, frames, format, table,
                          short_loops ? short_loops->find(voice) : nullptr);
            ++report.audible;
            if (voice.has(VOICE_PREVIEW | VOICE_AUDITION)) {
                report.preview_mixed = true;
                if (frame_count >= voice.end_frame) voice.flags &= ~VOICE_IN_USE;
            }
        } else if (voice.has(VOICE_PREVIEW)) {
            voice.flags &= ~VOICE_IN_USE;
        }
    }
    return report;
}

} // namespace tunemill
