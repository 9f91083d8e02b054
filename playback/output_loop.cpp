// The playback thread: priming the device with the pre-roll, the lead rule that keeps blocks
// queued ahead of the playing position, the recovery when no block is free, the stop modes with
// draining, the position reports and the one end report of every playback.
#include <algorithm>
#include <ctime>
#include <mutex>

#include "platform/realtime_section.h"
#include "platform/thread_priority.h"
#include "playback/output_thread.h"
#include "playback/thread_clock.h"

namespace tunemill {

using thread_clock::Clock;
using thread_clock::elapsed_ms;
using thread_clock::sleep_ms;

namespace {

uint64_t thread_cpu_now() {
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return uint64_t(time.tv_sec) * 1000000000u + uint64_t(time.tv_nsec);
}

} // namespace

// What the thread carries from one pass to the next.
struct OutputThread::RunState {
    RunState(std::mutex& engine_mutex, uint32_t last, const PlaybackEngine& engine)
        : last_block(last), lead(engine.lead()), mode(engine.mode()),
          pattern(engine.current_pattern()), ending(engine_mutex, std::defer_lock) {}

    bool priming = true;
    uint64_t primed_at = 0;      // the engine's frame count when the device was last primed
    uint64_t frames_written = 0; // handed to the device since the last priming
    int64_t pending = -1;        // a rendered block not yet written
    uint32_t last_block;         // where the search for a free block starts

    // The engine's fields that change under the song lock, as last seen.
    uint32_t lead;
    PlayMode mode;
    uint32_t pattern;

    bool stop_seen = false;
    bool device_reset = false;
    bool drain_over = false;
    bool draining = false;
    Clock::time_point stop_began;

    // The engine's mutex, held from the moment the thread decides to end.
    std::unique_lock<std::mutex> ending;
};

void OutputThread::run() {
    raise_to_time_critical();
    const uint64_t cpu_start = thread_cpu_now();
    RunState state(engine_.engine_mutex(), uint32_t(blocks_.size() - 1), engine_);
    for (;;) {
        if (state.priming && !engine_.stop_requested() && !prime(state)) break;
        const uint64_t position = follow_device(state);
        const bool stopping = engine_.stop_requested();
        if (stopping) flush_final_block(state);
        const Pass pass = stopping || !wants_block(state, position)
                              ? wait(state, position, stopping)
                              : queue_block(state);
        if (pass == Pass::END) break;
        if (pass == Pass::AGAIN) continue;
        restart_device(state);
    }
    finish(state);
    thread_cpu_ns_ = thread_cpu_now() - cpu_start;
    running_.store(false, std::memory_order_release);
    state.ending.unlock();
}

// One large pre-roll; the blocks behind it are rendered when the device wants them. False when
// the playback ends.
bool OutputThread::prime(RunState& state) {
    state.primed_at = engine_.frame_count();
    if (!render(preroll_.data.data(), preroll_frames_)) {
        state.ending.lock();
        return false;
    }
    preroll_.in_use = 1;
    state.pending = -1;
    state.last_block = uint32_t(blocks_.size() - 1);
    if (!write_block(preroll_)) {
        preroll_.in_use = 0;
        engine_.request_stop(false);
        state.ending.lock();
        return false;
    }
    state.frames_written = preroll_frames_;
    state.priming = false;
    return true;
}

// Where the device is, in the engine's frames; the engine's fields are seen afresh.
uint64_t OutputThread::follow_device(RunState& state) {
    const uint64_t position = state.primed_at + device_->position();
    play_position_.store(position, std::memory_order_release);
    take_snapshot(state);
    return position;
}

void OutputThread::take_snapshot(RunState& state) {
    // These engine fields change under the song lock; a busy lock keeps the last values.
    QuietSongLock lock(engine_.song().lock, std::chrono::milliseconds(0));
    if (!lock) return;
    state.lead = engine_.lead();
    state.mode = engine_.mode();
    state.pattern = engine_.current_pattern();
}

// Stopping with a drain: a rendered block the device refused is still sound to play, so it goes
// out before the drain.
void OutputThread::flush_final_block(RunState& state) {
    if (state.pending < 0 || !engine_.drain_requested() || state.drain_over) return;
    Block& block = *blocks_[size_t(state.pending)];
    if (write_block(block))
        state.frames_written += block_frames_;
    else
        block.in_use.fetch_sub(1, std::memory_order_acq_rel);
    state.pending = -1;
}

// The lead rule: a block is wanted while fewer than the lead's blocks lie ahead of the position.
bool OutputThread::wants_block(const RunState& state, uint64_t position) const {
    const uint64_t ahead = uint64_t(state.lead) * block_frames_;
    return state.frames_written < ahead || position >= state.frames_written - ahead;
}

// Nothing to queue: follows a stop, posts the reports the device has reached and sleeps a while.
OutputThread::Pass OutputThread::wait(RunState& state, uint64_t position, bool stopping) {
    if (stopping) {
        const Pass pass = follow_stop(state);
        if (pass != Pass::ON) return pass;
    } else if (state.stop_seen) {
        state.stop_seen = state.device_reset = state.drain_over = false;
    }
    post_reports_until(position);
    sleep_ms(timings_.idle_sleep_ms);
    return Pass::AGAIN;
}

// A stop lets the queued sound drain (for a while), or resets the device and waits for its
// blocks; it ends the playback unless a new one took over in the meantime.
OutputThread::Pass OutputThread::follow_stop(RunState& state) {
    if (!state.stop_seen) {
        state.stop_seen = true;
        state.stop_began = Clock::now();
    }
    state.draining = engine_.drain_requested() && !state.drain_over;
    if (!state.draining && !state.device_reset) {
        device_->reset();
        state.device_reset = true;
        state.stop_began = Clock::now();
    }
    const uint64_t allowed =
        state.draining ? uint64_t(preroll_frames_) * 4500 / std::max(1u, engine_.format().rate)
                       : timings_.reset_wait_ms;
    const uint64_t waited = elapsed_ms(state.stop_began);
    if (state.draining && waited >= allowed) {
        state.drain_over = true; // the next pass resets the device and waits once more
        return Pass::AGAIN;
    }
    if (queued_.load() == 0 || (!state.draining && waited >= allowed)) {
        state.ending.lock();
        if (engine_.stop_requested()) return Pass::END;
        // A new playback took over: play on.
        state.stop_seen = state.device_reset = state.drain_over = false;
        state.ending.unlock();
    }
    return Pass::ON;
}

// Renders the next block into a free block and hands it to the device at once, so that a note
// played live is in the very next block the device gets. A block the device refused is pending
// and goes first. ON when no block is free.
OutputThread::Pass OutputThread::queue_block(RunState& state) {
    if (state.pending < 0) {
        uint32_t index = state.last_block;
        if (!take_free_block(index)) return Pass::ON;
        state.last_block = index;
        if (!render(blocks_[index]->data.data(), block_frames_)) {
            blocks_[index]->in_use.fetch_sub(1, std::memory_order_acq_rel);
            state.ending.lock();
            return Pass::END;
        }
        state.pending = index;
    }
    if (!write_block(*blocks_[size_t(state.pending)])) {
        sleep_ms(timings_.idle_sleep_ms); // the device refused it: try again shortly
        return Pass::AGAIN;
    }
    state.frames_written += block_frames_;
    state.pending = -1;
    return Pass::AGAIN;
}

// No free block: the device has stopped returning them. Starts it afresh, or ends the playback
// when its blocks do not come back.
void OutputThread::restart_device(RunState& state) {
    recoveries_.fetch_add(1);
    state.pending = -1;
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
        state.priming = true;
}

// The end, holding the engine's mutex: the device stops and the one end report is posted.
void OutputThread::finish(RunState& state) {
    state.draining = engine_.drain_requested() && !state.drain_over;
    device_->reset();
    take_snapshot(state);
    if (engine_.pending_reports() > 0) {
        const std::optional<PositionReport> newest = engine_.newest_report();
        engine_.take_reports_until(~uint64_t(0));
        post(newest->pattern_word | REPORT_LAST, state.draining ? newest->tick : -1);
    } else if (state.mode != PlayMode::PREVIEW_ONLY) {
        post(state.pattern | REPORT_LAST, -1);
    }
    device_.reset();
}

bool OutputThread::render(uint8_t* frames, uint32_t count) {
    const RealtimeSection rendering(RealtimeRule::RENDERING);
    return engine_.render_block(frames, count);
}

bool OutputThread::write_block(Block& block) {
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
}

void OutputThread::post_reports_until(uint64_t position) {
    if (std::optional<PositionReport> report = engine_.take_reports_until(position)) {
        std::lock_guard<std::mutex> hold(engine_.engine_mutex());
        post(report->pattern_word, report->tick);
    }
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

} // namespace tunemill
