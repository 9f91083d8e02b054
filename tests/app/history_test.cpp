// Undo, Redo and History as the user reaches them: the Edit menu's items naming the step, the
// keys (which win over the keys that play notes), and the History window where a click goes
// back to any step. Also the pictures of the History window for the help pages.
#include <QApplication>
#include <QListView>
#include <QMdiArea>
#include <QMenu>
#include <QTest>
#include <QUndoView>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "song/editing.h"
#include "storage/song_saver.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

class HistoryTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        install_error_box();
        read_settings();
        settings().song_folder = dir_.string();
    }

    std::unique_ptr<MainWindow> make_frame() {
        auto frame = std::make_unique<MainWindow>(document_, nullptr);
        frame->resize(900, 640);
        frame->show();
        frame->load_song((fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2").string());
        return frame;
    }

    void draw(Key key, uint32_t name = U_DRAW_NOTES) {
        Edit edit;
        edit.name = name;
        edit.change.pattern = 0;
        edit.change.voice = 0;
        ASSERT_TRUE(document_.edit(
            edit, [key](EditContext& c) { add_note(c.song().patterns[0], 0, 0, 3, key); }));
    }

    QString item_text(MainWindow& frame, int command) {
        frame.update_popup(EDIT_POPUP);
        return frame.action(command)->text();
    }

    Document document_;
};

TEST_F(HistoryTest, EditMenuNamesTheStepAndTheKeysUndoAndRedo) {
    auto frame = make_frame();
    EXPECT_FALSE(frame->action(CMD_UNDO)->isEnabled());
    EXPECT_FALSE(frame->action(CMD_REDO)->isEnabled());
    EXPECT_EQ(item_text(*frame, CMD_UNDO), "&Undo\tCtrl+Z");

    draw(60);
    draw(62, U_PASTE);
    EXPECT_TRUE(frame->action(CMD_UNDO)->isEnabled());
    EXPECT_EQ(item_text(*frame, CMD_UNDO), "&Undo Paste\tCtrl+Z");
    EXPECT_EQ(frame->windowTitle(), "Tunemill - first-steps");

    // Each key as the user presses it on the frame.
    struct Press {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int undo_count; // steps done afterwards
    };
    const Press presses[] = {
        {Qt::Key_Z, Qt::ControlModifier, 1},
        {Qt::Key_Backspace, Qt::AltModifier, 0},
        {Qt::Key_Y, Qt::ControlModifier, 1},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, 2},
    };
    for (const Press& press : presses) {
        QTest::keyClick(frame->mdi_area(), press.key, press.modifiers);
        EXPECT_EQ(document_.history().index(), press.undo_count) << press.key;
    }
    EXPECT_EQ(item_text(*frame, CMD_REDO), "&Redo\tCtrl+Y");
    QTest::keyClick(frame->mdi_area(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(item_text(*frame, CMD_REDO), "&Redo Paste\tCtrl+Y");

    // In German, with the German step names (the language is the run's).
    set_language(Language::GERMAN);
    draw(64);
    EXPECT_EQ(item_text(*frame, CMD_UNDO),
              QString::fromUtf8("Rü&ckgängig: Noten zeichnen\tStrg+Z"));
    QTest::keyClick(frame->mdi_area(), Qt::Key_Z, Qt::ControlModifier);
    set_language(Language::ENGLISH);

    // Undoing back to the loaded song makes it unchanged again.
    QTest::keyClick(frame->mdi_area(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(document_.modified());
    frame->close();
}

TEST_F(HistoryTest, AClickInTheHistoryGoesBackToThatStep) {
    auto frame = make_frame();
    const fs::path file = dir_ / "check.sn2";
    std::vector<std::vector<uint8_t>> states;
    auto state_now = [&] {
        write_song_file(document_.song(), file);
        return test::read_file(file);
    };
    states.push_back(state_now());
    for (Key key : {40, 44, 47, 52}) {
        draw(key);
        states.push_back(state_now());
    }
    frame->run_command(CMD_HISTORY);
    QWidget* window = frame->history_window();
    ASSERT_NE(window, nullptr);
    auto* view = window->findChild<QUndoView*>(QStringLiteral("HistoryView"));
    ASSERT_NE(view, nullptr);
    QApplication::processEvents();
    // Row 0 is the song as loaded, row n the song after step n.
    for (int row : {1, 3, 0, 4, 2}) {
        const QRect cell = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(state_now(), states[size_t(row)]) << "row " << row;
    }
}

// The History window beside the Edit menu, for the help pages: build/tests/screenshots/.
TEST_F(HistoryTest, ScreenshotsInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const std::string tag = language == Language::GERMAN ? "de" : "en";
        Document document;
        MainWindow frame(document, nullptr);
        frame.resize(900, 640);
        frame.show();
        frame.load_song((fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2").string());
        for (uint32_t name :
             {U_ADD_VOICE, U_DRAW_NOTES, U_DRAW_VOLUME, U_TRANSPOSE_BLOCK, U_PASTE}) {
            Edit edit;
            edit.name = name;
            edit.change.pattern = 0;
            document.edit(edit, [name](EditContext& c) {
                add_note(c.song().patterns[0], 0, name, name + 2, Key(83 - name));
            });
        }
        document.undo();
        frame.run_command(CMD_HISTORY);
        QApplication::processEvents();
        EXPECT_TRUE(frame.history_window()->grab().save(
            QString::fromStdString((shots / ("history-" + tag + ".png")).string())));
        QMenu* edit_menu = frame.popup(EDIT_POPUP);
        frame.update_popup(EDIT_POPUP);
        edit_menu->popup(frame.mapToGlobal(QPoint(40, 20)));
        QApplication::processEvents();
        EXPECT_TRUE(edit_menu->grab().save(
            QString::fromStdString((shots / ("edit-menu-" + tag + ".png")).string())));
        edit_menu->close();
    }
    set_language(Language::ENGLISH);
}

} // namespace
} // namespace tunemill
