// Reads a file MSB first, for the packed sample formats of instrument files and the bank.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tunemill {

class File;

class BitReader {
  public:
    BitReader() = default;
    explicit BitReader(File& file) { attach(file); }

    // Start reading at the file's current position; any buffered state is dropped.
    void attach(File& file);
    // n from 0 to 24. Running out of data throws FILE_ERROR(READ, END_OF_FILE).
    uint32_t read_bits(unsigned n);
    uint32_t peek_bits(unsigned n);
    // Bytes up to and including a 0. Returns false when a non-zero byte was stored at index max
    // (max + 1 bytes stored, unterminated).
    bool read_string(char* buffer, size_t max);
    void read_bytes(void* buffer, size_t n);
    // Seek the file back to just after the last byte of which any bit was consumed.
    void release();

  private:
    void fill(unsigned n);

    File* file_ = nullptr;
    uint8_t buffer_[128] = {};
    size_t position_ = 0;
    size_t unread_ = 0;
    uint32_t accumulator_ = 0;
    unsigned valid_bits_ = 0;
};

} // namespace tunemill
