// Integer fields of fixed byte order for the module file headers. Headers are structs of these
// (byte arrays underneath, so no padding and no alignment), copied to and from byte buffers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace tunemill {

template <typename T, bool BIG_ENDIAN_ORDER> struct EndianValue {
    static_assert(std::is_unsigned_v<T>);
    uint8_t bytes[sizeof(T)];

    T get() const {
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) {
            const size_t index = BIG_ENDIAN_ORDER ? i : sizeof(T) - 1 - i;
            value = T((value << 8) | bytes[index]);
        }
        return value;
    }
    void set(T value) {
        for (size_t i = 0; i < sizeof(T); ++i) {
            const size_t index = BIG_ENDIAN_ORDER ? sizeof(T) - 1 - i : i;
            bytes[index] = uint8_t(value & 0xFF);
            value = T(value >> 8);
        }
    }
    operator T() const { return get(); }
    EndianValue& operator=(T value) {
        set(value);
        return *this;
    }
};

using be16 = EndianValue<uint16_t, true>;
using le16 = EndianValue<uint16_t, false>;
using le32 = EndianValue<uint32_t, false>;
static_assert(sizeof(be16) == 2 && sizeof(le16) == 2 && sizeof(le32) == 4);

// A header struct from the start of a byte buffer of at least its size.
template <typename T> T decode(const uint8_t* bytes) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// The text of a fixed-size name field: its bytes up to the first zero.
inline std::string field_text(const char* field, size_t size) {
    size_t length = 0;
    while (length < size && field[length] != 0)
        ++length;
    return std::string(field, length);
}
template <size_t N> std::string field_text(const char (&field)[N]) {
    return field_text(field, N);
}

// Stores text into a fixed field of N bytes, zero-padded, at most limit characters.
template <size_t N>
void set_field_text(char (&field)[N], const std::string& text, size_t limit = N) {
    std::memset(field, 0, N);
    const size_t length = std::min({text.size(), limit, N});
    std::memcpy(field, text.data(), length);
}

} // namespace tunemill
