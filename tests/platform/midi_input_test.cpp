// MIDI input: the note mapping, the ring of 128 messages, opening and closing with the error
// shown once, and the machine's own MIDI system (which has no sequencer here).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "platform/midi_input.h"

namespace tunemill {
namespace {

uint32_t message(uint32_t status, uint32_t note, uint32_t velocity) {
    return status | note << 8 | velocity << 16;
}

TEST(MidiNotes, MapNote24ToKey0AndOffsToBit0x100OnAnyChannel) {
    struct Case {
        uint32_t message;
        std::optional<uint32_t> parameter;
    };
    const std::vector<Case> cases = {
        {message(0x90, 24, 100), 0u},
        {message(0x90, 107, 1), 83u},
        {message(0x90, 23, 100), std::nullopt},
        {message(0x90, 108, 100), std::nullopt},
        {message(0x9F, 60, 64), 36u},                 // channel 16
        {message(0x80, 60, 64), 36u | MIDI_NOTE_OFF}, // note-off
        {message(0x93, 60, 0), 36u | MIDI_NOTE_OFF},  // note-on with velocity 0
        {message(0xB0, 60, 64), std::nullopt},        // a controller
        {message(0xE0, 60, 64), std::nullopt},        // pitch bend
        {message(0xA0, 60, 64), std::nullopt},        // aftertouch
    };
    for (const Case& c : cases)
        EXPECT_EQ(midi_note_parameter(c.message), c.parameter) << std::hex << c.message;
}

class RecordingTarget : public MidiTarget {
  public:
    void midi_note(uint32_t parameter, uint32_t time_stamp) override {
        notes.push_back({parameter, time_stamp});
    }
    std::vector<std::pair<uint32_t, uint32_t>> notes;
};

// A MIDI system with named ports, whose open can be made to fail.
class FakeBackend : public MidiBackend {
  public:
    struct Log {
        std::vector<std::string> calls;
    };
    FakeBackend(Log& log, std::vector<std::string> ports, int32_t open_code = 0)
        : log_(log), ports_(std::move(ports)), open_code_(open_code) {}
    std::vector<std::string> port_names() override { return ports_; }
    int32_t open(uint32_t port, Receive, void*, std::string& error) override {
        log_.calls.push_back("open " + std::to_string(port));
        if (open_code_) error = "port " + std::to_string(port) + " is busy";
        return open_code_;
    }
    void close() override { log_.calls.push_back("close"); }

  private:
    Log& log_;
    std::vector<std::string> ports_;
    int32_t open_code_;
};

TEST(MidiInput, ListsNoneFirstThenThePorts) {
    FakeBackend::Log log;
    MidiInput input(std::make_unique<FakeBackend>(log, std::vector<std::string>{"Keys", "Pads"}));
    const std::vector<MidiDeviceInfo> expected = {
        {NO_MIDI_INPUT, load_string(S_NONE)}, {0, "Keys"}, {1, "Pads"}};
    EXPECT_EQ(input.devices(), expected);
    EXPECT_EQ(input.devices().front().name, "(none)");
}

TEST(MidiInput, OpensKeepsSwitchesAndClosesOnNone) {
    FakeBackend::Log log;
    MidiInput input(std::make_unique<FakeBackend>(log, std::vector<std::string>{"Keys", "Pads"}));
    input.open(1);
    EXPECT_TRUE(input.is_open());
    input.open(1); // the open one is kept
    input.open(0);
    input.open(NO_MIDI_INPUT); // "(none)" closes
    EXPECT_FALSE(input.is_open());
    input.open(7); // not a device: no MIDI input
    EXPECT_FALSE(input.is_open());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"open 1", "close", "open 0", "close"}));
}

TEST(MidiInput, AFailedOpenIsShownOnceAndLeavesTheInputClosed) {
    std::vector<std::string> shown;
    FakeBackend::Log log;
    MidiInput input(std::make_unique<FakeBackend>(log, std::vector<std::string>{"Keys"}, 3));
    input.set_reporter([&](const ERROR& error) { shown.push_back(error.compose_message()); });
    input.open(0);
    EXPECT_FALSE(input.is_open());
    EXPECT_EQ(shown, std::vector<std::string>{"port 0 is busy"});
}

TEST(MidiInput, HandsNotesToTheTargetInOrderAndWaitsForTheEndOfMoreData) {
    FakeBackend::Log log;
    MidiInput input(std::make_unique<FakeBackend>(log, std::vector<std::string>{}));
    RecordingTarget target;
    input.receive(message(0x90, 60, 100), 5, false); // no target yet: dropped
    input.set_target(&target);
    input.receive(message(0x90, 60, 100), 10, true);
    input.receive(message(0xB0, 7, 100), 11, true);
    EXPECT_TRUE(target.notes.empty()) << "more data follows";
    input.receive(message(0x80, 60, 0), 12, false);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{36, 10},
                                                                 {36 | MIDI_NOTE_OFF, 12}};
    EXPECT_EQ(target.notes, expected);
}

TEST(MidiInput, TheRingDropsMessagesWhen127ArePending) {
    FakeBackend::Log log;
    MidiInput input(std::make_unique<FakeBackend>(log, std::vector<std::string>{}));
    RecordingTarget target;
    input.set_target(&target);
    for (uint32_t i = 0; i < 200; ++i)
        input.receive(message(0x90, 24 + i % 84, 1), i, true);
    input.receive(message(0x90, 24, 1), 999, false);
    ASSERT_EQ(target.notes.size(), 127u);
    EXPECT_EQ(target.notes.back().second, 126u) << "the newest messages were dropped";
}

TEST(MidiInput, WithoutASequencerTheMachineListsNoneAlone) {
    // This machine has no ALSA sequencer; where one exists the list simply holds more.
    MidiInput input;
    ASSERT_GE(input.devices().size(), 1u);
    EXPECT_EQ(input.devices().front().id, NO_MIDI_INPUT);
    input.open(NO_MIDI_INPUT);
    EXPECT_FALSE(input.is_open());
}

} // namespace
} // namespace tunemill
