// The live keyboard with a recording sink and an injected clock: the layout and its octaves, the
// German exchange, auto-repeat, the 500 ms minimum of looping instruments, instrument switches,
// activation and MIDI notes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/live_keyboard.h"

namespace tunemill {
namespace {

class RecordingSink : public LiveNoteSink {
  public:
    std::vector<bool> loops = {true, false}; // instrument 0 loops, 1 is a one-shot
    std::vector<std::string> log;
    uint32_t next_handle = 1;

    uint32_t instrument_count() override { return uint32_t(loops.size()); }
    bool instrument_loops(uint32_t instrument) override { return loops.at(instrument); }
    uint32_t start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                uint32_t balance, uint32_t length_ms) override {
        EXPECT_EQ(volume, 31u);
        EXPECT_EQ(balance, 15u);
        EXPECT_EQ(length_ms, 0u);
        log.push_back("start " + std::to_string(instrument) + ":" + std::to_string(key));
        return next_handle++;
    }
    void release_preview_note(uint32_t handle) override {
        log.push_back("release #" + std::to_string(handle));
    }
};

struct Fixture {
    RecordingSink sink;
    uint32_t instrument = 0;
    uint32_t time = 1000;
    LiveKeyboard keyboard{sink, [this] { return instrument; }, [this] { return time; }};
    Fixture() { keyboard.activate_check(true); }
};

TEST(LiveKeyboard, MapsTheLayoutWithBaseOctaveShiftAndControl) {
    Fixture f;
    struct Case {
        uint32_t octave;
        uint32_t virtual_key;
        KeyState state;
        int32_t key;
    };
    const std::vector<Case> cases = {
        {3, 'Z', {}, 36},            // middle C
        {3, 'Z', {true, false}, 48}, // Shift
        {3, 'Z', {false, true}, 24}, // Control
        {3, 'S', {}, 37},
        {3, 'M', {}, 47},
        {3, 'Q', {}, 48},
        {3, VK_COMMA_KEY, {}, 48}, // the comma plays Q
        {3, 'I', {}, 60},
        {0, 'Z', {}, 0},
        {0, 'Z', {false, true}, -1}, // below key 0
        {5, 'U', {}, 83},
        {5, 'I', {}, -1}, // 84: nothing plays
        {3, 'A', {}, -1}, // not in the layout
        {3, 300, {}, -1},
        {3, VK_SPACE_BAR, {}, -2},
    };
    for (const Case& c : cases) {
        f.keyboard.set_base_octave(c.octave);
        EXPECT_EQ(f.keyboard.song_key(c.virtual_key, c.state), c.key)
            << "octave " << c.octave << " key " << c.virtual_key;
    }
    f.keyboard.set_base_octave(9);
    EXPECT_EQ(f.keyboard.base_octave(), 3u);
}

TEST(LiveKeyboard, OnAGermanLayoutYAndZTradePlaces) {
    Fixture f;
    f.keyboard.activate_check(false);
    f.keyboard.set_layout_query([] { return true; });
    f.keyboard.activate_check(true); // the layout is taken on activation
    EXPECT_TRUE(f.keyboard.german_layout());
    EXPECT_EQ(f.keyboard.song_key('Y', {}), 36);
    EXPECT_EQ(f.keyboard.song_key('Z', {}), 57);
    EXPECT_EQ(f.keyboard.song_key('X', {}), 38);
}

TEST(LiveKeyboard, KeysOutsideTheLayoutAreLeftToTheWindowAndAnInactiveKeyboardSwallowsItsOwn) {
    Fixture f;
    EXPECT_FALSE(f.keyboard.key_down('A', {}));
    EXPECT_FALSE(f.keyboard.key_down(256 + 'Z', {}));
    f.keyboard.activate_check(false);
    EXPECT_TRUE(f.keyboard.key_down('Z', {}));
    EXPECT_TRUE(f.sink.log.empty());
}

TEST(LiveKeyboard, AutoRepeatPlaysNothingNew) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.keyboard.key_down('Z', {false, false, true});
    f.keyboard.key_down('Z', {false, false, true});
    EXPECT_EQ(f.sink.log, std::vector<std::string>{"start 0:36"});
}

TEST(LiveKeyboard, ATapOnALoopingInstrumentSoundsForHalfASecond) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.time += 100;
    f.keyboard.key_up('Z');
    EXPECT_EQ(f.sink.log.size(), 1u) << "not released before 500 ms";
    EXPECT_FALSE(f.keyboard.key_held(36));
    f.time += 399;
    f.keyboard.timer_check();
    EXPECT_EQ(f.sink.log.size(), 1u);
    f.time += 1;
    f.keyboard.timer_check();
    EXPECT_EQ(f.sink.log, (std::vector<std::string>{"start 0:36", "release #1"}));
    EXPECT_EQ(f.keyboard.preview_handle(36), 0u);
}

TEST(LiveKeyboard, AHeldLoopingNoteIsReleasedAtOnceAfterHalfASecond) {
    Fixture f;
    f.keyboard.key_down('Q', {});
    f.time += 700;
    f.keyboard.timer_check(); // still held: keeps sounding
    EXPECT_EQ(f.sink.log.size(), 1u);
    f.keyboard.key_up('Q');
    EXPECT_EQ(f.sink.log, (std::vector<std::string>{"start 0:48", "release #1"}));
}

TEST(LiveKeyboard, TheClockMayWrapAroundWithoutCuttingTheMinimum) {
    Fixture f;
    f.time = 0xFFFFFF00;
    f.keyboard.key_down('Z', {});
    f.keyboard.key_up('Z');
    f.time += 0x100 + 100; // wrapped; 356 ms have passed
    f.keyboard.timer_check();
    EXPECT_EQ(f.sink.log.size(), 1u);
    f.time += 200;
    f.keyboard.timer_check();
    EXPECT_EQ(f.sink.log.size(), 2u);
}

TEST(LiveKeyboard, AOneShotInstrumentIsNeverCutByTheKey) {
    Fixture f;
    f.instrument = 1;
    f.keyboard.key_down('Z', {});
    f.time += 2000;
    f.keyboard.key_up('Z');
    f.keyboard.timer_check();
    EXPECT_EQ(f.sink.log, std::vector<std::string>{"start 1:36"});
    // Playing the key again replaces its previous note.
    f.keyboard.key_down('Z', {});
    EXPECT_EQ(f.sink.log, (std::vector<std::string>{"start 1:36", "release #1", "start 1:36"}));
}

TEST(LiveKeyboard, KeyUpReleasesEveryNoteThatVirtualKeyStarted) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.keyboard.key_down('Z', {true, false}); // Shift+Z on the same key, not a repeat
    f.time += 600;
    f.keyboard.key_up('Z');
    EXPECT_EQ(f.sink.log,
              (std::vector<std::string>{"start 0:36", "start 0:48", "release #1", "release #2"}));
}

TEST(LiveKeyboard, SwitchingTheInstrumentReleasesHeldNotes) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.instrument = 1;
    f.keyboard.key_down('X', {});
    EXPECT_EQ(f.sink.log, (std::vector<std::string>{"start 0:36", "release #1", "start 1:38"}));
    // An index that is not an instrument of the song releases everything and plays nothing.
    f.instrument = 7;
    f.keyboard.key_down('C', {});
    EXPECT_EQ(f.sink.log.back(), "release #2");
}

TEST(LiveKeyboard, TheSpaceBarReleasesEverything) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.keyboard.key_down('X', {});
    EXPECT_TRUE(f.keyboard.key_down(VK_SPACE_BAR, {}));
    EXPECT_EQ(f.sink.log.size(), 4u);
    EXPECT_FALSE(f.keyboard.key_held(36));
}

TEST(LiveKeyboard, LosingTheFocusReleasesAndGainingItReportsActivation) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    EXPECT_FALSE(f.keyboard.activate_check(false));
    EXPECT_FALSE(f.keyboard.active());
    EXPECT_EQ(f.sink.log.back(), "release #1");
    EXPECT_TRUE(f.keyboard.activate_check(true));
    EXPECT_FALSE(f.keyboard.activate_check(true)) << "already active";
}

TEST(LiveKeyboard, TheActivateCheckReleasesDueLoopedKeys) {
    Fixture f;
    f.keyboard.key_down('Z', {});
    f.keyboard.key_up('Z');
    f.time += 500;
    f.keyboard.activate_check(true);
    EXPECT_EQ(f.sink.log.back(), "release #1");
}

TEST(LiveKeyboard, MidiNotesStartAndReleaseKeys) {
    Fixture f;
    f.keyboard.midi_note(0);
    f.keyboard.midi_note(83);
    f.time += 600;
    f.keyboard.midi_note(0x100 | 0);
    f.keyboard.midi_note(84); // not a key
    EXPECT_EQ(f.sink.log, (std::vector<std::string>{"start 0:0", "start 0:83", "release #1"}));
    EXPECT_TRUE(f.keyboard.key_held(83));
}

TEST(LiveKeyboard, TheWindowClosingReleasesItsNotes) {
    RecordingSink sink;
    {
        LiveKeyboard keyboard(
            sink, [] { return 0u; }, [] { return 0u; });
        keyboard.activate_check(true);
        keyboard.key_down('Z', {});
    }
    EXPECT_EQ(sink.log.back(), "release #1");
}

} // namespace
} // namespace tunemill
