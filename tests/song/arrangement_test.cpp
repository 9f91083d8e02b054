// The arrangement's operations: every sequence entry and the repeat mark stay on what they name
// while patterns and entries come and go.
#include <gtest/gtest.h>

#include "song/arrangement.h"

namespace tunemill {
namespace {

using Sequence = std::vector<uint32_t>;

Song arranged(size_t patterns, Sequence sequence, int32_t repeat) {
    Song song;
    for (size_t p = 0; p < patterns; ++p)
        add_pattern(song, std::string(1, char('A' + p)));
    song.sequence = std::move(sequence);
    song.repeat_position = repeat;
    return song;
}

std::string names(const Song& song) {
    std::string all;
    for (const Pattern& pattern : song.patterns)
        all += pattern.name;
    return all;
}

TEST(CreatePattern, KeepsEveryEntryOnItsPatternAndAppendsTheNewOne) {
    struct Case {
        size_t at;
        size_t created;
        std::string names;
        Sequence sequence;
    };
    const Case cases[] = {
        {0, 0, "NABC", {1, 3, 2, 1, 0}},
        {2, 2, "ABNC", {0, 3, 1, 0, 2}},
        {3, 3, "ABCN", {0, 2, 1, 0, 3}},
        {99, 3, "ABCN", {0, 2, 1, 0, 3}}, // past the end: appended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        Song song = arranged(3, {0, 2, 1, 0}, 3);
        EXPECT_EQ(create_pattern(song, "N", c.at), c.created);
        EXPECT_EQ(names(song), c.names);
        EXPECT_EQ(song.sequence, c.sequence);
        EXPECT_EQ(song.repeat_position, 3) << "the mark stays on its entry";
        EXPECT_TRUE(song.patterns[c.created].voices.empty());
    }
}

TEST(SequenceEntries, InsertKeepsTheRepeatMarkOnItsEntry) {
    struct Case {
        size_t at;
        int32_t repeat;
        size_t inserted;
        Sequence sequence;
        int32_t repeat_after;
    };
    const Case cases[] = {
        {0, 1, 0, {2, 0, 1}, 2},  // before the marked entry: the mark moves up with it
        {1, 1, 1, {0, 2, 1}, 2},  // at the marked entry: the same
        {2, 1, 2, {0, 1, 2}, 1},  // appended after the last: the mark stays
        {2, 0, 2, {0, 1, 2}, 0},  // appended, mark earlier
        {50, 1, 2, {0, 1, 2}, 1}, // past the end: appended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.at << ", mark " << c.repeat);
        Song song = arranged(3, {0, 1}, c.repeat);
        EXPECT_EQ(insert_sequence_entry(song, 2, c.at), c.inserted);
        EXPECT_EQ(song.sequence, c.sequence);
        EXPECT_EQ(song.repeat_position, c.repeat_after);
    }
    Song empty = arranged(1, {}, 0);
    EXPECT_EQ(insert_sequence_entry(empty, 0, 0), 0u);
    EXPECT_EQ(empty.sequence, Sequence{0});
    EXPECT_EQ(empty.repeat_position, 0);
}

TEST(SequenceEntries, RemoveKeepsTheRepeatMarkInsideTheSequence) {
    struct Case {
        size_t entry;
        Sequence sequence;
        int32_t repeat;
        Sequence after;
        int32_t repeat_after;
    };
    const Case cases[] = {
        {1, {0, 1, 2, 1}, 3, {0, 2, 1}, 2},    // before the mark: it moves down with its entry
        {3, {0, 1, 2, 1}, 3, {0, 1, 2}, 2},    // the marked last entry: the mark stays inside
        {2, {0, 1, 2, 1}, 1, {0, 1, 1}, 1},    // after the mark: left alone
        {1, {0, 1, 2, 1}, 1, {0, 2, 1}, 1},    // the marked entry: the next one takes the mark
        {0, {2}, 0, {}, 0},                    // the only entry
        {4, {0, 1, 2, 1}, 1, {0, 1, 2, 1}, 1}, // past the end: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Song song = arranged(3, c.sequence, c.repeat);
        remove_sequence_entry(song, c.entry);
        EXPECT_EQ(song.sequence, c.after);
        EXPECT_EQ(song.repeat_position, c.repeat_after);
    }
}

TEST(SequenceEntries, TheEntriesGoingWithAPatternAreNumberedAsTheyGo) {
    struct Case {
        Sequence sequence;
        size_t pattern;
        Sequence going;
    };
    const Case cases[] = {
        {{0, 1, 0, 2, 0}, 0, {0, 1, 2}}, // each removal moves the later ones down
        {{1, 0, 0, 1}, 0, {1, 1}},
        {{1, 2}, 0, {}},
        {{}, 0, {}},
    };
    for (const Case& c : cases) {
        Song song = arranged(3, c.sequence, 0);
        const Sequence going = entries_going_with(song, c.pattern);
        EXPECT_EQ(going, c.going);
        // Removing them one after the other leaves what delete_pattern leaves (pattern 0 gone,
        // so every other index one lower).
        for (uint32_t entry : going)
            remove_sequence_entry(song, entry);
        Song deleted = arranged(3, c.sequence, 0);
        delete_pattern(deleted, c.pattern);
        ASSERT_EQ(song.sequence.size(), deleted.sequence.size());
        for (size_t i = 0; i < song.sequence.size(); ++i)
            EXPECT_EQ(song.sequence[i] - 1, deleted.sequence[i]);
    }
}

} // namespace
} // namespace tunemill
