// What the composer tests share: a QApplication on the offscreen platform, a private settings
// folder per test, and answering the modal boxes and dialogs the commands open.
#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tunemill::test {

// The one QApplication of the test program (offscreen), made on first use.
QApplication& application();

// A fresh folder under the system's temporary folder, removed with the fixture.
class AppTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir_;
    QTimer* watchdog_ = nullptr;
};

// Acts on the next modal widget of the class (QMessageBox, QFileDialog, ...) once it is up and
// active (or a second after it came up without activation): the action runs inside that
// widget's own event loop. Polls for up to five seconds.
void when_modal(std::function<void(QWidget*)> act);

// Answers the next message box with the button (QMessageBox::StandardButton) and records its
// text into `text` when given.
void answer_box(int button, QString* text = nullptr);

// Chooses the path in the next file dialog and accepts it.
void answer_file_dialog(const QString& path, int filter_index = -1,
                        std::function<void(QWidget*)> before_accept = {});

// The texts of every error box shown while the function runs (each answered with OK).
std::vector<QString> error_boxes_during(const std::function<void()>& run);

// A sound file as libsndfile reads it: its format (SF_FORMAT_...), channels, rate and its
// samples as 16-bit values, interleaved. Empty (format 0) when it cannot be read.
struct DecodedSound {
    int format = 0;
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> samples;
};
DecodedSound decode_sound(const std::filesystem::path& path);

// A small 4-channel ProTracker module: one sample, a few notes.
std::vector<uint8_t> tiny_mod();
void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::filesystem::path& path);

} // namespace tunemill::test
