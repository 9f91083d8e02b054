// The export commands through their dialogs: the module type chosen in the Export dialog and the
// box that lists what the module could not hold; Export Audio with its file types, options and
// progress box, which writes the same file as the renderer used directly (and as tmw-cli render,
// where that command is built).
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "app/common/commands.h"
#include "app/dialogs/audio_export_dialog.h"
#include "app/dialogs/module_warnings_box.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/live/player.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "platform/audio_device.h"
#include "settings/settings.h"
#include "song/editing.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

// Lets the widgets lay themselves out and paint.
void settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// What the folder holds, by name.
std::vector<fs::path> files_in(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir))
        out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

// The lines of every module warnings box shown while the function runs (each closed with OK),
// and whether the exported file was complete when the box came up.
struct WarningsSeen {
    std::vector<QStringList> boxes;
    bool file_written_first = true;
};

WarningsSeen warnings_during(const fs::path& target, const std::function<void()>& run) {
    auto seen = std::make_shared<WarningsSeen>();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [seen, target] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != QStringLiteral("ModuleWarnings") || !widget->isVisible())
                continue;
            auto* list = widget->findChild<QPlainTextEdit*>(QStringLiteral("warnings"));
            seen->boxes.push_back(list ? list->toPlainText().split(QLatin1Char('\n'))
                                       : QStringList{});
            seen->file_written_first =
                seen->file_written_first && fs::exists(target) && fs::file_size(target) > 1084;
            widget->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        }
    });
    timer.start(10);
    run();
    QApplication::processEvents();
    return *seen;
}

class ExportTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        // Every test starts from the options a new run has.
        audio_export_options() = AudioExportSettings{};
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

    // Ten voices of the song's instrument sounding together in the first pattern: more than an
    // 8-channel MOD holds, fewer than an S3M's 16 channels; the highest notes lie above the three
    // octaves of a MOD.
    void crowd_first_pattern() {
        ASSERT_TRUE(composer_->document().edit(
            Edit{U_ADD_VOICE, SongChange{}, std::nullopt, 0}, [](EditContext& context) {
                Pattern& pattern = context.song().patterns[0];
                for (int added = 0; added < 10; ++added) {
                    Voice voice;
                    voice.id = next_voice_id();
                    voice.instrument = 0;
                    pattern.voices.push_back(voice);
                    add_note(pattern, pattern.voices.size() - 1, 0, 8, Key(36 + 5 * added));
                }
            }));
        // Saved, as a loaded song would be: closing asks nothing.
        composer_->document().mark_saved();
    }

    // Export Audio through the dialog: the name typed, the type picked in the list (-1: left as
    // it is), the options set by before_accept.
    void export_audio(const fs::path& target, int type_index,
                      std::function<void(QWidget*)> before_accept = {}) {
        test::answer_file_dialog(QString::fromStdString(target.string()), type_index,
                                 std::move(before_accept));
        frame_->run_command(CMD_EXPORT_AUDIO);
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
    frame_->run_command(CMD_EXPORT_AUDIO);
    const WavExportSettings kept = audio_export_options().render;
    EXPECT_EQ(audio_export_options().type, AudioFileType::WAV);
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
    frame_->run_command(CMD_EXPORT_AUDIO);
    EXPECT_TRUE(started_8bit);
    EXPECT_FALSE(fs::exists(wav));
}

TEST_F(ExportTest, ModuleExportTellsOnceWhatTheModuleCouldNotHold) {
    struct Case {
        bool crowded; // ten more voices sounding together in the first pattern
        int type;     // in the Export dialog's list: S3M, MOD, 6-channel MOD, 8-channel MOD
        const char* name;
        bool box;
    };
    const Case cases[] = {
        {false, 1, "fits.mod", false},
        {false, 0, "fits.s3m", false},
        {true, 3, "crowded.mod", true},
        {true, 0, "crowded.s3m", false},
    };
    const ModuleFormat formats[] = {ModuleFormat::S3M, ModuleFormat::MOD, ModuleFormat::MOD6,
                                    ModuleFormat::MOD8};
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        if (each.crowded && composer_->document().song().patterns[0].voices.size() < 10)
            crowd_first_pattern();
        const fs::path target = dir_ / each.name;
        const WarningsSeen seen = warnings_during(target, [&] {
            test::answer_file_dialog(QString::fromStdString(target.string()), each.type);
            frame_->run_command(CMD_EXPORT);
        });
        ASSERT_TRUE(fs::exists(target));
        if (!each.box) {
            EXPECT_TRUE(seen.boxes.empty());
            continue;
        }
        // One box, after the file was written, with every warning the export found.
        ASSERT_EQ(seen.boxes.size(), 1u);
        EXPECT_TRUE(seen.file_written_first);
        const std::vector<ExportWarning> warnings =
            build_module(composer_->document().song(), formats[each.type]).warnings;
        QStringList expected;
        for (const ExportWarning& warning : warnings)
            expected << QStringLiteral("• ") + QString::fromStdString(export_warning_text(warning));
        EXPECT_EQ(seen.boxes[0], expected);
        EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](const ExportWarning& w) {
            return w.kind == ExportWarningKind::VOICES_MERGED;
        }));
    }
}

TEST_F(ExportTest, FlacAndOggThroughTheDialog) {
    // The WAV export is the reference.
    const fs::path wav = dir_ / "reference.wav";
    export_audio(wav, -1);
    const test::DecodedSound reference = test::decode_sound(wav);
    ASSERT_GT(reference.samples.size(), 44100u);

    // A typed ".flac" chooses FLAC although the type list still shows WAV.
    const fs::path flac = dir_ / "typed.flac";
    export_audio(flac, -1);
    EXPECT_EQ(audio_export_options().type, AudioFileType::FLAC);
    const test::DecodedSound lossless = test::decode_sound(flac);
    EXPECT_EQ(lossless.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(lossless.channels, 2);
    EXPECT_EQ(lossless.rate, 44100);
    EXPECT_EQ(lossless.samples, reference.samples);
    EXPECT_LT(fs::file_size(flac), fs::file_size(wav));

    // Ogg Vorbis picked in the list, the name typed without extension, quality 3.
    export_audio(dir_ / "picked", 2,
                 [](QWidget* dialog) { dialog->findChild<QSpinBox*>("quality")->setValue(3); });
    EXPECT_EQ(audio_export_options().type, AudioFileType::OGG_VORBIS);
    EXPECT_DOUBLE_EQ(audio_export_options().vorbis_quality, 0.3);
    const test::DecodedSound lossy = test::decode_sound(dir_ / "picked.ogg");
    EXPECT_EQ(lossy.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(lossy.channels, 2);
    EXPECT_EQ(lossy.rate, 44100);
    EXPECT_EQ(lossy.samples.size(), reference.samples.size());

    // The next export starts with the kept type and quality.
    QString proposed;
    int listed = -1;
    int quality = -1;
    test::when_modal([&](QWidget* dialog) {
        proposed = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
        listed = dialog->findChild<QComboBox*>("fileTypeCombo")->currentIndex();
        quality = dialog->findChild<QSpinBox*>("quality")->value();
        static_cast<QDialog*>(dialog)->reject();
    });
    frame_->run_command(CMD_EXPORT_AUDIO);
    EXPECT_EQ(proposed, "tiny.ogg");
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(quality, 3);
}

TEST_F(ExportTest, FileTypeAndExtensionFollowEachOther) {
    struct Step {
        int pick;          // entry of the type list chosen, or -1
        const char* typed; // name typed instead, or null
        const char* name;  // the name field afterwards
        int list;          // the type list's entry afterwards
        const char* suffix;
        bool quality;    // the lossy types' quality enabled
        bool resolution; // 8 or 16 bit enabled
    };
    const Step steps[] = {
        {-1, nullptr, "tiny.wav", 0, "wav", false, true}, // as the dialog opens
        {1, nullptr, "tiny.flac", 1, "flac", false, true},
        {2, nullptr, "tiny.ogg", 2, "ogg", true, false},
        {3, nullptr, "tiny.mp3", 3, "mp3", true, false},
        {4, nullptr, "tiny.opus", 4, "opus", true, false},
        {5, nullptr, "tiny.opus", 5, "opus", true, false}, // all files: the type stays
        {0, nullptr, "tiny.wav", 0, "wav", false, true},
        {-1, "song.flac", "song.flac", 1, "flac", false, true},
        {-1, "song.OGA", "song.OGA", 2, "ogg", true, false},
        {-1, "song.mp3", "song.mp3", 3, "mp3", true, false},
        {-1, "song.m4a", "song.m4a", 3, "mp3", true, false}, // unknown: the type stays
        {-1, "song.Wav", "song.Wav", 0, "wav", false, true},
    };
    test::when_modal([&](QWidget* widget) {
        auto* dialog = static_cast<QFileDialog*>(widget);
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_TRUE(types && name);
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            if (step.pick >= 0) {
                types->setCurrentIndex(step.pick);
                emit types->activated(step.pick);
                emit types->textActivated(types->itemText(step.pick));
            }
            if (step.typed) {
                name->selectAll();
                QTest::keyClicks(name, QString::fromLatin1(step.typed));
            }
            EXPECT_EQ(name->text(), QString::fromLatin1(step.name));
            EXPECT_EQ(types->currentIndex(), step.list);
            EXPECT_EQ(dialog->defaultSuffix(), QString::fromLatin1(step.suffix));
            EXPECT_EQ(dialog->findChild<QGroupBox*>("vorbis")->isEnabled(), step.quality);
            EXPECT_EQ(dialog->findChild<QGroupBox*>("resolution")->isEnabled(), step.resolution);
        }
        dialog->reject();
    });
    frame_->run_command(CMD_EXPORT_AUDIO);
    // A cancelled dialog keeps nothing and writes nothing.
    EXPECT_EQ(audio_export_options().type, AudioFileType::WAV);
    for (const Step& step : steps)
        EXPECT_FALSE(fs::exists(dir_ / step.name)) << step.name;
}

TEST_F(ExportTest, CancelOrFailureLeavesNoFileAndKeepsAnOldOne) {
    // Two hundred times the pattern: minutes of sound, still rendering when Cancel is pressed.
    ASSERT_TRUE(composer_->document().edit(
        Edit{U_INSERT_IN_SEQUENCE, SongChange{}, std::nullopt, 0},
        [](EditContext& context) { context.song().sequence.assign(200, 0); }));
    composer_->document().mark_saved();
    auto cancel_when_rendering = [] {
        test::when_modal([](QWidget* box) {
            EXPECT_EQ(box->objectName(), "ExportingAudio");
            if (auto* cancel = box->findChild<QPushButton*>("cancel")) cancel->click();
        });
    };
    // A folder of its own, apart from the settings the program and Qt write.
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    struct Case {
        const char* name;
        bool existing;
    };
    for (const Case& each : {Case{"long.flac", false}, Case{"long.flac", true},
                             Case{"long.ogg", true}, Case{"long.wav", true}}) {
        SCOPED_TRACE(testing::Message() << each.name << (each.existing ? " over a file" : ""));
        const fs::path target = out / each.name;
        if (each.existing) test::write_file(target, {'k', 'e', 'e', 'p'});
        export_audio(target, -1, [&](QWidget*) {
            if (!each.existing) return cancel_when_rendering();
            // Replacing asks first; then the export starts.
            test::when_modal([&](QWidget* box) {
                cancel_when_rendering();
                static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
            });
        });
        std::vector<fs::path> expected;
        if (each.existing) expected.push_back(each.name);
        EXPECT_EQ(files_in(out), expected);
        if (each.existing) {
            EXPECT_EQ(test::read_file(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
            fs::remove(target);
        }
    }

    // A folder that does not exist: one error, and nothing is written.
    const fs::path missing = out / "missing" / "long.flac";
    const std::vector<QString> errors = test::error_boxes_during([&] {
        test::when_modal([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("fileNameEdit")
                ->setText(QString::fromStdString(missing.string()));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        frame_->run_command(CMD_EXPORT_AUDIO);
    });
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(files_in(out).empty());
}

// MP3 and Opus, picked in the type list or typed: the quality box is the one that counts (the
// resolution is greyed out), and the file is written at a rate the encoder takes.
TEST_F(ExportTest, Mp3AndOpusThroughTheDialog) {
    const fs::path wav = dir_ / "reference.wav";
    export_audio(wav, -1);
    const test::DecodedSound reference = test::decode_sound(wav);
    ASSERT_GT(reference.samples.size(), 44100u);

    struct Case {
        const char* name;
        int list_index;
        AudioFileType type;
        const char* file;
        int format, rate;
    } cases[] = {
        {"picked-mp3", 3, AudioFileType::MP3, "picked-mp3.mp3",
         SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
        {"typed.opus", -1, AudioFileType::OPUS, "typed.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS,
         48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool resolution_enabled = true, quality_enabled = false;
        export_audio(dir_ / c.name, c.list_index, [&](QWidget* dialog) {
            settle(10);
            resolution_enabled = dialog->findChild<QWidget*>("resolution")->isEnabled();
            quality_enabled = dialog->findChild<QWidget*>("vorbis")->isEnabled();
        });
        EXPECT_EQ(audio_export_options().type, c.type);
        if (c.list_index >= 0) {
            EXPECT_FALSE(resolution_enabled);
            EXPECT_TRUE(quality_enabled);
        }
        const test::DecodedSound lossy = test::decode_sound(dir_ / c.file);
        EXPECT_EQ(lossy.format, c.format);
        EXPECT_EQ(lossy.channels, 2);
        EXPECT_EQ(lossy.rate, c.rate);
        // The same length in time as the WAV export.
        EXPECT_NEAR(double(lossy.samples.size()) / c.rate, double(reference.samples.size()) / 44100,
                    0.01);
    }
}

// The Export Audio dialog (Ogg Vorbis chosen, so that every option shows enabled) and the module
// warnings box, in English and German, for a person to judge: build/tests/screenshots/*.png.
TEST_F(ExportTest, ScreenshotsInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    const fs::path songs = dir_ / "Songs";
    fs::create_directories(songs);
    for (const char* name : {"tiny.mod", "tiny.sn2", "tiny.ogg", "ballad.ogg"})
        test::write_file(songs / name, test::tiny_mod());
    crowd_first_pattern();
    for (const auto& [language, suffix] :
         {std::pair{Language::ENGLISH, "en"}, std::pair{Language::GERMAN, "de"}}) {
        set_language(language);
        test::when_modal([&, suffix = suffix](QWidget* dialog) {
            // A folder as a user has it, not the test's own.
            static_cast<QFileDialog*>(dialog)->setDirectory(QString::fromStdString(songs.string()));
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            types->setCurrentIndex(2);
            emit types->activated(2);
            emit types->textActivated(types->itemText(2));
            settle(50);
            EXPECT_TRUE(dialog->grab().save(QString::fromStdString(
                (shots / (std::string("export-audio-") + suffix + ".png")).string())));
            static_cast<QDialog*>(dialog)->reject();
        });
        frame_->run_command(CMD_EXPORT_AUDIO);

        ModuleWarningsBox box(
            build_module(composer_->document().song(), ModuleFormat::MOD).warnings, frame_);
        box.show();
        settle(50);
        EXPECT_TRUE(box.grab().save(QString::fromStdString(
            (shots / (std::string("module-warnings-") + suffix + ".png")).string())));
    }
    set_language(Language::ENGLISH);
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
