// The sequence window as a user works it: clicking lines and buttons, typing names, the keys,
// and what the song, the open pattern windows, the history and the playback look like after.
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/dialogs/name_dialog.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "app/sequence/list_models.h"
#include "app/sequence/sequence_window.h"
#include "app/shell/main_window.h"
#include "app/shell/placement.h"
#include "arrangement_fixture.h"
#include "foundation/string_table.h"
#include "settings/settings.h"

namespace tunemill {
namespace {

using test::ArrangementTest;
using Sequence = std::vector<uint32_t>;
using Names = std::vector<std::string>;
using Shown = std::multiset<size_t>;

class SequenceWindowTest : public ArrangementTest {
  protected:
    SequenceWindow* window() {
        frame_->show_sequence_window();
        QApplication::processEvents();
        for (QMdiSubWindow* child : frame_->mdi_area()->subWindowList())
            if (auto* sequence = qobject_cast<SequenceWindow*>(child->widget())) return sequence;
        ADD_FAILURE() << "no sequence window";
        return nullptr;
    }

    void click_line(QListView* list, int row) {
        const QRect line = list->visualRect(list->model()->index(row, 0));
        ASSERT_TRUE(line.isValid()) << "line " << row << " is not shown";
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
    }

    void press(SequenceWindow::Button button) {
        QTest::mouseClick(window()->button(button), Qt::LeftButton);
    }

    // Types the name into the next name dialog and confirms it with Enter.
    void type_name(const QString& name) {
        test::when_modal([name](QWidget* widget) {
            auto* dialog = qobject_cast<NameDialog*>(widget);
            if (!dialog) {
                ADD_FAILURE() << "expected a name dialog";
                widget->close();
                return;
            }
            dialog->field()->clear();
            QTest::keyClicks(dialog->field(), name);
            QTest::keyClick(dialog->field(), Qt::Key_Return);
        });
    }

    void cancel_name() {
        test::when_modal([](QWidget* widget) { widget->close(); });
    }

    int selected(QListView* list) { return list->currentIndex().row(); }

    // Whether the widget has the keyboard focus once the frame is active again.
    static bool focused(QWidget* widget) {
        // The offscreen platform gives the activation back to the frame only when asked.
        widget->window()->activateWindow();
        return QTest::qWaitFor([widget] { return widget->hasFocus(); }, 1000);
    }
    int history_steps() { return document().history().count(); }

    // The lines of a list as the user reads them, the repeat mark as " «".
    std::vector<QString> lines(QListView* list) {
        std::vector<QString> shown;
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            QString text = index.data().toString();
            if (index.data(REPEAT_MARK_ROLE).toBool()) text += QStringLiteral(" \u00AB");
            shown.push_back(text);
        }
        return shown;
    }
};

TEST_F(SequenceWindowTest, NewPatternKeepsEveryReferenceOnItsPattern) {
    struct Case {
        int selected_line;
        Names names;
        Sequence sequence;
        Shown windows;
    };
    const Case cases[] = {
        // Before the first pattern: every sequence entry and window moves up with its pattern.
        {0, {"Intro", "A", "B", "C"}, {1, 3, 2, 1, 0}, {1, 3}},
        {2, {"A", "B", "Intro", "C"}, {0, 3, 1, 0, 2}, {0, 3}},
        // The empty last line appends.
        {3, {"A", "B", "C", "Intro"}, {0, 2, 1, 0, 3}, {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected_line);
        arrange({"A", "B", "C"}, {0, 2, 1, 0}, 3);
        open_pattern_windows({0, 2});
        click_line(window()->pattern_list(), c.selected_line);
        const int steps = history_steps();
        type_name(QStringLiteral("Intro"));
        press(SequenceWindow::NEW_PATTERN);
        EXPECT_EQ(pattern_names(), c.names);
        EXPECT_EQ(document().song().sequence, c.sequence);
        EXPECT_EQ(document().song().repeat_position, 3) << "the mark stays on its entry";
        EXPECT_EQ(shown_patterns(), c.windows);
        EXPECT_TRUE(document().modified());
        // The new pattern is selected in the list, the list keeps the focus.
        EXPECT_EQ(selected(window()->pattern_list()), c.selected_line);
        EXPECT_EQ(lines(window()->pattern_list())[size_t(c.selected_line)], "Intro");
        EXPECT_TRUE(focused(window()->pattern_list()));
        // One step: the pattern with its sequence entry.
        EXPECT_EQ(history_steps(), steps + 1);
        document().undo();
        EXPECT_EQ(pattern_names(), (Names{"A", "B", "C"}));
        EXPECT_EQ(document().song().sequence, (Sequence{0, 2, 1, 0}));
        // The windows follow their patterns through undo and redo too.
        EXPECT_EQ(shown_patterns(), (Shown{0, 2}));
        document().redo();
        EXPECT_EQ(shown_patterns(), c.windows);
        document().undo();
    }
}

TEST_F(SequenceWindowTest, NewPatternWithoutANameDoesNothing) {
    arrange({"A"}, {0});
    click_line(window()->pattern_list(), 0);
    type_name(QString());
    press(SequenceWindow::NEW_PATTERN);
    cancel_name();
    press(SequenceWindow::NEW_PATTERN);
    EXPECT_EQ(pattern_names(), Names{"A"});
    EXPECT_EQ(history_steps(), 0);
    EXPECT_FALSE(document().modified());
}

TEST_F(SequenceWindowTest, RenameShowsTheNameAndKeepsWhatTheSongHolds) {
    arrange({"Verse", "Chorus"}, {0, 1, 0});
    click_line(window()->pattern_list(), 1);
    QString offered;
    test::when_modal([&offered](QWidget* widget) {
        auto* dialog = qobject_cast<NameDialog*>(widget);
        offered = dialog->field()->text();
        EXPECT_EQ(dialog->field()->selectedText(), offered) << "typing replaces the old name";
        // As pasted: more than a name holds, with letters beyond ASCII.
        dialog->field()->insert(QStringLiteral("Refrain \u00E4\u20AC ") +
                                QString(60, QLatin1Char('x')));
        QTest::keyClick(dialog->field(), Qt::Key_Return);
    });
    press(SequenceWindow::RENAME);
    EXPECT_EQ(offered, "Chorus");
    // Windows-1252 bytes, cut to what a pattern name holds.
    const std::string renamed = document().song().patterns[1].name;
    EXPECT_EQ(renamed.size(), MAX_PATTERN_NAME);
    EXPECT_EQ(renamed.substr(0, 11), "Refrain \xE4\x80 ");
    EXPECT_EQ(lines(window()->sequence_list())[1].left(10), QStringLiteral("Refrain \u00E4\u20AC"));

    // Rename acts on the pattern list only, and an empty name does nothing.
    click_line(window()->sequence_list(), 0);
    press(SequenceWindow::RENAME);
    click_line(window()->pattern_list(), 0);
    type_name(QString());
    press(SequenceWindow::RENAME);
    EXPECT_EQ(pattern_names()[0], "Verse");
    EXPECT_EQ(history_steps(), 1);
}

TEST_F(SequenceWindowTest, DeletingAPatternTakesEveryEntryOfItInOneStep) {
    // A occurs three times, the repeat mark on the B after them.
    arrange({"A", "B", "C"}, {0, 1, 0, 2, 0, 1}, 5);
    open_pattern_windows({0, 2, 1});
    click_line(window()->pattern_list(), 0);

    QString question;
    test::answer_box(QMessageBox::No, &question);
    press(SequenceWindow::DELETE);
    EXPECT_EQ(question, "Do you want to delete this pattern?");
    EXPECT_EQ(pattern_names(), (Names{"A", "B", "C"}));

    test::answer_box(QMessageBox::Yes);
    press(SequenceWindow::DELETE);
    QApplication::processEvents();
    EXPECT_EQ(pattern_names(), (Names{"B", "C"}));
    EXPECT_EQ(document().song().sequence, (Sequence{0, 1, 0}));
    EXPECT_EQ(lines(window()->sequence_list()),
              (std::vector<QString>{"B", "C", QStringLiteral("B \u00AB"), ""}));
    // The window on A is gone, the others follow their patterns.
    EXPECT_EQ(shown_patterns(), (Shown{0, 1}));
    EXPECT_TRUE(document().modified());

    document().undo();
    EXPECT_EQ(pattern_names(), (Names{"A", "B", "C"}));
    EXPECT_EQ(document().song().sequence, (Sequence{0, 1, 0, 2, 0, 1}));
    EXPECT_EQ(document().song().repeat_position, 5);
    EXPECT_FALSE(document().modified());
    // The windows that stayed are back on their patterns.
    EXPECT_EQ(shown_patterns(), (Shown{1, 2}));
}

TEST_F(SequenceWindowTest, DeletingTheOnlyPatternLeavesPatternI) {
    arrange({"Solo"}, {0, 0}, 1);
    open_pattern_windows({0});
    click_line(window()->pattern_list(), 0);
    test::answer_box(QMessageBox::Yes);
    press(SequenceWindow::DELETE);
    QApplication::processEvents();
    EXPECT_EQ(pattern_names(), Names{"Pattern I"});
    EXPECT_TRUE(document().song().sequence.empty());
    EXPECT_EQ(document().song().repeat_position, 0);
    EXPECT_TRUE(shown_patterns().empty()) << "the window on the deleted pattern closed";
    // Only the empty line, and no repeat mark on it.
    EXPECT_EQ(lines(window()->sequence_list()), std::vector<QString>{""});
    EXPECT_EQ(lines(window()->pattern_list()), (std::vector<QString>{"Pattern I", ""}));
}

TEST_F(SequenceWindowTest, ARefusedLockLeavesTheSongAndTheWindowsAlone) {
    arrange({"A", "B"}, {0, 1}, 1);
    open_pattern_windows({0, 1});
    click_line(window()->pattern_list(), 0);
    // The playback thread holds the song too long.
    Song& song = document().song_for_engine();
    song.lock.set_timeout(std::chrono::milliseconds(50));
    std::atomic<bool> holding{false}, release{false};
    std::thread holder([&] {
        song.lock.try_lock_for(std::chrono::milliseconds(1000));
        holding = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        song.lock.unlock();
    });
    while (!holding)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::vector<QString> errors = test::error_boxes_during([&] {
        type_name(QStringLiteral("Intro"));
        press(SequenceWindow::NEW_PATTERN);
        test::answer_box(QMessageBox::Yes);
        press(SequenceWindow::DELETE);
    });
    release = true;
    holder.join();
    song.lock.set_timeout(SongLock::DEFAULT_TIMEOUT);
    EXPECT_EQ(errors, (std::vector<QString>{"Internal error", "Internal error"}));
    EXPECT_EQ(pattern_names(), (Names{"A", "B"}));
    EXPECT_EQ(document().song().sequence, (Sequence{0, 1}));
    EXPECT_EQ(shown_patterns(), (Shown{0, 1})) << "no window renumbered or closed";
    EXPECT_FALSE(document().modified());
}

TEST_F(SequenceWindowTest, DeleteInTheSequenceRemovesOneEntry) {
    struct Case {
        int line;
        int32_t repeat;
        Sequence sequence;
        int32_t repeat_after;
    };
    const Case cases[] = {
        {1, 3, {0, 2, 1}, 2},    // the mark moves down with its entry
        {3, 3, {0, 1, 2}, 2},    // the marked entry goes: the mark stays inside the sequence
        {2, 1, {0, 1, 1}, 1},    // an entry after the mark leaves it alone
        {4, 1, {0, 1, 2, 1}, 1}, // the empty line: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        arrange({"A", "B", "C"}, {0, 1, 2, 1}, c.repeat);
        click_line(window()->sequence_list(), c.line);
        press(SequenceWindow::DELETE);
        EXPECT_EQ(document().song().sequence, c.sequence);
        EXPECT_EQ(document().song().repeat_position, c.repeat_after);
        EXPECT_EQ(pattern_names(), (Names{"A", "B", "C"}));
        EXPECT_TRUE(focused(window()->sequence_list()));
    }
}

TEST_F(SequenceWindowTest, InsertPressedRepeatedlyAppendsInOrder) {
    arrange({"A", "B", "C"}, {0, 1}, 1);
    click_line(window()->sequence_list(), 2);
    click_line(window()->pattern_list(), 2);
    for (int press_count = 0; press_count < 3; ++press_count)
        press(SequenceWindow::INSERT);
    EXPECT_EQ(document().song().sequence, (Sequence{0, 1, 2, 2, 2}));
    EXPECT_EQ(selected(window()->sequence_list()), 5) << "the selection is on the empty line again";
    EXPECT_EQ(document().song().repeat_position, 1);
    EXPECT_EQ(window()->acting_list(), SequenceWindow::List::PATTERNS);
    EXPECT_EQ(history_steps(), 3);

    // Before the marked entry: the mark stays on it.
    click_line(window()->sequence_list(), 0);
    click_line(window()->pattern_list(), 1);
    press(SequenceWindow::INSERT);
    EXPECT_EQ(document().song().sequence, (Sequence{1, 0, 1, 2, 2, 2}));
    EXPECT_EQ(document().song().repeat_position, 2);
    EXPECT_EQ(lines(window()->sequence_list())[2], QStringLiteral("B \u00AB"));
}

TEST_F(SequenceWindowTest, SetRepeatIsAChangeOfTheSong) {
    arrange({"A", "B"}, {0, 1, 0}, 0);
    click_line(window()->sequence_list(), 2);
    press(SequenceWindow::SET_REPEAT);
    EXPECT_EQ(document().song().repeat_position, 2);
    EXPECT_EQ(lines(window()->sequence_list()),
              (std::vector<QString>{"A", "B", QStringLiteral("A \u00AB"), ""}));
    // The song file holds the mark: leaving would ask to save.
    EXPECT_TRUE(document().modified());
    EXPECT_EQ(history_steps(), 1);
    document().undo();
    EXPECT_EQ(document().song().repeat_position, 0);
    EXPECT_FALSE(document().modified());
    // The empty line, or the pattern list, sets nothing.
    click_line(window()->sequence_list(), 3);
    press(SequenceWindow::SET_REPEAT);
    EXPECT_EQ(document().song().repeat_position, 0);
}

TEST_F(SequenceWindowTest, OpenTakesThePatternOfTheActingList) {
    arrange({"A", "B", "C"}, {2, 1});
    open_pattern_windows({});
    click_line(window()->pattern_list(), 1);
    press(SequenceWindow::OPEN);
    click_line(window()->sequence_list(), 0);
    press(SequenceWindow::OPEN);
    // The empty lines open nothing.
    click_line(window()->sequence_list(), 2);
    press(SequenceWindow::OPEN);
    click_line(window()->pattern_list(), 3);
    press(SequenceWindow::OPEN);
    EXPECT_EQ(shown_patterns(), (Shown{1, 2}));
}

TEST_F(SequenceWindowTest, PlayButtonsStartTheEngine) {
    arrange({"A", "B", "C"}, {0, 2, 1});
    PlaybackEngine& engine = composer_->player()->engine();
    click_line(window()->sequence_list(), 1);
    press(SequenceWindow::PLAY_PATTERN);
    EXPECT_EQ(engine.mode(), PlayMode::PATTERN);
    EXPECT_EQ(engine.current_pattern(), 2u);
    click_line(window()->pattern_list(), 1);
    press(SequenceWindow::PLAY_PATTERN);
    EXPECT_EQ(engine.current_pattern(), 1u);
    // Play From takes the sequence's selection whichever list acts.
    press(SequenceWindow::PLAY_FROM);
    EXPECT_EQ(engine.mode(), PlayMode::SONG);
    EXPECT_EQ(engine.sequence_index(), 1u);
    EXPECT_EQ(engine.current_pattern(), 2u);
    composer_->player()->stop();
}

// While the song plays, the engine stays on the entry it plays through every arrangement step,
// its undo and its redo: nothing is heard twice and nothing is skipped.
TEST_F(SequenceWindowTest, SongPlayStaysOnItsEntryThroughEveryStepUndoneAndRedone) {
    struct Place {
        uint32_t entry;
        uint32_t pattern;
    };
    struct Case {
        const char* step;
        std::function<void()> make;
        Place done;
    };
    // A B A C D, playing C at entry 3.
    const Place playing{3, 2};
    const Case cases[] = {
        {"Remove From Sequence before it",
         [&] {
             click_line(window()->sequence_list(), 0);
             press(SequenceWindow::DELETE);
         },
         {2, 2}},
        {"Insert In Sequence before it",
         [&] {
             click_line(window()->sequence_list(), 1);
             click_line(window()->pattern_list(), 3);
             press(SequenceWindow::INSERT);
         },
         {4, 2}},
        {"Insert In Sequence after it",
         [&] {
             click_line(window()->sequence_list(), 5);
             click_line(window()->pattern_list(), 0);
             press(SequenceWindow::INSERT);
         },
         {3, 2}},
        {"Delete Pattern with two entries before it",
         [&] {
             click_line(window()->pattern_list(), 0);
             test::answer_box(QMessageBox::Yes);
             press(SequenceWindow::DELETE);
         },
         {1, 1}},
        {"New Pattern before it",
         [&] {
             click_line(window()->pattern_list(), 0);
             type_name(QStringLiteral("Intro"));
             press(SequenceWindow::NEW_PATTERN);
         },
         {3, 3}},
        {"Set Repeat",
         [&] {
             click_line(window()->sequence_list(), 1);
             press(SequenceWindow::SET_REPEAT);
         },
         {3, 2}},
        {"Rename Pattern",
         [&] {
             click_line(window()->pattern_list(), 2);
             type_name(QStringLiteral("Bridge"));
             press(SequenceWindow::RENAME);
         },
         {3, 2}},
    };
    PlaybackEngine& engine = composer_->player()->engine();
    auto expect_at = [&](Place place, const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(engine.mode(), PlayMode::SONG);
        EXPECT_EQ(engine.sequence_index(), place.entry);
        EXPECT_EQ(engine.current_pattern(), place.pattern);
        ASSERT_LT(place.entry, document().song().sequence.size());
        EXPECT_EQ(document().song().sequence[place.entry], place.pattern);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        arrange({"A", "B", "C", "D"}, {0, 1, 0, 2, 3});
        // Long enough that C still plays when the test is done with it.
        for (Pattern& pattern : document().song_for_engine().patterns)
            pattern.length = 4096;
        click_line(window()->sequence_list(), int(playing.entry));
        press(SequenceWindow::PLAY_FROM);
        expect_at(playing, "started");
        const int steps = history_steps();
        c.make();
        ASSERT_EQ(history_steps(), steps + 1);
        expect_at(c.done, "done");
        document().undo();
        expect_at(playing, "undone");
        document().redo();
        expect_at(c.done, "redone");
        document().undo();
        expect_at(playing, "undone again");
        composer_->player()->stop();
    }
}

TEST_F(SequenceWindowTest, TheActingListIsHighlightedAndKeepsTheFocus) {
    arrange({"A", "B"}, {1, 0});
    SequenceWindow* sequence = window();
    click_line(sequence->sequence_list(), 1);
    EXPECT_EQ(sequence->acting_list(), SequenceWindow::List::SEQUENCE);
    press(SequenceWindow::SET_REPEAT);
    EXPECT_TRUE(focused(sequence->sequence_list()));
    click_line(sequence->pattern_list(), 0);
    EXPECT_EQ(sequence->acting_list(), SequenceWindow::List::PATTERNS);
    // Each list keeps its own selection.
    EXPECT_EQ(selected(sequence->sequence_list()), 1);
    // A button without a valid selection only gives the focus back.
    click_line(sequence->pattern_list(), 2);
    press(SequenceWindow::RENAME);
    EXPECT_TRUE(focused(sequence->pattern_list()));
}

TEST_F(SequenceWindowTest, RefillsKeepTheSelectionInsideTheList) {
    arrange({"A", "B", "C"}, {0, 1, 2, 0});
    click_line(window()->sequence_list(), 4);
    click_line(window()->pattern_list(), 3);
    // Shorter lists after an undo: the selections move to the new last lines.
    type_name(QStringLiteral("D"));
    press(SequenceWindow::NEW_PATTERN);
    click_line(window()->pattern_list(), 4);
    click_line(window()->sequence_list(), 5);
    document().undo();
    EXPECT_EQ(selected(window()->pattern_list()), 3);
    EXPECT_EQ(selected(window()->sequence_list()), 4);
    // A new song empties the lists to its one pattern.
    frame_->new_song();
    EXPECT_EQ(lines(window()->pattern_list()), (std::vector<QString>{"Pattern I", ""}));
    EXPECT_EQ(lines(window()->sequence_list()),
              (std::vector<QString>{QStringLiteral("Pattern I \u00AB"), ""}));
    EXPECT_EQ(selected(window()->sequence_list()), 1);
}

TEST_F(SequenceWindowTest, KeyboardAlone) {
    arrange({"A", "B", "C"}, {0, 1});
    open_pattern_windows({});
    SequenceWindow* sequence = window();
    QListView* patterns = sequence->pattern_list();
    patterns->setFocus();
    // Arrows move in the list, Enter opens.
    QTest::keyClick(patterns, Qt::Key_Down);
    QTest::keyClick(patterns, Qt::Key_Down);
    QTest::keyClick(patterns, Qt::Key_Return);
    EXPECT_EQ(shown_patterns(), Shown{2});
    frame_->show_sequence_window();
    // Tab runs from the pattern list through the buttons to the sequence.
    patterns->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), sequence->button(SequenceWindow::OPEN));
    for (int tab = 0; tab < SequenceWindow::BUTTON_COUNT; ++tab)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), sequence->sequence_list());
    EXPECT_EQ(sequence->acting_list(), SequenceWindow::List::SEQUENCE);
    // Delete in the sequence removes the entry.
    QTest::keyClick(sequence->sequence_list(), Qt::Key_Home);
    QTest::keyClick(sequence->sequence_list(), Qt::Key_Delete);
    EXPECT_EQ(document().song().sequence, Sequence{1});

    // The buttons' Alt keys, even where a menu title has the same letter (Alt+F, Alt+P).
    QTest::keyClick(sequence->sequence_list(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(composer_->player()->engine().mode(), PlayMode::SONG);
    composer_->player()->stop();
    patterns->setFocus();
    QTest::keyClick(patterns, Qt::Key_End);
    type_name(QStringLiteral("Coda"));
    QTest::keyClick(patterns, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(pattern_names().back(), "Coda");
    QTest::keyClick(patterns, Qt::Key_Up);
    QTest::keyClick(patterns, Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(document().song().sequence, (Sequence{2, 1, 3}));

    // F1 opens the window's help page.
    QUrl opened;
    set_url_opener([&opened](const QUrl& url) {
        opened = url;
        return true;
    });
    QTest::keyClick(patterns, Qt::Key_F1);
    set_url_opener({});
    EXPECT_TRUE(opened.path().endsWith("/sequence.html")) << opened.toString().toStdString();
}

TEST_F(SequenceWindowTest, OneWindowAtItsPlaceNeverMaximized) {
    SequenceWindow* sequence = window();
    QMdiSubWindow* child = qobject_cast<QMdiSubWindow*>(sequence->parentWidget());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowTitle(), "Sequence");
    child->setGeometry(30, 40, 500, 300);
    frame_->show_sequence_window();
    int count = 0;
    for (QMdiSubWindow* each : frame_->mdi_area()->subWindowList())
        count += qobject_cast<SequenceWindow*>(each->widget()) != nullptr;
    EXPECT_EQ(count, 1);
    child->showMaximized();
    QTest::qWait(20);
    EXPECT_FALSE(child->isMaximized());
    EXPECT_EQ(settings().sequence_window_pos, to_window_rect(QRect(30, 40, 500, 300)));
    child->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(qobject_cast<QMdiSubWindow*>(window()->parentWidget())->geometry(),
              QRect(30, 40, 500, 300));
}

TEST_F(SequenceWindowTest, RestartOpensTheWindowsOpenAtExit) {
    auto keyboard = [] {
        auto* widget = new QWidget;
        widget->setObjectName("Keyboard");
        return widget;
    };
    auto instruments = [] {
        auto* widget = new QWidget;
        widget->setObjectName("Instruments");
        return widget;
    };
    auto open_windows = [this] {
        std::set<QString> names;
        for (QMdiSubWindow* child : frame_->mdi_area()->subWindowList())
            if (!dynamic_cast<PatternView*>(child->widget()))
                names.insert(child->widget()->objectName());
        return names;
    };
    finish();
    start(keyboard, instruments);
    frame_->show_keyboard_window();
    frame_->show_instruments_window();
    qobject_cast<QMdiSubWindow*>(window()->parentWidget())->setGeometry(60, 20, 480, 320);
    finish();
    EXPECT_EQ(settings().sequence_window_open, 1);
    settings() = Settings{};
    start(keyboard, instruments);
    EXPECT_EQ(open_windows(), (std::set<QString>{"Keyboard", "Instruments", "TMSequenceWindow"}));
    EXPECT_EQ(qobject_cast<QMdiSubWindow*>(window()->parentWidget())->geometry(),
              QRect(60, 20, 480, 320));
    // Closed at exit, closed at the next start.
    qobject_cast<QMdiSubWindow*>(window()->parentWidget())->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    finish();
    start(keyboard, instruments);
    EXPECT_EQ(open_windows(), (std::set<QString>{"Keyboard", "Instruments"}));
}

} // namespace
} // namespace tunemill
