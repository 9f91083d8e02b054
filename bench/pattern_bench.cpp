// The pattern window's costs, on Qt's offscreen platform unless QT_QPA_PLATFORM is set:
// - a full redraw of a pattern window maximized on a 1920x1080 screen (its client area below the
//   frame's title and menu, every pane shown) on a pattern of 16 voices with 4 000 events, and
//   the same on a screen of twice the pixels (/2);
// - one step of a note-drawing drag: the mouse reaches a new cell, the note is written through
//   the document's edit path (undo step, engine told), and the touched columns are redrawn.
// Targets: the redraw under 8 ms, the drag step under 2 ms.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "app/document/document.h"
#include "app/pattern/edit_pane.h"
#include "app/pattern/pattern_window.h"
#include "playback/engine.h"
#include "song/editing.h"
#include "song/instrument_array.h"
#include "strings/steps_strings.h"

namespace {

using namespace tunemill;

constexpr size_t VOICES = 16;
constexpr size_t EVENTS_PER_VOICE = 250; // 4 000 events: 125 notes a voice
constexpr int32_t LENGTH = 1024;
// A maximized MDI child on a 1920x1080 screen: the frame's title bar, menu bar and the child's
// own frame take about 50 pixels.
const QSize MAXIMIZED(1920, 1030);

// A pattern of 16 voices, each a line of notes with volume and balance steps; a tempo curve.
void fill(Document& document) {
    Edit edit;
    edit.change.pattern = -1;
    document.edit(edit, [](EditContext& context) {
        Song& song = context.song();
        new_song(song, "Untitled");
        context.add_instrument(
            make_sampled_instrument("Piano", 10, 1000, NO_LOOP, 22050, 2, false));
        Pattern& pattern = song.patterns[0];
        pattern.length = LENGTH;
        for (size_t v = 0; v < VOICES; ++v) {
            add_voice(pattern, 0);
            Voice& voice = pattern.voices[v];
            const Tick step = Tick(LENGTH) / Tick(EVENTS_PER_VOICE / 2);
            for (size_t n = 0; n < EVENTS_PER_VOICE / 2 - 8; ++n) {
                const Tick at = Tick(n) * step;
                const Key key = Key(24 + (v * 5 + n * 7) % 48);
                insert_event(voice, at, NOTE_ON, key, 0, 0, voice.events.size());
                insert_event(voice, at + step - 1, NOTE_OFF, key, 0, 0, voice.events.size());
            }
            for (size_t c = 0; c < 16; ++c) {
                set_curve_range(pattern, v, Tick(c * 64), Tick(c * 64 + 64), VOLUME,
                                uint8_t(10 + (c + v) % 20));
            }
            normalize_voice(voice, pattern.tick_length());
        }
        for (Tick t = 0; t < Tick(LENGTH); t += 128)
            set_tempo_range(pattern, t, t + 128, uint8_t(14 + t / 128));
    });
    document.history().clear();
}

size_t event_count(const Song& song) {
    size_t count = 0;
    for (const Voice& voice : song.patterns[0].voices)
        count += voice.events.size();
    return count;
}

void BM_FullRedrawMaximized(benchmark::State& state) {
    Document document;
    fill(document);
    PatternWindow window(document, nullptr, nullptr);
    window.resize(MAXIMIZED);
    window.show();
    for (Pane pane : {Pane::VOLUME, Pane::BALANCE, Pane::TEMPO})
        window.toggle_pane(pane);
    QApplication::processEvents();
    window.editor().set_voice(3);
    window.editor().set_block(32, 96, Pane::NOTES);
    window.editor().set_first_row(Pane::NOTES, 20);
    // Argument: the pixel ratio of the screen (2 for a high-DPI screen of 3840x2160 pixels).
    const int ratio = int(state.range(0));
    QImage target(MAXIMIZED * ratio, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        // Every widget of the window paints itself, as after an expose of the whole window.
        QPainter painter(&target);
        window.render(&painter);
    }
    state.counters["events"] = double(event_count(document.song()));
    state.counters["columns"] = window.editor().geometry().visible_columns;
    state.counters["note_rows"] = window.editor().rows(Pane::NOTES).visible;
}
BENCHMARK(BM_FullRedrawMaximized)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The engine hears of every change, as in the composer.
class EngineObserver {
  public:
    explicit EngineObserver(Song& song) : song_(song), engine_(song) {
        song_.observers.add(&engine_);
    }
    ~EngineObserver() { song_.observers.remove(&engine_); }

  private:
    Song& song_;
    PlaybackEngine engine_;
};

void BM_NoteDrawingDragStep(benchmark::State& state) {
    Document document;
    fill(document);
    EngineObserver engine(document.song_for_engine());
    PatternWindow window(document, nullptr, nullptr);
    window.resize(MAXIMIZED);
    window.show();
    QApplication::processEvents();
    EditPane& pane = *window.edit_pane(Pane::NOTES);
    PaneDrag& drag = pane.drag();
    const PatternGeometry& g = window.editor().geometry();
    const PaneRows& rows = window.editor().rows(Pane::NOTES);
    auto point = [&](Tick column, int row) {
        return QPoint(int(column - g.first_tick) * g.cell_x + 2, (row - rows.first) * g.cell_y + 2);
    };
    int row = rows.first;
    Tick anchor = 0;
    Tick column = 0;
    size_t steps = 0;
    for (auto _ : state) {
        if (column == 0 || column >= anchor + 48) {
            // A new drag on another row, outside the timing.
            state.PauseTiming();
            if (drag.mode() != PaneDrag::Mode::NONE) drag.release(point(column, row));
            row = rows.first + int(steps % size_t(std::max(rows.visible, 1)));
            anchor = Tick(steps % 97) + 1;
            drag.press(Qt::LeftButton, false, point(anchor, row));
            QApplication::processEvents();
            column = anchor;
            state.ResumeTiming();
        }
        ++column;
        drag.move(point(column, row));
        // The touched columns are repainted.
        QApplication::processEvents();
        ++steps;
    }
    if (drag.mode() != PaneDrag::Mode::NONE) drag.release(point(column, row));
    state.counters["steps_in_history"] = document.history().count();
}
BENCHMARK(BM_NoteDrawingDragStep)->Unit(benchmark::kMicrosecond);

} // namespace

// The application lives in main: a function-local static one would be destroyed after Qt's own
// globals at exit, and crash there.
int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
