// The shared fixture of the pattern window tests.
#include "pattern_fixture.h"

#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <sstream>
#include <tuple>

#include "app/pattern/pane_bar.h"
#include "event_text.h"
#include "instruments/instrument.h"
#include "loading/song_loader.h"
#include "song/instrument_array.h"
#include "song/song_lock.h"
#include "song/voice_cursor.h"

namespace tunemill::test {

namespace fs = std::filesystem;

bool process_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void process_for(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void PatternTest::SetUp() {
    AppTest::SetUp();
    install_error_box();
    settings() = Settings{};
    settings().song_folder = dir_.string();
    document_.song_for_engine().modified = false;
}

void PatternTest::TearDown() {
    if (frame_) {
        // The test's answers are not wanted any more: the song is left as it is.
        document_.song_for_engine().modified = false;
        frame_->close();
        frame_.reset();
    }
    // The windows (and their position reports) go before the player.
    engine_player_.reset();
    player_ = nullptr;
    AppTest::TearDown();
}

ChildFactories PatternTest::factories() {
    ChildFactories made;
    made.pattern = [this]() -> QWidget* {
        auto* window = new PatternWindow(document_, frame_.get(), player_);
        // A test that sets chooser_ answers for the browser; otherwise the real browser comes up.
        window->set_instrument_chooser(
            [this, window](BrowserMode mode) -> std::optional<BrowserChoice> {
                return chooser_ ? chooser_(mode) : run_instrument_browser(window, document_, mode);
            });
        return window;
    };
    return made;
}

PatternWindow& PatternTest::open(const std::string& demo, QSize size) {
    frame_ = std::make_unique<MainWindow>(document_, engine_player_.get(), factories());
    frame_->resize(size.width() + 80, size.height() + 120);
    frame_->show();
    if (demo.empty())
        frame_->new_song();
    else
        frame_->load_song((fs::path(TUNEMILL_SOURCE_DIR) / "data/demos" / demo).string());
    window_ = dynamic_cast<PatternWindow*>(frame_->first_pattern_window());
    EXPECT_NE(window_, nullptr);
    if (auto* child = qobject_cast<QMdiSubWindow*>(window_->parentWidget())) {
        child->showNormal();
        child->setGeometry(QRect(QPoint(0, 0), size));
    }
    QApplication::processEvents();
    window_->activateWindow();
    window_->setFocus();
    QApplication::processEvents();
    return *window_;
}

void PatternTest::use_player(double speed) {
    audio_.set_speed(speed);
    engine_player_ = std::make_unique<EnginePlayer>(document_.song_for_engine(), audio_,
                                                    settings().playback, false);
    player_ = engine_player_.get();
}

void PatternTest::use_empty_song(int32_t length, int32_t ticks_per_beat,
                                 int32_t beats_per_measure) {
    Song& song = document_.song_for_engine();
    {
        SongLockGuard lock(song, false, false);
        reset(song);
        song.ticks_per_beat = ticks_per_beat;
        song.beats_per_measure = beats_per_measure;
        add_pattern(song, "Pattern I");
        add_pattern(song, "Pattern II");
        song.sequence = {0, 1};
        for (const char* name : {"Piano", "Bass"}) {
            Instrument instrument = make_sampled_instrument(name, 10, 4000, 0, 22050, 2, false);
            for (uint32_t i = 0; i < 4000; ++i)
                instrument.samples16()[i] = int16_t((i * 37 % 200) * 100 - 10000);
            add_instrument(song, std::move(instrument));
        }
        song.patterns[0].length = length;
        add_voice(song.patterns[0], 0);
        add_voice(song.patterns[0], 1);
        add_voice(song.patterns[1], 1);
        song.modified = false;
        for (size_t p = 0; p < song.patterns.size(); ++p)
            song.observers.pattern_changed(int32_t(p));
    }
    document_.song_replaced();
    document_.announce_all();
    if (window_) window_->point_at(0);
    QApplication::processEvents();
}

QPoint PatternTest::cell_point(Pane pane, Tick column, int row) const {
    const PatternGeometry& g = window_->editor().geometry();
    const PaneRows& rows = window_->editor().rows(pane);
    return QPoint(int(column - g.first_tick) * g.cell_x + g.cell_x / 2,
                  (row - rows.first) * g.cell_y + g.cell_y / 2);
}

QPoint PatternTest::pitch_point(Tick column, int pitch) {
    const int row = row_of_pitch(pitch);
    const PaneRows& rows = editor().rows(Pane::NOTES);
    if (row < rows.first || row >= rows.first + rows.visible)
        editor().set_first_row(Pane::NOTES, row - rows.visible / 2);
    QApplication::processEvents();
    return cell_point(Pane::NOTES, column, row);
}

void PatternTest::click(Pane pane, QPoint point, Qt::MouseButton button,
                        Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(window_->edit_pane(pane), button, modifiers, point);
    QApplication::processEvents();
}

void PatternTest::drag(Pane pane, QPoint from, QPoint to, Qt::MouseButton button,
                       Qt::KeyboardModifiers modifiers) {
    EditPane* target = window_->edit_pane(pane);
    QTest::mousePress(target, button, modifiers, from);
    // Through every cell on the way, as a real mouse goes.
    const int steps =
        std::max(1, std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y())) / 4);
    for (int step = 1; step <= steps; ++step) {
        const QPoint at = from + (to - from) * step / steps;
        QTest::mouseMove(target, at);
    }
    QTest::mouseRelease(target, button, modifiers, to);
    QApplication::processEvents();
}

void PatternTest::key(int key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(window_, Qt::Key(key), modifiers);
    QApplication::processEvents();
}

std::string PatternTest::events(size_t voice) const {
    return events(window_->editor().pattern_index(), voice);
}

std::string PatternTest::events(size_t pattern, size_t voice) const {
    return testing::describe(song().patterns[pattern].voices[voice].events);
}

std::string PatternTest::notes(size_t voice) const {
    // Each note as (start, key, text), sorted by start and key: the order of note offs within a
    // tick is the song's business, not the test's.
    std::vector<std::tuple<Tick, int, std::string>> found;
    const Voice& v = song().patterns[window_->editor().pattern_index()].voices[voice];
    std::array<int64_t, KEY_COUNT> start;
    start.fill(-1);
    for (const Event& e : v.events) {
        if (e.kind == NOTE_ON) start[e.param1] = e.tick;
        if (e.kind == NOTE_OFF && start[e.param1] >= 0) {
            found.emplace_back(Tick(start[e.param1]), e.param1,
                               std::to_string(e.param1) + '@' + std::to_string(start[e.param1]) +
                                   '-' + std::to_string(e.tick));
            start[e.param1] = -1;
        }
        if (e.kind == PORTAMENTO && start[e.param1] >= 0) {
            found.emplace_back(Tick(start[e.param1]), e.param1,
                               std::to_string(e.param1) + '@' + std::to_string(start[e.param1]) +
                                   '~' + std::to_string(e.tick));
            start[e.param2] = e.tick;
            start[e.param1] = -1;
        }
    }
    std::sort(found.begin(), found.end());
    std::string text;
    for (const auto& note : found)
        text += (text.empty() ? "" : " ") + std::get<2>(note);
    return text;
}

fs::path PatternTest::screenshots() {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    return shots;
}

} // namespace tunemill::test
