// What the playback thread and the MIDI input tell the windows: position reports arrive as posted
// events in playing order and end with one end report; the MIDI input opens at start-up with the
// stored device, its notes reach the window that takes them, and it is closed at shut-down.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

#include "app/common/commands.h"
#include "app/live/live_events.h"
#include "app/live/player.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "live_fixture.h"
#include "platform/audio_device.h"
#include "settings/settings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

// A window that keeps what it was sent.
class Recorder : public QObject {
  public:
    struct Position {
        uint32_t pattern_word;
        int32_t tick;
    };
    bool event(QEvent* event) override {
        if (event->type() == POSITION_EVENT) {
            const auto* position = static_cast<PositionEvent*>(event);
            positions.push_back({position->pattern_word, position->tick});
            return true;
        }
        if (event->type() == MIDI_NOTE_EVENT) {
            const auto* note = static_cast<MidiNoteEvent*>(event);
            notes.push_back({note->key(), note->note_off(), note->time_stamp});
            return true;
        }
        return QObject::event(event);
    }
    size_t ends() const {
        size_t count = 0;
        for (const Position& position : positions)
            count += (position.pattern_word & REPORT_LAST) != 0;
        return count;
    }
    std::vector<Position> positions;
    struct Note {
        uint32_t key;
        bool off;
        uint32_t time_stamp;
        bool operator==(const Note&) const = default;
    };
    std::vector<Note> notes;
};

using test::MidiPorts;
using test::process_for;
using test::process_until;

class LiveEventsTest : public test::AppTest {
  protected:
    std::unique_ptr<Composer> make_composer(uint32_t midi_device) {
        settings() = Settings{};
        settings().midi_device_id = midi_device;
        settings().repeat = 0;
        EXPECT_TRUE(write_settings());
        Composer::Options options;
        options.splash = false;
        options.audio = &audio_;
        options.midi_backend = [this] { return std::make_unique<MidiPorts>(ports_); };
        return std::make_unique<Composer>(options);
    }
    void play_into_port(std::vector<uint32_t> messages) {
        std::thread midi_thread([this, messages] {
            std::lock_guard lock(ports_.mutex);
            ASSERT_NE(ports_.receive, nullptr);
            uint32_t time = 100;
            for (uint32_t message : messages)
                ports_.receive(ports_.context, message, time++, false);
        });
        midi_thread.join();
    }

    NullAudioSystem audio_;
    MidiPorts::State ports_;
};

TEST_F(LiveEventsTest, PositionsArriveInPlayingOrderAndEndOnce) {
    const fs::path module = dir_ / "tiny.mod";
    test::write_file(module, test::tiny_mod());
    audio_.set_speed(20);
    auto composer = make_composer(NO_MIDI_INPUT);
    MainWindow* frame = composer->start({QString::fromStdString(module.string())});
    OutputThread& output = composer->player()->output();

    auto window = std::make_unique<Recorder>();
    auto poster = std::make_unique<PositionPoster>(output, window.get());
    frame->run_command(CMD_PLAY_SONG);
    ASSERT_TRUE(process_until([&] { return window->ends() > 0; }));
    // A few more turns of the loop: the end is reported exactly once.
    process_for(300);
    ASSERT_GT(window->positions.size(), 2u);
    EXPECT_EQ(window->ends(), 1u);
    EXPECT_TRUE(window->positions.back().pattern_word & REPORT_LAST);
    for (size_t i = 1; i + 1 < window->positions.size(); ++i) {
        EXPECT_EQ(window->positions[i].pattern_word, 0u) << i; // the one pattern of the module
        EXPECT_GE(window->positions[i].tick, window->positions[i - 1].tick) << i;
    }

    // Reports still queued can be discarded, and a window that has gone hears nothing more.
    window->positions.clear();
    frame->run_command(CMD_PLAY_SONG);
    ASSERT_TRUE(process_until([&] { return output.reported_tick() > 0; }));
    QCoreApplication::sendPostedEvents(window.get(), 0);
    poster->discard_queued();
    poster.reset();
    const size_t seen = window->positions.size();
    process_until([&] { return !output.is_running(); });
    QCoreApplication::processEvents();
    EXPECT_EQ(window->positions.size(), seen);
    frame->close();
}

TEST_F(LiveEventsTest, MidiOpensAtStartAndNotesReachTheTargetWindow) {
    auto composer = make_composer(1);
    EXPECT_TRUE(composer->midi_input().is_open());
    EXPECT_EQ(ports_.calls, std::vector<std::string>{"open 1"});
    MainWindow* frame = composer->start({});

    // Without a target window the notes are dropped.
    play_into_port({0x90 | 60u << 8 | 100u << 16});
    QCoreApplication::processEvents();

    Recorder window;
    frame->midi_router().set_target(&window);
    // C-4 on, a controller (ignored), C-4 off as a note-on of velocity 0, the lowest key off.
    play_into_port({0x90 | 60u << 8 | 100u << 16, 0xB0 | 7u << 8 | 90u << 16, 0x93 | 60u << 8,
                    0x80 | 24u << 8});
    ASSERT_TRUE(process_until([&] { return window.notes.size() == 3; }));
    EXPECT_EQ(window.notes,
              (std::vector<Recorder::Note>{{36, false, 100}, {36, true, 102}, {0, true, 103}}));

    // A target that closes leaves the notes without a receiver, and nothing breaks.
    {
        Recorder closing;
        frame->midi_router().set_target(&closing);
    }
    play_into_port({0x90 | 62u << 8 | 100u << 16});
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->midi_router().target(), nullptr);

    frame->close();
    composer->finish();
    EXPECT_EQ(ports_.calls, (std::vector<std::string>{"open 1", "close"}));
}

TEST_F(LiveEventsTest, MidiThatFailsToOpenIsShownOnceAndTheProgramStarts) {
    ports_.open_code = 4;
    std::unique_ptr<Composer> composer;
    const std::vector<QString> boxes =
        test::error_boxes_during([&] { composer = make_composer(0); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].contains("port busy")) << boxes[0].toStdString();
    EXPECT_FALSE(composer->midi_input().is_open());
    MainWindow* frame = composer->start({});
    EXPECT_EQ(frame->windowTitle(), "Tunemill - Untitled");
    frame->close();

    // No MIDI device stored: the MIDI system is not even asked.
    composer.reset();
    ports_.calls.clear();
    composer = make_composer(NO_MIDI_INPUT);
    EXPECT_TRUE(ports_.calls.empty());
}

} // namespace
} // namespace tunemill
