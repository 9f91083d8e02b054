// What the pattern window tests share: the main frame with real pattern windows on a demo song
// (or a song made by the test), the cells of a pane as the mouse reaches them, the events of a
// voice as readable text, and the screenshots folder.
#pragma once

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "app/pattern/edit_pane.h"
#include "app/pattern/pattern_window.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "platform/audio_device.h"
#include "settings/settings.h"
#include "song/song.h"

namespace tunemill::test {

// The pattern window tests: a frame over a document, its pattern windows the real ones.
class PatternTest : public AppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the frame on a demo song (data/demos/NAME) or, with an empty name, a new song; the
    // pattern window is the frame's first, its MDI child sized to `size`.
    PatternWindow& open(const std::string& demo = "first-steps.sn2", QSize size = QSize(900, 620));
    // The frame's factories: real pattern windows with the player and chooser of the test.
    ChildFactories factories();

    Document& document() { return document_; }
    const Song& song() const { return document_.song(); }
    Song& song_for_setup() { return document_.song_for_engine(); }
    MainWindow& frame() { return *frame_; }
    PatternWindow& window() { return *window_; }
    PatternEditor& editor() { return window_->editor(); }

    // The middle of the cell (column, row) of the pane, in the edit area's coordinates.
    QPoint cell_point(Pane pane, Tick column, int row) const;
    // The middle of the cell of a pitch in the note pane (scrolled into view first).
    QPoint pitch_point(Tick column, int pitch);
    // Mouse gestures on an edit pane.
    void click(Pane pane, QPoint point, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {});
    void drag(Pane pane, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {});
    void key(int key, Qt::KeyboardModifiers modifiers = {});

    // A player on the null sound device (at `speed` times real time), for the windows opened
    // afterwards.
    void use_player(double speed = 1.0);
    EnginePlayer& player() { return *engine_player_; }

    // A song of one pattern with two voices of two instruments and nothing in them (or the
    // pattern length given), shown in the window.
    void use_empty_song(int32_t length = 32, int32_t ticks_per_beat = 4,
                        int32_t beats_per_measure = 4);

    // The events of a voice of the shown pattern as the shared compact text: "on40@0 off40@4".
    std::string events(size_t voice) const;
    std::string events(size_t pattern, size_t voice) const;
    // The notes of a voice as "key@from-to" (portamentos dissolved for reading).
    std::string notes(size_t voice) const;

    // The folder of the screenshots: build/tests/screenshots.
    static std::filesystem::path screenshots();

    Document document_;
    NullAudioSystem audio_;
    std::unique_ptr<EnginePlayer> engine_player_;
    std::unique_ptr<MainWindow> frame_;
    PatternWindow* window_ = nullptr;
    EnginePlayer* player_ = nullptr;
    InstrumentChooser chooser_;
};

// Runs the event loop until the condition holds or the time (ms) has passed.
bool process_until(const std::function<bool()>& done, int ms = 5000);
void process_for(int ms);

} // namespace tunemill::test
