// The chunk list reader and its buffered input.
#include "storage/chunk_reader.h"

#include <algorithm>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "storage/byte_order.h"

namespace tunemill {

ChunkInput::ChunkInput(File& file)
    : file_(file), size_(file.size()), buffer_(WORKING_BUFFER_BYTES) {
    buffer_start_ = file.position();
}

void ChunkInput::seek(uint64_t position) {
    if (position >= buffer_start_ && position <= buffer_start_ + filled_) {
        at_ = size_t(position - buffer_start_);
        return;
    }
    buffer_start_ = position;
    filled_ = 0;
    at_ = 0;
}

void ChunkInput::refill(size_t needed) {
    // Keep the unread bytes, fill the rest of the buffer from the file.
    const size_t unread = filled_ - at_;
    std::memmove(buffer_.data(), buffer_.data() + at_, unread);
    buffer_start_ += at_;
    at_ = 0;
    filled_ = unread;
    file_.seek(int64_t(buffer_start_ + filled_));
    while (filled_ < needed) {
        const size_t got = file_.read_some(buffer_.data() + filled_, buffer_.size() - filled_);
        if (got == 0)
            throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE, file_.path().string());
        filled_ += got;
    }
}

void ChunkInput::read(void* out, size_t count) {
    auto* dest = static_cast<uint8_t*>(out);
    while (count > 0) {
        if (at_ == filled_) {
            // Large reads go straight into the destination.
            if (count >= buffer_.size()) {
                const uint64_t here = position();
                file_.seek(int64_t(here));
                file_.read_exact(dest, count);
                buffer_start_ = here + count;
                filled_ = 0;
                at_ = 0;
                return;
            }
            refill(1);
        }
        const size_t piece = std::min(count, filled_ - at_);
        std::memcpy(dest, buffer_.data() + at_, piece);
        at_ += piece;
        dest += piece;
        count -= piece;
    }
}

uint32_t ChunkInput::u32() {
    uint8_t bytes[4];
    read(bytes, 4);
    return get_u32(bytes);
}

File& ChunkInput::file_at_position() {
    const uint64_t here = position();
    file_.seek(int64_t(here));
    buffer_start_ = here;
    filled_ = 0;
    at_ = 0;
    return file_;
}

void ChunkInput::sync_from_file() {
    buffer_start_ = file_.position();
    filled_ = 0;
    at_ = 0;
}

void read_chunk_list(ChunkInput& input, uint64_t span, std::span<const ChunkKind> kinds) {
    while (span > 0) {
        if (span < 7) throw LOAD_ERROR(0);
        uint8_t head[7];
        input.read(head, 7);
        span -= 7;
        const uint32_t length = get_u32(head + 3);
        if (length > span) throw LOAD_ERROR(0);
        const uint64_t end = input.position() + length;
        for (const ChunkKind& kind : kinds) {
            if (std::memcmp(kind.tag, head, 3) != 0) continue;
            if (kind.fixed_size > MAX_FIXED_PART) throw LOAD_ERROR(1);
            if (length < kind.fixed_size) throw LOAD_ERROR(0);
            uint8_t fixed[MAX_FIXED_PART];
            input.read(fixed, kind.fixed_size);
            kind.read(fixed, length - kind.fixed_size);
            break;
        }
        input.seek(end);
        span -= length;
    }
}

} // namespace tunemill
