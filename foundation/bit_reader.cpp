// MSB-first bit reader over a file handle, with a 128-byte buffer.
#include "foundation/bit_reader.h"

#include "foundation/errors.h"
#include "foundation/file.h"

namespace tunemill {

void BitReader::attach(File& file) {
    file_ = &file;
    position_ = 0;
    unread_ = 0;
    accumulator_ = 0;
    valid_bits_ = 0;
}

void BitReader::fill(unsigned n) {
    while (valid_bits_ <= 24) {
        if (unread_ == 0) {
            unread_ = file_->read_some(buffer_, sizeof buffer_);
            position_ = 0;
            if (valid_bits_ + 8 * unread_ < n)
                throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
            if (unread_ == 0) return; // enough bits for this read, none to spare
        }
        accumulator_ |= uint32_t(buffer_[position_++]) << (24 - valid_bits_);
        --unread_;
        valid_bits_ += 8;
    }
}

uint32_t BitReader::read_bits(unsigned n) {
    const uint32_t value = peek_bits(n);
    if (n == 0) return 0;
    accumulator_ = n >= 32 ? 0 : accumulator_ << n;
    valid_bits_ -= n;
    return value;
}

uint32_t BitReader::peek_bits(unsigned n) {
    if (n == 0) return 0;
    if (valid_bits_ < n) fill(n);
    return accumulator_ >> (32 - n);
}

bool BitReader::read_string(char* buffer, size_t max) {
    for (size_t i = 0;; ++i) {
        const char c = char(read_bits(8));
        buffer[i] = c;
        if (c == 0) return true;
        if (i == max) return false;
    }
}

void BitReader::read_bytes(void* buffer, size_t n) {
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(read_bits(8));
}

void BitReader::release() {
    const size_t unconsumed = valid_bits_ / 8 + unread_;
    if (unconsumed > 0) file_->seek(-int64_t(unconsumed), File::Origin::CURRENT);
    position_ = 0;
    unread_ = 0;
    accumulator_ = 0;
    valid_bits_ = 0;
}

} // namespace tunemill
