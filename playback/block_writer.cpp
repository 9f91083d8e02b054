#include "playback/block_writer.h"

#include <algorithm>

namespace tunemill {

BlockWriter::BlockWriter(Sink sink, size_t block_bytes, size_t depth)
    : sink_(std::move(sink)), blocks_(std::max<size_t>(depth, 1)) {
    for (Block& block : blocks_)
        block.data.resize(block_bytes);
    thread_ = std::thread([this] { write_all(); });
}

BlockWriter::~BlockWriter() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

uint8_t* BlockWriter::next_block() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return queued_ < blocks_.size() || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    return blocks_[next_].data.data();
}

void BlockWriter::hand_over(size_t bytes) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        blocks_[next_].bytes = bytes;
        next_ = (next_ + 1) % blocks_.size();
        ++queued_;
    }
    changed_.notify_all();
}

void BlockWriter::finish() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return queued_ == 0 || failure_; });
    if (failure_) std::rethrow_exception(failure_);
}

// The writing thread: the oldest queued block goes to the sink, outside the lock.
void BlockWriter::write_all() {
    size_t oldest = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(mutex_);
            changed_.wait(hold, [this] { return queued_ > 0 || closing_; });
            if (closing_) return;
        }
        const Block& block = blocks_[oldest];
        try {
            sink_(block.data.data(), block.bytes);
        } catch (...) {
            std::lock_guard<std::mutex> hold(mutex_);
            failure_ = std::current_exception();
            changed_.notify_all();
            return;
        }
        oldest = (oldest + 1) % blocks_.size();
        {
            std::lock_guard<std::mutex> hold(mutex_);
            --queued_;
        }
        changed_.notify_all();
    }
}

} // namespace tunemill
