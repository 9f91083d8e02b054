// Song Options as a user works it: the fields, the tempo slider heard while the dialog is open,
// Cancel, OK as one step, and the question whether the notes move to a new ticks per beat.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/dialogs/song_options_dialog.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "app/shell/main_window.h"
#include "arrangement_fixture.h"
#include "instruments/instrument.h"
#include "song/editing.h"
#include "song/timing.h"

namespace tunemill {
namespace {

using test::ArrangementTest;

class SongOptionsTest : public ArrangementTest {
  protected:
    // Opens Song Options from the View menu; `work` runs inside it and ends it.
    void with_dialog(const std::function<void(SongOptionsDialog&)>& work) {
        bool ran = false;
        test::when_modal([&](QWidget* widget) {
            auto* dialog = qobject_cast<SongOptionsDialog*>(widget);
            if (!dialog) {
                ADD_FAILURE() << "expected Song Options";
                widget->close();
                return;
            }
            ran = true;
            work(*dialog);
        });
        frame_->run_command(CMD_SONG_OPTIONS);
        EXPECT_TRUE(ran);
    }

    static void type(QLineEdit* field, const QString& text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    static void ok(SongOptionsDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); }

    // A song of one pattern with notes on ticks 0-4 and 6-8 (and 3-5 with `odd`).
    void song_with_notes(bool odd) {
        arrange({"A"}, {0});
        Edit edit;
        edit.change.pattern = -1;
        document().edit(edit, [odd](EditContext& context) {
            context.add_instrument(
                make_sampled_instrument("Keys", 0, 100, NO_LOOP, 22050, 1, false));
            Pattern& pattern = context.song().patterns[0];
            pattern.length = 16;
            add_voice(pattern, 0);
            add_note(pattern, 0, 0, 4, 40);
            add_note(pattern, 0, odd ? 3 : 6, odd ? 5 : 8, 43);
        });
        document().song_replaced();
    }

    std::vector<Tick> note_ticks() {
        std::vector<Tick> ticks;
        for (const Event& event : document().song().patterns[0].voices[0].events)
            ticks.push_back(event.tick);
        return ticks;
    }
};

TEST_F(SongOptionsTest, SpeedLabelFollowsTheSliderInPerCent) {
    const std::pair<int, const char*> cases[] = {
        {40, "100%"}, {0, "200%"}, {120, "50%"}, {80, "66%"}};
    with_dialog([&](SongOptionsDialog& dialog) {
        for (const auto& [tempo, label] : cases) {
            dialog.tempo_slider()->setValue(120 - tempo);
            EXPECT_EQ(dialog.speed_label()->text(), label) << tempo;
        }
        dialog.reject();
    });
}

TEST_F(SongOptionsTest, GridFieldsFallBackAndAreLimited) {
    struct Case {
        const char* ticks;
        const char* beats;
        int32_t ticks_after;
        int32_t beats_after;
    };
    const Case cases[] = {
        {"", "3", 4, 3},    // a cleared field keeps the value
        {"64", "0", 30, 4}, // at most 30; 0 keeps
        {"x7", "-2", 4, 4}, // not a number keeps
        {" 6 ", "30", 6, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks);
        arrange({"A"}, {0});
        with_dialog([&](SongOptionsDialog& dialog) {
            type(dialog.ticks_field(), QString::fromLatin1(c.ticks));
            type(dialog.beats_field(), QString::fromLatin1(c.beats));
            // A new ticks per beat asks whether the notes move.
            if (c.ticks_after != 4) test::answer_box(QMessageBox::No);
            ok(dialog);
        });
        EXPECT_EQ(document().song().ticks_per_beat, c.ticks_after);
        EXPECT_EQ(document().song().beats_per_measure, c.beats_after);
    }
}

TEST_F(SongOptionsTest, TheTempoIsHeardWhileTheDialogIsOpenAndCancelPutsItBack) {
    arrange({"A"}, {0});
    document().song_for_engine().patterns[0].length = 4096;
    PlaybackEngine& engine = composer_->player()->engine();
    frame_->run_command(CMD_PLAY_SONG);
    ASSERT_EQ(engine.mode(), PlayMode::SONG);
    const uint32_t normal = engine.frames_per_tick(20);
    uint32_t while_open = 0;
    QString length_before;
    QString length_after;
    with_dialog([&](SongOptionsDialog& dialog) {
        length_before = dialog.length_label()->text();
        // Two pages to the right: tempo 40 becomes 20, a faster song.
        QTest::keyClick(dialog.tempo_slider(), Qt::Key_PageUp);
        QTest::keyClick(dialog.tempo_slider(), Qt::Key_PageUp);
        EXPECT_EQ(document().song().overall_tempo, 20);
        EXPECT_FALSE(document().modified());
        // The playing engine takes it at its next block.
        EXPECT_TRUE(QTest::qWaitFor([&] { return engine.frames_per_tick(20) < normal; }, 3000));
        while_open = engine.frames_per_tick(20);
        length_after = dialog.length_label()->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_NEAR(double(while_open) / normal, 60.0 / 80.0, 0.01);
    EXPECT_NE(length_before, length_after);
    EXPECT_EQ(document().song().overall_tempo, 40);
    EXPECT_FALSE(document().modified());
    EXPECT_EQ(document().history().count(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine.frames_per_tick(20) == normal; }, 3000));
    composer_->player()->stop();
}

TEST_F(SongOptionsTest, OkMakesOneStepOfEverything) {
    arrange({"A"}, {0});
    document().song_for_engine().patterns[0].length = 16 * 60; // 120 s at the default tempo
    with_dialog([&](SongOptionsDialog& dialog) {
        EXPECT_EQ(dialog.length_label()->text(), " 2:00");
        EXPECT_EQ(dialog.ticks_field()->text(), "4");
        // Pasted: a letter beyond ASCII.
        dialog.description_field()->selectAll();
        dialog.description_field()->insert(QStringLiteral("Caf\u00E9 song"));
        dialog.tempo_slider()->setValue(120 - 60);
        type(dialog.beats_field(), QStringLiteral("3"));
        ok(dialog);
    });
    const Song& song = document().song();
    EXPECT_EQ(song.description, "Caf\xE9 song");
    EXPECT_EQ(song.overall_tempo, 60);
    EXPECT_EQ(song.beats_per_measure, 3);
    EXPECT_TRUE(document().modified());
    ASSERT_EQ(document().history().count(), 1);
    // Every pattern window takes the new grid.
    for (PatternView* window : frame_->pattern_windows())
        EXPECT_EQ(dynamic_cast<test::RecordingPatternWindow*>(window)->layouts, 1);
    document().undo();
    EXPECT_EQ(song.description, "");
    EXPECT_EQ(song.overall_tempo, 40);
    EXPECT_EQ(song.beats_per_measure, 4);
    EXPECT_FALSE(document().modified());

    // OK with nothing changed is no step.
    with_dialog([](SongOptionsDialog& dialog) { ok(dialog); });
    EXPECT_EQ(document().history().index(), 0);
}

TEST_F(SongOptionsTest, NewTicksPerBeatAsksWhetherNotesMove) {
    struct Case {
        bool odd_note;
        const char* ticks;
        QMessageBox::StandardButton answer;
        std::vector<Tick> ticks_after;
        int32_t ticks_per_beat_after;
        bool fails;
    };
    const Case cases[] = {
        {false, "8", QMessageBox::Yes, {0, 8, 12, 16}, 8, false}, // every tick doubles
        {false, "8", QMessageBox::No, {0, 4, 6, 8}, 8, false}, // the notes stay, the grid changes
        {false, "2", QMessageBox::Yes, {0, 2, 3, 4}, 2, false},
        {true, "2", QMessageBox::Yes, {0, 3, 4, 5}, 4, true}, // a note on an odd tick
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.ticks << (c.answer == QMessageBox::Yes ? " yes" : " no"));
        song_with_notes(c.odd_note);
        QString question;
        const std::vector<QString> errors = test::error_boxes_during([&] {
            with_dialog([&](SongOptionsDialog& dialog) {
                type(dialog.description_field(), QStringLiteral("kept"));
                type(dialog.ticks_field(), QString::fromLatin1(c.ticks));
                test::answer_box(c.answer, &question);
                ok(dialog);
            });
        });
        EXPECT_EQ(question, "Align notes according to ticks per beat?");
        EXPECT_EQ(note_ticks(), c.ticks_after);
        EXPECT_EQ(document().song().ticks_per_beat, c.ticks_per_beat_after);
        EXPECT_EQ(errors,
                  c.fails ? std::vector<QString>{"Can't align pattern"} : std::vector<QString>{});
        EXPECT_EQ(document().song().description, "kept");
        EXPECT_TRUE(validate(document().song()));
        // The whole change is one step.
        document().undo();
        EXPECT_EQ(document().song().ticks_per_beat, 4);
        EXPECT_EQ(document().song().description, "");
    }
}

} // namespace
} // namespace tunemill
