// MIDI files in the composer: File > Load (and a dropped file, which takes the same way) brings a
// MIDI file in as an untitled, changed song and lists what the song holds differently in one
// box; File > Export as MIDI writes the file through its dialog.
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/common/commands.h"
#include "app/dialogs/module_warnings_box.h"
#include "app/document/document.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "midi/smf.h"
#include "midi/warnings.h"
#include "platform/audio_device.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

void settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A format 0 file: a piano scale with one note below the song's keys (MIDI 12), then a held
// chord.
std::vector<uint8_t> small_midi() {
    MidiFile file;
    file.format = 0;
    file.division.ticks_per_quarter = 96;
    MidiTrack track;
    track.events.push_back({0, MIDI_META, META_TEXT, 0, "A small tune"});
    const uint8_t notes[] = {60, 62, 64, 12, 67};
    uint64_t tick = 0;
    for (uint8_t note : notes) {
        track.events.push_back({tick, 0x90, note, 100, {}});
        track.events.push_back({tick + 90, 0x80, note, 0, {}});
        tick += 96;
    }
    for (uint8_t note : {60, 64, 67})
        track.events.push_back({tick, 0x90, note, 80, {}});
    for (uint8_t note : {60, 64, 67})
        track.events.push_back({tick + 384, 0x80, note, 0, {}});
    track.end_tick = tick + 384;
    file.tracks.push_back(track);
    return write_smf(file);
}

// The lines of every warnings box shown while the function runs (each closed with OK).
std::vector<QStringList> boxes_during(const std::function<void()>& run) {
    auto seen = std::make_shared<std::vector<QStringList>>();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [seen] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != QStringLiteral("ModuleWarnings") || !widget->isVisible())
                continue;
            seen->push_back(widget->findChild<QPlainTextEdit*>(QStringLiteral("warnings"))
                                ->toPlainText()
                                .split(QLatin1Char('\n')));
            widget->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        }
    });
    timer.start(10);
    run();
    QApplication::processEvents();
    return *seen;
}

class MidiFilesTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        midi_ = dir_ / "tune.mid";
        test::write_file(midi_, small_midi());
        Composer::Options options;
        options.splash = false;
        options.audio = &audio_;
        composer_ = std::make_unique<Composer>(options);
        frame_ = composer_->start({});
    }
    void TearDown() override {
        composer_->document().mark_saved();
        frame_->close();
        composer_.reset();
        AppTest::TearDown();
    }

    NullAudioSystem audio_;
    fs::path midi_;
    std::unique_ptr<Composer> composer_;
    MainWindow* frame_ = nullptr;
};

TEST_F(MidiFilesTest, LoadBringsTheFileInUntitledAndChangedAndTellsWhatDiffers) {
    const std::vector<QStringList> boxes = boxes_during([&] { frame_->load_song(midi_.string()); });
    const Song& song = composer_->document().song();
    size_t notes = 0;
    for (uint32_t entry : song.sequence)
        for (const Voice& voice : song.patterns[entry].voices)
            for (const Event& event : voice.events)
                notes += event.kind == NOTE_ON;
    EXPECT_EQ(notes, 8u);
    EXPECT_EQ(song.description, "A small tune");
    EXPECT_TRUE(song.modified);
    EXPECT_FALSE(song.song_file);
    EXPECT_NE(fs::path(song.path).filename(), "tune.mid");
    // One box, one line: the note below the keys moved by octaves.
    ASSERT_EQ(boxes.size(), 1u);
    ASSERT_EQ(boxes[0].size(), 1);
    EXPECT_TRUE(boxes[0][0].contains(QStringLiteral("1 notes"))) << boxes[0][0].toStdString();
}

TEST_F(MidiFilesTest, ExportAsMidiWritesThePlainFile) {
    boxes_during([&] { frame_->load_song(midi_.string()); });
    const fs::path target = dir_ / "out.mid";
    const std::vector<QStringList> boxes = boxes_during([&] {
        test::answer_file_dialog(QString::fromStdString(target.string()));
        frame_->run_command(CMD_EXPORT_MIDI);
    });
    EXPECT_TRUE(boxes.empty()); // everything fits: no box
    const MidiFile file = read_smf(test::read_file(target));
    EXPECT_EQ(file.format, 1);
    EXPECT_EQ(file.tracks.size(), 2u); // the tempo track and the piano's
}

TEST_F(MidiFilesTest, ExportOfASongWithoutNotesSaysSoAndWritesNothing) {
    const fs::path target = dir_ / "empty.mid";
    const std::vector<QString> errors = test::error_boxes_during([&] {
        test::answer_file_dialog(QString::fromStdString(target.string()));
        frame_->run_command(CMD_EXPORT_MIDI);
    });
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(fs::exists(target));
}

// The box after a MIDI import, in English and German: build/tests/screenshots/*.png.
TEST_F(MidiFilesTest, ScreenshotsInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    for (const auto& [language, suffix] :
         {std::pair{Language::ENGLISH, "en"}, std::pair{Language::GERMAN, "de"}}) {
        set_language(language);
        const QStringList lines = {
            QString::fromStdString(midi_warning_text({MidiWarningKind::KEYS_MOVED, 520})),
            QString::fromStdString(midi_warning_text({MidiWarningKind::NOTES_SPLIT, 35})),
            QString::fromStdString(midi_warning_text({MidiWarningKind::SHORT_NOTES, 30}))};
        ModuleWarningsBox box(composer_text(S_LOAD_SONG), dialog_text(D_MIDI_IMPORT_DIFFERS), lines,
                              frame_);
        box.show();
        settle(50);
        EXPECT_TRUE(box.grab().save(QString::fromStdString(
            (shots / (std::string("midi-warnings-") + suffix + ".png")).string())));
    }
    set_language(Language::ENGLISH);
}

} // namespace
} // namespace tunemill
