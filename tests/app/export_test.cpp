// The export commands through their dialogs: the module type chosen in the Export dialog, and
// Export to WAV with its options and progress box, which writes the same file as the renderer
// used directly (and as tmw-cli render, where that command is built).
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/document/wav_export.h"
#include "app/live/player.h"
#include "app/shell/application.h"
#include "app/shell/commands.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "platform/audio_device.h"
#include "settings/settings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

class ExportTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        module_ = dir_ / "tiny.mod";
        test::write_file(module_, test::tiny_mod());
        Composer::Options options;
        options.splash = false;
        options.audio = &audio_;
        composer_ = std::make_unique<Composer>(options);
        frame_ = composer_->start({QString::fromStdString(module_.string())});
        ASSERT_EQ(frame_->windowTitle(), "Tunemill - tiny");
    }
    void TearDown() override {
        frame_->close();
        composer_.reset();
        AppTest::TearDown();
    }

    NullAudioSystem audio_;
    fs::path module_;
    std::unique_ptr<Composer> composer_;
    MainWindow* frame_ = nullptr;
};

TEST_F(ExportTest, ModuleTypeDecidesTheFormat) {
    // The fourth type is an 8-channel MOD even when the typed name ends in ".s3m".
    QString suffix_after_choice;
    test::answer_file_dialog(
        QString::fromStdString((dir_ / "eight.s3m").string()), 3, [&](QWidget* widget) {
            suffix_after_choice = static_cast<QFileDialog*>(widget)->defaultSuffix();
        });
    frame_->run_command(CMD_EXPORT);
    EXPECT_EQ(suffix_after_choice, "mod");
    const auto eight = test::read_file(dir_ / "eight.s3m");
    ASSERT_GT(eight.size(), 1084u);
    EXPECT_EQ(std::string(eight.begin() + 1080, eight.begin() + 1084), "8CHN");

    // The first type, with no extension typed, is an S3M named ".s3m".
    test::answer_file_dialog(QString::fromStdString((dir_ / "scream").string()), 0);
    frame_->run_command(CMD_EXPORT);
    const auto s3m = test::read_file(dir_ / "scream.s3m");
    ASSERT_GT(s3m.size(), 48u);
    EXPECT_EQ(std::string(s3m.begin() + 44, s3m.begin() + 48), "SCRM");
    EXPECT_FALSE(composer_->document().song_for_engine().modified);
}

TEST_F(ExportTest, WavThroughTheDialogMatchesTheRenderer) {
    const fs::path wav = dir_ / "tiny-dialog.wav";
    test::answer_file_dialog(QString::fromStdString(wav.string()), -1, [](QWidget* dialog) {
        dialog->findChild<QRadioButton*>("bits8")->setChecked(true);
        dialog->findChild<QRadioButton*>("mono")->setChecked(true);
        dialog->findChild<QComboBox*>("rate")->setEditText("11025");
        dialog->findChild<QCheckBox*>("oversample")->setChecked(false);
    });
    frame_->run_command(CMD_EXPORT_WAV);
    const WavExportSettings kept = wav_export_options();
    EXPECT_FALSE(kept.sixteen_bit);
    EXPECT_FALSE(kept.stereo);
    EXPECT_FALSE(kept.interpolate);
    EXPECT_EQ(kept.rate, 11025u);
    const auto written = test::read_file(wav);
    ASSERT_GT(written.size(), 44u);
    // 8-bit mono at 11025 Hz: bytes per second 11025, block alignment 1, 8 bits.
    auto u32 = [&](size_t at) {
        return uint32_t(written[at]) | written[at + 1] << 8 | written[at + 2] << 16 |
               uint32_t(written[at + 3]) << 24;
    };
    EXPECT_EQ(u32(24), 11025u);
    EXPECT_EQ(u32(28), 11025u);
    EXPECT_EQ(written[32], 1);
    EXPECT_EQ(written[34], 8);
    EXPECT_EQ(u32(40), written.size() - 44);

    // The renderer on its own, with the same options, writes the same bytes.
    const fs::path direct = dir_ / "tiny-direct.wav";
    ASSERT_TRUE(export_song_to_wav(composer_->document().song_for_engine(), direct, kept));
    EXPECT_EQ(test::read_file(direct), written);

    // And so does tmw-cli render (when it has been built beside the tests).
    const fs::path cli = fs::path(TUNEMILL_BIN_DIR) / "tmw-cli";
    if (fs::exists(cli)) {
        const fs::path rendered = dir_ / "tiny-cli.wav";
        const std::string command = cli.string() +
                                    " render --rate 11025 --mono --8bit --no-interpolate " +
                                    module_.string() + " " + rendered.string() + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(test::read_file(rendered), written);
    }

    // The dialog starts from the options kept; a cancelled dialog writes nothing.
    bool started_8bit = false;
    test::when_modal([&started_8bit](QWidget* dialog) {
        started_8bit = dialog->findChild<QRadioButton*>("bits8")->isChecked() &&
                       dialog->findChild<QComboBox*>("rate")->currentText() == "11025";
        static_cast<QDialog*>(dialog)->reject();
    });
    fs::remove(wav);
    frame_->run_command(CMD_EXPORT_WAV);
    EXPECT_TRUE(started_8bit);
    EXPECT_FALSE(fs::exists(wav));
}

// Play Song, winding and Stop drive the output thread on the (null) sound device.
TEST_F(ExportTest, PlayAndStopThroughTheKeys) {
    EnginePlayer* player = composer_->player();
    ASSERT_NE(player, nullptr);
    QTest::keyClick(frame_, Qt::Key_F5);
    EXPECT_TRUE(player->output().is_running());
    EXPECT_EQ(audio_.open_count(), 1u);
    QTest::keyClick(frame_, Qt::Key_Plus, Qt::KeypadModifier);
    QTest::keyClick(frame_, Qt::Key_F9);
    EXPECT_FALSE(player->output().is_running());
    // Repeat reaches the engine at once.
    frame_->run_command(CMD_REPEAT);
    EXPECT_EQ(player->engine().repeat(), settings().repeat != 0);
}

} // namespace
} // namespace tunemill
