// Step entry and the recording pass's clearing: where the entered note stands and what the pass
// silences.
#include <gtest/gtest.h>

#include "song/note_entry.h"
#include "song_test_util.h"

namespace tunemill {
namespace {

using testing::describe;
using testing::pattern_with;

TEST(StepEntry, EnteredNotesStandApartFromTheirNeighbours) {
    struct Case {
        const char* name;
        Tick length;
        const char* before;
        Tick at;
        Key key;
        const char* after;
        int32_t new_length;
    };
    const Case cases[] = {
        {"into an empty voice", 16, "", 4, 5, "on5@4 off5@8", 16},
        {"past the end: the pattern grows", 8, "", 6, 5, "on5@6 off5@10", 10},
        {"after a note of the key", 16, "on5@0 off5@4", 4, 5, "on5@0 off5@4 on5@4 off5@8", 16},
        {"inside a long note of the key", 16, "on5@0 off5@16", 4, 5,
         "on5@0 off5@4 on5@4 off5@8 on5@8 off5@16", 16},
        {"beside another key", 16, "on7@4 off7@8", 4, 5, "on7@4 on5@4 off5@8 off7@8", 16},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(c.length, c.before);
        enter_note(pattern, 0, c.at, 4, c.key);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
        EXPECT_EQ(pattern.length, c.new_length) << c.name;
        EXPECT_TRUE(voice_is_normal(pattern.voices[0], pattern.tick_length())) << c.name;
    }
}

TEST(StepEntry, ARecordingPassClearsWhatItRecordsOver) {
    struct Case {
        const char* name;
        const char* before;
        Tick from;
        Tick to;
        const char* after;
    };
    const Case cases[] = {
        {"a note sounding into the stretch keeps its part before", "on5@0 off5@8", 4, 12,
         "on5@0 off5@4"},
        {"notes inside go", "on1@4 off1@6 on2@8 off2@10", 4, 16, ""},
        {"a note sounding out of the stretch keeps its part after", "on5@2 off5@12", 0, 8,
         "on5@8 off5@12"},
        {"notes after the stretch stay", "on1@12 off1@14", 0, 8, "on1@12 off1@14"},
        {"an empty stretch clears nothing", "on5@0 off5@8", 4, 4, "on5@0 off5@8"},
    };
    for (const Case& c : cases) {
        Pattern pattern = pattern_with(16, c.before);
        clear_recorded_stretch(pattern, 0, c.from, c.to);
        EXPECT_EQ(describe(pattern.voices[0].events), c.after) << c.name;
        EXPECT_TRUE(voice_is_normal(pattern.voices[0], pattern.tick_length())) << c.name;
    }
}

} // namespace
} // namespace tunemill
