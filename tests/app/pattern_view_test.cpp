// The pattern window as it looks: the arithmetic of its geometry, bars, note lengths, scrolling
// and follow paging; the window opened on a demo song with its panes, bars and voices; the
// painting checked pixel by pixel (notes, other voices, grid, block, cursor, the pattern's end),
// sharp at twice the pixels; and screenshots of a real demo song in both languages.
#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/pattern/captions.h"
#include "app/pattern/geometry.h"
#include "app/pattern/pane_bar.h"
#include "app/pattern/pane_painter.h"
#include "app/pattern/voices_pane.h"
#include "foundation/string_table.h"
#include "pattern_fixture.h"

namespace tunemill {
namespace {

using test::PatternTest;

// --- Arithmetic --------------------------------------------------------------------------------

TEST(PatternGeometry, HelmholtzNamesWithTheirOctaveMarks) {
    struct Case {
        int pitch;
        const char* name;
        const char* mark;
    };
    const Case cases[] = {
        {0, "C ", "1"},  {1, "C#", "1"},  {11, "B ", "1"}, {12, "C ", ""},
        {23, "B ", ""},  {24, "c ", ""},  {34, "a#", ""},  {36, "c ", "1"},
        {49, "c#", "2"}, {60, "c ", "3"}, {72, "c ", "4"}, {83, "b ", "4"},
    };
    for (const Case& c : cases) {
        const PitchName name = pitch_name(c.pitch);
        EXPECT_EQ(name.name.toStdString(), c.name) << c.pitch;
        EXPECT_EQ(name.mark.toStdString(), c.mark) << c.pitch;
    }
    EXPECT_EQ(row_of_pitch(36), 47);
    EXPECT_EQ(pitch_of_row(0), 83);
}

TEST(PatternGeometry, CurveBarLabels) {
    EXPECT_EQ(volume_label(0).toStdString(), "30");
    EXPECT_EQ(volume_label(30).toStdString(), "0");
    EXPECT_EQ(balance_label(15, "L", "R").toStdString(), "0");
    EXPECT_EQ(balance_label(0, "L", "R").toStdString(), "15L");
    EXPECT_EQ(balance_label(30, "L", "R").toStdString(), "15R");
    EXPECT_EQ(balance_label(14, "L", "R").toStdString(), "1L");
    // Tempo in beats per minute: (value + 10) * 24 / ticks per beat.
    EXPECT_EQ(tempo_label(row_of_value(20), 4).toStdString(), "180");
    EXPECT_EQ(tempo_label(row_of_value(0), 4).toStdString(), "60");
    EXPECT_EQ(tempo_label(row_of_value(30), 3).toStdString(), "320");
}

TEST(PatternGeometry, CellsAndColumns) {
    EXPECT_EQ(clamp_cell_size(20), 15);
    EXPECT_EQ(clamp_cell_size(3), 6);
    EXPECT_EQ(clamp_cell_size(10), 10);
    PatternGeometry g;
    g.cell_x = 10;
    g.cell_y = 12;
    g.first_tick = 8;
    EXPECT_EQ(g.column_x(8), 0);
    EXPECT_EQ(g.column_x(10), 20);
    EXPECT_EQ(g.column_x(100000), 16384);
    EXPECT_EQ(g.column_at(-5), 8u);
    EXPECT_EQ(g.column_at(19), 9u);
    PaneRows rows{84, 40, 20};
    EXPECT_EQ(g.row_at(rows, 0), 40);
    EXPECT_EQ(g.row_at(rows, 25), 42);
    EXPECT_EQ(g.row_at(rows, 5000), 83);
    EXPECT_EQ(initial_note_row(30), 27);
    EXPECT_EQ(initial_note_row(90), 0);
}

TEST(PatternGeometry, NoteLengthsUsableByTheGrid) {
    // Ticks per beat 4: whole notes to sixteenths; a thirty-second would be half a tick.
    for (int index = 0; index < NOTE_LENGTHS; ++index)
        EXPECT_EQ(note_length_usable(index, 4, 4), index <= 4) << index;
    EXPECT_EQ(note_length_ticks(0, 4), 16u);
    EXPECT_EQ(note_length_ticks(4, 4), 1u);
    EXPECT_FALSE(note_length_usable(5, 4, 4));
    // Ticks per beat 3: 12, 6 and 3 ticks are whole, 1.5 is not.
    EXPECT_TRUE(note_length_usable(2, 3, 4));
    EXPECT_FALSE(note_length_usable(3, 3, 4));
    EXPECT_EQ(usable_note_length(4, 3, 4), 2);
    EXPECT_EQ(usable_note_length(6, 4, 4), 2);
    // A whole note longer than a measure of three beats is not usable.
    EXPECT_FALSE(note_length_usable(0, 4, 3));
    EXPECT_EQ(usable_note_length(0, 4, 3), 0);
}

TEST(PatternGeometry, ScrollingInBeats) {
    // 64 ticks, 100 columns visible, 4 ticks per beat: 40 beats, a page of 27, first beat up to 14.
    const BeatScroll scroll = beat_scroll(64, 100, 4);
    EXPECT_EQ(scroll.range_end, 40);
    EXPECT_EQ(scroll.page, 27);
    EXPECT_EQ(scroll.max_first, 14);
    EXPECT_EQ(beat_scroll(0, 0, 4).max_first, 0);
}

TEST(PatternGeometry, FollowPagingByMeasureOrBeat) {
    // 40 columns show more than a measure of 16: the unit is the measure, the page 32 ticks.
    EXPECT_EQ(follow_page(0, 40, 4, 4).unit, 16u);
    EXPECT_EQ(follow_page(0, 40, 4, 4).end, 32u);
    EXPECT_EQ(follow_jump(20, 0, 40, 256, 4, 4), -1);
    EXPECT_EQ(follow_jump(32, 0, 40, 256, 4, 4), 32);
    EXPECT_EQ(follow_jump(47, 0, 40, 256, 4, 4), 32);
    // Back to a position before the view (a repeat).
    EXPECT_EQ(follow_jump(3, 32, 40, 256, 4, 4), 0);
    // The view reaches past the pattern's end: it stays.
    EXPECT_EQ(follow_jump(60, 32, 40, 64, 4, 4), -1);
    // Ten columns: less than a measure, the unit is a beat and the page two beats.
    EXPECT_EQ(follow_page(0, 10, 4, 4).unit, 4u);
    EXPECT_EQ(follow_jump(9, 0, 10, 256, 4, 4), 8);
    // Three columns: at least one beat.
    EXPECT_EQ(follow_page(0, 3, 4, 4).end, 4u);
}

TEST(PatternGeometry, StatusValues) {
    EXPECT_EQ(measure_of(0, 4, 4), 1);
    EXPECT_EQ(measure_of(16, 4, 4), 2);
    const ClockTime time = clock_time(125 * 1000 + 4560);
    EXPECT_EQ(time.minutes, 2u);
    EXPECT_EQ(time.seconds, 9u);
    EXPECT_EQ(time.hundredths, 56u);
}

// --- The window on a demo song -----------------------------------------------------------------

class PatternViewTest : public PatternTest {};

TEST_F(PatternViewTest, OpensOnTheDemoSongWithItsPanesAndVoices) {
    PatternWindow& shown = open();
    EXPECT_EQ(shown.objectName().toStdString(), "TMEditWindow");
    EXPECT_EQ(shown.pattern_index(), 0u);
    EXPECT_EQ(shown.windowTitle().toStdString(), song().patterns[0].name);
    ASSERT_EQ(shown.selector()->count(), int(song().patterns.size()));
    EXPECT_EQ(shown.selector()->currentIndex(), 0);
    // The note pane alone, its first row placing pitch 36 two thirds down.
    EXPECT_TRUE(shown.shows_pane(Pane::NOTES));
    EXPECT_FALSE(shown.shows_pane(Pane::VOLUME));
    const PaneRows& rows = editor().rows(Pane::NOTES);
    EXPECT_GT(rows.visible, 10);
    EXPECT_EQ(rows.first, initial_note_row(rows.visible));
    EXPECT_EQ(shown.edit_pane(Pane::NOTES)->objectName().toStdString(), "TMNoteEditWindow");
    EXPECT_EQ(shown.bar(Pane::NOTES)->objectName().toStdString(), "TMNoteBarWindow");
    // The bars and edit areas line up, the scroll bar counts beats.
    EXPECT_EQ(editor().geometry().visible_columns, shown.edit_pane(Pane::NOTES)->width() / 10);
    EXPECT_EQ(shown.beat_scroll_bar()->maximum(), editor().scroll().max_first);
    // The voices pane shows the pattern's voices; the status bar the cursor's place.
    EXPECT_EQ(shown.status_text(1).toStdString(), "Measure: 1");
    EXPECT_EQ(shown.status_text(3).toStdString(), "Time: 0:00.00");
    EXPECT_FALSE(shown.tool(CMD_CUT)->isEnabled());
    EXPECT_TRUE(shown.tool(CMD_PLAY_VOICE)->isEnabled());
    EXPECT_EQ(shown.note_caption()->text().toStdString().rfind("Notes: ", 0), 0u);
}

TEST_F(PatternViewTest, StoredCellSizesAndNoteLengthAreCorrected) {
    settings().pattern_window.grid_size_x = 20;
    settings().pattern_window.grid_size_y = 3;
    settings().pattern_window.note_len = 9;
    open();
    EXPECT_EQ(editor().geometry().cell_x, 15);
    EXPECT_EQ(editor().geometry().cell_y, 6);
    EXPECT_EQ(settings().pattern_window.grid_size_x, 15);
    EXPECT_EQ(settings().pattern_window.grid_size_y, 6);
    EXPECT_EQ(editor().note_length(), 2);
}

TEST_F(PatternViewTest, NoteLengthsAtThreeTicksPerBeat) {
    settings().pattern_window.note_len = 4;
    open("");
    use_empty_song(24, 3, 4);
    // The song's grid changed after the window opened: the index is lowered as it would be at
    // opening, and the buttons of 3 to 5 are disabled.
    document().announce_all();
    QApplication::processEvents();
    EXPECT_EQ(editor().note_length(), 2);
    for (int index = 0; index < NOTE_LENGTHS; ++index)
        EXPECT_EQ(window().note_length_button(index)->isEnabled(), index <= 2) << index;
    EXPECT_TRUE(window().note_length_button(2)->isChecked());
}

TEST_F(PatternViewTest, BarsShowPitchesAndCurveValues) {
    open();
    window().toggle_pane(Pane::VOLUME);
    window().toggle_pane(Pane::BALANCE);
    window().toggle_pane(Pane::TEMPO);
    QApplication::processEvents();
    EXPECT_EQ(window().bar(Pane::NOTES)->label(row_of_pitch(36)).toStdString(), "c 1");
    EXPECT_EQ(window().bar(Pane::NOTES)->label(row_of_pitch(13)).toStdString(), "C#");
    EXPECT_EQ(window().bar(Pane::VOLUME)->label(0).toStdString(), "30");
    EXPECT_EQ(window().bar(Pane::BALANCE)->label(15).toStdString(), "0");
    EXPECT_EQ(window().bar(Pane::BALANCE)->label(0).toStdString(), "15L");
    EXPECT_EQ(window().bar(Pane::BALANCE)->label(30).toStdString(), "15R");
    EXPECT_EQ(window().bar(Pane::TEMPO)->label(row_of_value(20)).toStdString(), "180");
    // The row under the mouse is marked in the bar and unmarked when the mouse leaves.
    QTest::mouseMove(window().edit_pane(Pane::VOLUME), cell_point(Pane::VOLUME, 2, 3));
    QApplication::processEvents();
    EXPECT_EQ(window().bar(Pane::VOLUME)->mark(), 3);
}

// Pixel checks: the pane drawn into an image, as on the screen.
class PaneImage {
  public:
    PaneImage(const PatternEditor& editor, Pane pane, QSize size, qreal ratio = 1.0)
        : image_(size * ratio, QImage::Format_RGB32), ratio_(ratio) {
        image_.setDevicePixelRatio(ratio);
        QPainter painter(&image_);
        PanePainter(editor, pane).paint(painter, QRect(QPoint(0, 0), size), DragPreview{});
    }
    QColor at(int x, int y) const { return image_.pixelColor(int(x * ratio_), int(y * ratio_)); }
    const QImage& image() const { return image_; }

  private:
    QImage image_;
    qreal ratio_;
};

TEST_F(PatternViewTest, PaintsNotesOtherVoicesGridBlockAndCursor) {
    open("");
    use_empty_song(32);
    Song& song = song_for_setup();
    add_note(song.patterns[0], 0, 2, 6, 40); // the current voice
    add_note(song.patterns[0], 1, 8, 9, 44); // another voice
    document().announce_all();
    editor().set_first_row(Pane::NOTES, row_of_pitch(50));
    editor().set_block(16, 20, Pane::NOTES);
    editor().set_cursor(4);
    const QSize size(400, 200);
    const PaneImage shot(editor(), Pane::NOTES, size);
    const PatternGeometry& g = editor().geometry();
    auto y_of = [&](int pitch) {
        return g.row_y(editor().rows(Pane::NOTES), row_of_pitch(pitch)) + g.cell_y / 2;
    };
    // The current voice's note in black from column 2 to 6, the other voice's in grey.
    EXPECT_EQ(shot.at(g.column_x(3) + 5, y_of(40)), pane_colors::CURRENT_VOICE);
    EXPECT_EQ(shot.at(g.column_x(5) + 5, y_of(40)), pane_colors::CURRENT_VOICE);
    EXPECT_EQ(shot.at(g.column_x(7) + 5, y_of(40)), pane_colors::BACKGROUND);
    EXPECT_EQ(shot.at(g.column_x(8) + 4, y_of(44)), pane_colors::OTHER_VOICES);
    // A beat line at column 8 (grey), a measure line at 16 (black), the block's columns yellow.
    EXPECT_EQ(shot.at(g.column_x(8), y_of(47)), pane_colors::BEAT_LINE);
    EXPECT_EQ(shot.at(g.column_x(16), y_of(47)), pane_colors::MEASURE_LINE);
    EXPECT_EQ(shot.at(g.column_x(17) + 5, y_of(47)), pane_colors::BLOCK_ONE_VOICE);
    // The cursor: three pixels just left of column 4's edge.
    EXPECT_EQ(shot.at(g.column_x(4) - 1, y_of(47)), pane_colors::CURSOR);
    // The pattern's end: a double line at 32.
    EXPECT_EQ(shot.at(g.column_x(32), y_of(47)), pane_colors::MEASURE_LINE);
    EXPECT_EQ(shot.at(g.column_x(32) + 1, y_of(47)), pane_colors::BACKGROUND);
    EXPECT_EQ(shot.at(g.column_x(32) + 2, y_of(47)), pane_colors::MEASURE_LINE);
    // All Voices marks the block green.
    settings().all_voices = 1;
    const PaneImage all(editor(), Pane::NOTES, size);
    EXPECT_EQ(all.at(g.column_x(17) + 5, y_of(47)), pane_colors::BLOCK_ALL_VOICES);
    settings().all_voices = 0;
}

TEST_F(PatternViewTest, PaintsCurvesAndThePortamentoJoin) {
    open("");
    use_empty_song(32);
    Song& song = song_for_setup();
    set_curve_range(song.patterns[0], 0, 8, 32, VOLUME, 20);
    add_note(song.patterns[0], 0, 0, 4, 40);
    add_note(song.patterns[0], 0, 4, 8, 43);
    Block block{0, 8, Aspect::NOTES, 0};
    portamento_set(song.patterns[0], block);
    document().announce_all();
    window().toggle_pane(Pane::VOLUME);
    QApplication::processEvents();
    editor().set_first_row(Pane::NOTES, row_of_pitch(50));
    const PatternGeometry& g = editor().geometry();
    // The volume curve: 30 up to tick 8, then 20 to the pattern's end.
    const PaneImage volume(editor(), Pane::VOLUME, QSize(400, 31 * g.cell_y));
    const PaneRows& rows = editor().rows(Pane::VOLUME);
    EXPECT_EQ(volume.at(g.column_x(4), g.row_y(rows, row_of_value(30)) + g.cell_y / 2),
              pane_colors::CURRENT_VOICE);
    EXPECT_EQ(volume.at(g.column_x(20), g.row_y(rows, row_of_value(20)) + g.cell_y / 2),
              pane_colors::CURRENT_VOICE);
    // The other voice's curve stays at 30, in grey.
    EXPECT_EQ(volume.at(g.column_x(20), g.row_y(rows, row_of_value(30)) + g.cell_y / 2),
              pane_colors::OTHER_VOICES);
    EXPECT_EQ(volume.at(g.column_x(20) + 5, g.row_y(rows, row_of_value(25)) + g.cell_y / 2),
              pane_colors::BACKGROUND);
    // The slide: the first note's bar ends one tick after the slide begins (tick 3), the second
    // starts where it ends; a line joins them.
    const PaneImage notes(editor(), Pane::NOTES, QSize(400, 200));
    const PaneRows& note_rows = editor().rows(Pane::NOTES);
    const int y40 = g.row_y(note_rows, row_of_pitch(40)) + g.cell_y / 2;
    const int y43 = g.row_y(note_rows, row_of_pitch(43)) + g.cell_y / 2;
    EXPECT_EQ(notes.at(g.column_x(1) + 5, y40), pane_colors::CURRENT_VOICE);
    EXPECT_EQ(notes.at(g.column_x(5) + 5, y43), pane_colors::CURRENT_VOICE);
    int dark = 0;
    for (int y = y43 + g.cell_y / 2; y < y40 - g.cell_y / 2; ++y)
        for (int x = g.column_x(4) - 3; x <= g.column_x(4) + 3; ++x)
            dark += notes.at(x, y).lightness() < 128;
    EXPECT_GT(dark, 3);
}

TEST_F(PatternViewTest, SharpAtTwiceThePixels) {
    open("");
    use_empty_song(32);
    add_note(song_for_setup().patterns[0], 0, 2, 6, 40);
    document().announce_all();
    editor().set_first_row(Pane::NOTES, row_of_pitch(50));
    const PaneImage shot(editor(), Pane::NOTES, QSize(200, 120), 2.0);
    const PatternGeometry& g = editor().geometry();
    // A measure line covers exactly two device pixels, in its own colour: no blurred edges.
    const int y = 65;
    const QImage& image = shot.image();
    EXPECT_EQ(image.pixelColor(g.column_x(16) * 2, y * 2), pane_colors::MEASURE_LINE);
    EXPECT_EQ(image.pixelColor(g.column_x(16) * 2 + 1, y * 2), pane_colors::MEASURE_LINE);
    EXPECT_EQ(image.pixelColor(g.column_x(16) * 2 + 2, y * 2), pane_colors::BACKGROUND);
    EXPECT_EQ(image.pixelColor(g.column_x(16) * 2 - 1, y * 2), pane_colors::BACKGROUND);
}

TEST_F(PatternViewTest, ScreenshotsOfADemoSongInBothLanguages) {
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const std::string tag = language == Language::GERMAN ? "de" : "en";
        settings().pattern_window = PatternWindowSettings{};
        open("first-steps.sn2", QSize(980, 720));
        // The verse, with its curves shown, a block over a measure and the cursor in it.
        window().point_at(1);
        window().toggle_pane(Pane::VOLUME);
        window().toggle_pane(Pane::TEMPO);
        editor().set_voice(0);
        editor().set_block(16, 32, Pane::NOTES);
        editor().set_cursor(20);
        editor().set_first_row(Pane::NOTES, row_of_pitch(64));
        QApplication::processEvents();
        const QString file =
            QString::fromStdString((screenshots() / ("pattern-window-" + tag + ".png")).string());
        EXPECT_TRUE(window().parentWidget()->grab().save(file));
        frame_->close();
        frame_.reset();
    }
    set_language(Language::ENGLISH);
}

} // namespace
} // namespace tunemill
