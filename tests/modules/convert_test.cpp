// The conversion of modules into songs: structure, instruments, mappings, ticks, voices.
#include "fixtures.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/convert.h"
#include "modules/module.h"
#include "song/song.h"
#include "song/timing.h"

#include <gtest/gtest.h>

namespace tunemill {
namespace {

using testing::ModBuilder;
using testing::ModSample;
using testing::TempFolder;

class ConvertTest : public ::testing::Test {
  protected:
    void SetUp() override { set_language(Language::ENGLISH); }

    Song convert(const std::string& bytes) {
        File file = File::open_for_reading(folder_.write("module.mod", bytes));
        auto reader = read_module(file);
        Song song;
        convert_module(*reader, file, song);
        EXPECT_TRUE(validate(song));
        return song;
    }

    TempFolder folder_;
};

ModSample plain_sample(const std::string& name, uint16_t words = 2000) {
    ModSample sample;
    sample.name = name;
    sample.length_words = words;
    sample.data.assign(size_t(words) * 2, 0x20);
    return sample;
}

ModSample looping_sample(const std::string& name) {
    ModSample sample = plain_sample(name, 100);
    sample.loop_start_words = 0;
    sample.loop_length_words = 100;
    return sample;
}

std::vector<Event> events_of(const Voice& voice, uint8_t kind) {
    std::vector<Event> found;
    for (const Event& event : voice.events)
        if (event.kind == kind) found.push_back(event);
    return found;
}

size_t count_notes(const Song& song) {
    size_t notes = 0;
    for (const Pattern& pattern : song.patterns)
        for (const Voice& voice : pattern.voices)
            notes += events_of(voice, NOTE_ON).size();
    return notes;
}

// A row lasts 6 * 2500000 / 125 microseconds at the MOD defaults.
constexpr double ROW_MS = 120.0;

TEST_F(ConvertTest, PiecesMapAsTrackersDo) {
    EXPECT_EQ(key_of_pitch(44100), 36); // period 428
    EXPECT_EQ(key_of_pitch(88200), 48);
    EXPECT_EQ(key_of_pitch(22050), 24);
    EXPECT_EQ(key_of_pitch(18874800 / 16), 83);
    EXPECT_EQ(key_of_pitch(1), 0);
    EXPECT_EQ(key_of_pitch(0), 0);
    const std::pair<int, int> volumes[] = {{64, 30}, {32, 23}, {1, 1}, {0, 0}, {16, 16}};
    for (auto [module, song] : volumes)
        EXPECT_EQ(song_volume(uint32_t(module * 65536 / 64)), song) << module;
    const std::pair<int, int> pans[] = {{64, 15}, {0, 30}, {128, 0}, {53, 18}, {96, 7}, {32, 23}};
    for (auto [module, song] : pans)
        EXPECT_EQ(song_balance(uint32_t(module * 65536 / 128)), song) << module;
}

TEST_F(ConvertTest, PatternNumerals) {
    const std::pair<int, const char*> cases[] = {
        {1, "I"},   {3, "III"}, {4, "IV"},  {9, "IX"},  {14, "XIV"}, {40, "XL"},   {48, "VLIII"},
        {49, "IL"}, {90, "XC"}, {95, "VC"}, {99, "IC"}, {100, "C"},  {145, "CVL"},
    };
    for (auto [number, numeral] : cases)
        EXPECT_EQ(pattern_numeral(number), numeral) << number;
}

TEST_F(ConvertTest, InstrumentNamesAreCleaned) {
    EXPECT_EQ(clean_instrument_name("  piano\r\n "), "piano");
    EXPECT_EQ(clean_instrument_name("a\tb"), "a b");
    EXPECT_EQ(clean_instrument_name("\x01\x02  "), "Untitled");
    EXPECT_EQ(clean_instrument_name(""), "Untitled");
    EXPECT_EQ(clean_instrument_name("a very long sample name"), "a very long samp");
}

TEST_F(ConvertTest, DuplicateNamesAreNumbered) {
    Song song;
    for (const char* name :
         {"Bass", "Lead", "Bass", "Bass", "Sixteen chars ok", "Bass", "Sixteen chars ok"})
        song.instruments.push_back(
            make_sampled_instrument(name, NO_CATEGORY, 0, NO_LOOP, 8363, 1, false));
    rename_duplicate_instruments(song);
    const char* expected[] = {"Bass 1",          "Lead",   "Bass 2",         "Bass 3",
                              "Sixteen chars 1", "Bass 4", "Sixteen chars 2"};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(song.instruments[i].name, expected[i]);
}

TEST_F(ConvertTest, TickLengthsFitCommonGrids) {
    struct Case {
        int64_t a, b;
        bool fit;
        int64_t common;
    };
    const Case cases[] = {
        {120000, 120000, true, 120000}, {120000, 240000, true, 120000}, // a multiple
        {120000, 243000, true, 120000},                                 // within 5000 of a multiple
        {120000, 250000, false, 0},                                     // no halving below 125000
        {250000, 375000, true, 125000}, // half the shorter length fits both
        {40000, 50000, false, 0},       // q = 40000 does not fit and is below 125000
        {480000, 720000, true, 240000}, {31250, 31250, true, 31250},
    };
    for (const Case& c : cases) {
        int64_t common = 0;
        EXPECT_EQ(tick_lengths_fit(c.a, c.b, common), c.fit) << c.a << " " << c.b;
        if (c.fit) {
            EXPECT_EQ(common, c.common) << c.a << " " << c.b;
        }
        EXPECT_EQ(tick_lengths_fit(c.b, c.a, common), c.fit);
    }
}

TEST_F(ConvertTest, TempoValuesForTickLengths) {
    // 125 ms is the default tick: tempo value 20 at overall tempo 40.
    TempoChoice choice = tempo_for_length(125000, 40);
    EXPECT_EQ(choice.value, 20);
    EXPECT_EQ(choice.tick_length, 125000);
    // 250 ms: value 30 would be needed at tempo 40... the slower side: 40 - round(2500000 / 250000)
    // = 30
    choice = tempo_for_length(250000, 40);
    EXPECT_EQ(choice.value, 20);
    EXPECT_EQ(choice.tick_length, 125000);
    // 62.5 ms: value 0.
    choice = tempo_for_length(62500, 40);
    EXPECT_EQ(choice.value, 0);
    EXPECT_EQ(choice.tick_length, 62500);
    // 480 ms rows fit best as five ticks of value 14.
    choice = tempo_for_length(480000, 40);
    EXPECT_EQ(choice.value, 14);
    EXPECT_EQ(choice.tick_length, 96000);
    // A length shorter than a tick of value 0 still counts as one tick.
    choice = tempo_for_length(31250, 120);
    EXPECT_EQ(choice.value, 0);
    EXPECT_EQ(choice.tick_length, 31250);
}

TEST_F(ConvertTest, JumpToTheStartEndsTheMusic) {
    ModBuilder mod;
    mod.samples = {plain_sample("one"), plain_sample("two")};
    mod.song = {0, 1, 2};
    for (int p = 0; p < 3; ++p)
        for (int row = 0; row < 64; row += 4)
            mod.cell(p, row, 0, 428, uint8_t(1 + (p == 1)), 0, 0);
    mod.cell(2, 63, 1, 0, 0, 0xB, 0);
    Song song = convert(mod.bytes());
    EXPECT_EQ(song.repeat_position, 0);
    // Every order is played once: 3 * 64 rows.
    EXPECT_NEAR(double(song_length(song)), 3 * 64 * ROW_MS, 3 * 64 * ROW_MS * 0.02);
    EXPECT_EQ(count_notes(song), 48u);
    // The three positions always follow one another: one song pattern.
    EXPECT_EQ(song.sequence, std::vector<uint32_t>{0});
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
}

TEST_F(ConvertTest, JumpBackSetsTheRepeatPosition) {
    ModBuilder mod;
    mod.samples = {plain_sample("one"), plain_sample("two")};
    mod.song = {0, 1, 2};
    for (int p = 0; p < 3; ++p)
        mod.cell(p, 0, 0, uint16_t(428 - p * 20), uint8_t(1 + (p % 2)), 0, 0);
    mod.cell(2, 10, 1, 0, 0, 0xB, 1); // back to order 1 after 11 rows
    Song song = convert(mod.bytes());
    EXPECT_EQ(song.sequence, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(song.repeat_position, 1);
    ASSERT_EQ(song.patterns.size(), 2u);
    EXPECT_EQ(song.patterns[1].name, "Pattern II");
    EXPECT_NEAR(double(song_length(song)), (64 + 64 + 11) * ROW_MS, 139 * ROW_MS * 0.02);
}

TEST_F(ConvertTest, RepeatedPassagesShareSongPatterns) {
    // Patterns 0 and 2 leave the player in the same state, so pattern 1 is entered alike twice
    // and the passage 1, 2 is one song pattern played twice.
    ModBuilder mod;
    mod.samples = {plain_sample("one"), plain_sample("two"), plain_sample("three")};
    mod.song = {0, 1, 2, 1, 2, 3};
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(2, 0, 0, 428, 1, 0, 0);
    mod.cell(1, 0, 0, 214, 2, 0, 0);
    mod.cell(3, 0, 0, 320, 3, 0, 0);
    Song song = convert(mod.bytes());
    EXPECT_EQ(song.sequence, (std::vector<uint32_t>{0, 1, 1, 2}));
    ASSERT_EQ(song.patterns.size(), 3u);
    EXPECT_EQ(song.patterns[2].name, "Pattern III");
    // Pattern II holds two module patterns, the others one.
    const double ticks_per_row = double(song.patterns[0].length) / 64;
    EXPECT_NEAR(song.patterns[1].length, 128 * ticks_per_row, 2);
}

TEST_F(ConvertTest, LongPassagesSplitAt512Rows) {
    ModBuilder mod;
    mod.samples = {looping_sample("one")}; // sounds to the end: nothing is trimmed
    for (int p = 0; p < 10; ++p) {
        mod.song.push_back(uint8_t(p));
        mod.cell(p, 0, 0, uint16_t(400 + p), 1, 0, 0);
    }
    Song song = convert(mod.bytes());
    EXPECT_EQ(song.sequence, (std::vector<uint32_t>{0, 1}));
    ASSERT_EQ(song.patterns.size(), 2u);
    EXPECT_NEAR(double(song.patterns[0].length) / double(song.patterns[1].length), 8.0 / 2.0, 0.1);
}

TEST_F(ConvertTest, OnlyPlayedSamplesBecomeInstruments) {
    ModBuilder mod;
    mod.samples = {plain_sample("never"), plain_sample("played"), plain_sample("")};
    mod.song = {0};
    mod.cell(0, 0, 0, 428, 2, 0, 0);
    mod.cell(0, 8, 1, 428, 3, 0, 0);
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.instruments.size(), 2u);
    EXPECT_EQ(song.instruments[0].name, "played");
    EXPECT_EQ(song.instruments[1].name, "Untitled");
    EXPECT_EQ(song.instruments[0].rate, 8363u);
    EXPECT_EQ(song.instruments[0].bytes_per_sample, 1u);
    EXPECT_EQ(song.instruments[0].length, 4000u);
    // Signed module data becomes unsigned instrument data.
    EXPECT_EQ(song.instruments[0].samples[0], 0xA0);
    // The description holds the title and every slot name up to the last named one.
    EXPECT_EQ(song.description, "\"test\"\r\n\r\nnever\r\nplayed\r\n");
}

TEST_F(ConvertTest, InstrumentsFollowCategoryThenName) {
    ModBuilder mod;
    mod.samples = {plain_sample("Bass Drum 1"), plain_sample("zither"), plain_sample("flute"),
                   plain_sample("Clarinet"), plain_sample("bassdrum B")};
    mod.song = {0};
    for (int slot = 0; slot < 5; ++slot)
        mod.cell(0, slot * 4, 0, 428, uint8_t(slot + 1), 0, 0);
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.instruments.size(), 5u);
    // Woodwinds (0) by name ignoring case, bass drums (17), then no category (29).
    const char* names[] = {"Clarinet", "flute", "Bass Drum 1", "bassdrum B", "zither"};
    const uint32_t categories[] = {0, 0, 17, 17, NO_CATEGORY};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(song.instruments[i].name, names[i]);
        EXPECT_EQ(song.instruments[i].category, categories[i]) << names[i];
    }
    // Voices name the renumbered instruments: the first note (slot 0, bass drum) is instrument 2.
    bool found = false;
    for (const Voice& voice : song.patterns[0].voices)
        if (!voice.events.empty() && voice.events.front().tick == 0 && voice.instrument == 2)
            found = true;
    EXPECT_TRUE(found);
}

TEST_F(ConvertTest, NotesVolumesAndBalancesReachTheVoices) {
    ModBuilder mod;
    mod.samples = {looping_sample("organ")};
    mod.song = {0};
    mod.cell(0, 0, 0, 428, 1, 0xC, 32); // key 36 at volume 32
    mod.cell(0, 8, 0, 0, 0, 0x8, 0x40); // pan 64: the centre
    mod.cell(0, 16, 0, 0, 0, 0xC, 64);
    mod.cell(0, 24, 0, 0, 0, 0xC, 0); // silent to the end: the note ends here
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.patterns.size(), 1u);
    ASSERT_EQ(song.patterns[0].voices.size(), 1u);
    const Voice& voice = song.patterns[0].voices[0];
    const auto notes = events_of(voice, NOTE_ON);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].param1, 36);
    EXPECT_EQ(notes[0].tick, 0u);
    const auto volumes = events_of(voice, VOLUME);
    ASSERT_EQ(volumes.size(), 2u); // the 0 at row 24 became the note's end
    EXPECT_EQ(volumes[0].param1, 23);
    EXPECT_EQ(volumes[0].tick, 0u);
    EXPECT_EQ(volumes[1].param1, 30);
    const auto balances = events_of(voice, BALANCE);
    ASSERT_EQ(balances.size(), 2u);
    EXPECT_EQ(balances[0].param1, 18); // channel 0 starts at pan 53
    EXPECT_EQ(balances[0].tick, 0u);
    EXPECT_EQ(balances[1].param1, 15);
    const auto offs = events_of(voice, NOTE_OFF);
    ASSERT_EQ(offs.size(), 1u);
    // The pattern is trimmed after the last note, which ends where the volume drops to 0.
    EXPECT_EQ(Tick(song.patterns[0].length), offs[0].tick);
    EXPECT_NEAR(double(duration(song.patterns[0], 0, offs[0].tick, song.overall_tempo)),
                24 * ROW_MS, 24 * ROW_MS * 0.05);
}

TEST_F(ConvertTest, ChannelsOfOneInstrumentMergeWhenTheyDoNotClash) {
    ModBuilder mod;
    mod.samples = {plain_sample("piano", 500)}; // 1000 frames: about 120 ms at key 36
    mod.song = {0};
    for (int row = 0; row < 64; row += 8) {
        mod.cell(0, row, 0, 428, 1, 0, 0);
        mod.cell(0, row + 4, 3, 428, 1, 0, 0); // channel 3: same instrument, pan 32
    }
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.patterns.size(), 1u);
    ASSERT_EQ(song.patterns[0].voices.size(), 1u);
    const Voice& voice = song.patterns[0].voices[0];
    EXPECT_EQ(events_of(voice, NOTE_ON).size(), 16u);
    // The balance follows the channel that plays.
    const auto balances = events_of(voice, BALANCE);
    ASSERT_GE(balances.size(), 2u);
    EXPECT_EQ(balances[0].param1, 18); // pan 53 from tick 0
    EXPECT_EQ(balances[1].param1, 23); // pan 32

    // Sounding together at different balances, they stay apart.
    ModBuilder chord = mod;
    chord.cells.clear();
    chord.samples = {looping_sample("organ")};
    chord.cell(0, 0, 0, 428, 1, 0, 0);
    chord.cell(0, 0, 3, 320, 1, 0, 0);
    song = convert(chord.bytes());
    EXPECT_EQ(song.patterns[0].voices.size(), 2u);
    // At the same balance they merge into one voice holding a chord.
    chord.cell(0, 0, 0, 428, 1, 0x8, 64);
    chord.cell(0, 0, 3, 320, 1, 0x8, 64);
    song = convert(chord.bytes());
    ASSERT_EQ(song.patterns[0].voices.size(), 1u);
    EXPECT_EQ(events_of(song.patterns[0].voices[0], NOTE_ON).size(), 2u);
}

TEST_F(ConvertTest, SlidesBecomePortamentos) {
    ModBuilder mod;
    mod.samples = {looping_sample("lead")};
    mod.samples[0].loop_start_words = 80; // a late loop: tone portamento really slides
    mod.samples[0].loop_length_words = 20;
    mod.song = {0};
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(0, 4, 0, 214, 0, 0x3, 0xFF); // slide to the octave above
    mod.cell(0, 5, 0, 0, 0, 0x3, 0);      // and on, with the remembered speed
    mod.cell(0, 32, 0, 0, 0, 0xC, 0);
    Song song = convert(mod.bytes());
    const Voice& voice = song.patterns[0].voices[0];
    EXPECT_EQ(events_of(voice, NOTE_ON).size(), 1u);
    const auto slides = events_of(voice, PORTAMENTO);
    ASSERT_GE(slides.size(), 1u);
    EXPECT_EQ(slides.front().param1, 36);
    EXPECT_EQ(slides.back().param2, 48);
}

TEST_F(ConvertTest, MergeKeepsOneKeyPerVoiceWhenASlideMovesAway) {
    // Channels 0 and 4 share the pan 53. Channel 0 strikes key 36 and slides away at once, which
    // the voice holds as a portamento at the very tick where channel 4 strikes key 36 too; the
    // merged voice must not start key 36 twice.
    ModBuilder mod;
    mod.tag = "8CHN";
    mod.channels = 8;
    mod.samples = {looping_sample("organ")};
    mod.song = {0};
    mod.cell(0, 0, 0, 428, 1, 0x1, 0x08);
    mod.cell(0, 0, 4, 428, 1, 0, 0);
    mod.cell(0, 8, 0, 0, 0, 0xC, 0);
    mod.cell(0, 8, 4, 0, 0, 0xC, 0);
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.patterns.size(), 1u);
    size_t notes = 0;
    for (const Voice& voice : song.patterns[0].voices)
        notes += events_of(voice, NOTE_ON).size();
    EXPECT_EQ(notes, 2u);
}

TEST_F(ConvertTest, EmptyModulesGiveOneEmptyPattern) {
    ModBuilder mod;
    mod.song = {};
    mod.pattern_count = 1;
    Song song = convert(mod.bytes());
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_EQ(song.sequence, std::vector<uint32_t>{0});
    EXPECT_TRUE(song.instruments.empty());
}

TEST_F(ConvertTest, TempoAndSpeedCommandsChangeTheTickGrid) {
    ModBuilder mod;
    mod.samples = {plain_sample("beat", 200)};
    mod.song = {0, 1};
    for (int p = 0; p < 2; ++p)
        for (int row = 0; row < 64; row += 2)
            mod.cell(p, row, 0, 428, 1, 0, 0);
    mod.cell(1, 0, 1, 0, 0, 0xF, 3); // speed 3: rows twice as fast
    Song song = convert(mod.bytes());
    EXPECT_NEAR(double(song_length(song)), 64 * ROW_MS + 64 * ROW_MS / 2, 96 * ROW_MS * 0.03);
    EXPECT_EQ(count_notes(song), 64u);
}

} // namespace
} // namespace tunemill
