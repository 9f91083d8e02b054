// Playing live: from a key press to the moment the device plays the first sound of its note, on
// the null device (which plays its blocks at the pace of the clock). The note goes into the next
// block the playback thread renders, so the delay should be the blocks queued ahead of the device
// (buffers x block length) and no more; the counter "queued_ms" gives that figure to compare.
// Arguments: block length in ms, blocks queued.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "instruments/instrument.h"
#include "playback/live_keyboard.h"
#include "playback/output_thread.h"
#include "song/song.h"

namespace tunemill {
namespace {

using Clock = std::chrono::steady_clock;

struct LiveRig {
    Song song;
    PlaybackEngine engine{song};
    NullAudioSystem system;
    OutputThread output{engine, system};
    PlayerNoteSink sink{output};
    LiveKeyboard keyboard{sink, [] { return 0u; }};
    std::atomic<int64_t> first_sound_ns{0};
    std::atomic<bool> listening{false};

    LiveRig(uint32_t block_ms, uint32_t buffers) {
        // A looping square wave: every frame of the note is far from silence.
        Instrument square =
            make_sampled_instrument("square", NO_CATEGORY, 4410, 0, 44100, 2, false);
        for (uint32_t i = 0; i < 4410; ++i)
            square.samples16()[i] = (i / 50) % 2 ? 20000 : -20000;
        song.instruments.push_back(square);
        PlaybackConfig config;
        config.buffer_len = block_ms;
        config.buffers = buffers;
        output.configure(config);
        system.set_tap([this](const uint8_t* bytes, size_t size) {
            if (!listening.load(std::memory_order_acquire)) return;
            for (size_t i = 0; i < size; ++i) {
                if (bytes[i] != 0) {
                    first_sound_ns.store(Clock::now().time_since_epoch().count(),
                                         std::memory_order_release);
                    listening.store(false, std::memory_order_release);
                    return;
                }
            }
        });
        keyboard.activate_check(true);
    }

    static void wait(const std::function<bool()>& done) {
        const auto limit = Clock::now() + std::chrono::seconds(5);
        while (!done() && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
};

void BM_KeyToSound(benchmark::State& state) {
    const auto block_ms = uint32_t(state.range(0));
    const auto buffers = uint32_t(state.range(1));
    LiveRig rig(block_ms, buffers);
    // The first note opens the device; the ones measured find it running, as a player does.
    rig.keyboard.key_down('Z', {});
    LiveRig::wait([&] { return rig.output.is_running(); });
    rig.keyboard.release_all();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (auto _ : state) {
        rig.first_sound_ns.store(0);
        rig.listening.store(true, std::memory_order_release);
        const auto pressed = Clock::now();
        rig.keyboard.key_down('X', {});
        LiveRig::wait([&] { return rig.first_sound_ns.load(std::memory_order_acquire) != 0; });
        const int64_t heard = rig.first_sound_ns.load();
        state.SetIterationTime(heard ? std::chrono::duration<double>(
                                           Clock::time_point(Clock::duration(heard)) - pressed)
                                           .count()
                                     : 5.0);
        rig.keyboard.release_all();
        // Let the note and its release die away before the next press.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    state.counters["queued_ms"] = double(block_ms * buffers);
    rig.output.stop(StopMode::NOW);
}
BENCHMARK(BM_KeyToSound)
    ->Args({20, 4})
    ->Args({10, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

} // namespace
} // namespace tunemill
