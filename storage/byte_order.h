// Little-endian integers in byte buffers: the song file, the older song file's head and the
// clipboard block all store their integers this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tunemill {

inline uint32_t get_u16(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
}

inline uint32_t get_u32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

inline void set_u32(uint8_t* bytes, uint32_t value) {
    for (int k = 0; k < 4; ++k)
        bytes[k] = uint8_t(value >> (8 * k));
}

inline void put_u8(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
}

inline void put_u32(std::vector<uint8_t>& out, uint32_t value) {
    const size_t at = out.size();
    out.resize(at + 4);
    set_u32(out.data() + at, value);
}

inline void put_bytes(std::vector<uint8_t>& out, std::string_view bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

inline void put_bytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

} // namespace tunemill
