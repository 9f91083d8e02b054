// Language choice, string lookup and the error display hook.
#include "foundation/string_table.h"

#include "foundation/errors.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace tunemill {

namespace {

enum : int { LANGUAGE_UNSET = -1 };
std::atomic<int> chosen_language{LANGUAGE_UNSET};

std::mutex display_mutex;
ErrorDisplay error_display;

const char* find_in(const StringEntry* entries, size_t count, uint32_t id) {
    const StringEntry* end = entries + count;
    const StringEntry* at = std::lower_bound(
        entries, end, id, [](const StringEntry& e, uint32_t key) { return e.id < key; });
    return at != end && at->id == id ? at->text : nullptr;
}

} // namespace

const char* StringTable::find(uint32_t id, Language language) const {
    if (language == Language::GERMAN) return find_in(german, german_count, id);
    return find_in(english, english_count, id);
}

Language language_from_locale(std::string_view locale) {
    const bool german = locale.size() >= 2 && (locale[0] == 'd' || locale[0] == 'D') &&
                        (locale[1] == 'e' || locale[1] == 'E') &&
                        (locale.size() == 2 || locale[2] == '_' || locale[2] == '-' ||
                         locale[2] == '.' || locale[2] == '@');
    return german ? Language::GERMAN : Language::ENGLISH;
}

Language language_from_environment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return language_from_locale(value);
    }
    return Language::ENGLISH;
}

Language current_language() {
    int language = chosen_language.load(std::memory_order_relaxed);
    if (language == LANGUAGE_UNSET) {
        language = int(language_from_environment());
        chosen_language.store(language, std::memory_order_relaxed);
    }
    return Language(language);
}

void set_language(Language language) {
    chosen_language.store(int(language), std::memory_order_relaxed);
}

std::string load_string(const StringTable& table, uint32_t id) {
    const char* text = table.find(id, current_language());
    return text ? std::string(text) : std::string();
}

std::string load_string(uint32_t id) {
    return load_string(composer_strings(), id);
}

size_t load_string(uint32_t id, char* buffer, size_t size) {
    if (size == 0) return 0;
    const std::string text = load_string(id);
    // Cut at a whole UTF-8 character, so a bounded text never ends in half a letter.
    size_t length = std::min(text.size(), size - 1);
    while (length > 0 && length < text.size() && (uint8_t(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

void set_error_display(ErrorDisplay display) {
    std::lock_guard lock(display_mutex);
    error_display = std::move(display);
}

void show_error(const ERROR& error) {
    ErrorDisplay display;
    {
        std::lock_guard lock(display_mutex);
        display = error_display;
    }
    if (display) display(PRODUCT_NAME, error.compose_message());
}

void show_current_error() {
    try {
        throw;
    } catch (const ERROR& error) {
        show_error(error);
    } catch (const std::bad_alloc&) {
        show_error(MEM_ERROR());
    } catch (...) {
        show_error(ERROR());
    }
}

} // namespace tunemill
