// The voice commands and the window's life: Add Voice and Replace Instrument through the browser
// (a stand-in here) with the song clean-up in the same step, Delete Voice with every window's
// current voice following, Mute Voice by a right click without changing the song, the current
// voice chosen in the voices pane and kept by instrument across patterns; start-up, New and Load
// with one window on pattern 0; the settings stored and restored; F1's page.
#include <QComboBox>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/instruments/instrument_browser_dialog.h"
#include "app/pattern/captions.h"
#include "app/pattern/voices_pane.h"
#include "app/shell/application.h"
#include "instruments/instrument.h"
#include "pattern_fixture.h"
#include "song/instrument_array.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;
using test::PatternTest;

class PatternVoicesTest : public PatternTest {
  protected:
    void SetUp() override {
        PatternTest::SetUp();
        open("");
        use_empty_song(32);
        Song& song = song_for_setup();
        // Three instruments; pattern I: piano and bass with notes; pattern II: the bass.
        Instrument organ = make_sampled_instrument("Organ", 3, 1000, 0, 22050, 2, false);
        add_instrument(song, std::move(organ));
        add_note(song.patterns[0], 0, 0, 4, 40);
        add_note(song.patterns[0], 1, 0, 8, 28);
        add_note(song.patterns[1], 0, 0, 8, 30);
        document().announce_all();
        document().history().clear();
    }
    void choose(size_t index, bool temporary = false) {
        chooser_ = [index, temporary, this](BrowserMode mode) -> std::optional<BrowserChoice> {
            modes_.push_back(mode);
            return BrowserChoice{index, temporary};
        };
    }
    std::string instrument_of(size_t pattern, size_t voice) const {
        return song().instruments[song().patterns[pattern].voices[voice].instrument].name;
    }
    std::vector<BrowserMode> modes_;
};

TEST_F(PatternVoicesTest, AddVoiceMakesTheChosenInstrumentsVoiceCurrent) {
    choose(2);
    key(Qt::Key_F3);
    ASSERT_EQ(modes_, std::vector<BrowserMode>{BrowserMode::ADD_VOICE});
    ASSERT_EQ(song().patterns[0].voices.size(), 3u);
    EXPECT_EQ(instrument_of(0, 2), "Organ");
    EXPECT_EQ(editor().voice(), 2u);
    EXPECT_EQ(window().note_caption()->text().toStdString(), "Notes: Organ");
    EXPECT_EQ(document().history().count(), 1);
    // The new voice is empty, but the clean-up that follows keeps it.
    document().undo();
    EXPECT_EQ(song().patterns[0].voices.size(), 2u);
    EXPECT_LT(editor().voice(), 2u);
    // Cancelled in the browser: nothing.
    chooser_ = [](BrowserMode) -> std::optional<BrowserChoice> { return std::nullopt; };
    key(Qt::Key_F3);
    EXPECT_EQ(song().patterns[0].voices.size(), 2u);
}

TEST_F(PatternVoicesTest, F3OpensTheInstrumentBrowser) {
    settings().instrument_folder = dir_.string();
    test::when_modal([](QWidget* modal) {
        EXPECT_NE(qobject_cast<InstrumentBrowser*>(modal), nullptr);
        auto* list = modal->findChild<QListWidget*>();
        ASSERT_NE(list, nullptr);
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Return);
    });
    key(Qt::Key_F3);
    ASSERT_EQ(song().patterns[0].voices.size(), 3u);
    EXPECT_EQ(editor().voice(), 2u);
    const std::string chosen = instrument_of(0, 2);
    EXPECT_FALSE(chosen.empty());
    document().undo();
    EXPECT_EQ(song().patterns[0].voices.size(), 2u);
    for (const Instrument& instrument : song().instruments)
        EXPECT_NE(instrument.name, chosen);
}

TEST_F(PatternVoicesTest, AnInstrumentTheBrowserAddedGoesWithTheUndo) {
    chooser_ = [this](BrowserMode) -> std::optional<BrowserChoice> {
        Instrument strings = make_sampled_instrument("Strings", 9, 1000, 0, 22050, 2, false);
        const std::optional<size_t> index = document().add_temporary_instrument(std::move(strings));
        if (!index) return std::nullopt;
        return BrowserChoice{*index, true};
    };
    auto names = [this] {
        std::string all;
        for (const Instrument& instrument : song().instruments)
            all += instrument.name + " ";
        return all;
    };
    key(Qt::Key_F3);
    EXPECT_EQ(instrument_of(0, 2), "Strings");
    // The clean-up of the same step took the organ, which no voice used.
    EXPECT_EQ(names(), "Piano Bass Strings ");
    document().undo();
    EXPECT_EQ(names(), "Piano Bass Organ ");
    EXPECT_EQ(song().patterns[0].voices.size(), 2u);
    document().redo();
    EXPECT_EQ(instrument_of(0, 2), "Strings");
}

TEST_F(PatternVoicesTest, ReplaceInstrumentAndTheCleanUpInOneStep) {
    // The organ was unused until now; the bass is used in pattern II too, the piano only here.
    choose(2);
    key(Qt::Key_F4);
    ASSERT_EQ(modes_, std::vector<BrowserMode>{BrowserMode::REPLACE_INSTRUMENT});
    EXPECT_EQ(instrument_of(0, 0), "Organ");
    // The piano is used by no voice any more: gone.
    for (const Instrument& instrument : song().instruments)
        EXPECT_NE(instrument.name, "Piano");
    EXPECT_EQ(document().history().count(), 1);
    document().undo();
    EXPECT_EQ(instrument_of(0, 0), "Piano");
    EXPECT_EQ(song().instruments.size(), 3u);
}

TEST_F(PatternVoicesTest, ReplaceInAPatternWithoutVoicesAddsOne) {
    song_for_setup().patterns[1].voices.clear();
    document().announce_all();
    window().point_at(1);
    choose(0);
    // The menu greys Replace Instrument without voices; the command itself adds a voice.
    frame().update_popup(VOICE_POPUP);
    EXPECT_FALSE(frame().action(CMD_REPLACE_INSTRUMENT)->isEnabled());
    window().run_command(CMD_REPLACE_INSTRUMENT);
    ASSERT_EQ(modes_, std::vector<BrowserMode>{BrowserMode::ADD_VOICE});
    ASSERT_EQ(song().patterns[1].voices.size(), 1u);
    EXPECT_EQ(instrument_of(1, 0), "Piano");
}

TEST_F(PatternVoicesTest, DeleteVoiceAndTheOtherWindowsCurrentVoice) {
    // A second window on the same pattern with the bass current.
    frame().run_command(CMD_PATTERN);
    auto* second = dynamic_cast<PatternWindow*>(frame().active_pattern_window());
    ASSERT_NE(second, &window());
    second->editor().set_voice(1);
    frame().mdi_area()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(window().parentWidget()));
    ASSERT_EQ(frame().active_pattern_window(), &window());
    editor().set_voice(0);
    frame().run_key_command(CMD_DELETE_VOICE);
    ASSERT_EQ(song().patterns[0].voices.size(), 1u);
    EXPECT_EQ(instrument_of(0, 0), "Bass");
    EXPECT_EQ(second->editor().voice(), 0u) << "the bass moved down, its window with it";
    EXPECT_EQ(editor().voice(), 0u);
    // The piano's last voice went: the clean-up took the piano too, in the same step.
    for (const Instrument& instrument : song().instruments)
        EXPECT_NE(instrument.name, "Piano");
    EXPECT_EQ(document().history().count(), 1);
    document().undo();
    EXPECT_EQ(song().patterns[0].voices.size(), 2u);
    EXPECT_EQ(instrument_of(0, 0), "Piano");
}

TEST_F(PatternVoicesTest, TheVoicesPaneSelectsAndARightClickMutes) {
    VoicesPane* voices = window().voices_pane();
    QTest::mouseClick(voices->viewport(), Qt::LeftButton, {}, voices->voice_rect(1).center());
    EXPECT_EQ(editor().voice(), 1u);
    EXPECT_EQ(window().note_caption()->text().toStdString(), "Notes: Bass");
    document().song_for_engine().modified = false;
    QTest::mouseClick(voices->viewport(), Qt::RightButton, {}, voices->voice_rect(0).center());
    EXPECT_EQ(editor().voice(), 0u);
    EXPECT_TRUE(song().patterns[0].voices[0].muted);
    EXPECT_FALSE(document().modified()) << "muting changes nothing of the song";
    EXPECT_EQ(document().history().count(), 0);
    frame().update_popup(VOICE_POPUP);
    EXPECT_TRUE(frame().action(CMD_MUTE_VOICE)->isChecked());
    // A right click on an empty cell toggles the current voice.
    QTest::mouseClick(voices->viewport(), Qt::RightButton, {}, voices->voice_rect(5).center());
    EXPECT_FALSE(song().patterns[0].voices[0].muted);
}

TEST_F(PatternVoicesTest, TheCurrentVoiceFollowsItsInstrumentToAnotherPattern) {
    editor().set_voice(1); // the bass
    editor().set_block(0, 8, Pane::NOTES);
    editor().set_cursor(6);
    window().selector()->setCurrentIndex(1);
    emit window().selector()->activated(1);
    EXPECT_EQ(window().pattern_index(), 1u);
    EXPECT_EQ(window().windowTitle().toStdString(), "Pattern II");
    EXPECT_EQ(editor().voice(), 0u) << "pattern II's first bass voice";
    EXPECT_FALSE(editor().block().exists());
    EXPECT_EQ(editor().cursor(), 0u);
    // Back: the first bass voice of pattern I is voice 1.
    window().point_at(0);
    EXPECT_EQ(editor().voice(), 1u);
}

TEST_F(PatternVoicesTest, AnEditInOneWindowRedrawsTheOtherOnTheSamePattern) {
    frame().run_command(CMD_PATTERN);
    auto* second = dynamic_cast<PatternWindow*>(frame().active_pattern_window());
    ASSERT_NE(second, &window());
    QSignalSpy repaints(&second->editor(), &PatternEditor::repaintColumns);
    frame().mdi_area()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(window().parentWidget()));
    click(Pane::NOTES, pitch_point(12, 50));
    ASSERT_GE(repaints.count(), 1);
    const QList<QVariant> last = repaints.takeFirst();
    EXPECT_TRUE(last.at(0).toUInt() & pane_bit(Pane::NOTES));
    EXPECT_LE(last.at(1).value<Tick>(), 12u);
    EXPECT_GE(last.at(2).value<Tick>(), 13u);
}

TEST_F(PatternVoicesTest, F1OpensThePatternWindowsPage) {
    QUrl opened;
    set_url_opener([&opened](const QUrl& url) {
        opened = url;
        return true;
    });
    key(Qt::Key_F1);
    set_url_opener({});
    EXPECT_TRUE(opened.toString().endsWith(QStringLiteral("pattern-window.html")))
        << opened.toString().toStdString();
}

class PatternLifeTest : public PatternTest {};

TEST_F(PatternLifeTest, StartUpNewAndLoadKeepOnePatternWindowOnPatternZero) {
    NullAudioSystem audio;
    Composer::Options options;
    options.splash = false;
    options.audio = &audio;
    options.offer_recovery = false;
    Composer composer(options);
    MainWindow* main = composer.start({});
    ASSERT_EQ(main->pattern_window_count(), 1u);
    auto* first = dynamic_cast<PatternWindow*>(main->first_pattern_window());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle().toStdString(), "Pattern I");
    EXPECT_FALSE(composer.document().modified());
    main->run_command(CMD_PATTERN);
    main->run_command(CMD_PATTERN);
    EXPECT_EQ(main->pattern_window_count(), 3u);
    main->load_song((fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/night-drive.sn2").string());
    ASSERT_EQ(main->pattern_window_count(), 1u);
    auto* kept = dynamic_cast<PatternWindow*>(main->first_pattern_window());
    EXPECT_EQ(kept->pattern_index(), 0u);
    EXPECT_EQ(kept->windowTitle().toStdString(), composer.document().song().patterns[0].name);
    EXPECT_EQ(kept->selector()->count(), int(composer.document().song().patterns.size()));
    kept->point_at(1);
    kept->editor().set_block(0, 4, Pane::NOTES);
    main->run_command(CMD_PATTERN);
    main->new_song();
    ASSERT_EQ(main->pattern_window_count(), 1u);
    kept = dynamic_cast<PatternWindow*>(main->first_pattern_window());
    EXPECT_EQ(kept->pattern_index(), 0u);
    EXPECT_EQ(kept->windowTitle().toStdString(), "Pattern I");
    EXPECT_FALSE(kept->editor().block().exists());
    EXPECT_EQ(kept->selector()->count(), 1);
    main->close();
}

TEST_F(PatternLifeTest, SettingsAreStoredAndRestored) {
    settings().pattern_window.note_len = 3;
    settings().pattern_window.follow_playback = 1;
    settings().pattern_window.size_tempo = 90;
    settings().pattern_window.size_voices = 66;
    settings().pattern_window.pos = WindowRect{30, 530, 40, 440};
    PatternWindow& first = open("first-steps.sn2", QSize(700, 560));
    EXPECT_EQ(first.editor().note_length(), 3);
    EXPECT_TRUE(first.follows_playback());
    EXPECT_TRUE(first.shows_pane(Pane::TEMPO));
    EXPECT_FALSE(first.shows_pane(Pane::VOLUME));
    EXPECT_EQ(first.pane_splitter()->sizes()[3], 90);
    EXPECT_EQ(first.voices_pane()->height(), 66);
    // The user changes them; closing the window stores them.
    first.editor().set_note_length(1);
    first.editor().set_follow(false);
    first.toggle_pane(Pane::VOLUME);
    first.toggle_pane(Pane::TEMPO);
    QApplication::processEvents();
    const int volume = first.pane_splitter()->sizes()[1];
    auto* child = qobject_cast<QMdiSubWindow*>(first.parentWidget());
    child->setGeometry(QRect(15, 25, 640, 500));
    QApplication::processEvents();
    child->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    const PatternWindowSettings& stored = settings().pattern_window;
    EXPECT_EQ(stored.note_len, 1);
    EXPECT_EQ(stored.follow_playback, 0);
    EXPECT_EQ(stored.size_tempo, 0);
    EXPECT_EQ(stored.size_volume, volume);
    EXPECT_EQ(stored.maximized, 0);
    EXPECT_EQ(stored.pos, (WindowRect{15, 655, 25, 525}));
    // The next window opens with them, at the stored place.
    frame().run_command(CMD_PATTERN);
    auto* next = dynamic_cast<PatternWindow*>(frame().active_pattern_window());
    ASSERT_NE(next, nullptr);
    QApplication::processEvents();
    EXPECT_EQ(next->editor().note_length(), 1);
    EXPECT_FALSE(next->follows_playback());
    EXPECT_TRUE(next->shows_pane(Pane::VOLUME));
    EXPECT_EQ(qobject_cast<QMdiSubWindow*>(next->parentWidget())->geometry(),
              QRect(15, 25, 640, 500));
    window_ = next;
}

} // namespace
} // namespace tunemill
