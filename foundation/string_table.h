// The string tables: every text the user sees, in English and German, chosen by the locale.
// The tables themselves are generated at build time from resources/strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "strings/composer_strings.h"

namespace tunemill {

enum class Language { ENGLISH, GERMAN };

struct StringEntry {
    uint32_t id;
    const char* text;
};

// One program's table in both languages, each sorted by id.
struct StringTable {
    const StringEntry* english;
    size_t english_count;
    const StringEntry* german;
    size_t german_count;

    // The text of id in the language, or nullptr when the table has no such entry.
    const char* find(uint32_t id, Language language) const;
};

// German for every "de*" locale name ("de", "de_CH.UTF-8", ...), English for everything else.
Language language_from_locale(std::string_view locale);
// The language of LC_ALL, else LC_MESSAGES, else LANG (the first one set and not empty).
Language language_from_environment();

// The language every text is taken in. Until set, it comes from the environment.
Language current_language();
void set_language(Language language);

// The composer's text of id in the current language (UTF-8); empty when there is none.
std::string load_string(uint32_t id);
std::string load_string(const StringTable& table, uint32_t id);
// The same, cut to size - 1 bytes and always terminated; returns the length stored.
size_t load_string(uint32_t id, char* buffer, size_t size);

// The lines of a multi-line entry (the category names, the filter lists).
std::vector<std::string> split_lines(const std::string& text);

// Error display, for the front ends: each installs what shows an error (a message box in the
// composer, one line on stderr in tmw-cli). Without one, show_error shows nothing. The core does
// not call it: it throws, or hands its errors to the reporter the front end gives it.
constexpr const char* PRODUCT_NAME = "Tunemill";
using ErrorDisplay = std::function<void(const std::string& caption, const std::string& text)>;
void set_error_display(ErrorDisplay display);
class ERROR;
void show_error(const ERROR& error);
// Shows the exception in flight (call from a catch block).
void show_current_error();

} // namespace tunemill
