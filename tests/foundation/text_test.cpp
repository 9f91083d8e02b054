// Bounded copies, path helpers and message formatting.
#include "foundation/text.h"

#include <cstring>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

TEST(BoundedText, CopyCutsAtCapacity) {
    const std::string long_path(300, 'p');
    char dest[PATH_CAPACITY];
    bounded_copy(dest, long_path.c_str(), sizeof dest);
    EXPECT_EQ(std::strlen(dest), 259u);
    bounded_copy(dest, "short", sizeof dest);
    EXPECT_STREQ(dest, "short");
    char tiny[4];
    bounded_copy(tiny, "abcd", sizeof tiny);
    EXPECT_STREQ(tiny, "abc");
}

TEST(BoundedText, AppendFillsAndStops) {
    char dest[6] = "ab";
    bounded_append(dest, "cdefgh", sizeof dest);
    EXPECT_STREQ(dest, "abcde");
    bounded_append(dest, "x", sizeof dest);
    EXPECT_STREQ(dest, "abcde");
}

TEST(Paths, JoinAddsOneSeparator) {
    char dest[PATH_CAPACITY];
    path_join(dest, "/home/user", "song.sn2");
    EXPECT_STREQ(dest, "/home/user/song.sn2");
    path_join(dest, "/home/user/", "song.sn2");
    EXPECT_STREQ(dest, "/home/user/song.sn2");
    path_join(dest, "", "song.sn2");
    EXPECT_STREQ(dest, "song.sn2");
    char same[PATH_CAPACITY] = "/tmp";
    path_join(same, same, "x");
    EXPECT_STREQ(same, "/tmp/x");
    EXPECT_EQ(path_join("/a", "b"), "/a/b");
}

TEST(Paths, NameAndDirectoryParts) {
    struct Case {
        const char* path;
        const char* name;
        const char* directory;
    } cases[] = {
        {"/home/user/song.sn2", "song.sn2", "/home/user/"},
        {"C:\\Music\\Songs\\demo.sn2", "demo.sn2", "C:\\Music\\Songs\\"},
        {"C:demo.sn2", "demo.sn2", "C:"},
        {"mixed\\dir/name.sa2", "name.sa2", "mixed\\dir/"},
        {"plain.sy", "plain.sy", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(file_name_part(c.path), c.name) << c.path;
        EXPECT_EQ(directory_part(c.path), c.directory) << c.path;
    }
}

TEST(Text, ReplaceAndSkipBlanks) {
    char text[] = "a\\b\\c";
    replace_character(text, '\\', '/');
    EXPECT_STREQ(text, "a/b/c");
    EXPECT_STREQ(skip_blanks(" \t x "), "x ");
}

TEST(Text, FormatMessageFillsPlaceholders) {
    EXPECT_EQ(format_with_string("Unable to open file %s", "/x"), "Unable to open file /x");
    EXPECT_EQ(format_message("Time: %d:%02d.%02d", {"1", "5", "7"}), "Time: 1:05.07");
    EXPECT_EQ(format_message("Transpose: %s%d", {"+", "3"}), "Transpose: +3");
    EXPECT_EQ(format_message("100%% %d", {"5"}), "100% 5");
}

TEST(Text, Windows1252RoundTrip) {
    const std::string bytes = "Fl\xFCgel \x80 \x96";
    const std::string utf8 = windows1252_to_utf8(bytes);
    EXPECT_EQ(utf8, "Fl\u00FCgel \u20AC \u2013");
    EXPECT_EQ(utf8_to_windows1252(utf8), bytes);
    EXPECT_EQ(utf8_to_windows1252("\u4E2D"), "?");
    EXPECT_EQ(utf8_to_windows1252("\xC3"), "?"); // cut short: no read past the end
}

} // namespace
} // namespace tunemill
