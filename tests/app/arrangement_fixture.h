// What the tests of the sequence window and of Song Options share: the composer started on the
// null sound device, the real windows of the program with pattern windows of the test's own that
// record which pattern they show, and songs laid out in a line of code.
#pragma once

#include <QWidget>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/shell/application.h"
#include "app/shell/child_windows.h"
#include "app_fixture.h"
#include "platform/audio_device.h"

namespace tunemill {

class MainWindow;
class Document;
class SequenceWindow;

namespace test {

// A pattern window as the frame and the sequence window see it: it shows a pattern index and
// counts how often it laid itself out anew.
class RecordingPatternWindow : public QWidget, public PatternView {
  public:
    size_t pattern = 0;
    int layouts = 0;
    size_t pattern_index() const override { return pattern; }
    void point_at(size_t index) override { pattern = index; }
    bool has_block() const override { return false; }
    Pane block_pane() const override { return Pane::NOTES; }
    bool shows_pane(Pane) const override { return false; }
    bool follows_playback() const override { return false; }
    size_t current_voice() const override { return 0; }
    void store_settings() override {}
    void refresh_block_marking() override {}
    void run_command(int) override {}
    void apply_settings() override { ++layouts; }
};

class ArrangementTest : public AppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the composer (again, after finish()): the program's windows, the test's pattern
    // windows, plus the given makers of the keyboard and instruments windows.
    void start(ChildFactory keyboard = {}, ChildFactory instruments = {});
    void finish();

    Document& document();
    // Patterns named so, the sequence and the repeat position, as a freshly loaded song.
    void arrange(const std::vector<std::string>& names, const std::vector<uint32_t>& sequence,
                 int32_t repeat = 0);
    std::vector<std::string> pattern_names();
    // The patterns the open pattern windows show.
    std::multiset<size_t> shown_patterns();
    void open_pattern_windows(const std::vector<size_t>& patterns);

    NullAudioSystem audio_;
    std::unique_ptr<Composer> composer_;
    MainWindow* frame_ = nullptr;
};

} // namespace test
} // namespace tunemill
