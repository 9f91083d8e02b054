// The curve panes: shown and hidden from the View menu with their check marks, straight lines
// drawn into the volume, balance and tempo curves, the transposition of a curve block, and the
// captions that drag to resize the panes, kept in the settings for the next window.
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/pattern/captions.h"
#include "app/pattern/voices_pane.h"
#include "pattern_fixture.h"

namespace tunemill {
namespace {

using test::PatternTest;

class PatternCurvesTest : public PatternTest {
  protected:
    void SetUp() override {
        PatternTest::SetUp();
        open("");
        use_empty_song(32);
    }
    std::string tempo_points() const {
        std::string text;
        for (const TempoPoint& p : song().patterns[0].tempo_points)
            text +=
                (text.empty() ? "" : ", ") + std::to_string(p.tick) + ":" + std::to_string(p.value);
        return text;
    }
    void show(Pane pane) {
        if (!window().shows_pane(pane)) window().toggle_pane(pane);
        QApplication::processEvents();
    }
    // The pane scrolled so that the rows of the values from `top` down are visible.
    void scroll_to(Pane pane, int top) {
        editor().set_first_row(pane, row_of_value(top));
        QApplication::processEvents();
    }
    QPoint value_point(Pane pane, Tick column, int value) const {
        return cell_point(pane, column, row_of_value(value));
    }
};

TEST_F(PatternCurvesTest, ViewMenuShowsAndHidesThePanes) {
    EXPECT_FALSE(window().shows_pane(Pane::VOLUME));
    key(Qt::Key_F1, Qt::AltModifier);
    EXPECT_TRUE(window().shows_pane(Pane::VOLUME));
    EXPECT_TRUE(window().pane_row(Pane::VOLUME)->isVisible());
    EXPECT_GE(window().pane_row(Pane::VOLUME)->height(), 3 * editor().geometry().cell_y);
    key(Qt::Key_F2, Qt::AltModifier);
    key(Qt::Key_F3, Qt::AltModifier);
    EXPECT_TRUE(window().shows_pane(Pane::BALANCE));
    EXPECT_TRUE(window().shows_pane(Pane::TEMPO));
    frame().update_popup(VIEW_POPUP);
    EXPECT_TRUE(frame().action(CMD_VOLUME)->isChecked());
    EXPECT_TRUE(frame().action(CMD_TEMPO)->isChecked());
    key(Qt::Key_F2, Qt::AltModifier);
    EXPECT_FALSE(window().shows_pane(Pane::BALANCE));
    EXPECT_FALSE(window().pane_row(Pane::BALANCE)->isVisible());
    frame().update_popup(VIEW_POPUP);
    EXPECT_FALSE(frame().action(CMD_BALANCE)->isChecked());
    // The edit areas line up: every pane as wide as the note pane.
    EXPECT_EQ(window().edit_pane(Pane::VOLUME)->width(), window().edit_pane(Pane::NOTES)->width());
    EXPECT_EQ(window().edit_pane(Pane::VOLUME)->mapTo(&window(), QPoint(0, 0)).x(),
              window().edit_pane(Pane::NOTES)->mapTo(&window(), QPoint(0, 0)).x());
    // A block made in a pane that is then hidden counts as a note-pane block.
    editor().set_block(2, 6, Pane::VOLUME);
    key(Qt::Key_F1, Qt::AltModifier);
    EXPECT_EQ(editor().block().pane, Pane::NOTES);
}

TEST_F(PatternCurvesTest, AVolumeDragDrawsAStraightLine) {
    show(Pane::VOLUME);
    scroll_to(Pane::VOLUME, 30);
    ASSERT_GE(editor().rows(Pane::VOLUME).visible, 9);
    drag(Pane::VOLUME, value_point(Pane::VOLUME, 0, 30), value_point(Pane::VOLUME, 8, 22));
    // One value per column along the line, written as runs; the last value goes on after it.
    EXPECT_EQ(events(0), "vol29@1 vol28@2 vol27@3 vol26@4 vol25@5 vol24@6 vol23@7 vol22@8");
    EXPECT_EQ(events(1), "");
    EXPECT_EQ(document().history().count(), 1);
    document().undo();
    EXPECT_EQ(events(0), "");
}

TEST_F(PatternCurvesTest, AFlatBalanceLineIsOneRunAndStopsAtThePatternsEnd) {
    show(Pane::BALANCE);
    editor().set_voice(1);
    scroll_to(Pane::BALANCE, 22);
    drag(Pane::BALANCE, value_point(Pane::BALANCE, 28, 20), value_point(Pane::BALANCE, 40, 20));
    EXPECT_EQ(events(1), "bal20@28");
    EXPECT_EQ(events(0), "");
    EXPECT_EQ(song().patterns[0].length, 32);
}

TEST_F(PatternCurvesTest, TheTempoCurveNeedsNoVoices) {
    show(Pane::TEMPO);
    window().point_at(1);
    song_for_setup().patterns[1].voices.clear();
    song_for_setup().patterns[1].length = 16;
    document().announce_all();
    scroll_to(Pane::TEMPO, 27);
    drag(Pane::TEMPO, value_point(Pane::TEMPO, 4, 25), value_point(Pane::TEMPO, 6, 25));
    std::string text;
    for (const TempoPoint& p : song().patterns[1].tempo_points)
        text += std::to_string(p.tick) + ":" + std::to_string(p.value) + " ";
    EXPECT_EQ(text, "4:25 ");
}

TEST_F(PatternCurvesTest, ABackwardLineAndAVolumeBlockTransposed) {
    show(Pane::VOLUME);
    scroll_to(Pane::VOLUME, 27);
    drag(Pane::VOLUME, value_point(Pane::VOLUME, 6, 20), value_point(Pane::VOLUME, 4, 24));
    EXPECT_EQ(events(0), "vol24@4 vol22@5 vol20@6");
    // A volume block moved up by three rows, clamped at 30.
    editor().set_block(4, 8, Pane::VOLUME);
    const QPoint start = value_point(Pane::VOLUME, 5, 20);
    const QPoint end = value_point(Pane::VOLUME, 5, 23);
    drag(Pane::VOLUME, start, end, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(events(0), "vol27@4 vol25@5 vol23@6 vol20@8");
}

TEST_F(PatternCurvesTest, CaptionsDragToResizeAndTheSizesAreKept) {
    show(Pane::VOLUME);
    show(Pane::BALANCE);
    QApplication::processEvents();
    CaptionSplitter* panes = window().pane_splitter();
    const QList<int> before = panes->sizes();
    // Drag the balance caption 30 pixels up: the balance pane grows, the volume pane shrinks.
    CaptionHandle* caption = panes->caption(2);
    ASSERT_TRUE(caption->isVisible());
    EXPECT_EQ(caption->text().toStdString(), "Balance");
    const QPoint grip(40, caption->height() / 2);
    QTest::mousePress(caption, Qt::LeftButton, {}, grip);
    QTest::mouseMove(caption, grip + QPoint(0, -15));
    QTest::mouseMove(caption, grip + QPoint(0, -30));
    QTest::mouseRelease(caption, Qt::LeftButton, {}, grip + QPoint(0, -30));
    QApplication::processEvents();
    const QList<int> after = panes->sizes();
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1] - 30);
    EXPECT_EQ(after[2], before[2] + 30);
    EXPECT_EQ(editor().rows(Pane::BALANCE).visible,
              window().edit_pane(Pane::BALANCE)->height() / editor().geometry().cell_y);
    // The next pattern window opens with the same panes.
    window().store_settings();
    EXPECT_EQ(settings().pattern_window.size_volume, after[1]);
    EXPECT_EQ(settings().pattern_window.size_balance, after[2]);
    EXPECT_EQ(settings().pattern_window.size_tempo, 0);
    frame().run_command(CMD_PATTERN);
    QApplication::processEvents();
    auto* second = dynamic_cast<PatternWindow*>(frame().active_pattern_window());
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second, &window());
    EXPECT_TRUE(second->shows_pane(Pane::VOLUME));
    EXPECT_TRUE(second->shows_pane(Pane::BALANCE));
    EXPECT_FALSE(second->shows_pane(Pane::TEMPO));
    EXPECT_EQ(second->pane_splitter()->sizes()[2], after[2]);
}

TEST_F(PatternCurvesTest, TheVoicesCaptionResizesTheVoicesPane) {
    CaptionSplitter* outer = window().outer_splitter();
    const int before = window().voices_pane()->height();
    CaptionHandle* caption = outer->caption(1);
    EXPECT_EQ(caption->text().toStdString(), "Voices");
    EXPECT_EQ(caption->objectName().toStdString(), "TMVoiceCaptionWindow");
    const QPoint grip(40, caption->height() / 2);
    QTest::mousePress(caption, Qt::LeftButton, {}, grip);
    QTest::mouseMove(caption, grip + QPoint(0, -22));
    QTest::mouseRelease(caption, Qt::LeftButton, {}, grip + QPoint(0, -22));
    QApplication::processEvents();
    EXPECT_EQ(window().voices_pane()->height(), before + 22);
    window().store_settings();
    EXPECT_EQ(settings().pattern_window.size_voices, before + 22);
}

} // namespace
} // namespace tunemill
