// The composer as the arrangement tests start it.
#include "arrangement_fixture.h"

#include <QApplication>

#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/shell/main_window.h"
#include "app/shell/windows.h"
#include "settings/settings.h"

namespace tunemill::test {

void ArrangementTest::SetUp() {
    AppTest::SetUp();
    install_error_box();
    read_settings();
    settings().song_folder = dir_.string();
    settings().pattern_window.maximized = 0;
    start();
}

void ArrangementTest::TearDown() {
    finish();
    AppTest::TearDown();
}

void ArrangementTest::start(ChildFactory keyboard, ChildFactory instruments) {
    Composer::Options options;
    options.splash = false;
    options.audio = &audio_;
    options.offer_recovery = false;
    // The program's own windows over the composer being started (the frame exists when they
    // are made), with the test's pattern windows, keyboard and instruments.
    auto program = [this] {
        return standard_windows(composer_->document(), *composer_->main_window(),
                                composer_->player());
    };
    options.factories.pattern = [] { return new RecordingPatternWindow; };
    options.factories.sequence = [program] { return program().sequence(); };
    options.factories.song_options = [program] { program().song_options(); };
    options.factories.keyboard = keyboard;
    options.factories.instruments = instruments;
    composer_ = std::make_unique<Composer>(options);
    frame_ = composer_->start({});
    frame_->resize(1100, 760);
    QApplication::processEvents();
}

void ArrangementTest::finish() {
    if (!composer_) return;
    // What a test changed is not saved.
    composer_->document().song_for_engine().modified = false;
    frame_->close();
    composer_->finish();
    composer_.reset();
    frame_ = nullptr;
}

Document& ArrangementTest::document() {
    return composer_->document();
}

void ArrangementTest::arrange(const std::vector<std::string>& names,
                              const std::vector<uint32_t>& sequence, int32_t repeat) {
    Song& song = document().song_for_engine();
    reset(song);
    for (const std::string& name : names)
        add_pattern(song, name);
    for (Pattern& pattern : song.patterns)
        pattern.length = 64;
    song.sequence = sequence;
    song.repeat_position = repeat;
    document().song_replaced();
    document().announce_all();
}

std::vector<std::string> ArrangementTest::pattern_names() {
    std::vector<std::string> names;
    for (const Pattern& pattern : document().song().patterns)
        names.push_back(pattern.name);
    return names;
}

std::multiset<size_t> ArrangementTest::shown_patterns() {
    // Closed windows are gone once the event loop has deleted them.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::multiset<size_t> shown;
    for (PatternView* window : frame_->pattern_windows())
        shown.insert(window->pattern_index());
    return shown;
}

void ArrangementTest::open_pattern_windows(const std::vector<size_t>& patterns) {
    for (PatternView* window : frame_->pattern_windows())
        dynamic_cast<QWidget*>(window)->parentWidget()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (size_t pattern : patterns)
        frame_->open_pattern_window(pattern);
    QApplication::processEvents();
}

} // namespace tunemill::test
