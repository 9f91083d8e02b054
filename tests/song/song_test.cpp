// The song records: new song and reset, ids, event insertion by the order rules, shortening,
// normalization, validation, the voice cursor and key sounding.
#include <gtest/gtest.h>

#include "foundation/string_table.h"
#include "song/instrument_array.h"
#include "song/song.h"
#include "song/timing.h"
#include "song/voice_cursor.h"
#include "song_test_util.h"

namespace tunemill {
namespace {

using testing::describe;
using testing::events;
using testing::pattern_with;
using testing::song_with;

TEST(NewSong, HasOneEmptyPatternPlayedOnceWithDefaults) {
    set_language(Language::ENGLISH);
    Song song;
    song.modified = true;
    song.song_file = true;
    add_sampled_instrument(song, "Old", NO_CATEGORY, 4, NO_LOOP, 8000, 1, false);
    new_song(song, "/home/user/Untitled");
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_EQ(song.patterns[0].length, 0);
    EXPECT_TRUE(song.patterns[0].voices.empty());
    EXPECT_EQ(song.sequence, std::vector<uint32_t>{0});
    EXPECT_TRUE(song.instruments.empty());
    EXPECT_EQ(song.ticks_per_beat, 4);
    EXPECT_EQ(song.beats_per_measure, 4);
    EXPECT_EQ(song.overall_tempo, 40);
    EXPECT_EQ(overall_tempo_percent(song.overall_tempo), 100);
    EXPECT_FALSE(song.modified);
    EXPECT_FALSE(song.song_file);
    EXPECT_EQ(song.path, "/home/user/Untitled");
    auto length = song_length_display(song);
    EXPECT_EQ(length.minutes, 0u);
    EXPECT_EQ(length.seconds, 0u);
    EXPECT_TRUE(validate(song));
}

TEST(NewSong, ResetKeepsFlagsAndPathAndSetsDescription) {
    Song song;
    song.path = "a.sn2";
    song.modified = true;
    song.overall_tempo = 90;
    song.repeat_position = 3;
    song.sequence = {0, 0};
    add_pattern(song, "P");
    reset(song, "desc");
    EXPECT_EQ(song.path, "a.sn2");
    EXPECT_TRUE(song.modified);
    EXPECT_EQ(song.description, "desc");
    EXPECT_EQ(song.overall_tempo, 40);
    EXPECT_EQ(song.repeat_position, 0);
    EXPECT_TRUE(song.sequence.empty());
    EXPECT_TRUE(song.patterns.empty());
}

TEST(Ids, VoiceIdsAreNeverZeroAndNeverReused) {
    Pattern pattern;
    uint32_t first = pattern.voices.empty() ? 0 : 1;
    EXPECT_EQ(first, 0u);
    size_t a = add_voice(pattern, 0);
    size_t b = add_voice(pattern, 0);
    EXPECT_NE(pattern.voices[a].id, 0u);
    EXPECT_EQ(pattern.voices[b].id, pattern.voices[a].id + 1);
    remove_voice(pattern, 0);
    size_t c = add_voice(pattern, 0);
    EXPECT_GT(pattern.voices[c].id, pattern.voices[0].id);
    EXPECT_FALSE(pattern.voices[c].muted);
    EXPECT_TRUE(pattern.voices[c].events.empty());
}

TEST(Patterns, AddAtPositionOrAtTheEnd) {
    Song song;
    add_pattern(song, "A");
    add_pattern(song, "C", 5);
    add_pattern(song, "B", 1);
    add_pattern(song, "Z", -1);
    ASSERT_EQ(song.patterns.size(), 4u);
    EXPECT_EQ(song.patterns[0].name, "A");
    EXPECT_EQ(song.patterns[1].name, "B");
    EXPECT_EQ(song.patterns[2].name, "C");
    EXPECT_EQ(song.patterns[3].name, "Z");
}

TEST(Patterns, DeleteFixesSequenceAndRepeatPosition) {
    struct Case {
        std::vector<uint32_t> sequence;
        int32_t repeat;
        size_t removed;
        std::vector<uint32_t> expected_sequence;
        int32_t expected_repeat;
    };
    const Case cases[] = {
        {{0, 1, 2, 1}, 3, 1, {0, 1}, 1}, // two entries before the repeat position go
        {{0, 1, 2}, 0, 0, {0, 1}, 0},    {{2, 2}, 1, 2, {}, 0}, // sequence empties
        {{0, 1, 2}, 2, 2, {0, 1}, 1}, // the repeat entry itself goes: clamped
        {{1, 0, 2}, 1, 0, {0, 1}, 1}, // the entry after the removed one takes its place
    };
    for (const Case& c : cases) {
        Song song;
        for (const char* name : {"A", "B", "C"})
            add_pattern(song, name);
        song.sequence = c.sequence;
        song.repeat_position = c.repeat;
        delete_pattern(song, c.removed);
        EXPECT_EQ(song.sequence, c.expected_sequence);
        EXPECT_EQ(song.repeat_position, c.expected_repeat);
        EXPECT_EQ(song.patterns.size(), 2u);
    }
}

TEST(Patterns, DeletingTheLastPatternAddsPatternOne) {
    set_language(Language::ENGLISH);
    Song song;
    add_pattern(song, "Only");
    song.sequence = {0, 0};
    delete_pattern(song, 0);
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_TRUE(song.sequence.empty());
}

TEST(Song, ChangedDescriptionMarksModified) {
    Song song;
    set_description(song, "");
    EXPECT_FALSE(song.modified);
    set_description(song, "x");
    EXPECT_TRUE(song.modified);
}

TEST(Song, CopyHasItsOwnLockAndNoObservers) {
    struct Counter : SongObserver {
        int changes = 0;
        void pattern_changed(int32_t) override { ++changes; }
    } counter;
    Song song = song_with(8, "on1@0 off1@8");
    song.observers.add(&counter);
    song.lock.set_validate(true);
    ASSERT_TRUE(song.lock.try_lock_for(std::chrono::milliseconds(0)));
    Song copy = song;
    EXPECT_TRUE(copy.lock.try_lock_for(std::chrono::milliseconds(0)));
    EXPECT_TRUE(copy.lock.validate());
    copy.observers.pattern_changed(0);
    EXPECT_EQ(counter.changes, 0);
    song.observers.pattern_changed(0);
    EXPECT_EQ(counter.changes, 1);
    copy.lock.unlock();
    song.lock.unlock();
}

// --- Insertion ---------------------------------------------------------------------------------

TEST(InsertEvent, FollowsTheOrderRulesWithinATick) {
    struct Case {
        const char* before;
        const char* inserted;
        const char* after;
        size_t index;
    };
    const Case cases[] = {
        {"on1@4 vol20@4", "off2@4", "off2@4 on1@4 vol20@4", 0},
        {"on1@4 vol20@4", "vol10@4", "vol10@4 on1@4 vol20@4", 0},
        {"off2@4 on1@4 vol20@4", "vol10@4", "off2@4 vol10@4 on1@4 vol20@4", 1},
        {"off2@4 on1@4 port1>5:2@4", "on3@4", "off2@4 on1@4 on3@4 port1>5:2@4", 2},
        {"off2@4 on1@4 port1>5:2@4", "port3>6:1@4", "off2@4 on1@4 port3>6:1@4 port1>5:2@4", 2},
        {"off2@4 off3@4", "off1@4", "off1@4 off2@4 off3@4", 0},
        {"on1@2 off1@6", "bal3@4", "on1@2 bal3@4 off1@6", 1},
        {"on1@2 off1@6", "on2@9", "on1@2 off1@6 on2@9", 2},
        {"", "rel4@0", "rel4@0", 0},
    };
    for (const Case& c : cases) {
        Voice voice;
        voice.events = events(c.before);
        size_t index = insert_event(voice, events(c.inserted)[0], 0);
        EXPECT_EQ(describe(voice.events), c.after) << c.before << " + " << c.inserted;
        EXPECT_EQ(index, c.index) << c.before << " + " << c.inserted;
    }
}

TEST(InsertEvent, AppendingInOrderFromTheEndMatchesSearchingFromTheStart) {
    const auto list = events("on1@0 on2@0 vol3@0 off1@4 on1@4 port2>9:2@4 off9@8 off1@8 vol5@8");
    Voice appended, searched;
    for (const Event& e : list) {
        insert_event(appended, e, appended.events.size());
        insert_event(searched, e, 0);
    }
    EXPECT_EQ(describe(appended.events), describe(list));
    // Searching from the start puts each event by the rules: the volume event goes right after
    // the note offs, a later note off before the earlier ones.
    EXPECT_EQ(describe(searched.events),
              "vol3@0 on1@0 on2@0 off1@4 on1@4 port2>9:2@4 off1@8 off9@8 vol5@8");
}

TEST(InsertEvent, AStartPastThePlaceIsNotTrusted) {
    Voice voice;
    voice.events = events("on1@0 off1@8");
    insert_event(voice, Tick(4), VOLUME, 10, 0, 0, 2);
    EXPECT_EQ(describe(voice.events), "on1@0 vol10@4 off1@8");
}

// --- Validation --------------------------------------------------------------------------------

TEST(Validate, VoiceCasesFailAtTheRightInvariant) {
    struct Case {
        const char* events;
        int invariant; // 0: valid
    };
    const Case cases[] = {
        {"", 0},
        {"on1@0 off1@8", 0},
        {"on1@0 on2@0 vol5@2 off1@4 on1@4 port2>3:1@4 off1@8 off3@8", 0},
        {"on1@0", 8},                           // note off missing
        {"off1@0", 6},                          // note off of a key not sounding
        {"on1@0 port1>2:0@2 off2@4", 6},        // portamento of length 0
        {"on1@0 port1>1:2@2 off1@4", 6},        // slides to a sounding key
        {"on2@0 port1>3:2@2 off3@4 off2@4", 6}, // slides from a key not sounding
        {"on1@0 on1@2 off1@4", 6},              // key sounding twice
        {"on1@4 off1@2", 6},                    // ticks decrease
        {"on1@0 off1@9", 6},                    // beyond the length
        {"rel1@0", 6},                          // release marks never in a finished song
        {"on84@0 off84@4", 6},
        {"vol31@2", 6},
        {"on1@0 on2@4 off1@4 off2@8", 7}, // note off after a note on at its tick
        {"on1@0 port1>2:1@4 vol3@4 off2@8", 7},
    };
    for (const Case& c : cases) {
        Song song = song_with(8, c.events);
        auto failure = find_invalid(song);
        if (c.invariant == 0) {
            EXPECT_FALSE(failure) << c.events;
        } else {
            ASSERT_TRUE(failure) << c.events;
            EXPECT_EQ(failure->invariant, c.invariant) << c.events;
            EXPECT_EQ(failure->pattern, 0) << c.events;
            EXPECT_EQ(failure->voice, 0) << c.events;
        }
    }
}

TEST(Validate, SongLevelInvariantsComeFirst) {
    struct Case {
        void (*breakit)(Song&);
        int invariant;
    };
    const Case cases[] = {
        {[](Song& s) { s.instruments[0].name = std::string(17, 'x'); }, 1},
        {[](Song& s) { s.overall_tempo = 121; }, 2},
        {[](Song& s) { s.overall_tempo = -1; }, 2},
        {[](Song& s) { s.ticks_per_beat = 0; }, 2},
        {[](Song& s) { s.beats_per_measure = 31; }, 2},
        {[](Song& s) { s.repeat_position = 1; }, 3},
        {[](Song& s) { s.repeat_position = -1; }, 3},
        {[](Song& s) { s.sequence = {1}; }, 4},
        {[](Song& s) { s.patterns[0].length = -1; }, 5},
        {[](Song& s) {
             s.patterns[0].tempo_points = {{4, 10}, {2, 12}};
         },
         5},
        {[](Song& s) {
             s.patterns[0].tempo_points = {{9, 10}};
         },
         5},
        {[](Song& s) {
             s.patterns[0].tempo_points = {{2, 31}};
         },
         5},
        {[](Song& s) { s.patterns[0].voices[0].instrument = 1; }, 6},
    };
    for (const Case& c : cases) {
        // The voice is broken too (a note never ends): the song-level failure must be found first.
        Song song = song_with(8, "on1@0");
        c.breakit(song);
        auto failure = find_invalid(song);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->invariant, c.invariant);
    }
    Song empty_sequence = song_with(8, "");
    empty_sequence.sequence.clear();
    empty_sequence.repeat_position = 5;
    EXPECT_TRUE(validate(empty_sequence));
}

// --- Normalization -----------------------------------------------------------------------------

TEST(Normalize, VoiceCases) {
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        // Curve events repeating the value in effect, or at the pattern's end, go.
        {"vol30@0 bal15@0 on1@0 off1@8", "on1@0 off1@8"},
        {"on1@0 vol20@2 vol20@4 off1@8 vol10@8", "on1@0 vol20@2 off1@8"},
        // Of several curve events at one tick the last in the array stays.
        {"vol10@2 vol12@2 bal3@2 bal4@2", "vol12@2 bal4@2"},
        {"vol10@2 vol30@2", ""},
        // Order within a tick.
        {"on1@0 on2@4 off1@4 off2@8", "on1@0 off1@4 on2@4 off2@8"},
        {"on1@0 port1>2:1@4 vol3@4 off2@8", "on1@0 vol3@4 port1>2:1@4 off2@8"},
        {"on1@0 off1@4 port2>3:1@4 on2@4 off3@8", "on1@0 off1@4 on2@4 port2>3:1@4 off3@8"},
        // A slide that ends at its note off is shortened; a one-tick slide disappears.
        {"on40@0 port40>43:4@4 off43@8", "on40@0 port40>43:3@4 off43@8"},
        {"on40@0 port40>43:1@7 off43@8", "on40@0 off40@8"},
        {"on40@0 port40>43:9@4 off43@8", "on40@0 port40>43:3@4 off43@8"},
        {"on40@0 port40>43:2@4 off43@8", "on40@0 port40>43:2@4 off43@8"},
        // A chain: dropping the second slide makes the first one reach the note off.
        {"on40@0 port40>43:8@0 port43>45:1@7 off45@8", "on40@0 port40>43:7@0 off43@8"},
    };
    for (const Case& c : cases) {
        Voice voice;
        voice.events = events(c.before);
        normalize_voice(voice, Tick(8));
        EXPECT_EQ(describe(voice.events), c.after) << c.before;
        EXPECT_TRUE(voice_is_normal(voice, Tick(8))) << c.before;
    }
}

TEST(Normalize, WithoutALengthKeepsCurveEventsAtTheEnd) {
    Voice voice;
    voice.events = events("on1@0 off1@8 vol10@8");
    normalize_voice(voice, std::nullopt);
    EXPECT_EQ(describe(voice.events), "on1@0 off1@8 vol10@8");
}

TEST(Normalize, TempoPoints) {
    struct Case {
        std::vector<TempoPoint> before;
        std::vector<TempoPoint> after;
    };
    const Case cases[] = {
        {{{0, 20}}, {}},
        {{{0, 10}, {2, 10}, {4, 20}}, {{0, 10}, {4, 20}}},
        {{{2, 10}, {2, 25}, {8, 3}}, {{2, 25}}},
        {{{2, 25}, {2, 20}}, {}},
        {{{2, 25}, {2, 10}, {2, 25}, {5, 25}}, {{2, 25}}},
    };
    for (const Case& c : cases) {
        Pattern pattern;
        pattern.length = 8;
        pattern.tempo_points = c.before;
        normalize_tempo_points(pattern);
        EXPECT_EQ(pattern.tempo_points, c.after);
        EXPECT_TRUE(tempo_points_are_normal(pattern));
    }
}

// --- Length ------------------------------------------------------------------------------------

TEST(Shorten, NeverCutsANote) {
    struct Case {
        Tick length;
        const char* before;
        Tick n;
        int32_t new_length;
        const char* after;
    };
    const Case cases[] = {
        {16, "on1@0 off1@12", 8, 12, "on1@0 off1@12"},
        {16, "on1@0 off1@4 vol3@10", 8, 8, "on1@0 off1@4"},
        {16, "on1@0 off1@4 vol3@8 vol5@10", 8, 8, "on1@0 off1@4"},
        {16, "on1@0 off1@4 vol3@6", 8, 8, "on1@0 off1@4 vol3@6"},
        {16, "on1@0 off1@4", 20, 4, "on1@0 off1@4"},
        {16, "", 0, 16, ""},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(c.length, c.before);
        EXPECT_EQ(shorten(pattern, c.n), c.new_length) << c.before;
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.before;
    }
}

TEST(Shorten, TheLongestVoiceDecidesAndTempoPointsBeyondGo) {
    Pattern pattern = pattern_with(16, "on1@0 off1@4");
    add_voice(pattern, 0);
    pattern.voices[1].events = events("on2@0 off2@10");
    pattern.tempo_points = {{2, 10}, {10, 12}, {14, 3}};
    EXPECT_EQ(shorten(pattern, 12), 10);
    EXPECT_EQ(pattern.tempo_points, (std::vector<TempoPoint>{{2, 10}}));
    lengthen(pattern, 6);
    EXPECT_EQ(pattern.length, 16);
}

// --- Cursor ------------------------------------------------------------------------------------

TEST(VoiceCursor, SeekReadsEventsBeforeTheTick) {
    Voice voice;
    voice.events = events("on1@0 vol10@2 port1>5:2@2 on7@3 bal4@3 off5@6 off7@8");
    VoiceCursor cursor(voice);
    EXPECT_EQ(cursor.volume(), 30);
    EXPECT_EQ(cursor.balance(), 15);
    cursor.seek(2);
    EXPECT_TRUE(cursor.is_sounding(1));
    EXPECT_EQ(cursor.volume(), 30);
    cursor.seek(3);
    EXPECT_FALSE(cursor.is_sounding(1));
    EXPECT_EQ(cursor.sounding(5), 2u);
    EXPECT_EQ(cursor.volume(), 10);
    EXPECT_EQ(cursor.next_index(), 3u);
    cursor.seek(8);
    EXPECT_FALSE(cursor.is_sounding(5));
    EXPECT_TRUE(cursor.is_sounding(7));
    EXPECT_EQ(cursor.balance(), 4);
    cursor.seek(9);
    EXPECT_FALSE(cursor.is_sounding(7));
    EXPECT_TRUE(cursor.at_end());
    EXPECT_EQ(cursor.volume(), 10);
    EXPECT_EQ(cursor.balance(), 4);
}

TEST(VoiceCursor, SeekPastTheEndEndsEveryNote) {
    Voice voice;
    voice.events = events("on1@0 vol9@2"); // a note left open (not a finished song)
    VoiceCursor cursor(voice);
    cursor.seek(5);
    EXPECT_FALSE(cursor.is_sounding(1));
    EXPECT_EQ(cursor.volume(), 9);
    EXPECT_TRUE(cursor.at_end());
}

TEST(KeySounding, HitTestCases) {
    Voice voice;
    voice.events = events("on10@2 on20@4 off10@6 port20>24:4@6 on30@8 off30@9 off24@14");
    struct Case {
        Tick tick;
        Key key;
        bool sounding;
    };
    const Case cases[] = {
        {1, 10, false}, {2, 10, true},   {5, 10, true},   {6, 10, false}, // note off at 6
        {4, 20, true},  {6, 20, true},                                    // slide from 20 at 6
        {7, 20, false}, {7, 24, false},  {9, 24, false},                  // still gliding
        {10, 24, true}, {13, 24, true},  {14, 24, false}, {8, 30, true},
        {9, 30, false}, {20, 24, false}, {3, 83, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(key_sounding(voice, c.tick, c.key), c.sounding) << c.tick << " " << int(c.key);
}

TEST(Voice, HasNotes) {
    Voice voice;
    voice.events = events("vol3@0");
    EXPECT_FALSE(voice_has_notes(voice));
    voice.events = events("vol3@0 on1@2 off1@4");
    EXPECT_TRUE(voice_has_notes(voice));
}

// --- Timing ------------------------------------------------------------------------------------

TEST(Timing, TickDurations) {
    EXPECT_EQ(tick_duration(40, 20), 125u);
    EXPECT_EQ(tick_duration(0, 0), 31u);
    EXPECT_EQ(tick_duration(120, 30), 500u);
    EXPECT_EQ(tick_duration(0, 30), 125u);
    auto table = tick_durations(40);
    EXPECT_EQ(table[20], 125u);
    EXPECT_EQ(table[0], 63u); // 80000 / 1280 = 62.5, rounded up
    EXPECT_EQ(overall_tempo_percent(0), 200);
    EXPECT_EQ(overall_tempo_percent(120), 50);
}

TEST(Timing, DurationFollowsTheTempoCurve) {
    Pattern pattern;
    pattern.length = 16;
    pattern.tempo_points = {{4, 30}, {8, 0}};
    const uint32_t d20 = tick_duration(40, 20), d30 = tick_duration(40, 30),
                   d0 = tick_duration(40, 0);
    EXPECT_EQ(duration(pattern, 0, 16, 40), 4 * d20 + 4 * d30 + 8 * d0);
    EXPECT_EQ(duration(pattern, 5, 9, 40), 3 * d30 + 1 * d0);
    EXPECT_EQ(duration(pattern, 4, 4, 40), 0u);
    EXPECT_EQ(duration(pattern, 9, 4, 40), 0u);
    EXPECT_EQ(tempo_value_at(pattern, 3), 20);
    EXPECT_EQ(tempo_value_at(pattern, 4), 30);
    EXPECT_EQ(tempo_value_at(pattern, 100), 0);
}

TEST(Timing, SongLengthSumsTheSequence) {
    Song song = song_with(8, "");
    add_pattern(song, "B");
    song.patterns[1].length = 480; // 60 s at 125 ms
    song.sequence = {0, 1, 1, 0};
    EXPECT_EQ(song_length(song), 2u * 8 * 125 + 2u * 480 * 125);
    auto shown = song_length_display(song);
    EXPECT_EQ(shown.minutes, 2u);
    EXPECT_EQ(shown.seconds, 2u);
}

} // namespace
} // namespace tunemill
