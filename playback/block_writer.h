// Hands rendered blocks to a writing thread, so that writing and encoding a file run beside the
// mixing instead of after it. The blocks are written in order; at most a few wait at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tunemill {

class BlockWriter {
  public:
    using Sink = std::function<void(const uint8_t* bytes, size_t count)>;

    // Starts the writing thread; blocks hold block_bytes bytes, depth of them at most in flight.
    BlockWriter(Sink sink, size_t block_bytes, size_t depth = 4);
    // Stops the thread; blocks not yet written are dropped (the render failed or was cancelled).
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // A free block to render into: waits while every block is queued. Throws what the sink threw.
    uint8_t* next_block();
    // Queues the first bytes of the block next_block gave.
    void hand_over(size_t bytes);
    // Waits until every queued block is written. Throws what the sink threw.
    void finish();

  private:
    struct Block {
        std::vector<uint8_t> data;
        size_t bytes = 0;
    };
    void write_all();

    Sink sink_;
    std::vector<Block> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t queued_ = 0; // blocks handed over and not yet written
    size_t next_ = 0;   // the block the renderer fills next (ring order)
    bool closing_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace tunemill
