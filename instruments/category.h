// The guess of an instrument's category from its name, by the keyword table that the module
// import uses for samples that come without one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tunemill {

// The key a name is searched in: letters in lower case, dots kept, everything else dropped,
// "@" appended (so "syn@" matches only a name ending in "syn").
std::string category_key(std::string_view name);

// The category of the first keyword in table order that occurs in the key; 29 when none does.
uint32_t guess_category(std::string_view name);

// The number of keywords in the table.
size_t category_keyword_count();

} // namespace tunemill
