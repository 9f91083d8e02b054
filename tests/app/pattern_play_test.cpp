// Playing and entering notes in the pattern window: the toolbar's buttons and note lengths, Play
// Pattern, Block and Voice on the null sound device with the playback cell, follow playback
// paging by measures, step entry from the PC keyboard's piano keys and from MIDI notes with the
// chord rule by the clock, Record Voice and Record Block from their first note to their end, and
// no missed block while the song is edited during playback.
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

#include "app/common/commands.h"
#include "app/live/live_events.h"
#include "app/pattern/voices_pane.h"
#include "pattern_fixture.h"
#include "song/editing.h"

namespace tunemill {
namespace {

using test::PatternTest;
using test::process_for;
using test::process_until;

class PatternPlayTest : public PatternTest {
  protected:
    void start(double speed, int32_t length = 32) {
        settings().keyboard_base_octave = 3;
        use_player(speed);
        open("");
        use_empty_song(length);
        // A clock the test moves: the chord rule compares step times with note durations.
        window().step_entry().set_clock([this] { return clock_ms_; });
    }
    OutputThread& output() { return player().output(); }
    bool running() { return output().is_running(); }
    void stop() {
        output().stop(StopMode::NOW);
        process_until([this] { return editor().playback_tick() < 0 && !editor().playing(); }, 2000);
    }
    uint64_t clock_ms_ = 1000;
};

TEST_F(PatternPlayTest, TheToolbarFollowsTheWindow) {
    start(1.0);
    QToolBar* tools = window().toolbar();
    EXPECT_EQ(tools->objectName().toStdString(), "PatternToolbar");
    // Note lengths: the buttons choose the index, the pressed one is the current.
    window().note_length_button(1)->trigger();
    EXPECT_EQ(editor().note_length(), 1);
    EXPECT_TRUE(window().note_length_button(1)->isChecked());
    EXPECT_FALSE(window().note_length_button(2)->isChecked());
    EXPECT_FALSE(window().note_length_button(5)->isEnabled());
    // Follow Playback: the button and the menu's check mark.
    window().tool(CMD_FOLLOW_PLAYBACK)->trigger();
    EXPECT_TRUE(editor().follows());
    EXPECT_TRUE(window().tool(CMD_FOLLOW_PLAYBACK)->isChecked());
    frame().update_popup(PLAY_POPUP);
    EXPECT_TRUE(frame().action(CMD_FOLLOW_PLAYBACK)->isChecked());
    frame().run_key_command(CMD_FOLLOW_PLAYBACK);
    EXPECT_FALSE(editor().follows());
    // Block commands only with a block; Play Voice only with voices.
    EXPECT_FALSE(window().tool(CMD_PLAY_BLOCK)->isEnabled());
    editor().set_block(0, 4, Pane::NOTES);
    EXPECT_TRUE(window().tool(CMD_PLAY_BLOCK)->isEnabled());
    EXPECT_TRUE(window().tool(CMD_DELETE)->isEnabled());
    window().point_at(1);
    song_for_setup().patterns[1].voices.clear();
    document().announce_all();
    QApplication::processEvents();
    EXPECT_FALSE(window().tool(CMD_PLAY_VOICE)->isEnabled());
    EXPECT_FALSE(window().tool(CMD_CUT)->isEnabled());
}

// Every command button of the toolbar against the menu item of its command: greyed and checked
// alike in each situation, and a press does what choosing the item does.
TEST_F(PatternPlayTest, EveryToolbarButtonFollowsTheMenusRules) {
    start(1.0);
    {
        Song& song = song_for_setup();
        add_note(song.patterns[0], 0, 0, 4, 40);
        add_note(song.patterns[0], 1, 2, 8, 45);
        document().announce_all();
    }
    struct Situation {
        const char* name;
        std::function<void()> make;
    };
    const Situation situations[] = {
        {"no block", [&] { editor().clear_block(); }},
        {"a block of notes", [&] { editor().set_block(0, 4, Pane::NOTES); }},
        {"a block of volume", [&] { editor().set_block(0, 4, Pane::VOLUME); }},
        {"a block on the clipboard",
         [&] {
             editor().set_block(0, 4, Pane::NOTES);
             window().run_command(CMD_COPY);
             editor().clear_block();
         }},
        {"following playback", [&] { editor().set_follow(true); }},
        {"a pattern without voices", [&] { window().point_at(1); }},
    };
    song_for_setup().patterns[1].voices.clear();
    document().announce_all();
    QUndoStack& history = document().history();
    // What a command leaves: the history's steps, the last one's name, the block and following.
    auto outcome = [&] {
        return std::make_tuple(history.index(), history.undoText(), editor().block().exists(),
                               editor().follows());
    };
    auto back_to = [&](int index) {
        while (history.index() > index)
            history.undo();
        stop();
    };
    int buttons = 0;
    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        situation.make();
        QApplication::processEvents();
        for (QAction* button : window().toolbar()->actions()) {
            const int command = button->data().toInt();
            if (command == 0) continue; // the selector, separators and note lengths
            SCOPED_TRACE(command);
            ++buttons;
            frame().update_popup(popup_of(command));
            QAction* item = frame().action(command);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(button->isEnabled(), item->isEnabled());
            if (button->isCheckable()) {
                EXPECT_EQ(button->isChecked(), item->isChecked());
            }
            if (!button->isEnabled()) continue;
            const auto before = outcome();
            const int start_index = history.index();
            QTest::mouseClick(window().toolbar()->widgetForAction(button), Qt::LeftButton);
            const auto pressed = outcome();
            back_to(start_index);
            situation.make();
            if (editor().follows() != std::get<3>(before)) editor().set_follow(std::get<3>(before));
            item->trigger();
            EXPECT_EQ(outcome(), pressed);
            back_to(start_index);
            situation.make();
            if (editor().follows() != std::get<3>(before)) editor().set_follow(std::get<3>(before));
            QApplication::processEvents();
        }
        editor().set_follow(false);
    }
    EXPECT_GT(buttons, 0);
}

TEST_F(PatternPlayTest, PlayPatternShowsThePlaybackCellUntilStop) {
    start(4.0);
    add_note(song_for_setup().patterns[0], 0, 0, 16, 40);
    document().announce_all();
    key(Qt::Key_F6);
    EXPECT_TRUE(running());
    EXPECT_EQ(player().engine().mode(), PlayMode::PATTERN);
    ASSERT_TRUE(process_until([this] { return editor().playback_tick() > 0; }));
    EXPECT_TRUE(editor().playing());
    // Not following: the cursor stays, the cell moves.
    EXPECT_EQ(editor().cursor(), 0u);
    key(Qt::Key_F9);
    EXPECT_FALSE(running());
    EXPECT_TRUE(process_until([this] { return editor().playback_tick() < 0; }));
}

TEST_F(PatternPlayTest, PlayBlockStopsWhenTheBlockChanges) {
    start(1.0, 256);
    add_note(song_for_setup().patterns[0], 0, 0, 200, 40);
    document().announce_all();
    editor().set_block(16, 200, Pane::NOTES);
    key(Qt::Key_F7);
    ASSERT_TRUE(running());
    EXPECT_EQ(player().engine().mode(), PlayMode::BLOCK);
    EXPECT_EQ(player().engine().owner(), &editor());
    EXPECT_NE(player().engine().solo_voice_id(), 0u) << "the current voice alone";
    ASSERT_TRUE(process_until([this] { return editor().playback_tick() >= 16; }));
    // Another window's block playback is not this window's to stop.
    editor().set_block(16, 100, Pane::NOTES);
    EXPECT_FALSE(running());
}

TEST_F(PatternPlayTest, PlayVoiceFromTheKeyAndByADoubleClick) {
    start(1.0, 64);
    add_note(song_for_setup().patterns[0], 1, 8, 60, 30);
    document().announce_all();
    editor().set_voice(1);
    key(Qt::Key_F8);
    ASSERT_TRUE(running());
    EXPECT_EQ(player().engine().solo_voice_id(), song().patterns[0].voices[1].id);
    output().stop(StopMode::NOW);
    VoicesPane* voices = window().voices_pane();
    QTest::mouseDClick(voices->viewport(), Qt::LeftButton, {}, voices->voice_rect(1).center());
    EXPECT_TRUE(running());
    stop();
}

TEST_F(PatternPlayTest, FollowPlaybackPagesByMeasures) {
    start(16.0, 512);
    add_note(song_for_setup().patterns[0], 0, 0, 500, 40);
    document().announce_all();
    editor().set_follow(true);
    const int columns = editor().geometry().visible_columns;
    ASSERT_GT(columns, 16);
    key(Qt::Key_F6);
    ASSERT_TRUE(process_until([this] { return editor().geometry().first_tick > 0; }, 8000));
    // The view jumped to a measure; the cursor is the position, inside the page.
    const Tick first = editor().geometry().first_tick;
    EXPECT_EQ(first % 16, 0u);
    EXPECT_GE(editor().cursor(), first);
    EXPECT_LT(editor().cursor(), first + Tick(columns));
    // While following a playback the user's cursor keys and scrolling are refused.
    const Tick cursor = editor().cursor();
    EXPECT_FALSE(editor().move_cursor_key(Qt::Key_Home, false));
    EXPECT_FALSE(editor().set_first_beat(0, true));
    EXPECT_GE(editor().cursor(), cursor);
    stop();
    EXPECT_TRUE(editor().move_cursor_key(Qt::Key_Home, false));
}

TEST_F(PatternPlayTest, PianoKeysEnterNotesAtTheCursorWithChordsByTheClock) {
    start(1.0);
    // Z is the base octave's C: key 36; a quarter (4 ticks) at the cursor, which moves on.
    key(Qt::Key_Z);
    EXPECT_EQ(notes(0), "36@0-4");
    EXPECT_EQ(editor().cursor(), 4u);
    // C struck at once joins it as a chord at the same place; the cursor stays.
    clock_ms_ += 100;
    key(Qt::Key_C);
    EXPECT_EQ(notes(0), "36@0-4 40@0-4");
    EXPECT_EQ(editor().cursor(), 4u);
    // Three quarters of the 500 ms note later, the next note goes to the cursor.
    clock_ms_ += 400;
    key(Qt::Key_Z, Qt::ShiftModifier);
    EXPECT_EQ(notes(0), "36@0-4 40@0-4 48@4-8");
    EXPECT_EQ(editor().cursor(), 8u);
    // Control an octave down (Ctrl+Z is Undo, so D: key 26); the same key twice in a row gives
    // two notes, kept apart.
    clock_ms_ += 1000;
    key(Qt::Key_X, Qt::ControlModifier);
    clock_ms_ += 1000;
    key(Qt::Key_Z);
    clock_ms_ += 1000;
    key(Qt::Key_Z);
    EXPECT_EQ(notes(0), "36@0-4 40@0-4 48@4-8 26@8-12 36@12-16 36@16-20");
    // An auto-repeated key enters nothing.
    clock_ms_ += 1000;
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"), true);
    QApplication::sendEvent(&window(), &repeat);
    EXPECT_EQ(editor().cursor(), 20u);
    // A sixteenth at the next key.
    window().note_length_button(4)->trigger();
    key(Qt::Key_X);
    EXPECT_EQ(notes(0), "36@0-4 40@0-4 48@4-8 26@8-12 36@12-16 36@16-20 38@20-21");
    // Each note is one step of the history.
    EXPECT_EQ(document().history().count(), 7);
}

TEST_F(PatternPlayTest, MidiNotesReachTheFocusedWindow) {
    start(1.0);
    window().setFocus();
    QApplication::processEvents();
    process_for(600);
    EXPECT_EQ(frame().midi_router().target(), &window());
    MidiNoteEvent on(60, 10);
    frame().midi_router().deliver(on);
    MidiNoteEvent off(60 | MIDI_NOTE_OFF, 20);
    frame().midi_router().deliver(off);
    EXPECT_EQ(notes(0), "60@0-4");
    EXPECT_EQ(editor().cursor(), 4u);
    // Without voices nothing is entered.
    window().point_at(1);
    song_for_setup().patterns[1].voices.clear();
    document().announce_all();
    MidiNoteEvent again(62, 30);
    frame().midi_router().deliver(again);
    EXPECT_TRUE(song().patterns[1].voices.empty());
}

TEST_F(PatternPlayTest, RecordVoiceStartsOnTheFirstNoteAndEndsWithEscape) {
    start(1.0, 400);
    Song& song = song_for_setup();
    add_note(song.patterns[0], 0, 40, 44, 50);
    add_note(song.patterns[0], 1, 0, 8, 28);
    document().announce_all();
    editor().set_cursor(12);
    frame().run_key_command(CMD_RECORD_VOICE);
    EXPECT_TRUE(editor().recording().active);
    EXPECT_EQ(editor().cursor(), 0u);
    EXPECT_EQ(editor().playback_tick(), 0);
    EXPECT_FALSE(running()) << "waiting for the first note";
    // The first note goes to tick 0, clears the voice's notes after it and starts the recording
    // playback of the pattern with every voice sounding.
    key(Qt::Key_Z);
    EXPECT_EQ(notes(0), "36@0-4");
    EXPECT_EQ(notes(1), "28@0-8");
    ASSERT_TRUE(running());
    EXPECT_TRUE(player().engine().recording());
    EXPECT_EQ(player().engine().owner(), &editor());
    EXPECT_EQ(player().engine().solo_voice_id(), 0u);
    // Later notes go where the playback is.
    ASSERT_TRUE(process_until([this] { return editor().playback_tick() >= 6; }));
    clock_ms_ += 1000;
    key(Qt::Key_C);
    const Tick at = song.patterns[0].voices[0].events[2].tick;
    EXPECT_GE(at, 6u);
    EXPECT_EQ(song.patterns[0].voices[0].events[2].param1, 40);
    // The cursor keys are refused while recording; Escape ends it.
    EXPECT_FALSE(editor().move_cursor_key(Qt::Key_Home, false));
    key(Qt::Key_Escape);
    EXPECT_FALSE(editor().recording().active);
    EXPECT_FALSE(running());
    EXPECT_EQ(editor().playback_tick(), -1);
}

TEST_F(PatternPlayTest, RecordBlockRecordsIntoTheBlockAndEndsWhenTheBlockChanges) {
    start(1.0, 64);
    Song& song = song_for_setup();
    add_note(song.patterns[0], 0, 20, 24, 50);
    add_note(song.patterns[0], 0, 40, 44, 52);
    document().announce_all();
    // Without a block Record Block is grey.
    frame().run_key_command(CMD_RECORD_BLOCK);
    EXPECT_FALSE(editor().recording().active);
    editor().set_block(16, 32, Pane::NOTES);
    frame().run_key_command(CMD_RECORD_BLOCK);
    ASSERT_TRUE(editor().recording().active);
    EXPECT_EQ(editor().cursor(), 16u);
    key(Qt::Key_Z);
    // Cleared to the block's end only: the note at 40 stays.
    EXPECT_EQ(notes(0), "36@16-20 52@40-44");
    ASSERT_TRUE(running());
    EXPECT_EQ(player().engine().mode(), PlayMode::BLOCK);
    EXPECT_NE(player().engine().solo_voice_id(), 0u) << "All Voices is off: the voice alone";
    editor().set_block(0, 8, Pane::NOTES);
    EXPECT_FALSE(editor().recording().active);
    EXPECT_FALSE(running());
}

TEST_F(PatternPlayTest, EditingDuringPlaybackMissesNoBlock) {
    start(1.0, 128);
    add_note(song_for_setup().patterns[0], 1, 0, 120, 28);
    document().announce_all();
    key(Qt::Key_F6);
    ASSERT_TRUE(running());
    // A second of drawing while the pattern plays.
    for (int step = 0; step < 20; ++step) {
        drag(Pane::NOTES, pitch_point(Tick(step * 4), 40 + step % 12),
             pitch_point(Tick(step * 4 + 3), 40 + step % 12));
        process_for(40);
    }
    EXPECT_TRUE(running());
    EXPECT_EQ(output().recoveries(), 0u);
    EXPECT_FALSE(player().engine().lock_timed_out());
    stop();
}

} // namespace
} // namespace tunemill
