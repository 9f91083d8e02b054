// The output device and the playback thread: adapts the playback settings to the chosen device,
// opens it with a ring of output blocks and a pre-roll buffer, runs the time-critical thread that
// renders blocks with the engine and keeps them queued ahead of the playing position, reports the
// position to the registered receivers, and stops on request or at the end of the song.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/error_reporter.h"
#include "platform/audio_device.h"
#include "playback/engine.h"
#include "playback/live_keyboard.h"

namespace tunemill {

// The eight playback settings.
struct PlaybackConfig {
    uint32_t device = 0;   // a device id of the list, or DEFAULT_OUTPUT_DEVICE
    uint32_t rate = 44100; // one of OUTPUT_RATES
    bool stereo = true;
    bool sixteen_bit = true;
    bool interpolate = true;
    uint32_t amplification = 25; // 0..90
    uint32_t buffer_len = 20;    // ms, 10..100: the length of one output block
    uint32_t buffers = 4;        // 1..10: blocks queued ahead in low-latency use
    bool operator==(const PlaybackConfig&) const = default;
};

// Receives the playing position on the playback thread; it must only post it on (the GUI posts
// an event, the CLI stores it) and never call back into the thread.
class PositionReceiver {
  public:
    virtual ~PositionReceiver() = default;
    // pattern_word: pattern index, REPORT_RECORDING during a recording playback, REPORT_LAST
    // when the playback has ended; tick: the tick, or -1 when it ended without a position.
    virtual void playback_position(uint32_t pattern_word, int32_t tick) = 0;
};

enum class StopMode { NOW = 0, DRAIN = 1, REQUEST = 2 };

// The waits of the thread's protocol; tests shorten them.
struct ThreadTimings {
    uint32_t reset_wait_ms = 2500;     // for the device's blocks after a reset
    uint32_t recovery_limit_ms = 5000; // for the blocks after "no free block"; then playback stops
    uint32_t stop_attempts = 100;      // waits of stop() before it gives up
    uint32_t idle_sleep_ms = 10;
};

// The blocks of one output block length: the exact frame count rounded up to a multiple of 16.
uint32_t frames_per_block(uint32_t buffer_len_ms, uint32_t rate);
// Output blocks of the ring: max(32, 3 * buffers + 16).
uint32_t output_block_count(uint32_t buffers);
// The settings adapted to the device list (the format match): the device of the list (or the
// first one), the configured rate when the device has it, else its highest, then the sample
// width and channels the device plays at that rate. With no device at all the device becomes
// DEFAULT_OUTPUT_DEVICE and the rest stays.
PlaybackConfig match_format(const PlaybackConfig& config,
                            const std::vector<OutputDeviceInfo>& devices);

class OutputThread : private WaveOutClient {
  public:
    OutputThread(PlaybackEngine& engine, AudioSystem& system, ThreadTimings timings = {});
    ~OutputThread() override; // stops at once
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    // Stores the amplification at once. When anything else changes: lets the queued sound play
    // out, takes the new values, and when it was playing reopens the device keeping the voices
    // and plays on from where it was.
    void configure(const PlaybackConfig& config);
    const PlaybackConfig& config() const { return config_; }
    // The settings as the device plays them (after the format match of the next or last open).
    PlaybackConfig effective();
    // The device list, built once when first needed.
    const std::vector<OutputDeviceInfo>& device_list();

    // The play starts: each stops the playback, opens the device, sets the engine up and starts
    // the thread. False when there is nothing to play (the device is closed again). Failures
    // throw PLAYBACK_ERROR (the device's code; −99999 when the thread cannot start) or MEM_ERROR.
    bool play_song(uint32_t sequence_index);
    bool play_pattern(uint32_t pattern);
    // A block or recording playback remembers the window that started it (owner), so that the
    // window can stop it again without touching another's playback.
    bool play_block(uint32_t pattern, Tick start, Tick end, uint32_t voice_index, bool all_voices,
                    const void* owner = nullptr);
    bool play_voice(uint32_t pattern, uint32_t voice_index);
    bool play_recording(uint32_t pattern, Tick start, Tick end, uint32_t voice_index, bool block,
                        bool all_voices, const void* owner = nullptr);
    // Stops at once when a block playback (a recording playback) runs that the owner started.
    // Returns whether it stopped.
    bool stop_block_if_owned(const void* owner);
    bool stop_recording_if_owned(const void* owner);
    // A preview note; an idle engine starts playing in preview-only mode. 0 when no voice.
    uint32_t start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                uint32_t balance, uint32_t length_ms);
    void release_preview_note(uint32_t handle);
    // Winding while playing, under the song lock.
    void wind(int direction);

    // NOW: stop at once; DRAIN: after the queued sound has played; REQUEST: ask and return.
    void stop(StopMode mode);
    bool is_running() const { return running_.load(std::memory_order_acquire); }
    // The frame count (as the engine counts frames) that the device is playing now.
    uint64_t play_position() const { return play_position_.load(std::memory_order_acquire); }
    // The pattern word and tick of the last position report posted.
    uint32_t reported_pattern() const { return reported_pattern_.load(); }
    int32_t reported_tick() const { return reported_tick_.load(); }

    // Where the failures the caller cannot be told of by an exception go: a thread that would not
    // stop (stop() runs in destructors too) and a preview note that could not start.
    void set_reporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }
    void report(const ERROR& error) const {
        if (reporter_) reporter_(error);
    }

    void register_receiver(PositionReceiver* receiver);
    void unregister_receiver(PositionReceiver* receiver);

    // The open device's figures, for the options dialog, the CLI and tests.
    uint32_t block_frames() const { return block_frames_; }
    uint32_t preroll_frames() const { return preroll_frames_; }
    uint32_t block_count() const { return uint32_t(blocks_.size()); }
    // Blocks handed to the device and not yet returned, and the most ever at once.
    uint32_t queued() const { return uint32_t(queued_.load()); }
    uint32_t most_queued() const { return uint32_t(most_queued_.load()); }
    // Times the thread found no free block and restarted the device.
    uint32_t recoveries() const { return recoveries_.load(); }
    // CPU time the playback thread has used in its last run, in nanoseconds.
    uint64_t thread_cpu_ns() const { return thread_cpu_ns_.load(); }

    PlaybackEngine& engine() { return engine_; }

  private:
    struct Block {
        std::vector<uint8_t> data;
        WaveBlock header;
        std::atomic<int32_t> in_use{0};
    };
    static constexpr uint32_t PREROLL_TAG = 0xFFFFFFFF;

    void block_done(const WaveBlock& block) noexcept override;

    template <typename Start> bool start(Start start_engine);
    void open_device();
    void close_device();
    void start_thread();
    // Ends the thread (mode NOW or DRAIN) without touching the engine's voices.
    void end_thread(StopMode mode);

    // The playback thread: run() repeats one pass of the steps below until the playback ends.
    // A step that ends the playback returns END holding the engine's mutex; AGAIN starts the
    // next pass at once; ON goes on to the next step.
    struct RunState;
    enum class Pass { ON, AGAIN, END };
    void run();
    bool prime(RunState& state);
    uint64_t follow_device(RunState& state);
    void take_snapshot(RunState& state);
    void flush_final_block(RunState& state);
    bool wants_block(const RunState& state, uint64_t position) const;
    Pass wait(RunState& state, uint64_t position, bool stopping);
    Pass follow_stop(RunState& state);
    Pass queue_block(RunState& state);
    void restart_device(RunState& state);
    void finish(RunState& state);
    bool render(uint8_t* frames, uint32_t count);
    bool write_block(Block& block);
    void post_reports_until(uint64_t position);
    void post(uint32_t pattern_word, int32_t tick);
    bool take_free_block(uint32_t& index);

    PlaybackEngine& engine_;
    AudioSystem& system_;
    ThreadTimings timings_;
    ErrorReporter reporter_;
    PlaybackConfig config_;
    PlaybackConfig effective_;
    bool matched_ = false;
    std::optional<std::vector<OutputDeviceInfo>> devices_;

    std::unique_ptr<WaveOut> device_;
    std::vector<std::unique_ptr<Block>> blocks_;
    Block preroll_;
    uint32_t block_frames_ = 0;
    uint32_t preroll_frames_ = 0;
    uint32_t frame_bytes_ = 4;

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int32_t> queued_{0};
    std::atomic<int32_t> most_queued_{0};
    std::atomic<uint32_t> recoveries_{0};
    std::atomic<uint64_t> play_position_{0};
    std::atomic<uint32_t> reported_pattern_{0};
    std::atomic<int32_t> reported_tick_{-1};
    std::atomic<uint64_t> thread_cpu_ns_{0};
    bool end_posted_ = false; // playback thread only

    std::vector<PositionReceiver*> receivers_; // under the engine's mutex
};

// The live keyboard's sink on the composer's engine: its song's instruments, and preview notes
// through the output thread, which starts playing when it was idle. A failure to start is reported
// through the output thread's reporter (once per failed note) and the note does not sound.
class PlayerNoteSink : public LiveNoteSink {
  public:
    explicit PlayerNoteSink(OutputThread& output) : output_(output) {}
    uint32_t instrument_count() override;
    bool instrument_loops(uint32_t instrument) override;
    uint32_t start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                uint32_t balance, uint32_t length_ms) override;
    void release_preview_note(uint32_t handle) override { output_.release_preview_note(handle); }

  private:
    OutputThread& output_;
};

} // namespace tunemill
