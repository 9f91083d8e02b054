#include "playback/short_loops.h"

#include <algorithm>
#include <cstring>

namespace tunemill {

namespace {

constexpr size_t PADDING = 16; // the vector kernels fetch whole words

int16_t sample16(const uint8_t* samples, uint32_t bytes_per_sample, uint32_t index) {
    if (bytes_per_sample == 1) return int16_t((int32_t(samples[index]) - 128) * 256);
    int16_t value;
    std::memcpy(&value, samples + size_t(index) * 2, 2);
    return value;
}

// The bytes a layout depends on: the loop and the frame before it.
std::pair<const uint8_t*, size_t> source_of(const MixVoice& voice) {
    const uint32_t first = voice.loop_start > 0 ? voice.loop_start - 1 : 0;
    return {voice.samples + size_t(first) * voice.bytes_per_sample,
            size_t(voice.sample_end - first) * voice.bytes_per_sample};
}

bool matches(const LaidOutLoop& loop, const MixVoice& voice) {
    if (loop.loop_start != voice.loop_start || loop.sample_end != voice.sample_end ||
        loop.bytes_per_sample != voice.bytes_per_sample)
        return false;
    const auto [bytes, size] = source_of(voice);
    return loop.source.size() == size && std::memcmp(loop.source.data(), bytes, size) == 0;
}

void lay_out(LaidOutLoop& loop, const MixVoice& voice) {
    loop.loop_start = voice.loop_start;
    loop.sample_end = voice.sample_end;
    loop.bytes_per_sample = voice.bytes_per_sample;
    const auto [bytes, size] = source_of(voice);
    loop.source.assign(bytes, bytes + size);
    const uint32_t length = loop.length();
    const uint32_t copies = (ShortLoops::LAID_OUT_FRAMES + length - 1) / length;
    loop.frames = copies * length;
    const size_t frame_bytes = voice.bytes_per_sample;
    const uint8_t* first = voice.samples + size_t(voice.loop_start) * frame_bytes;
    loop.samples.assign(size_t(loop.frames) * frame_bytes + PADDING, 0);
    for (uint32_t copy = 0; copy < copies; ++copy)
        std::memcpy(loop.samples.data() + size_t(copy) * length * frame_bytes, first,
                    size_t(length) * frame_bytes);
    const int16_t before_loop =
        voice.loop_start > 0 ? sample16(voice.samples, voice.bytes_per_sample, voice.loop_start - 1)
                             : int16_t(0);
    loop.pairs.assign(size_t(loop.frames) * 2 + PADDING, 0);
    for (uint32_t frame = 0; frame < loop.frames; ++frame) {
        const uint32_t into = frame % length;
        loop.pairs[2 * size_t(frame)] = into == 0 ? before_loop
                                                  : sample16(voice.samples, voice.bytes_per_sample,
                                                             voice.loop_start + into - 1);
        loop.pairs[2 * size_t(frame) + 1] =
            sample16(voice.samples, voice.bytes_per_sample, voice.loop_start + into);
    }
}

} // namespace

const LaidOutLoop* ShortLoops::find(const MixVoice& voice) {
    if (!voice.loops() || voice.loop_start >= voice.sample_end ||
        voice.sample_end - voice.loop_start >= SHORT_LOOP_FRAMES || voice.has(VOICE_LOOPED))
        return nullptr;
    if (voice.instrument >= loops_.size()) loops_.resize(size_t(voice.instrument) + 1);
    LaidOutLoop& loop = loops_[voice.instrument];
    if (!matches(loop, voice)) lay_out(loop, voice);
    return &loop;
}

uint32_t mix_through_loop(MixVoice& voice, int16_t* mix, uint32_t frames, const LaidOutLoop& loop,
                          bool stereo, const Kernel* table) {
    const uint32_t length = loop.length();
    const uint32_t into = voice.position - voice.loop_start;
    if (voice.step > 0) {
        const uint64_t distance =
            (uint64_t(loop.frames) << 16) - ((uint64_t(into) << 16) | voice.fraction);
        frames = uint32_t(std::min<uint64_t>(frames, (distance + voice.step - 1) / voice.step));
    }
    // The interpolating kernel of this voice's shape takes the pair table instead; a silent
    // voice (or a table of silent kernels) stays silent.
    const bool interpolating =
        voice.kernel != silent_kernel &&
        voice.kernel == table[kernel_index(stereo, voice.bytes_per_sample, true)];
    const Kernel* pairs = table == portable_kernels() ? portable_pair_kernels() : pair_kernels();
    const Kernel kernel = interpolating ? pairs[stereo ? 1 : 0] : voice.kernel;
    const uint8_t* samples = voice.samples;
    voice.samples =
        interpolating ? reinterpret_cast<const uint8_t*>(loop.pairs.data()) : loop.samples.data();
    voice.position = into;
    kernel(voice, mix, frames);
    voice.samples = samples;
    // Where the wrapping voice stands after the same last frame: one step after it, which may
    // lie past the loop's end, as after any kernel call (the voice loop takes it back).
    const uint64_t last = (((uint64_t(voice.position) << 16) | voice.fraction) - voice.step) %
                          (uint64_t(length) << 16);
    const uint64_t position = (uint64_t(voice.loop_start) << 16) + last + voice.step;
    voice.position = uint32_t(position >> 16);
    voice.fraction = uint32_t(position & 0xFFFF);
    return frames;
}

} // namespace tunemill
