// Names: the song description, instrument and pattern names.
#include "modules/convert/passes.h"

#include "foundation/string_table.h"
#include "foundation/text.h"

#include <map>

namespace tunemill::converting {

std::string table_text(uint32_t id) {
    return utf8_to_windows1252(load_string(id));
}

namespace {

std::string clean_title(const std::string& raw) {
    std::string text = raw;
    for (char& c : text)
        if (uint8_t(c) < 32) c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string description_of(const ModuleReader& reader) {
    std::string description = "\"" + clean_title(reader.title()) + "\"\r\n\r\n";
    int last_named = -1;
    for (int i = 0; i < 99; ++i)
        if (!reader.slots()[size_t(i)].name.empty()) last_named = i;
    for (int i = 0; i <= last_named; ++i)
        description += reader.slots()[size_t(i)].name + "\r\n";
    return description;
}

} // namespace tunemill::converting

namespace tunemill {

using converting::clean_title;
using converting::table_text;

std::string pattern_numeral(int number) {
    static const std::pair<int, const char*> numerals[] = {
        {100, "C"}, {99, "IC"}, {95, "VC"}, {90, "XC"}, {50, "L"}, {49, "IL"}, {45, "VL"},
        {40, "XL"}, {10, "X"},  {9, "IX"},  {5, "V"},   {4, "IV"}, {1, "I"},
    };
    std::string text;
    for (const auto& [value, numeral] : numerals)
        while (number >= value) {
            text += numeral;
            number -= value;
        }
    return text;
}

std::string clean_instrument_name(const std::string& raw) {
    std::string name = clean_title(raw);
    if (name.empty()) name = table_text(S_UNTITLED);
    if (name.size() > MAX_INSTRUMENT_NAME) name.resize(MAX_INSTRUMENT_NAME);
    return name;
}

void rename_duplicate_instruments(Song& song) {
    std::map<std::string, std::vector<size_t>> occurrences;
    for (size_t i = 0; i < song.instruments.size(); ++i)
        occurrences[song.instruments[i].name].push_back(i);
    for (const auto& [name, indices] : occurrences) {
        if (indices.size() < 2) continue;
        for (size_t n = indices.size(); n-- > 0;) {
            const std::string suffix = " " + std::to_string(n + 1);
            std::string base = name;
            if (base.size() + suffix.size() > MAX_INSTRUMENT_NAME)
                base.resize(
                    MAX_INSTRUMENT_NAME > suffix.size() ? MAX_INSTRUMENT_NAME - suffix.size() : 0);
            while (!base.empty() && base.back() == ' ')
                base.pop_back();
            song.instruments[indices[n]].name = base + suffix;
        }
    }
}

} // namespace tunemill
