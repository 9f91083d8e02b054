// Language choice and the string tables in both languages.
#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

TEST(Language, GermanForEveryGermanLocaleOnly) {
    for (const char* german :
         {"de", "de_DE.UTF-8", "de_CH", "de_AT.ISO-8859-1", "DE_de", "de-LI", "de@euro"})
        EXPECT_EQ(language_from_locale(german), Language::GERMAN) << german;
    for (const char* english :
         {"fr_FR.UTF-8", "en_US.UTF-8", "C", "POSIX", "", "d", "dex_XX", "nl_DE"})
        EXPECT_EQ(language_from_locale(english), Language::ENGLISH) << english;
}

TEST(Language, EnvironmentOrderIsLcAllThenLcMessagesThenLang) {
    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_MESSAGES", "de_CH.UTF-8", 1);
    ::setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ(language_from_environment(), Language::GERMAN);
    ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(language_from_environment(), Language::ENGLISH);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "de_AT", 1);
    EXPECT_EQ(language_from_environment(), Language::GERMAN);
}

TEST(StringTables, EveryIdResolvesInBothLanguages) {
    const StringTable& table = composer_strings();
    ASSERT_EQ(table.english_count, table.german_count);
    for (size_t i = 0; i < table.english_count; ++i) {
        const uint32_t id = table.english[i].id;
        ASSERT_NE(table.find(id, Language::GERMAN), nullptr) << id;
        EXPECT_STRNE(table.find(id, Language::GERMAN), "") << id;
    }
    for (uint32_t id = 1; id <= 77; ++id)
        EXPECT_EQ(table.find(id, Language::ENGLISH) != nullptr, id != 76) << id;
}

TEST(StringTables, TextsInBothLanguages) {
    set_language(Language::GERMAN);
    EXPECT_EQ(load_string(S_VOLUME), "Lautstärke");
    EXPECT_EQ(FILE_ERROR(FILE_ERROR::OPEN, 2, "/x.sn2").compose_message(),
              "Die Datei /x.sn2 kann nicht geöffnet werden");
    EXPECT_EQ(load_string(S_HELP_FILE), "tmwger.hlp");
    EXPECT_EQ(split_lines(load_string(S_CATEGORY_NAMES)).size(), 29u);
    set_language(Language::ENGLISH);
    EXPECT_EQ(load_string(S_UNKNOWN_SONG_FILE), "Unknown or damaged song file");
    EXPECT_EQ(load_string(S_HELP_FILE), "tmw.hlp");
    const auto categories = split_lines(load_string(S_CATEGORY_NAMES));
    ASSERT_EQ(categories.size(), 29u);
    EXPECT_EQ(categories.front(), "Woodwinds");
    EXPECT_EQ(categories.back(), "Sound FX");
}

TEST(StringTables, BoundedLoadCutsAndTerminates) {
    set_language(Language::ENGLISH);
    char buffer[8];
    EXPECT_EQ(load_string(S_SAVE_PROMPT, buffer, sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "Song is");
    char empty[1] = {'x'};
    EXPECT_EQ(load_string(S_SAVE_PROMPT, empty, 1), 0u);
    EXPECT_EQ(empty[0], '\0');
    // German "Lautstärke" cut inside the two bytes of "ä" keeps whole characters only.
    set_language(Language::GERMAN);
    char cut[7];
    load_string(S_VOLUME, cut, sizeof cut);
    EXPECT_STREQ(cut, "Lautst");
    set_language(Language::ENGLISH);
}

TEST(ErrorDisplay, FrontEndReceivesCaptionAndText) {
    set_language(Language::ENGLISH);
    std::string caption, text;
    set_error_display([&](const std::string& c, const std::string& t) { caption = c, text = t; });
    try {
        throw MISC_ERROR(S_INTERNAL_ERROR);
    } catch (...) {
        show_current_error();
    }
    EXPECT_EQ(caption, "Tunemill");
    EXPECT_EQ(text, "Internal error");
    set_error_display(nullptr);
}

} // namespace
} // namespace tunemill
