// Mixer throughput: each kernel in voice-frames per second (vector and portable), one 20 ms output
// block with 64 sounding voices, and the cost of a voice-frame at 8, 64 and 256 voices on long
// samples and on short loops (1 to 32 frames), the latter wrapping or laid out as the offline
// render does.
#include <benchmark/benchmark.h>

#include <optional>
#include <random>
#include <vector>

#include "playback/mixer.h"

namespace tunemill {
namespace {

constexpr uint32_t SAMPLE_FRAMES = 1 << 16;
constexpr uint32_t CHUNK = 896; // 20 ms at 44100 Hz, rounded up to 16 frames

Instrument noise_instrument(uint32_t bytes_per_sample, uint32_t rate = 22050) {
    // Loops over its whole length so that a voice never ends during a measurement.
    Instrument instrument = make_sampled_instrument("noise", NO_CATEGORY, SAMPLE_FRAMES, 0, rate,
                                                    bytes_per_sample, false);
    std::mt19937 random(42);
    for (size_t i = 0; i < instrument.sample_bytes(); ++i)
        instrument.samples[i] = uint8_t(random());
    return instrument;
}

// Arguments: kernel index, step in 1/1000, 1 for the vector kernels.
void BM_Kernel(benchmark::State& state) {
    const int index = int(state.range(0));
    const uint32_t step = uint32_t(state.range(1) * 65536 / 1000);
    const Kernel* table = state.range(2) ? vector_kernels() : portable_kernels();
    if (!table) {
        state.SkipWithError("no vector kernels on this processor");
        return;
    }
    const bool stereo = index >= 4;
    const uint32_t bytes = (index & 2) ? 2 : 1;
    OutputFormat format;
    format.stereo = stereo;
    format.interpolate = kernel_interpolates(index);
    Instrument instrument = noise_instrument(bytes);
    MixVoice voice;
    voice.samples = instrument.samples.data();
    voice.bytes_per_sample = bytes;
    voice.loop_start = instrument.loop_start;
    voice.sample_end = instrument.length;
    voice.step = step;
    voice.volume = 27;
    voice.balance = 11;
    voice.flags = VOICE_IN_USE | VOICE_RUNNING | VOICE_GAINS_STALE | VOICE_WEIGHTS_STALE;
    prepare_kernel(voice, format, table);
    if (voice.kernel != table[index]) {
        state.SkipWithError("step does not select this kernel");
        return;
    }
    std::vector<int16_t> mix(CHUNK * format.channels());
    for (auto _ : state) {
        mix_voice(voice, mix.data(), CHUNK, format, table);
        benchmark::DoNotOptimize(mix.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * CHUNK); // voice-frames
}

void kernel_arguments(benchmark::internal::Benchmark* b) {
    for (int vector : {1, 0})
        for (int index = 0; index < KERNEL_COUNT; ++index)
            for (int step : kernel_interpolates(index) ? std::vector<int>{370, 750, 990}
                                                       : std::vector<int>{750, 1000, 1500})
                b->Args({index, step, vector});
}
BENCHMARK(BM_Kernel)->Apply(kernel_arguments)->ArgNames({"kernel", "step_milli", "vector"});

// One 20 ms block (896 frames, 44100 Hz, 16-bit stereo, interpolating) with 64 sounding
// voices spread over the keyboard, volumes and balances, on 8- and 16-bit instruments.
void BM_Block64Voices(benchmark::State& state) {
    std::vector<Instrument> instruments;
    instruments.push_back(noise_instrument(2, 22050));
    instruments.push_back(noise_instrument(2, 44100));
    instruments.push_back(noise_instrument(1, 16000));
    OutputFormat format;
    VoicePool pool;
    std::mt19937 random(7);
    const uint32_t divisor = key_rate_divisor(format.rate);
    for (int i = 0; i < 64; ++i) {
        MixVoice* voice = pool.allocate();
        voice->instrument = uint32_t(i % 3 == 2 ? 2 : i % 2);
        voice->key = 12 + uint32_t(random() % 60);
        voice->step = key_step(instruments[voice->instrument].rate, voice->key, divisor);
        voice->volume = 10 + uint32_t(random() % 21);
        voice->balance = uint32_t(random() % 31);
        voice->position = uint32_t(random() % SAMPLE_FRAMES);
    }
    std::vector<int16_t> mix(CHUNK * 2);
    uint64_t frame_count = 0;
    for (auto _ : state) {
        std::fill(mix.begin(), mix.end(), 0);
        mix_chunk(pool, instruments, format, mix.data(), CHUNK, frame_count);
        frame_count += CHUNK;
        benchmark::DoNotOptimize(mix.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * CHUNK * 64);
}
BENCHMARK(BM_Block64Voices)->Unit(benchmark::kMicrosecond);

// A sample of 64 frames whose last frames loop: loop_frames of them.
Instrument short_loop_instrument(uint32_t bytes_per_sample, uint32_t loop_frames) {
    constexpr uint32_t LENGTH = 64;
    Instrument instrument = make_sampled_instrument(
        "chip", NO_CATEGORY, LENGTH, LENGTH - loop_frames, 8363, bytes_per_sample, false);
    std::mt19937 random(loop_frames);
    for (size_t i = 0; i < instrument.sample_bytes(); ++i)
        instrument.samples[i] = uint8_t(random());
    return instrument;
}

// Arguments: voices, 1 for short loops, 1 for laid-out loops. 44100 Hz, 16-bit stereo,
// interpolating, 20 ms blocks; the counter per_voice_frame is the cost of one voice-frame.
void BM_Voices(benchmark::State& state) {
    const auto voices = uint32_t(state.range(0));
    const bool short_loops = state.range(1) != 0;
    std::vector<Instrument> instruments;
    for (uint32_t bytes : {1u, 2u})
        for (uint32_t loop : {1u, 2u, 4u, 8u, 16u, 32u})
            instruments.push_back(short_loops ? short_loop_instrument(bytes, loop)
                                              : noise_instrument(bytes, 8363));
    OutputFormat format;
    VoicePool pool;
    std::mt19937 random(11);
    const uint32_t divisor = key_rate_divisor(format.rate);
    for (uint32_t i = 0; i < voices; ++i) {
        MixVoice* voice = pool.allocate();
        voice->instrument = i % uint32_t(instruments.size());
        const Instrument& instrument = instruments[voice->instrument];
        voice->key = 24 + uint32_t(random() % 36); // steps about 0.1 to 0.75
        voice->step = key_step(instrument.rate, voice->key, divisor);
        voice->volume = 10 + uint32_t(random() % 21);
        voice->balance = uint32_t(random() % 31);
        voice->position = instrument.loop_start +
                          uint32_t(random() % (instrument.length - instrument.loop_start));
    }
    std::optional<ShortLoops> layouts;
    if (state.range(2)) layouts.emplace();
    std::vector<int16_t> mix(CHUNK * 2);
    uint64_t frame_count = 0;
    for (auto _ : state) {
        std::fill(mix.begin(), mix.end(), 0);
        mix_chunk(pool, instruments, format, mix.data(), CHUNK, frame_count, kernels(),
                  layouts ? &*layouts : nullptr);
        frame_count += CHUNK;
        benchmark::DoNotOptimize(mix.data());
        benchmark::ClobberMemory();
    }
    const double voice_frames = double(state.iterations()) * CHUNK * voices;
    state.SetItemsProcessed(int64_t(voice_frames));
    // Seconds (of CPU time) per voice-frame, printed with its prefix: 1.2n is 1.2 ns.
    state.counters["per_voice_frame"] =
        benchmark::Counter(voice_frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Voices)
    ->ArgsProduct({{8, 64, 256}, {0, 1}, {0, 1}})
    ->ArgNames({"voices", "short_loops", "laid_out"})
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tunemill
