// Reading the tagged chunk tree of song files: a buffered input over the file that never reads
// beyond what the chunk heads promise, and the chunk list reader that hands known tags to their
// handlers and skips every other tag, so that files of later versions still load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tunemill {

class File;

// The file seen through one working buffer. Positions are absolute file offsets; a read that runs
// past the end of the file throws FILE_ERROR(READ, END_OF_FILE).
class ChunkInput {
  public:
    static constexpr size_t WORKING_BUFFER_BYTES = 12288;

    explicit ChunkInput(File& file);

    uint64_t size() const { return size_; }
    uint64_t position() const { return buffer_start_ + at_; }
    void seek(uint64_t position);
    void read(void* out, size_t count);
    uint8_t byte() {
        if (at_ == filled_) refill(1);
        return buffer_[at_++];
    }
    uint32_t u32();
    void skip(uint64_t count) { seek(position() + count); }

    // The file itself, standing at position(), for readers that work on the file (the instrument
    // body reader). Call sync_from_file() afterwards to continue where the file stands.
    File& file_at_position();
    void sync_from_file();

  private:
    void refill(size_t needed);

    File& file_;
    uint64_t size_;
    std::vector<uint8_t> buffer_;
    uint64_t buffer_start_ = 0; // file offset of buffer_[0]
    size_t filled_ = 0;
    size_t at_ = 0;
};

// One known tag of a chunk list: the size of the fixed part that begins its payload and the
// handler, called with the fixed part and the number of payload bytes that follow it (the input
// stands right after the fixed part).
struct ChunkKind {
    char tag[3];
    size_t fixed_size;
    std::function<void(const uint8_t* fixed, uint64_t rest)> read;
};

// A fixed part may be at most this long; a table with a longer one is a program fault.
constexpr size_t MAX_FIXED_PART = 128;

// Reads the chunks that fill the next span bytes of the input. Damage (a head or payload cut off
// by the span, a payload shorter than its fixed part) throws LOAD_ERROR(0); a fixed part longer
// than MAX_FIXED_PART throws LOAD_ERROR(1). After each handler the input is set to the chunk's
// end, whatever the handler read.
void read_chunk_list(ChunkInput& input, uint64_t span, std::span<const ChunkKind> kinds);

} // namespace tunemill
