// The keyboard window as a player uses it: mouse presses in the key zones, the PC keys by their
// position under several layouts, MIDI notes reaching the focused window, the grey keys of the
// chosen instrument, the lists of its toolbar, and its place kept over a restart.
#include <QComboBox>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTest>
#include <gtest/gtest.h>

#include "app/common/help.h"

#include "app/common/commands.h"
#include "app/keyboard/keyboard_window.h"
#include "app/keyboard/piano_geometry.h"
#include "app/keyboard/piano_view.h"
#include "app/live/live_input.h"
#include "app/live/pc_piano_keys.h"
#include "app/live/player.h"
#include "live_fixture.h"
#include "playback/output_thread.h"

namespace tunemill {
namespace {

using test::process_for;
using test::process_until;

TEST(PianoGeometry, PressesPickTheKeyOfTheirZone) {
    // White keys 16 wide: black keys 9 wide, their zone reaches 4 pixels into a white key's top.
    const PianoGeometry piano = PianoGeometry::for_size(PianoGeometry::width_for(16), 62);
    ASSERT_EQ(piano.white_width, 16);
    ASSERT_EQ(piano.black_width(), 9);
    ASSERT_EQ(piano.black_height(), 38);
    struct Case {
        const char* what;
        int x, y;
        int32_t key;
    };
    const Case cases[] = {
        {"left third of D, top: C#", 16 + 2, 5, 1},
        {"same place below the black keys: D", 16 + 2, 50, 2},
        {"middle of D, top: D", 16 + 8, 5, 2},
        {"right edge of C, top: C#", 16 - 3, 5, 1},
        {"right edge of E, top: E has no black key at its right", 2 * 16 + 14, 5, 4},
        {"left edge of F, top: F has none at its left", 3 * 16 + 1, 5, 5},
        {"right edge of B of the top octave: B", 48 * 16 + 15, 5, 83},
        {"the last white key's lower part", 48 * 16 + 8, 50, 83},
        {"A# of the octave above C 0", 7 * 16 + 5 * 16 + 15, 5, 22},
        {"right of the keys", 49 * 16 + 3, 50, -1},
        {"below the keys", 20, 62, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(piano.key_at(c.x, c.y), c.key) << c.what;
    // Black keys are centred on the line between their white keys; the band is what redraws.
    EXPECT_EQ(piano.key_rect(1), QRect(16 - 4, 0, 9, 38));
    EXPECT_EQ(piano.key_rect(18), QRect(7 * 16 + 4 * 16 - 4, 0, 9, 38));
    EXPECT_EQ(piano.band(1), QRect(8, 0, 16, 62));
    EXPECT_EQ(piano.band(12), QRect(7 * 16, 0, 16, 62));
}

class KeyboardWindowTest : public test::LiveTest {
  protected:
    KeyboardWindow* open_keyboard() {
        frame_->run_command(CMD_KEYBOARD);
        KeyboardWindow* window = find_window<KeyboardWindow>();
        EXPECT_NE(window, nullptr);
        if (!window) return nullptr;
        window->piano()->setFocus();
        process_until([window] { return window->live().keyboard().active(); }, 1000);
        return window;
    }
    // A point in the lower half of a white key, or at the top of a black key.
    static QPoint point_of(const PianoView* piano, uint32_t key) {
        const QRect rect = piano->geometry_now().key_rect(key);
        return PianoGeometry::is_black(key) ? QPoint(rect.center().x(), rect.top() + 2)
                                            : QPoint(rect.center().x(), rect.bottom() - 3);
    }
    // Sends a key event as the window system does, with the key's scan code.
    static void press(QWidget* widget, uint32_t scan_code, int qt_key, const QString& text,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent down(QEvent::KeyPress, qt_key, modifiers, scan_code, 0, 0, text);
        QApplication::sendEvent(widget, &down);
    }
    static void release(QWidget* widget, uint32_t scan_code, int qt_key, const QString& text) {
        QKeyEvent up(QEvent::KeyRelease, qt_key, Qt::NoModifier, scan_code, 0, 0, text);
        QApplication::sendEvent(widget, &up);
    }
    // The keys that hold a preview note of the live keyboard.
    static std::vector<uint32_t> playing(KeyboardWindow* window) {
        std::vector<uint32_t> keys;
        for (uint32_t key = 0; key < PIANO_KEYS; ++key)
            if (window->live().keyboard().preview_handle(key)) keys.push_back(key);
        return keys;
    }
};

TEST_F(KeyboardWindowTest, TheLeftThirdOfDPlaysCSharpAndTheKeyStaysGreyUntilItsNoteEnds) {
    start_composer();
    add_instrument("Short Bell", false, 300);
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    PianoView* piano = window->piano();
    const PianoGeometry geometry = piano->geometry_now();
    const QRect d = geometry.key_rect(38); // D of octave 3
    QTest::mousePress(piano, Qt::LeftButton, {}, QPoint(d.left() + 1, d.top() + 3));
    EXPECT_EQ(playing(window), std::vector<uint32_t>{37});
    EXPECT_TRUE(piano->sounding()[37]);
    QTest::mouseRelease(piano, Qt::LeftButton, {}, QPoint(d.left() + 1, d.top() + 3));
    // A one-shot note is never cut: the key stays grey while the sample plays, then clears.
    EXPECT_TRUE(piano->sounding()[37]);
    EXPECT_TRUE(process_until([&] { return !piano->sounding()[37]; }, 3000));

    // A looping instrument tapped for a moment sounds its 500 ms and then stops.
    const size_t organ = add_instrument("Organ", true);
    window->instrument_list()->setCurrentIndex(int(organ));
    emit window->instrument_list()->activated(int(organ));
    QTest::mouseClick(piano, Qt::LeftButton, {}, point_of(piano, 40));
    EXPECT_TRUE(piano->sounding()[40]);
    process_for(250);
    EXPECT_TRUE(piano->sounding()[40]) << "released before its 500 ms";
    EXPECT_TRUE(process_until([&] { return !piano->sounding()[40]; }, 3000));
}

TEST_F(KeyboardWindowTest, BaseOctaveFiveLeavesTheTopPcKeysSilentWhileTheMouseReachesEveryKey) {
    start_composer();
    add_instrument("Organ", true);
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    PianoView* piano = window->piano();
    window->octave_list()->setCurrentIndex(0);
    emit window->octave_list()->activated(0);
    EXPECT_EQ(settings().keyboard_base_octave, 5);
    EXPECT_TRUE(piano->hasFocus()) << "the list hands the focus back to the keys";
    EXPECT_EQ(piano->labels()[60], "Z");
    EXPECT_EQ(piano->labels()[83], "U");

    QTest::keyPress(piano, Qt::Key_I);
    EXPECT_TRUE(playing(window).empty()) << "I would be key 84";
    QTest::keyPress(piano, Qt::Key_U);
    QTest::keyPress(piano, Qt::Key_Z);
    EXPECT_EQ(playing(window), (std::vector<uint32_t>{60, 83}));
    QTest::keyPress(piano, Qt::Key_Space);
    EXPECT_TRUE(playing(window).empty());

    QTest::mousePress(piano, Qt::LeftButton, {}, point_of(piano, 0));
    EXPECT_EQ(playing(window), std::vector<uint32_t>{0});
    QTest::mouseRelease(piano, Qt::LeftButton, {}, point_of(piano, 0));
    QTest::mousePress(piano, Qt::LeftButton, {}, point_of(piano, 83));
    EXPECT_TRUE(window->live().keyboard().preview_handle(83));
    QTest::mouseRelease(piano, Qt::LeftButton, {}, point_of(piano, 83));
}

TEST_F(KeyboardWindowTest, WithoutInstrumentsTheListIsOffAndNothingPlays) {
    start_composer();
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->instrument_list()->isEnabled());
    QTest::keyPress(window->piano(), Qt::Key_Z);
    QTest::mouseClick(window->piano(), Qt::LeftButton, {}, point_of(window->piano(), 40));
    EXPECT_TRUE(playing(window).empty());
    EXPECT_FALSE(composer_->player()->output().is_running());

    // The first instrument turns the list on and the keys play it.
    add_instrument("Organ", true);
    EXPECT_TRUE(window->instrument_list()->isEnabled());
    EXPECT_EQ(window->instrument_list()->currentText(), "Organ");
    QTest::keyPress(window->piano(), Qt::Key_Z);
    EXPECT_EQ(playing(window), std::vector<uint32_t>{36});
}

TEST_F(KeyboardWindowTest, TheChoiceFollowsItsInstrumentWhenTheListChanges) {
    start_composer();
    for (const char* name : {"Flute", "Bass", "Strings"})
        add_instrument(name, true);
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    QComboBox* list = window->instrument_list();
    ASSERT_EQ(list->count(), 3);
    list->setCurrentIndex(1);
    emit list->activated(1);
    ASSERT_EQ(window->current_instrument(), 1u);

    // Instruments leave the song through the clean-up, when no voice plays them any more.
    Document& document = composer_->document();
    ASSERT_FALSE(document.song().patterns.empty());
    auto edit_voices = [&](const std::function<void(Pattern&)>& change) {
        Edit edit;
        edit.name = U_CLEAN_UP;
        edit.clean_up = std::pair{-1, -1};
        document.edit(edit, [&](EditContext& c) { change(c.song().patterns[0]); });
    };
    auto play_instrument = [](Pattern& pattern, uint32_t instrument) {
        Voice& voice = pattern.voices[add_voice(pattern, instrument)];
        insert_event(voice, 0, NOTE_ON, 36);
        insert_event(voice, 4, NOTE_OFF, 36);
    };
    edit_voices([&](Pattern& pattern) { // Flute goes: Bass is now the first
        play_instrument(pattern, 1);
        play_instrument(pattern, 2);
    });
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(window->current_instrument(), 0u);
    EXPECT_EQ(list->currentText(), "Bass");
    document.undo();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(window->current_instrument(), 1u);
    EXPECT_EQ(list->currentText(), "Bass");
    document.redo();
    EXPECT_EQ(list->currentText(), "Bass");
    // The chosen instrument itself goes: the index stays within the list.
    edit_voices([](Pattern& pattern) { pattern.voices.erase(pattern.voices.begin()); });
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(window->current_instrument(), 0u);
    EXPECT_EQ(list->currentText(), "Strings");
    edit_voices([](Pattern& pattern) { pattern.voices.clear(); });
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(list->isEnabled());
    QTest::keyPress(window->piano(), Qt::Key_Z);
    EXPECT_TRUE(playing(window).empty());
}

TEST_F(KeyboardWindowTest, PcKeysPlayByTheirPositionUnderEveryLayout) {
    start_composer();
    add_instrument("Organ", true);
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    QWidget* piano = window->piano();
    const uint32_t base = 36; // base octave 3
    // X11 key codes (the Linux input code + 8) with what each layout prints on the key.
    struct Case {
        const char* layout;
        uint32_t scan_code;
        int qt_key;
        const char* text;
        uint32_t key;
    };
    const Case cases[] = {
        {"English", 52, Qt::Key_Z, "z", base + 0},
        {"German", 52, Qt::Key_Y, "y", base + 0},
        {"French", 52, Qt::Key_W, "w", base + 0},
        {"Dvorak", 52, Qt::Key_Semicolon, ";", base + 0},
        {"English", 29, Qt::Key_Y, "y", base + 21},
        {"German", 29, Qt::Key_Z, "z", base + 21},
        {"French", 29, Qt::Key_Y, "y", base + 21},
        {"Dvorak", 29, Qt::Key_F, "f", base + 21},
        {"English", 24, Qt::Key_Q, "q", base + 12},
        {"French", 24, Qt::Key_A, "a", base + 12},
        {"English", 58, Qt::Key_M, "m", base + 11},
        {"French", 58, Qt::Key_Comma, ",", base + 11},
        {"English", 59, Qt::Key_Comma, ",", base + 12},
        {"French", 59, Qt::Key_Semicolon, ";", base + 12},
        {"English", 11, Qt::Key_2, "2", base + 13},
        {"French", 11, Qt::Key_Eacute, "\u00e9", base + 13},
        {"English", 16, Qt::Key_7, "7", base + 22},
    };
    for (const Case& c : cases) {
        press(piano, c.scan_code, c.qt_key, QString::fromUtf8(c.text));
        EXPECT_EQ(playing(window), std::vector<uint32_t>{c.key}) << c.layout << " " << c.text;
        press(piano, 65, Qt::Key_Space, " "); // the space bar releases every note
        EXPECT_TRUE(playing(window).empty());
    }
    // The keys show what the pressed keys printed (here the French letters, learned last).
    EXPECT_EQ(window->piano()->labels()[base + 11], ",");
    // Shift and Control move the key by an octave wherever it lies.
    press(piano, 52, Qt::Key_W, "W", Qt::ShiftModifier);
    EXPECT_EQ(playing(window), std::vector<uint32_t>{base + 12});
    release(piano, 52, Qt::Key_W, "W");
    press(piano, 65, Qt::Key_Space, " ");
    PianoKeyLabels::instance().reset();

    // By letter the French key at the Q position, printed A, is not a piano key.
    settings().keyboard_mapping = int32_t(KeyMapping::BY_LETTER);
    press(piano, 24, Qt::Key_A, "a");
    EXPECT_TRUE(playing(window).empty());
    press(piano, 24, Qt::Key_Q, "q");
    EXPECT_EQ(playing(window), std::vector<uint32_t>{base + 12});
    press(piano, 65, Qt::Key_Space, " ");
    settings().keyboard_mapping = int32_t(KeyMapping::BY_POSITION);
}

TEST_F(KeyboardWindowTest, MidiNotesReachTheWindowThatHasTheFocus) {
    start_composer(1);
    ASSERT_TRUE(composer_->midi_input().is_open());
    add_instrument("Organ", true);
    KeyboardWindow* keyboard = open_keyboard();
    ASSERT_NE(keyboard, nullptr);
    EXPECT_EQ(frame_->midi_router().target(), keyboard);

    play_into_port({test::note_on(60)});
    ASSERT_TRUE(process_until([&] { return keyboard->live().keyboard().preview_handle(36) != 0; }));
    EXPECT_TRUE(keyboard->piano()->sounding()[36]);
    play_into_port({test::note_off(60)});
    EXPECT_TRUE(process_until([&] { return !keyboard->piano()->sounding()[36]; }, 3000));

    // Another window that plays live notes (as the instruments window does) takes the focus:
    // the notes follow it, and the keyboard window lets its held keys go.
    play_into_port({test::note_on(62)});
    ASSERT_TRUE(process_until([&] { return keyboard->live().keyboard().preview_handle(38) != 0; }));
    auto* other = new QWidget;
    other->setObjectName("OtherLiveWindow");
    other->setFocusPolicy(Qt::StrongFocus);
    // Owned by its window, as a window's live input is.
    auto* other_live = new LiveInput(other, &composer_->player()->output(), &frame_->midi_router(),
                                     [] { return 0u; });
    QMdiSubWindow* child = frame_->mdi_area()->addSubWindow(other);
    child->show();
    frame_->mdi_area()->setActiveSubWindow(child);
    other->setFocus();
    ASSERT_TRUE(process_until([&] { return frame_->midi_router().target() == other; }));
    EXPECT_FALSE(keyboard->live().keyboard().active());
    EXPECT_EQ(keyboard->live().keyboard().preview_handle(38), 0u);
    play_into_port({test::note_on(64)});
    ASSERT_TRUE(process_until([&] { return other_live->keyboard().preview_handle(40) != 0; }));
    EXPECT_EQ(keyboard->live().keyboard().preview_handle(40), 0u);
    other_live->release_all();
    child->close();
}

TEST_F(KeyboardWindowTest, KeysPlayedWhileTheSongPlaysShowGrey) {
    const std::filesystem::path module = dir_ / "tiny.mod";
    test::write_file(module, test::tiny_mod());
    start_composer();
    frame_->load_song(module.string());
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    frame_->run_command(CMD_PLAY_SONG);
    OutputThread& output = composer_->player()->output();
    ASSERT_TRUE(process_until([&] { return output.is_running(); }));
    QTest::keyPress(window->piano(), Qt::Key_C);
    EXPECT_TRUE(window->piano()->sounding()[40]);
    EXPECT_TRUE(output.is_running()) << "the song plays on under the note";
    QTest::keyRelease(window->piano(), Qt::Key_C);
    EXPECT_TRUE(process_until([&] { return !window->piano()->sounding()[40]; }, 3000));
    frame_->run_command(CMD_STOP);
}

TEST_F(KeyboardWindowTest, F1OpensTheKeyboardWindowsPage) {
    start_composer();
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    std::vector<QUrl> opened;
    set_url_opener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    QTest::keyClick(window->piano(), Qt::Key_F1);
    set_url_opener({});
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].toString().contains("keyboard.html"))
        << opened[0].toString().toStdString();
}

TEST_F(KeyboardWindowTest, TheWindowComesBackOpenWhereItWas) {
    start_composer();
    frame_->resize(780, 560); // within the offscreen screen, so the frame comes back this size
    KeyboardWindow* window = open_keyboard();
    ASSERT_NE(window, nullptr);
    auto* child = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    ASSERT_NE(child, nullptr);
    EXPECT_GE(window->piano()->width(), 587);
    child->setGeometry(30, 40, 640, 150);
    frame_->close();
    frame_ = nullptr;
    composer_.reset(); // writes the settings
    const Settings stored = settings();
    EXPECT_EQ(stored.keyboard_window_open, 1);
    EXPECT_EQ(stored.keyboard_window_pos, (WindowRect{30, 30 + 640, 40, 40 + 150}));

    start_composer();
    KeyboardWindow* again = find_window<KeyboardWindow>();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->parentWidget()->geometry(), QRect(30, 40, 640, 150));
}

} // namespace
} // namespace tunemill
