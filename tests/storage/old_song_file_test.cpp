// The older song file: the worked examples of its voice streams, skip codes and key codes, a
// whole file with every section, and the limits whose violation makes a file damaged.
#include <gtest/gtest.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "old_song_encoder.h"
#include "storage/old_song_file.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;

const TestBank& organ_bank() {
    static const TestBank bank = [] {
        TestBank b;
        b.instruments["Organ"] = sampled("Organ", 1, 100, 0, 22050);
        return b;
    }();
    return bank;
}

Song read_old(const std::vector<uint8_t>& bytes, const BankLookup& bank = organ_bank().lookup()) {
    static int counter = 0;
    const auto path = write_scratch_file("old-" + std::to_string(counter++) + ".sn", bytes);
    File file = File::open_for_reading(path);
    Song song;
    if (!read_old_song(file, song, bank)) throw std::runtime_error("not an older song file");
    return song;
}

// A song of one pattern of the length with one voice (the bank organ) made of the steps.
OldSong one_voice(uint32_t length, std::vector<OldStep> steps) {
    OldSong song;
    OldPattern pattern;
    pattern.name = "P";
    pattern.length = length;
    pattern.instruments = {0};
    pattern.voices = {std::move(steps)};
    song.patterns = {pattern};
    song.bank = {"Organ"};
    return song;
}

std::string voice_events(const OldSong& song) {
    return describe(read_old(encode_old_song(song)).patterns[0].voices[0].events);
}

TEST(OldSongFile, TheDocumentedStrikeFromNoKeyRaisesBy23) {
    // No skip, event bit 1, 5-bit code 2, 7-bit key code 48: key 48 + 23; then a key off.
    OldSong song = one_voice(2, {});
    song.patterns[0].raw_voice_bits = "0 1 00010 0110000  0 00";
    EXPECT_EQ(voice_events(song), "on71@0 off71@1");
}

TEST(OldSongFile, SkipCodesDecodeToTheirValues) {
    for (uint32_t skip : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 40u, 70u, 71u, 500u, 16391u}) {
        const OldSong song = one_voice(skip + 2, {{skip, strike(60)}, {0, 1}});
        EXPECT_EQ(voice_events(song),
                  "on60@" + std::to_string(skip) + " off60@" + std::to_string(skip + 1))
            << skip;
    }
    // The escape with six bits all ones reads fourteen more: 8 + 1000.
    OldSong escape = one_voice(1010, {});
    escape.patterns[0].raw_voice_bits = "111111 111111 00001111101000  1 00010 0001100  0 00  0";
    EXPECT_EQ(voice_events(escape), "on53@1008 off53@1009");
}

TEST(OldSongFile, KeyCodesMoveTheKeyAndWrapOnce) {
    struct Case {
        std::vector<OldStep> steps;
        const char* events;
    };
    const std::vector<Case> cases = {
        {{{0, 3}, {0, 1}}, "on47@0 off47@1"},   // d = 2 lowers by 1 from 48
        {{{0, 2}, {0, 1}}, "on48@0 off48@1"},   // d = 1 strikes 48 itself
        {{{0, 127}, {0, 1}}, "on69@0 off69@1"}, // 48 - 63 wraps to 69
        {{{0, strike(80)}, {0, 20}, {0, 1}}, "on80@0 off80@1 on5@1 off5@2"}, // 80 + 9 wraps to 5
        {{{0, strike(60)}, {0, 2}, {0, 0}, {0, 1}}, "on60@0 off60@1 on60@1 off60@3"}, // re-strike
        {{{0, 0}, {0, strike(50)}}, "on50@1 off50@2"},         // code 0 leaves the key alone
        {{{0, strike(60)}, skip_to_end(5)}, "on60@0 off60@6"}, // sounding at the end
    };
    for (const Case& c : cases) {
        uint32_t length = 0;
        for (const OldStep& step : c.steps)
            length += step.skip + (step.skip_only ? 0 : 1);
        EXPECT_EQ(voice_events(one_voice(length, c.steps)), c.events) << c.events;
    }
}

TEST(OldSongFile, SlidesVolumeAndBalanceComeFromTheFlags) {
    // A slide begun at tick 0 from 40 reaches 45 at tick 2: no note on for 45, and no note off
    // for 40 either; the note then ends under 45.
    EXPECT_EQ(voice_events(one_voice(6, {{0, strike(40), 1}, {1, key_code_for(40, 45)}, {2, 1}})),
              "on40@0 port40>45:2@0 off45@5");
    // Volume and balance add modulo 32; a change gives an event, no change none.
    EXPECT_EQ(voice_events(one_voice(3, {{0, strike(40), 6, 5, 3}, {0, 0, 2, 0}, {0, 1, 2, 30}})),
              "bal18@0 vol3@0 on40@0 off40@2 vol1@2");
    // A volume of 31 is no volume: the song is damaged.
    EXPECT_THROW(read_old(encode_old_song(one_voice(2, {{0, strike(40), 2, 1}, {0, 1}}))),
                 LOAD_ERROR);
}

TEST(OldSongFile, AWholeFileWithEverySection) {
    OldSong song;
    song.name = "Tune";
    song.head[10] = 1; // repeat position
    song.head[12] = 60;
    song.head[13] = 3;
    song.head[14] = 6;
    song.sequence = {1, 0, 1};
    OldPattern first;
    first.name = "Intro";
    first.length = 300;
    first.instruments = {2, 0};
    first.tempo_runs = {{20, 10}, {25, 0}, {25, 34}};
    first.text_runs = {{'H', 1}, {'i', 1}, {' ', 3}, {' ', 4}, {'y', 1}, {' ', 0}, {' ', 34}};
    first.voices = {{{0, strike(30)}, {0, 1}, skip_to_end(298)},
                    {{5, strike(50)}, {10, 1}, skip_to_end(283)}};
    OldPattern second;
    second.name = "Spaces";
    second.length = 4;
    second.instruments = {1};
    second.text_runs = {{' ', 4}};
    second.voices = {{{0, strike(60)}, {2, 1}}};
    song.patterns = {first, second};
    song.stored = {sampled("Drum", 1, 64, NO_LOOP, 11025, 3), synthesized("Bell")};
    song.bank = {"Organ"};

    Song read;
    try {
        read = read_old(encode_old_song(song));
    } catch (const std::exception& error) {
        FAIL() << error_text(error);
    }
    EXPECT_EQ(read.description, "Tune\r\n\r\nHi y \r\n"); // runs of spaces kept as one
    EXPECT_EQ(read.ticks_per_beat, 3);
    EXPECT_EQ(read.beats_per_measure, 6);
    EXPECT_EQ(read.overall_tempo, 60);
    EXPECT_EQ(read.repeat_position, 1);
    EXPECT_EQ(read.sequence, (std::vector<uint32_t>{1, 0, 1}));
    ASSERT_EQ(read.patterns.size(), 2u);
    EXPECT_EQ(read.patterns[0].name, "Intro");
    EXPECT_EQ(read.patterns[0].length, 300);
    EXPECT_EQ(read.patterns[0].tempo_points, (std::vector<TempoPoint>{{10, 25, {0, 0, 0}}}));
    EXPECT_EQ(describe(read.patterns[0].voices[0].events), "on30@0 off30@1");
    EXPECT_EQ(read.patterns[0].voices[0].instrument, 2u);
    EXPECT_EQ(describe(read.patterns[0].voices[1].events), "on50@5 off50@16");
    EXPECT_EQ(describe(read.patterns[1].voices[0].events), "on60@0 off60@3");
    ASSERT_EQ(read.instruments.size(), 3u);
    EXPECT_EQ(read.instruments[0].name, "Drum");
    EXPECT_EQ(read.instruments[0].length, 64u);
    EXPECT_FALSE(read.instruments[0].from_bank);
    EXPECT_TRUE(read.instruments[1].synthesized());
    EXPECT_EQ(read.instruments[2].name, "Organ");
    EXPECT_TRUE(read.instruments[2].from_bank);
}

TEST(OldSongFile, OtherFilesAreHandedOn) {
    for (const std::string head : {"SNGx0123456789abcdef", "SNG", "SN2 and more bytes"}) {
        const auto path = write_scratch_file("not-old", text_bytes(head));
        File file = File::open_for_reading(path);
        Song song;
        EXPECT_FALSE(read_old_song(file, song, organ_bank().lookup())) << head;
        EXPECT_EQ(file.position(), 0u);
    }
}

TEST(OldSongFile, ViolatedLimitsMakeTheFileDamaged) {
    const OldSong good = one_voice(2, {{0, strike(40)}, {0, 1}});
    ASSERT_NO_THROW(read_old(encode_old_song(good)));
    auto with = [&](auto change) {
        OldSong song = good;
        change(song);
        return song;
    };
    struct Case {
        const char* name;
        OldSong song;
        bool keep_counts = false;
    };
    const std::vector<Case> cases = {
        {"song name of 26 characters", with([](OldSong& s) { s.name = std::string(26, 'n'); })},
        {"no pattern", with([](OldSong& s) {
             s.patterns.clear();
             s.sequence.clear();
         })},
        {"repeat position not below the entries", with([](OldSong& s) { s.head[10] = 1; })},
        {"the byte limited to 30", with([](OldSong& s) { s.head[11] = 31; })},
        {"overall tempo 121", with([](OldSong& s) { s.head[12] = 121; })},
        {"ticks per beat 0", with([](OldSong& s) { s.head[13] = 0; })},
        {"beats per measure 31", with([](OldSong& s) { s.head[14] = 31; })},
        {"more than 64 instruments", with([](OldSong& s) {
             s.head[4] = 40;
             s.head[5] = 25;
         }),
         true},
        {"sequence entry naming no pattern", with([](OldSong& s) { s.sequence = {1}; })},
        {"pattern name of 17 characters",
         with([](OldSong& s) { s.patterns[0].name = std::string(17, 'p'); })},
        {"voice instrument beyond the instruments",
         with([](OldSong& s) { s.patterns[0].instruments = {1}; })},
        {"tempo value 31", with([](OldSong& s) {
             s.patterns[0].tempo_runs = {{31, 2}};
         })},
        {"instrument tag", with([](OldSong& s) {
             s.stored = {sampled("x", 1, 4)};
             s.patterns[0].instruments = {1};
         })},
        {"slide of 0 ticks", with([](OldSong& s) {
             s.patterns[0].length = 258;
             s.patterns[0].voices = {{{0, strike(40), 1}, {255, key_code_for(40, 41)}, {0, 1}}};
         })},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = encode_old_song(c.song, c.keep_counts);
        if (std::string(c.name) == "instrument tag") {
            // The stored instrument begins right after the pattern: spoil its tag.
            const std::string text(bytes.begin(), bytes.end());
            bytes[text.find("SMP")] = 'X';
        }
        try {
            read_old(bytes);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const LOAD_ERROR& error) {
            EXPECT_FALSE(error.internal()) << c.name;
        } catch (const std::exception& error) {
            ADD_FAILURE() << c.name << ": " << error_text(error);
        }
    }
}

TEST(OldSongFile, MissingBankInstrumentsAndShortFilesKeepTheirErrors) {
    const OldSong good = one_voice(2, {{0, strike(40)}, {0, 1}});
    OldSong missing = good;
    missing.bank = {"Tuba"};
    EXPECT_THROW(read_old(encode_old_song(missing)), INS_BANK_ERROR);
    const std::vector<uint8_t> whole = encode_old_song(good);
    for (size_t cut : {size_t(8), size_t(15), size_t(20), whole.size() - 2}) {
        try {
            read_old(std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(cut)));
            ADD_FAILURE() << "cut at " << cut;
        } catch (const FILE_ERROR& error) {
            EXPECT_TRUE(error.is_end_of_file()) << cut;
        }
    }
}

} // namespace
} // namespace tunemill
