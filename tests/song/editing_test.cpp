// The pattern editing operations on small fixtures: what each block command, the drawing
// operations, the step removal and the re-gridding leave behind.
#include <gtest/gtest.h>

#include "song/edit_list.h"
#include "song/editing.h"
#include "song/song.h"
#include "song_test_util.h"

namespace tunemill {
namespace {

using testing::describe;
using testing::events;
using testing::pattern_with;

constexpr int32_t V0 = 0;

struct BlockCase {
    const char* name;
    Tick length;
    const char* before;
    Block block;
    const char* after;
    int32_t new_length;
};

void run_cases(const std::vector<BlockCase>& cases, void (*operation)(Pattern&, const Block&)) {
    for (const BlockCase& c : cases) {
        Pattern pattern = pattern_with(c.length, c.before);
        operation(pattern, c.block);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
        EXPECT_EQ(pattern.length, c.new_length) << c.name;
        EXPECT_TRUE(voice_is_normal(pattern.voices[0], pattern.tick_length())) << c.name;
    }
}

TEST(ClearBlock, Cases) {
    run_cases(
        {
            {"second half of a long note",
             16,
             "on5@0 off5@16",
             {8, 16, Aspect::NOTES, V0},
             "on5@0 off5@8",
             16},
            {"first half of a long note",
             16,
             "on5@0 off5@16",
             {0, 8, Aspect::NOTES, V0},
             "on5@8 off5@16",
             16},
            {"middle of a long note",
             16,
             "on5@0 off5@16",
             {4, 8, Aspect::NOTES, V0},
             "on5@0 off5@4 on5@8 off5@16",
             16},
            {"notes touching the edges stay",
             16,
             "on1@0 off1@4 on2@4 off2@8 on3@8 off3@12",
             {4, 8, Aspect::NOTES, V0},
             "on1@0 off1@4 on3@8 off3@12",
             16},
            {"curves keep their value after the block",
             16,
             "on1@0 vol10@2 vol20@5 vol25@7 off1@16",
             {4, 8, Aspect::NOTES, V0},
             "on1@0 vol10@2 off1@4 vol25@8 on1@8 off1@16",
             16},
            {"volume only leaves the notes",
             16,
             "on1@0 vol10@2 vol20@5 off1@16",
             {4, 8, Aspect::VOLUME, V0},
             "on1@0 vol10@2 vol20@8 off1@16",
             16},
            {"a block from 0 takes the last value",
             16,
             "vol10@2 vol20@5",
             {0, 8, Aspect::VOLUME, V0},
             "vol20@0",
             16},
            {"a point at the block's end wins",
             16,
             "vol10@5 vol12@8",
             {4, 8, Aspect::VOLUME, V0},
             "vol12@8",
             16},
            {"a gliding slide is dissolved at the edge",
             16,
             "on40@0 port40>43:6@2 off43@12",
             {0, 4, Aspect::NOTES, V0},
             "on43@8 off43@12",
             16},
            {"empty voice", 16, "", {4, 8, Aspect::NOTES, V0}, "", 16},
        },
        clear_block);
}

TEST(ClearBlock, AllVoicesClearsTheTempoCurveToo) {
    Pattern pattern = pattern_with(16, "on1@0 off1@16");
    add_voice(pattern, 0);
    pattern.voices[1].events = events("on2@2 off2@6");
    pattern.tempo_points = {{2, 10}, {5, 25}, {8, 3}};
    clear_block(pattern, Block{4, 8, Aspect::NOTES, ALL_VOICES});
    EXPECT_EQ(describe(pattern.voices[0].events), "on1@0 off1@4 on1@8 off1@16");
    EXPECT_EQ(describe(pattern.voices[1].events), "on2@2 off2@4");
    // The point at the block's end is kept as it was.
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{2, 10}, {8, 3}}));
    clear_block(pattern, Block{0, 16, Aspect::TEMPO, 0});
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{0, 3}}));
    EXPECT_EQ(describe(pattern.voices[1].events), "on2@2 off2@4");
}

TEST(DeleteBlock, Cases) {
    run_cases(
        {
            {"joins the parts of a note",
             16,
             "on5@4 off5@16",
             {8, 12, Aspect::NOTES, V0},
             "on5@4 off5@12",
             12},
            {"moves later notes left",
             16,
             "on1@0 off1@2 on2@12 off2@14",
             {4, 8, Aspect::NOTES, V0},
             "on1@0 off1@2 on2@8 off2@10",
             12},
            {"volume only",
             16,
             "on1@0 vol10@2 vol20@5 vol25@10 off1@16",
             {4, 8, Aspect::VOLUME, V0},
             "on1@0 vol10@2 vol20@4 vol25@6 off1@16",
             16},
            {"a moved point wins over the one at the block's start",
             16,
             "vol10@4 vol20@8",
             {4, 8, Aspect::VOLUME, V0},
             "vol20@4",
             16},
        },
        delete_block);
}

TEST(DeleteBlock, AnotherVoiceKeepsThePatternLong) {
    Pattern pattern = pattern_with(16, "on5@4 off5@16");
    add_voice(pattern, 0);
    pattern.voices[1].events = events("on2@0 off2@15");
    delete_block(pattern, Block{8, 12, Aspect::NOTES, 0});
    EXPECT_EQ(describe(pattern.voices[0].events), "on5@4 off5@12");
    EXPECT_EQ(pattern.length, 15);
}

TEST(InsertSpace, Cases) {
    run_cases(
        {
            {"last note ends at the end",
             16,
             "on1@4 off1@16",
             {8, 12, Aspect::NOTES, V0},
             "on1@4 off1@8 on1@12 off1@20",
             20},
            {"notes all before the space",
             16,
             "on1@0 off1@6",
             {8, 12, Aspect::NOTES, V0},
             "on1@0 off1@6",
             16},
            {"a note starting at the space moves whole",
             16,
             "on1@0 off1@8 on2@8 off2@10",
             {8, 12, Aspect::NOTES, V0},
             "on1@0 off1@8 on2@12 off2@14",
             16},
            {"volume only, trimmed at the end",
             16,
             "on1@0 vol10@6 vol20@14 off1@16",
             {4, 8, Aspect::VOLUME, V0},
             "on1@0 vol10@10 off1@16",
             16},
        },
        insert_space);
}

TEST(InsertSpace, AllVoicesGrowsByTheWholeBlockAndMovesTempoPoints) {
    Pattern pattern = pattern_with(16, "on1@0 off1@6");
    pattern.tempo_points = {{0, 10}, {8, 12}};
    insert_space(pattern, Block{0, 4, Aspect::NOTES, ALL_VOICES});
    EXPECT_EQ(pattern.length, 20);
    EXPECT_EQ(describe(pattern.voices[0].events), "on1@4 off1@10");
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{0, 10}, {12, 12}}));
}

TEST(RepeatBlock, Cases) {
    run_cases(
        {
            {"copies laid end to end",
             16,
             "on1@0 off1@3",
             {0, 4, Aspect::NOTES, V0},
             "on1@0 off1@3 on1@4 off1@7 on1@8 off1@11 on1@12 off1@15",
             16},
            {"the last copy ends at the pattern's end",
             16,
             "on1@2 off1@6",
             {0, 6, Aspect::NOTES, V0},
             "on1@2 off1@6 on1@8 off1@12 on1@14 off1@16",
             16},
            {"what followed the block is replaced",
             12,
             "on1@0 off1@2 on2@5 off2@9",
             {0, 4, Aspect::NOTES, V0},
             "on1@0 off1@2 on1@4 off1@6 on1@8 off1@10",
             12},
            {"a note crossing the block's start is repeated from there",
             12,
             "on1@0 off1@6",
             {2, 4, Aspect::NOTES, V0},
             "on1@0 off1@4 on1@4 off1@6 on1@6 off1@8 on1@8 off1@10 on1@10 off1@12",
             12},
            {"the volume in effect starts each copy",
             12,
             "on1@0 vol10@1 vol20@3 off1@12",
             {2, 4, Aspect::VOLUME, V0},
             "on1@0 vol10@1 vol20@3 vol10@4 vol20@5 vol10@6 vol20@7 vol10@8 vol20@9 vol10@10 "
             "vol20@11 off1@12",
             12},
            {"no note in the block: nothing",
             16,
             "on1@8 off1@10",
             {0, 4, Aspect::NOTES, V0},
             "on1@8 off1@10",
             16},
            {"block reaching the end: nothing",
             8,
             "on1@0 off1@3",
             {0, 8, Aspect::NOTES, V0},
             "on1@0 off1@3",
             8},
        },
        repeat_block);
}

TEST(TransposeBlock, Cases) {
    struct Case {
        const char* name;
        const char* before;
        Block block;
        int amount;
        const char* after;
    };
    const Case cases[] = {
        {"narrowed so no key leaves the keyboard",
         "on80@0 off80@4 on60@4 off60@8",
         {0, 8, Aspect::NOTES, V0},
         5,
         "on83@0 off83@4 on63@4 off63@8"},
        {"narrowed downwards", "on2@0 off2@4", {0, 8, Aspect::NOTES, V0}, -5, "on0@0 off0@4"},
        {"notes crossing the edges are split",
         "on10@0 off10@8",
         {2, 4, Aspect::NOTES, V0},
         1,
         "on10@0 off10@2 on11@2 off11@4 on10@4 off10@8"},
        {"slides move with their notes",
         "on10@0 port10>12:2@1 off12@4",
         {0, 4, Aspect::NOTES, V0},
         3,
         "on13@0 port13>15:2@1 off15@4"},
        {"volume is clamped and the curve after the block kept",
         "vol20@0 vol25@2 vol5@6",
         {0, 4, Aspect::VOLUME, V0},
         8,
         "vol28@0 vol30@2 vol25@4 vol5@6"},
        {"nothing to move", "on83@0 off83@4", {0, 4, Aspect::NOTES, V0}, 2, "on83@0 off83@4"},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(8, c.before);
        transpose_block(pattern, c.block, c.amount);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
    }
}

TEST(TransposeBlock, TempoPane) {
    Pattern pattern = pattern_with(16, "");
    pattern.tempo_points = {{2, 25}, {6, 10}};
    transpose_block(pattern, Block{4, 8, Aspect::TEMPO, ALL_VOICES}, 10);
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{2, 25}, {4, 30}, {6, 20}, {8, 10}}));
}

TEST(Portamento, SetAndClear) {
    struct Case {
        const char* name;
        const char* before;
        Tick from, to;
        const char* after_set;
    };
    const Case cases[] = {
        {"two notes in a row", "on40@0 off40@4 on43@4 off43@8", 0, 8,
         "on40@0 port40>43:1@3 off43@8"},
        {"the nearer key wins", "on40@0 off40@4 on50@4 on41@4 off41@8 off50@8", 0, 8,
         "on40@0 port40>41:1@3 on50@4 off41@8 off50@8"},
        {"a later note is reached by a longer slide", "on40@0 off40@4 on45@6 off45@9", 0, 9,
         "on40@0 port40>45:3@3 off45@9"},
        {"a note off after the block's end stays", "on40@0 off40@4 on43@4 off43@8", 0, 4,
         "on40@0 off40@4 on43@4 off43@8"},
        {"the same key never slides", "on40@0 off40@4 on40@4 off40@8", 0, 8,
         "on40@0 off40@4 on40@4 off40@8"},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(12, c.before);
        portamento_set(pattern, Block{c.from, c.to, Aspect::NOTES, V0});
        EXPECT_EQ(describe(pattern.voices[0].events), c.after_set) << c.name;
    }
    Pattern pattern = pattern_with(12, "on40@0 port40>45:3@3 off45@9");
    portamento_clear(pattern, Block{0, 12, Aspect::NOTES, V0});
    EXPECT_EQ(describe(pattern.voices[0].events), "on40@0 off40@4 on45@6 off45@9");
}

TEST(EditList, AppliedAdditionsLandWhereInsertionWouldPutThem) {
    const char* base = "on1@0 off1@4 on2@4 vol3@4 port2>5:1@4 off5@8";
    const char* added = "off2@4 vol7@4 on9@4 port9>10:1@4 vol8@4 off9@4 on11@4";
    Voice inserted;
    inserted.events = events(base);
    for (const Event& e : events(added))
        insert_event(inserted, e, 0);
    Voice applied;
    applied.events = events(base);
    EditList list;
    for (const Event& e : events(added))
        list.add(e);
    // Apply normalizes; compare with the inserted voice normalized the same way.
    list.apply(applied, std::nullopt);
    normalize_voice(inserted, std::nullopt);
    EXPECT_EQ(describe(applied.events), describe(inserted.events));
}

TEST(SplitAndJoin, AreInverses) {
    Voice voice;
    voice.events = events("on1@0 on2@2 off1@6 off2@8");
    split_at(voice, 4);
    EXPECT_EQ(describe(voice.events), "on1@0 on2@2 off2@4 off1@4 on1@4 on2@4 off1@6 off2@8");
    join_at(voice, 4);
    EXPECT_EQ(describe(voice.events), "on1@0 on2@2 off1@6 off2@8");
    split_at(voice, 0);
    split_at(voice, 9);
    EXPECT_EQ(describe(voice.events), "on1@0 on2@2 off1@6 off2@8");
}

TEST(Drawing, CurveRange) {
    struct Case {
        const char* before;
        Tick from, to;
        uint8_t value;
        const char* after;
    };
    const Case cases[] = {
        {"", 2, 4, 10, "vol10@2"},
        {"vol10@2", 4, 6, 10, "vol10@2"},
        {"vol10@2 vol20@3 vol12@6", 2, 5, 12, "vol12@2"},
        {"vol10@2 vol20@3 vol12@6", 3, 5, 25, "vol10@2 vol25@3 vol12@6"},
        {"vol10@2", 0, 16, 30, ""},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(16, c.before);
        set_curve_range(pattern, 0, c.from, c.to, VOLUME, c.value);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.before;
    }
}

TEST(Drawing, TempoRangeAndPoint) {
    Pattern pattern = pattern_with(16, "");
    set_tempo_range(pattern, 4, 8, 10);
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{4, 10}}));
    set_tempo_point(pattern, 8, 25);
    set_tempo_range(pattern, 2, 8, 25);
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{2, 25}}));
    set_tempo_point(pattern, 2, 20);
    EXPECT_TRUE(pattern.tempo_points.empty());
}

TEST(Drawing, AddNote) {
    struct Case {
        const char* name;
        const char* before;
        Tick from, to;
        const char* after;
    };
    const Case cases[] = {
        {"into silence", "", 2, 4, "on5@2 off5@4"},
        {"bridging two notes", "on5@0 off5@4 on5@6 off5@10", 4, 6, "on5@0 off5@10"},
        {"overlapping both", "on5@0 off5@4 on5@6 off5@10", 2, 8, "on5@0 off5@10"},
        {"touching a note that starts at the end", "on5@6 off5@10", 2, 6, "on5@2 off5@10"},
        {"inside a longer note", "on5@0 off5@10", 2, 4, "on5@0 off5@10"},
        {"other keys untouched", "on6@0 off6@10", 2, 4, "on6@0 on5@2 off5@4 off6@10"},
        {"a slide out of the key is dissolved", "on5@0 port5>9:2@3 off9@10", 2, 6,
         "on5@0 on9@5 off5@6 off9@10"},
        {"grows the pattern", "", 12, 20, "on5@12 off5@20"},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(16, c.before);
        add_note(pattern, 0, c.from, c.to, 5);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
        EXPECT_GE(pattern.tick_length(), c.to) << c.name;
    }
}

TEST(Drawing, EraseNote) {
    struct Case {
        const char* name;
        const char* before;
        Tick from, to;
        const char* after;
    };
    const Case cases[] = {
        {"middle of a note", "on5@0 off5@10", 4, 6, "on5@0 off5@4 on5@6 off5@10"},
        {"a whole note", "on5@2 off5@4", 0, 10, ""},
        {"the end of a note", "on5@0 off5@10", 4, 10, "on5@0 off5@4"},
        {"the start of a note", "on5@0 off5@10", 0, 4, "on5@4 off5@10"},
        {"other keys untouched", "on6@0 off6@10", 2, 4, "on6@0 off6@10"},
        {"a slide into the key is dissolved", "on2@0 port2>5:2@3 off5@10", 0, 10, "on2@0 off2@4"},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(16, c.before);
        erase_note(pattern, 0, c.from, c.to, 5);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
    }
}

TEST(RemoveStep, StepsBackOverTheLastEnteredNotes) {
    Pattern pattern = pattern_with(16, "on1@0 off1@2 on2@2 on3@2 off2@4 off3@4");
    EXPECT_EQ(remove_step(pattern, 0, 4), 2u);
    EXPECT_EQ(describe(pattern.voices[0].events), "on1@0 off1@2");
    EXPECT_EQ(remove_step(pattern, 0, 2), 0u);
    EXPECT_EQ(describe(pattern.voices[0].events), "");
    EXPECT_EQ(remove_step(pattern, 0, 0), 0u);
    // A rest: the cursor only moves back to the last boundary.
    pattern = pattern_with(16, "on1@0 off1@2");
    EXPECT_EQ(remove_step(pattern, 0, 6), 2u);
    EXPECT_EQ(describe(pattern.voices[0].events), "on1@0 off1@2");
    // A cursor inside a note cuts it back to the last boundary.
    pattern = pattern_with(16, "on1@0 off1@2 on2@2 off2@8");
    EXPECT_EQ(remove_step(pattern, 0, 5), 2u);
    EXPECT_EQ(describe(pattern.voices[0].events), "on1@0 off1@2 on2@5 off2@8");
}

TEST(Align, Cases) {
    Song song = testing::song_with(16, "on1@0 off1@3");
    EXPECT_FALSE(align_to_ticks_per_beat(song, 2));
    EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on1@0 off1@3");
    EXPECT_TRUE(align_to_ticks_per_beat(song, 8));
    EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on1@0 off1@6");
    EXPECT_EQ(song.patterns[0].length, 32);
    EXPECT_EQ(song.ticks_per_beat, 4); // stored by the caller

    Song even = testing::song_with(16, "on1@0 port1>3:2@2 off3@8");
    even.patterns[0].tempo_points = {{4, 10}};
    ASSERT_TRUE(align_to_ticks_per_beat(even, 2));
    EXPECT_EQ(describe(even.patterns[0].voices[0].events), "on1@0 port1>3:1@1 off3@4");
    EXPECT_EQ(even.patterns[0].tempo_points, (std::vector<TempoPoint>{{2, 10}}));
    EXPECT_EQ(even.patterns[0].length, 8);
}

TEST(Align, SlidesTooLongOrTooShortForTheNewGrid) {
    // A slide of 200 ticks at 2 ticks per beat becomes 3000 at 30: the notes meet 256 ticks on.
    Song song = testing::song_with(300, "on1@0 port1>3:200@2 off3@300");
    song.ticks_per_beat = 2;
    ASSERT_TRUE(align_to_ticks_per_beat(song, 30));
    EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on1@0 off1@31 on3@286 off3@4500");
    EXPECT_TRUE(validate(song));
    // A one-tick slide at 4 ticks per beat shrinks below a tick at 2: it stays one tick long.
    Song shrink = testing::song_with(16, "on1@0 port1>3:1@2 off3@8");
    ASSERT_TRUE(align_to_ticks_per_beat(shrink, 2));
    EXPECT_EQ(describe(shrink.patterns[0].voices[0].events), "on1@0 port1>3:1@1 off3@4");
}

} // namespace
} // namespace tunemill
