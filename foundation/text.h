// Bounded text and path helpers. The bounded forms serve the fixed-size name fields of the file
// formats; every result is zero-terminated within its capacity.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tunemill {

// File paths inside fixed fields hold at most this many bytes, terminator included.
constexpr size_t PATH_CAPACITY = 260;

// The separator this platform joins paths with.
constexpr char PATH_SEPARATOR = '/';

// Copies src whole when it is shorter than capacity, else its first capacity - 1 characters.
void bounded_copy(char* dest, const char* src, size_t capacity);

// Appends as much of src as fits; does nothing when dest already holds capacity - 1 characters.
void bounded_append(char* dest, const char* src, size_t capacity);

// dest = directory + separator (unless empty or already there) + name, within PATH_CAPACITY.
// dest and directory may be the same buffer.
void path_join(char* dest, const char* directory, const char* name);
std::string path_join(std::string_view directory, std::string_view name);

// The text after the last "\", then after the last "/" of that, then after the last ":" of
// that. Names stored by Windows-era files carry any of the three.
std::string_view file_name_part(std::string_view path);

// The path cut just after the separator that file_name_part stops at ("" when there is none).
std::string directory_part(std::string_view path);

void replace_character(char* text, char from, char to);

// The first character that is neither a space nor a tab.
const char* skip_blanks(const char* text);

// The pattern with its first "%s" replaced by value and "%%" by "%".
std::string format_with_string(std::string_view pattern, std::string_view value);

// The pattern with its printf-style integer placeholders ("%d", "%02d", "%s" for a sign text)
// filled in order. Only what the string table uses is supported.
std::string format_message(std::string_view pattern, std::initializer_list<std::string> values);
std::string format_message(std::string_view pattern, const std::vector<std::string>& values);

} // namespace tunemill

namespace tunemill {

// Names and descriptions inside the file formats are Windows-1252 bytes; the front ends show
// them as UTF-8 and store what the user types back as Windows-1252 ('?' for what it cannot hold).
std::string windows1252_to_utf8(std::string_view bytes);
std::string utf8_to_windows1252(std::string_view text);

} // namespace tunemill
