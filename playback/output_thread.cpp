// The output thread's side that the user interface drives: configuring, opening the device with
// the block ring and the pre-roll, the play starts, the previews, stopping and the receivers of
// the position. The thread itself is in output_loop.cpp, the format match in output_format.cpp.
#include "playback/output_thread.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>

#include "foundation/errors.h"
#include "playback/thread_clock.h"

namespace tunemill {

using thread_clock::Clock;
using thread_clock::sleep_ms;

namespace {

PlaybackConfig limited(PlaybackConfig config) {
    config.amplification = std::min(config.amplification, 90u);
    config.buffer_len = std::clamp(config.buffer_len, 10u, 100u);
    config.buffers = std::clamp(config.buffers, 1u, 10u);
    if (std::find(OUTPUT_RATES.begin(), OUTPUT_RATES.end(), config.rate) == OUTPUT_RATES.end())
        config.rate = 44100;
    return config;
}

} // namespace

// ---------------------------------------------------------------------------------------------

OutputThread::OutputThread(PlaybackEngine& engine, AudioSystem& system, ThreadTimings timings)
    : engine_(engine), system_(system), timings_(timings) {
    configure(config_);
}

OutputThread::~OutputThread() {
    stop(StopMode::NOW);
}

const std::vector<OutputDeviceInfo>& OutputThread::device_list() {
    if (!devices_) devices_ = list_output_devices(system_);
    return *devices_;
}

PlaybackConfig OutputThread::effective() {
    if (!matched_) {
        effective_ = match_format(config_, device_list());
        matched_ = true;
    }
    return effective_;
}

void OutputThread::configure(const PlaybackConfig& requested) {
    const PlaybackConfig config = limited(requested);
    {
        // The amplification applies at once, to the voices whose gains are recomputed next.
        QuietSongLock lock(engine_.song().lock);
        engine_.set_amplification(config.amplification);
        config_.amplification = config.amplification;
        effective_.amplification = config.amplification;
    }
    if (config == config_ && matched_) return;
    const bool was_running = is_running() && !engine_.stop_requested();
    if (is_running() || thread_.joinable()) end_thread(StopMode::DRAIN);
    config_ = config;
    matched_ = false;
    engine_.set_buffers(config_.buffers);
    if (!was_running || is_running()) return;
    // Plays on where it was: same voices, a re-seek at the current tick, a fresh device.
    open_device();
    engine_.open(true);
    engine_.pattern_changed(-1);
    try {
        start_thread();
    } catch (...) {
        close_device();
        engine_.stop();
        throw;
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and the play starts

void OutputThread::open_device() {
    const PlaybackConfig format = effective();
    OutputFormat output;
    output.stereo = format.stereo;
    output.sixteen_bit = format.sixteen_bit;
    output.interpolate = format.interpolate;
    output.amplification = format.amplification;
    output.rate = format.rate;
    engine_.set_format(output);
    engine_.set_buffers(format.buffers);

    frame_bytes_ = output.bytes_per_frame();
    block_frames_ = frames_per_block(format.buffer_len, format.rate);
    preroll_frames_ = format.buffers * block_frames_;

    if (device_list().empty()) throw PLAYBACK_ERROR(PLAYBACK_ERROR::NO_DEVICES);
    const WaveFormat wave{format.rate, format.stereo ? 2u : 1u, format.sixteen_bit ? 16u : 8u};
    WaveOpenResult opened = system_.open(format.device, wave, *this);
    if (!opened.device) {
        const int32_t code = opened.code == WAVE_OK ? WAVE_ERROR : opened.code;
        throw PLAYBACK_ERROR(code, system_.result_text(code));
    }
    try {
        const uint32_t count = output_block_count(format.buffers);
        blocks_.clear();
        blocks_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto block = std::make_unique<Block>();
            block->data.resize(size_t(block_frames_) * frame_bytes_);
            block->header = {block->data.data(), uint32_t(block->data.size()), i};
            blocks_.push_back(std::move(block));
        }
        preroll_.data.assign(size_t(preroll_frames_) * frame_bytes_, 0);
        preroll_.header = {preroll_.data.data(), uint32_t(preroll_.data.size()), PREROLL_TAG};
        preroll_.in_use = 0;
        engine_.reserve_block(preroll_frames_);
    } catch (const std::bad_alloc&) {
        blocks_.clear();
        throw MEM_ERROR();
    }
    device_ = std::move(opened.device);
    queued_ = 0;
    most_queued_ = 0;
    play_position_ = 0;
}

void OutputThread::close_device() {
    if (device_) device_->reset();
    device_.reset();
    blocks_.clear();
    preroll_.data.clear();
    preroll_.data.shrink_to_fit();
}

void OutputThread::start_thread() {
    end_posted_ = false;
    running_ = true;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        running_ = false;
        throw PLAYBACK_ERROR(PLAYBACK_ERROR::THREAD_FAILED);
    }
}

template <typename Start> bool OutputThread::start(Start start_engine) {
    stop(StopMode::NOW);
    if (is_running()) return false; // the old thread would not end (already shown)
    open_device();
    bool playing = false;
    try {
        playing = start_engine();
        if (playing) start_thread();
    } catch (...) {
        close_device();
        engine_.stop();
        throw;
    }
    if (!playing) {
        close_device();
        engine_.stop();
    }
    return playing;
}

bool OutputThread::play_song(uint32_t sequence_index) {
    // An index past the sequence is ignored without touching a running playback.
    {
        QuietSongLock lock(engine_.song().lock);
        if (!lock || sequence_index >= engine_.song().sequence.size()) return false;
    }
    return start([&] { return engine_.start_song(sequence_index); });
}

bool OutputThread::play_pattern(uint32_t pattern) {
    return start([&] { return engine_.start_pattern(pattern); });
}

bool OutputThread::play_block(uint32_t pattern, Tick start_tick, Tick end_tick,
                              uint32_t voice_index, bool all_voices, const void* owner) {
    return start([&] {
        const bool playing =
            engine_.start_block(pattern, start_tick, end_tick, voice_index, all_voices);
        engine_.set_owner(owner);
        return playing;
    });
}

bool OutputThread::play_voice(uint32_t pattern, uint32_t voice_index) {
    return start([&] { return engine_.start_voice(pattern, voice_index); });
}

bool OutputThread::play_recording(uint32_t pattern, Tick start_tick, Tick end_tick,
                                  uint32_t voice_index, bool block, bool all_voices,
                                  const void* owner) {
    return start([&] {
        const bool playing =
            engine_.start_recording(pattern, start_tick, end_tick, voice_index, block, all_voices);
        engine_.set_owner(owner);
        return playing;
    });
}

bool OutputThread::stop_block_if_owned(const void* owner) {
    bool owned = false;
    {
        // The mode and owner change under the song lock (the starts and the thread's ends).
        QuietSongLock lock(engine_.song().lock);
        if (!lock) return false;
        owned =
            owner && is_running() && engine_.mode() == PlayMode::BLOCK && engine_.owner() == owner;
    }
    if (owned) stop(StopMode::NOW);
    return owned;
}

bool OutputThread::stop_recording_if_owned(const void* owner) {
    bool owned = false;
    {
        QuietSongLock lock(engine_.song().lock);
        if (!lock) return false;
        owned = owner && is_running() && engine_.recording() && engine_.owner() == owner;
    }
    if (owned) stop(StopMode::NOW);
    return owned;
}

uint32_t OutputThread::start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                          uint32_t balance, uint32_t length_ms) {
    if (is_running() && !engine_.stop_requested())
        return engine_.start_preview_note(instrument, key, volume, balance, length_ms);
    // Idle, or a playback that is ending: the note starts a preview-only playback of its own.
    stop(StopMode::NOW);
    if (is_running()) return 0;
    open_device();
    uint32_t handle = 0;
    try {
        handle = engine_.start_preview_note(instrument, key, volume, balance, length_ms);
        if (engine_.running()) start_thread();
    } catch (...) {
        close_device();
        engine_.stop();
        throw;
    }
    if (!engine_.running()) close_device();
    return handle;
}

void OutputThread::release_preview_note(uint32_t handle) {
    engine_.release_preview_note(handle);
}

void OutputThread::wind(int direction) {
    if (!is_running()) return;
    QuietSongLock lock(engine_.song().lock);
    if (lock) engine_.wind(direction);
}

// ---------------------------------------------------------------------------------------------
// Stopping

void OutputThread::end_thread(StopMode mode) {
    if (mode == StopMode::REQUEST) {
        engine_.request_stop(false);
        return;
    }
    // Each wait is a little longer than the pre-roll takes to play.
    const uint32_t rate = std::max(1u, engine_.format().rate);
    const uint32_t wait_ms = uint32_t(uint64_t(preroll_frames_) * 15 / rate + 30);
    for (uint32_t attempt = 0; attempt < timings_.stop_attempts && is_running(); ++attempt) {
        engine_.request_stop(mode == StopMode::DRAIN);
        const auto until = Clock::now() + std::chrono::milliseconds(wait_ms);
        while (is_running() && Clock::now() < until)
            sleep_ms(1);
    }
    if (is_running()) {
        // The thread still owns the device: it is left to end on its own (joined at the next
        // stop), and the failure is reported instead of closing the device under it.
        report(PLAYBACK_ERROR(12, "The playback thread did not stop."));
        return;
    }
    if (thread_.joinable()) thread_.join();
}

void OutputThread::stop(StopMode mode) {
    if (mode == StopMode::REQUEST) {
        if (is_running()) engine_.request_stop(false);
        return;
    }
    end_thread(mode);
    if (!is_running() && engine_.running()) engine_.stop();
}

// ---------------------------------------------------------------------------------------------
// Receivers

void OutputThread::register_receiver(PositionReceiver* receiver) {
    std::lock_guard<std::mutex> hold(engine_.engine_mutex());
    receivers_.push_back(receiver);
}

void OutputThread::unregister_receiver(PositionReceiver* receiver) {
    std::lock_guard<std::mutex> hold(engine_.engine_mutex());
    receivers_.erase(std::remove(receivers_.begin(), receivers_.end(), receiver), receivers_.end());
}

// ---------------------------------------------------------------------------------------------

uint32_t PlayerNoteSink::instrument_count() {
    QuietSongLock lock(output_.engine().song().lock);
    return lock ? uint32_t(output_.engine().song().instruments.size()) : 0;
}

bool PlayerNoteSink::instrument_loops(uint32_t instrument) {
    QuietSongLock lock(output_.engine().song().lock);
    const auto& instruments = output_.engine().song().instruments;
    return lock && instrument < instruments.size() && instruments[instrument].loops();
}

uint32_t PlayerNoteSink::start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                            uint32_t balance, uint32_t length_ms) {
    try {
        return output_.start_preview_note(instrument, key, volume, balance, length_ms);
    } catch (const ERROR& error) {
        output_.report(error);
    } catch (const std::bad_alloc&) {
        output_.report(MEM_ERROR());
    }
    return 0;
}

} // namespace tunemill
