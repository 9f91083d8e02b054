// The playback thread's protocol: the format match, opening with the block ring and the pre-roll,
// priming, the lead rule, the queue loop, the recovery when no block is free, the three stop
// modes with draining, the position reports and the one end report of every playback.
#include "playback/output_thread.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <new>
#include <system_error>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "platform/thread_priority.h"

namespace tunemill {

namespace {

using Clock = std::chrono::steady_clock;

uint64_t elapsed_ms(Clock::time_point since) {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

void sleep_ms(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint64_t thread_cpu_now() {
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return uint64_t(time.tv_sec) * 1000000000u + uint64_t(time.tv_nsec);
}

PlaybackConfig limited(PlaybackConfig config) {
    config.amplification = std::min(config.amplification, 90u);
    config.buffer_len = std::clamp(config.buffer_len, 10u, 100u);
    config.buffers = std::clamp(config.buffers, 1u, 10u);
    if (std::find(OUTPUT_RATES.begin(), OUTPUT_RATES.end(), config.rate) == OUTPUT_RATES.end())
        config.rate = 44100;
    return config;
}

// The song lock held for one scope without showing anything (the thread's snapshots, configure).
class QuietSongLock {
  public:
    QuietSongLock(Song& song, std::chrono::milliseconds wait)
        : song_(song), locked_(song.lock.try_lock_for(wait)) {}
    ~QuietSongLock() {
        if (locked_) song_.lock.unlock();
    }
    QuietSongLock(const QuietSongLock&) = delete;
    QuietSongLock& operator=(const QuietSongLock&) = delete;
    explicit operator bool() const { return locked_; }

  private:
    Song& song_;
    bool locked_;
};

} // namespace

uint32_t frames_per_block(uint32_t buffer_len_ms, uint32_t rate) {
    return (uint32_t(uint64_t(buffer_len_ms) * rate / 1000) + 15) & ~15u;
}

uint32_t output_block_count(uint32_t buffers) {
    return std::max(32u, 3 * buffers + 16);
}

PlaybackConfig match_format(const PlaybackConfig& config,
                            const std::vector<OutputDeviceInfo>& devices) {
    PlaybackConfig matched = config;
    if (devices.empty()) {
        matched.device = DEFAULT_OUTPUT_DEVICE;
        return matched;
    }
    auto record = std::find_if(devices.begin(), devices.end(), [&](const OutputDeviceInfo& info) {
        return info.id == config.device;
    });
    if (record == devices.end()) record = devices.begin();
    matched.device = record->id;

    // The configured rate when the device has it, else the highest rate it has.
    size_t chosen = OUTPUT_RATES.size();
    for (size_t r = 0; r < OUTPUT_RATES.size(); ++r) {
        if (!record->formats[r]) continue;
        chosen = r;
        if (OUTPUT_RATES[r] == config.rate) break;
    }
    if (chosen == OUTPUT_RATES.size()) return matched; // the device names no format at all
    matched.rate = OUTPUT_RATES[chosen];
    const uint8_t formats = record->formats[chosen];
    if (!(formats & (FORMAT_STEREO_16 | FORMAT_MONO_16)))
        matched.sixteen_bit = false;
    else if (!(formats & (FORMAT_STEREO_8 | FORMAT_MONO_8)))
        matched.sixteen_bit = true;
    const uint8_t stereo_bit = matched.sixteen_bit ? FORMAT_STEREO_16 : FORMAT_STEREO_8;
    const uint8_t mono_bit = matched.sixteen_bit ? FORMAT_MONO_16 : FORMAT_MONO_8;
    if (!(formats & stereo_bit))
        matched.stereo = false;
    else if (!(formats & mono_bit))
        matched.stereo = true;
    return matched;
}

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
        QuietSongLock lock(engine_.song(), engine_.song().lock.timeout());
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
        QuietSongLock lock(engine_.song(), engine_.song().lock.timeout());
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
        QuietSongLock lock(engine_.song(), engine_.song().lock.timeout());
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
        QuietSongLock lock(engine_.song(), engine_.song().lock.timeout());
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
    QuietSongLock lock(engine_.song(), engine_.song().lock.timeout());
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
        // stop), and the failure is shown instead of closing the device under it.
        show_error(PLAYBACK_ERROR(12, "The playback thread did not stop."));
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

// Under the engine's mutex.
void OutputThread::post(uint32_t pattern_word, int32_t tick) {
    if (pattern_word & REPORT_LAST) {
        if (end_posted_) return; // every playback ends exactly once
        end_posted_ = true;
    }
    reported_pattern_ = pattern_word;
    reported_tick_ = tick;
    for (PositionReceiver* receiver : receivers_)
        receiver->playback_position(pattern_word, tick);
}

// ---------------------------------------------------------------------------------------------
// The device's side

void OutputThread::block_done(const WaveBlock& block) noexcept {
    Block& owner = block.tag == PREROLL_TAG ? preroll_ : *blocks_[block.tag];
    owner.in_use.fetch_sub(1, std::memory_order_acq_rel);
    queued_.fetch_sub(1, std::memory_order_acq_rel);
}

bool OutputThread::take_free_block(uint32_t& index) {
    const uint32_t count = uint32_t(blocks_.size());
    for (uint32_t i = 1; i <= count; ++i) {
        const uint32_t candidate = (index + i) % count;
        Block& block = *blocks_[candidate];
        if (block.in_use.fetch_add(1, std::memory_order_acq_rel) + 1 == 1) {
            index = candidate;
            return true;
        }
        block.in_use.fetch_sub(1, std::memory_order_acq_rel);
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// The thread

void OutputThread::run() {
    raise_to_time_critical();
    const uint64_t cpu_start = thread_cpu_now();
    Song& song = engine_.song();

    bool priming = true;
    uint64_t primed_at = 0;      // the engine's frame count when the device was last primed
    uint64_t frames_written = 0; // handed to the device since the last priming
    int64_t pending = -1;        // a rendered block not yet written
    uint32_t last_block = uint32_t(blocks_.size() - 1);
    uint32_t lead = engine_.lead();
    PlayMode mode = engine_.mode();
    uint32_t pattern = engine_.current_pattern();

    bool stop_seen = false;
    bool device_reset = false;
    bool drain_over = false;
    bool draining = false;
    Clock::time_point stop_began;

    auto write = [&](Block& block) {
        // Counted first: the device may return the block before write() does.
        const int32_t now_queued = queued_.fetch_add(1, std::memory_order_acq_rel) + 1;
        if (device_->write(&block.header) != WAVE_OK) {
            queued_.fetch_sub(1, std::memory_order_acq_rel);
            return false;
        }
        int32_t most = most_queued_.load();
        while (now_queued > most && !most_queued_.compare_exchange_weak(most, now_queued)) {
        }
        return true;
    };
    auto snapshot = [&] {
        // These engine fields change under the song lock; a busy lock keeps the last values.
        QuietSongLock lock(song, std::chrono::milliseconds(0));
        if (!lock) return;
        lead = engine_.lead();
        mode = engine_.mode();
        pattern = engine_.current_pattern();
    };

    std::unique_lock<std::mutex> ending(engine_.engine_mutex(), std::defer_lock);
    for (;;) {
        // a. Priming: one large pre-roll, then the first block pending behind it.
        if (priming && !engine_.stop_requested()) {
            primed_at = engine_.frame_count();
            if (!engine_.render_block(preroll_.data.data(), preroll_frames_)) {
                ending.lock();
                break;
            }
            Block& first = *blocks_[0];
            if (!engine_.render_block(first.data.data(), block_frames_)) {
                ending.lock();
                break;
            }
            preroll_.in_use = 1;
            first.in_use = 1;
            pending = 0;
            last_block = 0;
            if (!write(preroll_)) {
                preroll_.in_use = 0;
                first.in_use = 0;
                engine_.request_stop(false);
                ending.lock();
                break;
            }
            frames_written = preroll_frames_;
            priming = false;
        }

        // b. Where the device is.
        const uint64_t position = primed_at + device_->position();
        play_position_.store(position, std::memory_order_release);
        snapshot();

        // c. Queue while fewer than the lead's blocks lie ahead of the position.
        const uint64_t ahead = uint64_t(lead) * block_frames_;
        const bool stopping = engine_.stop_requested();
        if (stopping && pending >= 0 && engine_.drain_requested() && !drain_over) {
            // The block that ended the song is still sound to play: it goes out before the drain.
            if (write(*blocks_[size_t(pending)]))
                frames_written += block_frames_;
            else
                blocks_[size_t(pending)]->in_use.fetch_sub(1, std::memory_order_acq_rel);
            pending = -1;
        }
        bool queue = false;
        if (!stopping) queue = frames_written < ahead || position >= frames_written - ahead;

        if (!queue) {
            // d. Stopping or idle.
            if (stopping) {
                if (!stop_seen) {
                    stop_seen = true;
                    stop_began = Clock::now();
                }
                draining = engine_.drain_requested() && !drain_over;
                if (!draining && !device_reset) {
                    device_->reset();
                    device_reset = true;
                    stop_began = Clock::now();
                }
                const uint64_t allowed = draining ? uint64_t(preroll_frames_) * 4500 /
                                                        std::max(1u, engine_.format().rate)
                                                  : timings_.reset_wait_ms;
                const uint64_t waited = elapsed_ms(stop_began);
                if (draining && waited >= allowed) {
                    drain_over = true; // the next pass resets the device and waits once more
                    continue;
                }
                if (queued_.load() == 0 || (!draining && waited >= allowed)) {
                    ending.lock();
                    if (engine_.stop_requested()) break;
                    // A new playback took over: play on.
                    stop_seen = device_reset = drain_over = false;
                    ending.unlock();
                }
            } else if (stop_seen) {
                stop_seen = device_reset = drain_over = false;
            }
            if (std::optional<PositionReport> report = engine_.take_reports_until(position)) {
                std::lock_guard<std::mutex> hold(engine_.engine_mutex());
                post(report->pattern_word, report->tick);
            }
            sleep_ms(timings_.idle_sleep_ms);
            continue;
        }

        // e. Write the pending block, then render the next one into a free block.
        if (pending >= 0) {
            if (!write(*blocks_[size_t(pending)])) {
                sleep_ms(timings_.idle_sleep_ms); // the device refused it: try again shortly
                continue;
            }
            frames_written += block_frames_;
            pending = -1;
        }
        uint32_t index = last_block;
        if (take_free_block(index)) {
            last_block = index;
            if (!engine_.render_block(blocks_[index]->data.data(), block_frames_)) {
                blocks_[index]->in_use.fetch_sub(1, std::memory_order_acq_rel);
                ending.lock();
                break;
            }
            pending = index;
            continue;
        }

        // f. No free block: the device has stopped returning them. Start it afresh.
        recoveries_.fetch_add(1);
        pending = -1;
        device_->reset();
        const Clock::time_point began = Clock::now();
        while (queued_.load() > 0 && elapsed_ms(began) < timings_.recovery_limit_ms)
            sleep_ms(timings_.idle_sleep_ms);
        for (auto& block : blocks_)
            block->in_use = 0;
        preroll_.in_use = 0;
        if (queued_.load() > 0)
            engine_.request_stop(false);
        else
            priming = true;
    }

    // 3. The end, holding the engine's mutex.
    draining = engine_.drain_requested() && !drain_over;
    device_->reset();
    snapshot();
    if (engine_.pending_reports() > 0) {
        const std::optional<PositionReport> newest = engine_.newest_report();
        engine_.take_reports_until(~uint64_t(0));
        post(newest->pattern_word | REPORT_LAST, draining ? newest->tick : -1);
    } else if (mode != PlayMode::PREVIEW_ONLY) {
        post(pattern | REPORT_LAST, -1);
    }
    device_.reset();
    thread_cpu_ns_ = thread_cpu_now() - cpu_start;
    running_.store(false, std::memory_order_release);
    ending.unlock();
}

// ---------------------------------------------------------------------------------------------

uint32_t PlayerNoteSink::instrument_count() {
    QuietSongLock lock(output_.engine().song(), output_.engine().song().lock.timeout());
    return lock ? uint32_t(output_.engine().song().instruments.size()) : 0;
}

bool PlayerNoteSink::instrument_loops(uint32_t instrument) {
    QuietSongLock lock(output_.engine().song(), output_.engine().song().lock.timeout());
    const auto& instruments = output_.engine().song().instruments;
    return lock && instrument < instruments.size() && instruments[instrument].loops();
}

uint32_t PlayerNoteSink::start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                            uint32_t balance, uint32_t length_ms) {
    try {
        return output_.start_preview_note(instrument, key, volume, balance, length_ms);
    } catch (const ERROR& error) {
        show_error(error);
    } catch (const std::bad_alloc&) {
        show_error(MEM_ERROR());
    }
    return 0;
}

} // namespace tunemill
