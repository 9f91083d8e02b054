// Release marks of older writers: how they become plain notes for looping and one-shot
// instruments, and that a song file holding them loads as a valid song.
#include <gtest/gtest.h>

#include "instruments/instrument_file.h"
#include "storage/release_marks.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;

std::string resolved(const std::string& text, const Instrument& instrument,
                     std::vector<TempoPoint> tempo = {}, int32_t overall_tempo = 40) {
    Pattern pattern;
    pattern.length = 1000;
    pattern.tempo_points = std::move(tempo);
    Voice voice;
    voice.events = events(text);
    order_within_ticks(voice);
    resolve_release_marks(voice, pattern, instrument, overall_tempo);
    return describe(voice.events);
}

TEST(ReleaseMarks, LoopingInstrumentsEndTheNoteWhereTheKeyWasLetGo) {
    const Instrument looping = sampled("Pad", 1, 200, 50);
    struct Case {
        const char* in;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"on40@0 rel40@4 off40@10", "on40@0 off40@4"},
        {"on40@0 rel40@4 port40>45:2@6 off45@10", "on40@0 off40@4"},
        {"on40@0 rel40@4 off40@6 on40@8 rel40@9 off40@12", "on40@0 off40@4 on40@8 off40@9"},
        {"on41@0 on40@4 rel41@4 off41@9 off40@10", "on41@0 off41@4 on40@4 off40@10"},
        {"on40@0 vol10@3 off40@10", "on40@0 vol10@3 off40@10"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolved(c.in, looping), c.out) << c.in;
}

TEST(ReleaseMarks, OneShotInstrumentsSoundToTheEndOfTheirSample) {
    // 8000 Hz at the default tempo: 1000 samples a tick, so 5000 frames last 5 ticks.
    const Instrument shot = sampled("Drum", 1, 5000, NO_LOOP, 8000);
    ASSERT_EQ(samples_per_tick(40, 20, 8000), 1000u);
    struct Case {
        const char* in;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"on40@0 rel40@2 vol10@20", "on40@0 off40@5 vol10@20"},
        {"on40@0 rel40@8 vol10@20", "on40@0 off40@8 vol10@20"}, // at least until let go
        {"on40@0 rel40@1 on40@3 rel40@4 vol10@30",
         "on40@0 off40@3 on40@3 off40@8 vol10@30"},           // until struck again
        {"on40@0 rel40@1 vol10@3", "on40@0 off40@3 vol10@3"}, // at most to the voice's last event
        {"on40@0 rel40@2 off40@4", "on40@0 off40@4"},         // a stored end stays
        {"on40@0 rel40@1 port40>45:1@2 vol10@20", "on40@0 port40>45:1@2 off45@5 vol10@20"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolved(c.in, shot), c.out) << c.in;

    // The tempo a note starts under is that of the last point before its tick: value 30 halves
    // the tick (2000 samples), so the note at 1 lasts 2 ticks; a point at the note's own tick
    // does not count yet.
    EXPECT_EQ(resolved("on40@1 rel40@2 vol10@20", shot, {{0, 30, {0, 0, 0}}}),
              "on40@1 off40@3 vol10@20");
    EXPECT_EQ(resolved("on40@0 rel40@1 vol10@20", shot, {{0, 30, {0, 0, 0}}}),
              "on40@0 off40@5 vol10@20");
}

TEST(ReleaseMarks, ASampleTooSlowForOneSampleATickCountsOneSampleATick) {
    EXPECT_EQ(samples_per_tick(0, 0, 1), 1u);
    EXPECT_EQ(samples_per_tick(0, 0, 15), 1u);
    const Instrument slow = sampled("Rumble", 1, 3, NO_LOOP, 1);
    EXPECT_EQ(resolved("on40@0 rel40@1 vol10@50", slow, {}, 0), "on40@0 off40@3 vol10@50");
}

TEST(ReleaseMarks, ASongFileWithReleaseMarksLoadsAsAValidSong) {
    const std::vector<uint8_t> records = {0,  0x11, 40,   4, 0x12,
                                          40, 6,    0x13, 40}; // on, release, note off
    std::vector<uint8_t> stored{0};
    stored = stored + encode_instrument(sampled("Pad", 1, 200, 50));
    const std::vector<uint8_t> file =
        song_file(1, 1,
                  chunk("SEQ", {0, 0, 0, 0}) + pattern_chunk(16, voice_chunk(0, records)) +
                      chunk("INS", stored));
    Song song;
    ASSERT_TRUE(read_song_bytes(file, song));
    EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on40@0 off40@4");
    EXPECT_TRUE(validate(song));
}

} // namespace
} // namespace tunemill
