#include "playback/parallel_render.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/errors.h"
#include "foundation/string_table.h"

namespace tunemill {

namespace {

// A block on its way: planned, then mixed, then written, then free again. Blocks go round a
// ring; the n-th block of the song takes slot n mod ring size.
struct Slot {
    enum class State { FREE, PLANNED, MIXED };
    State state = State::FREE;
    BlockPlan plan;
    std::vector<uint8_t> output;
    size_t bytes = 0;
};

class Pipeline {
  public:
    explicit Pipeline(const ParallelRenderJob& job)
        : job_(job), slots_(size_t(job.mixing_threads) * 2 + 2) {
        const size_t block_bytes = size_t(job.block_frames) * job.format.bytes_per_frame();
        for (Slot& slot : slots_)
            slot.output.resize(block_bytes);
    }

    ParallelRenderResult run() {
        std::vector<std::thread> threads;
        try {
            for (uint32_t i = 0; i < job_.mixing_threads; ++i)
                threads.emplace_back([this] { mix_blocks(); });
            threads.emplace_back([this] { write_blocks(); });
            plan_blocks();
        } catch (...) {
            fail(std::current_exception());
        }
        {
            std::lock_guard<std::mutex> hold(mutex_);
            planning_over_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads)
            thread.join();
        if (failure_) std::rethrow_exception(failure_);
        return result_;
    }

  private:
    // The calling thread: the sequencer and the voices run ahead, one block at a time.
    void plan_blocks() {
        uint64_t remaining = job_.frames_to_render;
        uint64_t planned_frames = 0;
        while (!job_.engine.sequence_ended() && remaining > 0) {
            if (!job_.keep_going(planned_frames)) {
                result_.cancelled = true;
                return;
            }
            Slot* slot = free_slot();
            if (!slot) return; // a thread failed
            const uint32_t frames = uint32_t(std::min<uint64_t>(job_.block_frames, remaining));
            if (!job_.engine.plan_block(frames, slot->plan)) throw MISC_ERROR(S_INTERNAL_ERROR);
            {
                std::lock_guard<std::mutex> hold(mutex_);
                slot->state = Slot::State::PLANNED;
                ++planned_;
            }
            changed_.notify_all();
            remaining -= frames;
            planned_frames += frames;
        }
    }

    Slot* free_slot() {
        std::unique_lock<std::mutex> hold(mutex_);
        Slot& slot = slots_[planned_ % slots_.size()];
        changed_.wait(hold, [&] { return slot.state == Slot::State::FREE || failure_; });
        return failure_ ? nullptr : &slot;
    }

    // A mixing thread: takes the oldest planned block no thread has taken yet.
    void mix_blocks() {
        PlannedMixing mixing;
        for (;;) {
            Slot* slot;
            {
                std::unique_lock<std::mutex> hold(mutex_);
                changed_.wait(hold,
                              [&] { return taken_ < planned_ || planning_over_ || failure_; });
                if (failure_ || taken_ == planned_) return; // planning is over
                slot = &slots_[taken_++ % slots_.size()];
            }
            try {
                mix_planned_block(slot->plan, job_.engine.song().instruments, job_.format,
                                  slot->output.data(), mixing);
                slot->bytes = size_t(slot->plan.frames) * job_.format.bytes_per_frame();
                if (slot->plan.sequence_ended)
                    slot->bytes = job_.trim(slot->output.data(), slot->bytes);
            } catch (...) {
                fail(std::current_exception());
                return;
            }
            {
                std::lock_guard<std::mutex> hold(mutex_);
                slot->state = Slot::State::MIXED;
            }
            changed_.notify_all();
        }
    }

    // The writing thread: the blocks in the song's order.
    void write_blocks() {
        for (uint64_t written = 0;; ++written) {
            Slot& slot = slots_[written % slots_.size()];
            {
                std::unique_lock<std::mutex> hold(mutex_);
                changed_.wait(hold, [&] {
                    return (written < planned_ && slot.state == Slot::State::MIXED) ||
                           (planning_over_ && written == planned_) || failure_;
                });
                if (failure_ || written == planned_) return;
            }
            try {
                job_.sink(slot.output.data(), slot.bytes);
            } catch (...) {
                fail(std::current_exception());
                return;
            }
            {
                std::lock_guard<std::mutex> hold(mutex_);
                result_.frames += slot.bytes / job_.format.bytes_per_frame();
                slot.state = Slot::State::FREE;
            }
            changed_.notify_all();
        }
    }

    void fail(std::exception_ptr failure) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (!failure_) failure_ = failure;
        }
        changed_.notify_all();
    }

    const ParallelRenderJob& job_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t planned_ = 0; // blocks planned so far
    uint64_t taken_ = 0;   // blocks a mixing thread has taken
    bool planning_over_ = false;
    std::exception_ptr failure_;
    ParallelRenderResult result_;
};

} // namespace

ParallelRenderResult render_in_parallel(const ParallelRenderJob& job) {
    return Pipeline(job).run();
}

} // namespace tunemill
