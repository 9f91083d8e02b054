// Cut, Copy and Paste through the system clipboard: a block of one voice or of all voices moves
// between patterns under the MIME type application/x-tunemill-pattern, Paste is there only while
// the clipboard holds a block, a paste finds its instruments by name; and a block copied in one
// running composer pastes in a second one (two processes on one X server).
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QToolBar>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/pattern/pattern_clipboard.h"
#include "event_text.h"
#include "loading/song_loader.h"
#include "pattern_fixture.h"
#include "storage/clipboard.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;
using test::PatternTest;

class PatternClipboardTest : public PatternTest {
  protected:
    void SetUp() override {
        PatternTest::SetUp();
        QGuiApplication::clipboard()->clear();
        open("");
        use_empty_song(32);
        Song& song = song_for_setup();
        add_note(song.patterns[0], 0, 0, 4, 40);
        add_note(song.patterns[0], 0, 4, 8, 43);
        add_note(song.patterns[0], 1, 0, 8, 28);
        set_curve_range(song.patterns[0], 0, 2, 32, VOLUME, 20);
        document().announce_all();
    }
    void copy_block(Tick from, Tick to, Pane pane = Pane::NOTES) {
        editor().set_block(from, to, pane);
        key(Qt::Key_Insert, Qt::ControlModifier);
    }
};

TEST_F(PatternClipboardTest, CopyThenPasteIntoAnotherPattern) {
    EXPECT_FALSE(window().tool(CMD_PASTE)->isEnabled());
    copy_block(0, 8);
    EXPECT_TRUE(clipboard_holds_pattern());
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(
        QStringLiteral("application/x-tunemill-pattern")));
    EXPECT_TRUE(window().tool(CMD_PASTE)->isEnabled());
    frame().update_popup(EDIT_POPUP);
    EXPECT_TRUE(frame().action(CMD_PASTE)->isEnabled());
    // The copy changed nothing.
    EXPECT_EQ(document().history().count(), 0);
    // Into pattern II's voice at tick 4: the notes and the volume the block began with.
    window().point_at(1);
    editor().set_cursor(4);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(notes(0), "40@4-8 43@8-12");
    EXPECT_EQ(editor().cursor(), 12u);
    EXPECT_EQ(song().patterns[1].length, 12);
    EXPECT_EQ(document().history().count(), 1);
    document().undo();
    EXPECT_EQ(events(1, 0), "");
    EXPECT_EQ(song().patterns[1].length, 0);
}

TEST_F(PatternClipboardTest, CutCopiesAndDeletesAndNothingWithoutABlock) {
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_FALSE(clipboard_holds_pattern());
    editor().set_block(0, 4, Pane::NOTES);
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_TRUE(clipboard_holds_pattern());
    EXPECT_EQ(notes(0), "43@0-4");
    EXPECT_FALSE(editor().block().exists());
    EXPECT_EQ(document().history().count(), 1);
    EXPECT_EQ(document().history().text(0).toStdString(), "Cut");
    // Pasting it back where it was restores the voice's notes.
    editor().set_cursor(0);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(notes(0), "40@0-4 43@4-8");
}

TEST_F(PatternClipboardTest, APasteIntoAPatternWithoutVoicesFindsTheInstrumentByName) {
    copy_block(0, 8);
    Song& song = song_for_setup();
    song.patterns[1].voices.clear();
    document().announce_all();
    window().point_at(1);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(song.patterns[1].voices.size(), 1u);
    EXPECT_EQ(song.instruments[song.patterns[1].voices[0].instrument].name, "Piano");
    EXPECT_EQ(notes(0), "40@0-4 43@4-8");
}

TEST_F(PatternClipboardTest, AllVoicesTravelTogetherAndFindTheirVoices) {
    settings().all_voices = 1;
    copy_block(0, 8);
    settings().all_voices = 0;
    window().point_at(1);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    // Pattern II has one voice, of the bass: the bass record goes there, the piano gets a voice.
    ASSERT_EQ(song().patterns[1].voices.size(), 2u);
    EXPECT_EQ(song().instruments[song().patterns[1].voices[0].instrument].name, "Bass");
    EXPECT_EQ(song().instruments[song().patterns[1].voices[1].instrument].name, "Piano");
    EXPECT_EQ(notes(0), "28@0-8");
    EXPECT_EQ(notes(1), "40@0-4 43@4-8");
    EXPECT_EQ(song().patterns[1].length, 8);
}

TEST_F(PatternClipboardTest, AVolumeBlockPastesOnlyTheCurve) {
    window().toggle_pane(Pane::VOLUME);
    QApplication::processEvents();
    copy_block(0, 8, Pane::VOLUME);
    editor().set_voice(1);
    editor().set_cursor(16);
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(testing::describe(song().patterns[0].voices[1].events),
              "on28@0 off28@8 vol20@18 vol30@24");
}

TEST_F(PatternClipboardTest, PasteIsGreyWhileTheClipboardHoldsSomethingElse) {
    copy_block(0, 8);
    QGuiApplication::clipboard()->setText(QStringLiteral("plain words"));
    QApplication::processEvents();
    EXPECT_FALSE(window().tool(CMD_PASTE)->isEnabled());
    frame().update_popup(EDIT_POPUP);
    EXPECT_FALSE(frame().action(CMD_PASTE)->isEnabled());
    key(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(document().history().count(), 0);
}

// Copy in one running composer, paste in a second: two processes of the clipboard peer on one
// X server (Xvfb), each a frame with real pattern windows. The pasted song must hold what the
// clipboard block of the first song gives when pasted in-process.
TEST(PatternClipboardProcesses, ABlockCopiedInOneComposerPastesInAnother) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    const QString peer = QString::fromStdString(
        (fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "pattern_clipboard_peer").string());
    if (xvfb.isEmpty() || !QFileInfo::exists(peer))
        GTEST_SKIP() << "needs xvfb-run and the clipboard peer";
    const fs::path dir = fs::temp_directory_path() /
                         ("tmw-clipboard-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(dir);
    const fs::path out = dir / "pasted.sn2";
    const std::string first =
        (fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2").string();
    const std::string second =
        (fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/night-drive.sn2").string();
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.string()));
    run.setProcessEnvironment(environment);
    run.start(xvfb,
              {QStringLiteral("-a"), peer, QStringLiteral("both"), QString::fromStdString(first),
               QString::fromStdString(second), QString::fromStdString(out.string())});
    ASSERT_TRUE(run.waitForFinished(60000));
    const QString log = QString::fromUtf8(run.readAllStandardOutput() + run.readAllStandardError());
    ASSERT_EQ(run.exitCode(), 0) << log.toStdString();
    ASSERT_TRUE(fs::exists(out)) << log.toStdString();

    // What the same copy and paste give in one process.
    Song source, expected, pasted;
    load_song(source, first, "Untitled");
    load_song(expected, second, "Untitled");
    load_song(pasted, out, "Untitled");
    Block block{16, 32, Aspect::NOTES, ALL_VOICES};
    const std::vector<uint8_t> bytes = copy_block(source, 1, block);
    ASSERT_FALSE(bytes.empty());
    paste_block(expected, 0, 0, 8, bytes);
    ASSERT_EQ(pasted.patterns[0].voices.size(), expected.patterns[0].voices.size());
    EXPECT_GT(pasted.patterns[0].voices.size(), 0u);
    for (size_t v = 0; v < expected.patterns[0].voices.size(); ++v)
        EXPECT_EQ(testing::describe(pasted.patterns[0].voices[v].events),
                  testing::describe(expected.patterns[0].voices[v].events))
            << v;
    EXPECT_EQ(pasted.patterns[0].length, expected.patterns[0].length);
    Song original;
    load_song(original, second, "Untitled");
    EXPECT_EQ(pasted.patterns[0].length, original.patterns[0].length + 16);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

} // namespace
} // namespace tunemill
