// Editing in the pattern window as a user does it: drawing and erasing notes with the mouse, the
// right-button block with its scrolling, the cursor keys with Shift, Backspace, the block
// commands on one voice and on all voices, the transposing drag and its limits; every change one
// step of the history, undone and redone exactly.
#include <QScrollBar>
#include <QUndoStack>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "loading/song_loader.h"
#include "pattern_fixture.h"

namespace tunemill {
namespace {

using test::PatternTest;

class PatternEditTest : public PatternTest {
  protected:
    void SetUp() override {
        PatternTest::SetUp();
        open("");
        use_empty_song(32);
    }
    // Undo, check the voices are as before, redo, check they are as after.
    void expect_undo_redo(const std::vector<std::string>& before,
                          const std::vector<std::string>& after) {
        document().undo();
        QApplication::processEvents();
        for (size_t v = 0; v < before.size(); ++v)
            EXPECT_EQ(events(v), before[v]) << "undo, voice " << v;
        document().redo();
        QApplication::processEvents();
        for (size_t v = 0; v < after.size(); ++v)
            EXPECT_EQ(events(v), after[v]) << "redo, voice " << v;
    }
    std::vector<std::string> all_events() {
        std::vector<std::string> all;
        for (size_t v = 0; v < song().patterns[0].voices.size(); ++v)
            all.push_back(events(v));
        return all;
    }
    void put_note(size_t voice, Tick from, Tick to, Key key) {
        Edit edit;
        edit.change.pattern = 0;
        document().edit(edit, [&](EditContext& context) {
            add_note(context.song().patterns[0], voice, from, to, key);
        });
    }
    int steps() { return document().history().count(); }
};

TEST_F(PatternEditTest, AClickMakesAOneTickNoteAndUndoTakesItBack) {
    click(Pane::NOTES, pitch_point(5, 40));
    EXPECT_EQ(events(0), "on40@5 off40@6");
    EXPECT_EQ(events(1), "");
    EXPECT_EQ(steps(), 1);
    EXPECT_TRUE(document().modified());
    expect_undo_redo({"", ""}, {"on40@5 off40@6", ""});
}

TEST_F(PatternEditTest, ADragDrawsOneNoteInOneStep) {
    drag(Pane::NOTES, pitch_point(2, 40), pitch_point(6, 40));
    EXPECT_EQ(notes(0), "40@2-7");
    EXPECT_EQ(steps(), 1);
    // Past the pattern's end the pattern grows.
    drag(Pane::NOTES, pitch_point(30, 45), pitch_point(36, 45));
    EXPECT_EQ(notes(0), "40@2-7 45@30-37");
    EXPECT_EQ(song().patterns[0].length, 37);
    EXPECT_EQ(steps(), 2);
    expect_undo_redo({"on40@2 off40@7", ""}, {"on40@2 off40@7 on45@30 off45@37", ""});
    document().undo();
    EXPECT_EQ(song().patterns[0].length, 32);
}

TEST_F(PatternEditTest, ADragThatStartsOnANoteErases) {
    put_note(0, 0, 16, 40);
    drag(Pane::NOTES, pitch_point(4, 40), pitch_point(8, 40));
    EXPECT_EQ(notes(0), "40@0-4 40@9-16");
    expect_undo_redo({"on40@0 off40@16", ""}, {"on40@0 off40@4 on40@9 off40@16", ""});
}

TEST_F(PatternEditTest, NothingIsDrawnWithoutVoices) {
    window().point_at(1);
    Song& song = song_for_setup();
    song.patterns[1].voices.clear();
    document().announce_all();
    click(Pane::NOTES, pitch_point(3, 40));
    EXPECT_EQ(steps(), 0);
}

TEST_F(PatternEditTest, TheRightButtonMakesABlockAndMovesTheCursor) {
    drag(Pane::NOTES, pitch_point(4, 40), pitch_point(12, 40), Qt::RightButton);
    EXPECT_EQ(editor().block().from, 4u);
    EXPECT_EQ(editor().block().to, 12u);
    EXPECT_EQ(editor().block().pane, Pane::NOTES);
    EXPECT_EQ(editor().cursor(), 12u);
    EXPECT_TRUE(window().tool(CMD_CUT)->isEnabled());
    // Backwards, and limited to the pattern's end.
    drag(Pane::NOTES, pitch_point(20, 40), pitch_point(6, 40), Qt::RightButton);
    EXPECT_EQ(editor().block().from, 6u);
    EXPECT_EQ(editor().block().to, 20u);
    window().toggle_pane(Pane::VOLUME);
    QApplication::processEvents();
    drag(Pane::VOLUME, cell_point(Pane::VOLUME, 2, 3), cell_point(Pane::VOLUME, 40, 3),
         Qt::RightButton);
    EXPECT_EQ(editor().block().to, 32u);
    EXPECT_EQ(editor().block().pane, Pane::VOLUME);
    EXPECT_EQ(steps(), 0);
}

TEST_F(PatternEditTest, SelectingOutsideThePaneScrolls) {
    use_empty_song(400);
    EditPane* pane = window().edit_pane(Pane::NOTES);
    const QPoint start = pitch_point(2, 40);
    QTest::mousePress(pane, Qt::RightButton, {}, start);
    QTest::mouseMove(pane, QPoint(pane->width() + 30, start.y()));
    test::process_for(400);
    EXPECT_GT(editor().first_beat(), 2);
    QTest::mouseRelease(pane, Qt::RightButton, {}, QPoint(pane->width() + 30, start.y()));
    EXPECT_GT(editor().block().to, editor().geometry().first_tick);
    EXPECT_EQ(editor().block().from, 2u);
}

TEST_F(PatternEditTest, CursorKeysAndTheirLimits) {
    key(Qt::Key_End);
    EXPECT_EQ(editor().cursor(), 32u);
    key(Qt::Key_Home);
    EXPECT_EQ(editor().cursor(), 0u);
    key(Qt::Key_Left);
    EXPECT_EQ(editor().cursor(), 0u);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    EXPECT_EQ(editor().cursor(), 2u);
    EXPECT_EQ(window().status_text(1).toStdString(), "Measure: 1");
    EXPECT_EQ(window().status_text(3).toStdString(), "Time: 0:00.25");
    // The last allowed column: before length + visible columns - 1; Right there does nothing.
    const Tick limit = editor().cursor_limit();
    editor().set_cursor(limit - 1);
    key(Qt::Key_Right);
    EXPECT_EQ(editor().cursor(), limit - 1);
    // The view follows the cursor by whole beats, as far as the scroll range goes.
    EXPECT_EQ(editor().geometry().first_tick % 4, 0u);
    EXPECT_EQ(editor().first_beat(), editor().scroll().max_first);
    editor().set_cursor(40);
    EXPECT_LE(editor().geometry().first_tick, 40u);
    EXPECT_LT(40u, editor().geometry().first_tick + Tick(editor().geometry().visible_columns));
    key(Qt::Key_Home);
    EXPECT_EQ(editor().geometry().first_tick, 0u);
}

TEST_F(PatternEditTest, ShiftExtendsOrMakesTheBlock) {
    editor().set_cursor(8);
    // No block: Shift+Right makes one from where the cursor stood to where it goes.
    key(Qt::Key_Right, Qt::ShiftModifier);
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(editor().block().from, 8u);
    EXPECT_EQ(editor().block().to, 10u);
    // The cursor stands at the block's end: Shift+Home moves the end to 0, so the block starts at
    // 0.
    key(Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(editor().block().from, 0u);
    EXPECT_EQ(editor().block().to, 8u);
    EXPECT_EQ(editor().cursor(), 0u);
    // At the block's start, Shift+End moves the start to the end: [8, 32).
    key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(editor().block().from, 8u);
    EXPECT_EQ(editor().block().to, 32u);
    EXPECT_EQ(editor().block().pane, Pane::NOTES);
}

TEST_F(PatternEditTest, BackspaceRemovesTheStepBeforeTheCursor) {
    put_note(0, 0, 4, 40);
    put_note(0, 4, 8, 42);
    editor().set_cursor(8);
    key(Qt::Key_Backspace);
    EXPECT_EQ(notes(0), "40@0-4");
    EXPECT_EQ(editor().cursor(), 4u);
    expect_undo_redo({"on40@0 off40@4 on42@4 off42@8", ""}, {"on40@0 off40@4", ""});
}

// Each block command on one voice (the current one) and on all voices, by its key.
struct BlockCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    Tick from, to;
    bool all_voices;
    const char* voice0;
    const char* voice1;
    int32_t length;
};

class BlockCommandTest : public PatternEditTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockCommandTest, RunsOnTheRightVoicesAndUndoes) {
    const BlockCase& c = GetParam();
    put_note(0, 0, 4, 40);
    put_note(0, 4, 8, 43);
    put_note(0, 8, 16, 45);
    put_note(1, 0, 16, 28);
    document().history().clear();
    const std::vector<std::string> before = all_events();
    settings().all_voices = c.all_voices ? 1 : 0;
    editor().set_block(c.from, c.to, Pane::NOTES);
    editor().set_cursor(0);
    key(c.key, c.modifiers);
    EXPECT_EQ(notes(0), c.voice0);
    EXPECT_EQ(notes(1), c.voice1);
    EXPECT_EQ(song().patterns[0].length, c.length);
    EXPECT_EQ(steps(), 1);
    const std::vector<std::string> after = all_events();
    expect_undo_redo(before, after);
    settings().all_voices = 0;
}

INSTANTIATE_TEST_SUITE_P(
    OneAndAllVoices, BlockCommandTest,
    ::testing::Values(
        BlockCase{
            "DeleteOne", Qt::Key_Delete, {}, 2, 6, false, "40@0-2 43@2-4 45@4-12", "28@0-16", 28},
        BlockCase{
            "DeleteAll", Qt::Key_Delete, {}, 2, 6, true, "40@0-2 43@2-4 45@4-12", "28@0-12", 28},
        BlockCase{"ClearOne", Qt::Key_L, Qt::AltModifier, 2, 6, false, "40@0-2 43@6-8 45@8-16",
                  "28@0-16", 32},
        BlockCase{"ClearAll", Qt::Key_L, Qt::AltModifier, 2, 6, true, "40@0-2 43@6-8 45@8-16",
                  "28@0-2 28@6-16", 32},
        BlockCase{"InsertOne", Qt::Key_I, Qt::AltModifier, 4, 8, false, "40@0-4 43@8-12 45@12-20",
                  "28@0-16", 32},
        BlockCase{"InsertAll", Qt::Key_I, Qt::AltModifier, 4, 8, true, "40@0-4 43@8-12 45@12-20",
                  "28@0-4 28@8-20", 36},
        BlockCase{"RepeatOne", Qt::Key_R, Qt::AltModifier, 0, 4, false,
                  "40@0-4 40@4-8 40@8-12 40@12-16 40@16-20 40@20-24 40@24-28 40@28-32", "28@0-16",
                  32},
        BlockCase{"RepeatAll", Qt::Key_R, Qt::AltModifier, 0, 8, true,
                  "40@0-4 43@4-8 40@8-12 43@12-16 40@16-20 43@20-24 40@24-28 43@28-32",
                  "28@0-8 28@8-16 28@16-24 28@24-32", 32},
        BlockCase{"PortamentoOne", Qt::Key_S, Qt::AltModifier, 0, 8, false, "40@0~3 43@3-8 45@8-16",
                  "28@0-16", 32},
        BlockCase{"PortamentoAll", Qt::Key_S, Qt::AltModifier, 0, 8, true, "40@0~3 43@3-8 45@8-16",
                  "28@0-16", 32}),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST_F(PatternEditTest, PortamentoClearDissolvesTheSlide) {
    put_note(0, 0, 4, 40);
    put_note(0, 4, 8, 43);
    editor().set_block(0, 8, Pane::NOTES);
    key(Qt::Key_S, Qt::AltModifier);
    ASSERT_EQ(notes(0), "40@0~3 43@3-8");
    key(Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(notes(0), "40@0-4 43@4-8");
    EXPECT_EQ(steps(), 4);
}

TEST_F(PatternEditTest, DeleteMovesTheCursorBack) {
    editor().set_block(4, 8, Pane::NOTES);
    editor().set_cursor(20);
    key(Qt::Key_Delete);
    EXPECT_EQ(editor().cursor(), 16u);
    EXPECT_FALSE(editor().block().exists());
    editor().set_block(4, 8, Pane::NOTES);
    editor().set_cursor(6);
    key(Qt::Key_Delete);
    EXPECT_EQ(editor().cursor(), 4u);
}

TEST_F(PatternEditTest, ATransposingDragOfPitch80StopsAtPlusThree) {
    put_note(0, 0, 4, 80);
    put_note(0, 4, 8, 60);
    editor().set_block(0, 8, Pane::NOTES);
    const QPoint from = pitch_point(2, 70);
    editor().set_first_row(Pane::NOTES, 0);
    QApplication::processEvents();
    const QPoint start = cell_point(Pane::NOTES, 2, row_of_pitch(70));
    const QPoint end = cell_point(Pane::NOTES, 2, row_of_pitch(75));
    (void)from;
    EditPane* pane = window().edit_pane(Pane::NOTES);
    QTest::mousePress(pane, Qt::LeftButton, Qt::ShiftModifier, start);
    QTest::mouseMove(pane, end);
    QApplication::processEvents();
    EXPECT_EQ(window().status_text(5).toStdString(), "Transpose: +3");
    QTest::mouseRelease(pane, Qt::LeftButton, Qt::ShiftModifier, end);
    QApplication::processEvents();
    EXPECT_EQ(notes(0), "83@0-4 63@4-8");
    EXPECT_EQ(window().status_text(5).toStdString(), "");
    EXPECT_EQ(steps(), 3);
    expect_undo_redo({"on80@0 off80@4 on60@4 off60@8", ""}, {"on83@0 off83@4 on63@4 off63@8", ""});
}

TEST_F(PatternEditTest, TransposeBlockFromTheMenuThenDragDown) {
    put_note(0, 0, 4, 40);
    put_note(1, 0, 4, 30);
    settings().all_voices = 1;
    editor().set_block(0, 4, Pane::NOTES);
    frame().run_key_command(CMD_TRANSPOSE_BLOCK);
    EXPECT_TRUE(editor().transpose_mode());
    editor().set_first_row(Pane::NOTES, row_of_pitch(50));
    drag(Pane::NOTES, cell_point(Pane::NOTES, 1, row_of_pitch(45)),
         cell_point(Pane::NOTES, 1, row_of_pitch(43)));
    EXPECT_EQ(notes(0), "38@0-4");
    EXPECT_EQ(notes(1), "28@0-4");
    EXPECT_FALSE(editor().transpose_mode());
    settings().all_voices = 0;
}

TEST_F(PatternEditTest, EveryBlockCommandIsGreyWithoutABlock) {
    put_note(0, 0, 4, 40);
    const std::vector<std::string> before = all_events();
    for (int k : {Qt::Key_Delete, Qt::Key_L, Qt::Key_I, Qt::Key_R, Qt::Key_S})
        key(k, k == Qt::Key_Delete ? Qt::KeyboardModifiers{} : Qt::AltModifier);
    EXPECT_EQ(all_events(), before);
    EXPECT_EQ(steps(), 1);
}

} // namespace
} // namespace tunemill
