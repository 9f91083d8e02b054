// Bounded text and path helpers.
#include "foundation/text.h"

#include <algorithm>
#include <cstring>

namespace tunemill {

void bounded_copy(char* dest, const char* src, size_t capacity) {
    if (capacity == 0) return;
    const size_t length = std::strlen(src);
    const size_t count = length < capacity ? length : capacity - 1;
    std::memmove(dest, src, count);
    dest[count] = '\0';
}

void bounded_append(char* dest, const char* src, size_t capacity) {
    if (capacity == 0) return;
    const size_t used = ::strnlen(dest, capacity);
    if (used >= capacity - 1) return;
    bounded_copy(dest + used, src, capacity - used);
}

void path_join(char* dest, const char* directory, const char* name) {
    if (dest != directory) bounded_copy(dest, directory, PATH_CAPACITY);
    const size_t used = ::strnlen(dest, PATH_CAPACITY);
    if (used > 0 && dest[used - 1] != PATH_SEPARATOR) {
        const char separator[2] = {PATH_SEPARATOR, '\0'};
        bounded_append(dest, separator, PATH_CAPACITY);
    }
    bounded_append(dest, name, PATH_CAPACITY);
}

std::string path_join(std::string_view directory, std::string_view name) {
    std::string joined(directory);
    if (!joined.empty() && joined.back() != PATH_SEPARATOR) joined += PATH_SEPARATOR;
    joined += name;
    return joined;
}

namespace {
size_t name_start(std::string_view path) {
    size_t start = 0;
    for (char separator : {'\\', '/', ':'}) {
        const size_t at = path.substr(start).rfind(separator);
        if (at != std::string_view::npos) start += at + 1;
    }
    return start;
}
} // namespace

std::string_view file_name_part(std::string_view path) {
    return path.substr(name_start(path));
}

std::string directory_part(std::string_view path) {
    return std::string(path.substr(0, name_start(path)));
}

void replace_character(char* text, char from, char to) {
    for (; *text; ++text)
        if (*text == from) *text = to;
}

const char* skip_blanks(const char* text) {
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

std::string format_with_string(std::string_view pattern, std::string_view value) {
    return format_message(pattern, {std::string(value)});
}

std::string format_message(std::string_view pattern, std::initializer_list<std::string> values) {
    return format_message(pattern, std::vector<std::string>(values));
}

std::string format_message(std::string_view pattern, const std::vector<std::string>& values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 >= pattern.size()) {
            out += pattern[i];
            continue;
        }
        if (pattern[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Flags and width: "%02d" pads with zeros, "%3d" with spaces.
        size_t j = i + 1;
        const bool zero_pad = pattern[j] == '0';
        size_t width = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9')
            width = width * 10 + size_t(pattern[j++] - '0');
        if (j >= pattern.size() || (pattern[j] != 'd' && pattern[j] != 's' && pattern[j] != 'u')) {
            out += pattern[i];
            continue;
        }
        std::string value = next != values.end() ? *next++ : std::string();
        if (value.size() < width) {
            const bool negative = zero_pad && !value.empty() && value[0] == '-';
            std::string pad(width - value.size(), zero_pad ? '0' : ' ');
            value = negative ? "-" + pad + value.substr(1) : pad + value;
        }
        out += value;
        i = j;
    }
    return out;
}

} // namespace tunemill

namespace tunemill {

namespace {
// The code points of the bytes 0x80 to 0x9F; 0 marks the five bytes Windows-1252 leaves unset.
constexpr char32_t high_controls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}
} // namespace

std::string windows1252_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) {
        char32_t c = b;
        if (b >= 0x80 && b < 0xA0) c = high_controls[b - 0x80] ? high_controls[b - 0x80] : b;
        append_utf8(out, c);
    }
    return out;
}

std::string utf8_to_windows1252(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = text[i];
        char32_t c = lead;
        size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (i + extra >= text.size()) { // a sequence cut short by the text's end
            out += '?';
            break;
        }
        if (extra) {
            c = lead & (0x3F >> extra);
            for (size_t k = 1; k <= extra; ++k)
                c = (c << 6) | (text[i + k] & 0x3F);
        }
        i += extra + 1;
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            out += char(c);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (high_controls[k] == c) mapped = char(0x80 + k);
        out += mapped;
    }
    return out;
}

} // namespace tunemill
