// Autosave and recovery: a changed song is written to this copy's recovery file and the file
// goes at a normal end; a copy killed after an autosave leaves a file that the next start offers
// (Recover, Discard, Later), and a copy that still runs keeps its files to itself.
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/document/autosave.h"
#include "app/document/document.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "settings/settings.h"
#include "storage/song_saver.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

const fs::path DEMO = fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2";

Composer::Options quiet_options() {
    Composer::Options options;
    options.splash = false;
    return options;
}

void rename_first_pattern(Document& document, const std::string& name) {
    Edit edit;
    edit.name = U_RENAME_PATTERN;
    edit.change.pattern = -1;
    ASSERT_TRUE(document.edit(
        edit, [&](EditContext& context) { rename_pattern(context.song(), 0, name); }));
}

// The recovery files of copies that no longer run, as a third copy would find them.
size_t orphan_count() {
    Document document;
    Autosaver probe(document, recovery_folder(), 0);
    return probe.orphans().size();
}

// Clicks the button of the recovery box once it is up, and keeps the box's text.
void answer_recovery(const char* button, QString* text = nullptr, std::string screenshot = {}) {
    test::when_modal([button, text, screenshot](QWidget* widget) {
        ASSERT_EQ(widget->objectName(), "RecoveryOffer");
        if (text) *text = static_cast<QMessageBox*>(widget)->text();
        if (!screenshot.empty()) {
            const fs::path shots =
                fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
            fs::create_directories(shots);
            widget->grab().save(QString::fromStdString((shots / screenshot).string()));
        }
        auto* choice = widget->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(choice, nullptr);
        choice->click();
    });
}

class RecoveryTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        song_ = dir_ / "song.sn2";
        fs::copy_file(DEMO, song_);
    }

    void TearDown() override {
        if (child_.state() != QProcess::NotRunning) {
            child_.kill();
            child_.waitForFinished();
        }
        AppTest::TearDown();
    }

    // Starts a second composer that renames pattern 0 and autosaves; returns its recovery file.
    // It opens the song as given, from the working folder given (the test's own by default).
    fs::path start_child(const std::string& pattern_name, const std::string& song = {},
                         const fs::path& working_folder = {}) {
        child_.setProgram(QString::fromUtf8(TUNEMILL_BIN_DIR "/../tests/tmw_recovery_child"));
        child_.setArguments({QString::fromStdString(song.empty() ? song_.string() : song),
                             QString::fromStdString(pattern_name)});
        if (!working_folder.empty())
            child_.setWorkingDirectory(QString::fromStdString(working_folder.string()));
        child_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child_.start();
        EXPECT_TRUE(child_.waitForStarted(10000));
        while (!child_.canReadLine() && child_.waitForReadyRead(20000)) {
        }
        const fs::path file = child_.readLine().trimmed().toStdString();
        EXPECT_TRUE(fs::exists(file)) << file;
        return file;
    }

    void kill_child() {
        ::kill(pid_t(child_.processId()), SIGKILL);
        ASSERT_TRUE(child_.waitForFinished(10000));
        EXPECT_EQ(child_.exitStatus(), QProcess::CrashExit);
    }

    fs::path song_;
    QProcess child_;
};

TEST_F(RecoveryTest, AChangedSongIsAutosavedAndTheFileGoesAtANormalEnd) {
    // The composer reads its settings from the store: one second between autosaves.
    read_settings();
    settings().autosave_interval = 1;
    ASSERT_TRUE(write_settings());
    auto composer = std::make_unique<Composer>(quiet_options());
    composer->start({QString::fromStdString(song_.string())});
    const fs::path autosaved = composer->autosaver().song_file();
    EXPECT_FALSE(composer->autosaver().save_now()) << "an unchanged song is not autosaved";
    rename_first_pattern(composer->document(), "Autosaved");
    // The timer writes it within its interval, without a box.
    for (int waited = 0; waited < 40 && !fs::exists(autosaved); ++waited)
        QTest::qWait(100);
    ASSERT_TRUE(fs::exists(autosaved));
    EXPECT_TRUE(fs::exists(composer->autosaver().record_file()));
    EXPECT_EQ(read_any_song(autosaved, stock_bank_lookup()).patterns[0].name, "Autosaved");
    EXPECT_FALSE(composer->autosaver().save_now()) << "nothing changed since";
    // The user's own file is untouched.
    EXPECT_EQ(test::read_file(song_), test::read_file(DEMO));
    // Save removes the recovery file; the next change brings it back.
    ASSERT_TRUE(composer->main_window()->save());
    EXPECT_FALSE(fs::exists(autosaved));
    rename_first_pattern(composer->document(), "Again");
    ASSERT_TRUE(composer->autosaver().save_now());
    composer.reset();
    EXPECT_FALSE(fs::exists(autosaved));
    EXPECT_EQ(orphan_count(), 0u);
}

TEST_F(RecoveryTest, AKilledCopysSongIsOfferedAndRecoveredExactly) {
    const fs::path autosaved = start_child("Rescued");
    const std::vector<uint8_t> autosaved_bytes = test::read_file(autosaved);

    // While that copy runs, its file is its own: nothing is offered.
    EXPECT_EQ(orphan_count(), 0u);
    {
        Composer composer(quiet_options());
        composer.start({}); // an offer here would be an unexpected box
        QApplication::processEvents();
    }
    kill_child();
    ASSERT_TRUE(fs::exists(autosaved));
    EXPECT_EQ(orphan_count(), 1u);

    // Later keeps it for the next start; the box speaks the user's language.
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const std::string tag = language == Language::GERMAN ? "de" : "en";
        Composer composer(quiet_options());
        QString text;
        answer_recovery("Later", &text, "recovery-" + tag + ".png");
        composer.start({});
        EXPECT_TRUE(text.contains(language == Language::GERMAN ? "Songs song" : "the song song"))
            << text.toStdString();
        EXPECT_FALSE(composer.document().modified());
    }
    set_language(Language::ENGLISH);
    ASSERT_TRUE(fs::exists(autosaved));

    // Recover: the autosaved song, changed, under the path it had.
    Composer composer(quiet_options());
    answer_recovery("Recover");
    MainWindow* frame = composer.start({});
    const Song& song = composer.document().song();
    EXPECT_EQ(song.patterns[0].name, "Rescued");
    EXPECT_EQ(fs::path(song.path), song_);
    EXPECT_TRUE(song.song_file);
    EXPECT_TRUE(composer.document().modified());
    EXPECT_EQ(frame->windowTitle(), "Tunemill - song");
    const fs::path rewritten = dir_ / "rewritten.sn2";
    write_song_file(song, rewritten);
    EXPECT_EQ(test::read_file(rewritten), autosaved_bytes);
    // The old copy's files are gone; the song lives on in this copy's own recovery file.
    EXPECT_FALSE(fs::exists(autosaved));
    EXPECT_TRUE(fs::exists(composer.autosaver().song_file()));
    EXPECT_EQ(orphan_count(), 0u);
    // Save writes to the original file without asking for a name.
    ASSERT_TRUE(frame->save());
    EXPECT_EQ(read_any_song(song_, stock_bank_lookup()).patterns[0].name, "Rescued");
    frame->close();
}

TEST_F(RecoveryTest, DiscardDeletesTheKilledCopysFile) {
    const fs::path autosaved = start_child("Unwanted");
    kill_child();
    Composer composer(quiet_options());
    answer_recovery("Discard");
    composer.start({});
    EXPECT_FALSE(fs::exists(autosaved));
    EXPECT_EQ(orphan_count(), 0u);
    EXPECT_EQ(composer.document().song().patterns[0].name, "Pattern I");
    EXPECT_FALSE(composer.document().modified());
}

TEST_F(RecoveryTest, ASongOpenedByARelativePathIsRecoveredToItsOwnFileFromAnywhere) {
    // "cd work; tmw song.sn2", changed, killed.
    const fs::path autosaved = start_child("Home", "song.sn2", dir_);
    kill_child();
    ASSERT_TRUE(fs::exists(autosaved));

    // The next copy starts in another folder and recovers.
    const fs::path elsewhere = dir_ / "elsewhere";
    fs::create_directories(elsewhere);
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere);
    {
        Composer composer(quiet_options());
        answer_recovery("Recover");
        MainWindow* frame = composer.start({});
        EXPECT_EQ(composer.document().song().path, song_.string());
        ASSERT_TRUE(frame->save());
        frame->close();
    }
    fs::current_path(before);
    EXPECT_EQ(read_any_song(song_, stock_bank_lookup()).patterns[0].name, "Home");
    EXPECT_FALSE(fs::exists(elsewhere / "song.sn2")) << "nothing is saved where the copy ran";
}

TEST_F(RecoveryTest, TermAndInterruptEndTheCopyKeepingItsChangedSong) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const fs::path autosaved = start_child("Kept");
        fs::path lock = autosaved;
        lock.replace_extension(".lock");
        ASSERT_TRUE(fs::exists(lock));
        ::kill(pid_t(child_.processId()), signal);
        ASSERT_TRUE(child_.waitForFinished(10000));
        EXPECT_EQ(child_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child_.exitCode(), 0);
        // The lock goes with its copy; the changed song stays to be offered.
        EXPECT_FALSE(fs::exists(lock));
        EXPECT_TRUE(fs::exists(autosaved));
        EXPECT_EQ(orphan_count(), 1u);
        Composer composer(quiet_options());
        answer_recovery("Discard");
        composer.start({});
        EXPECT_EQ(orphan_count(), 0u);
    }
}

TEST_F(RecoveryTest, LocksOfCopiesThatAreGoneAreClearedAtStartUp) {
    // A process that has ended: its id is free.
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const std::string gone = std::to_string(ended);
    const fs::path folder = recovery_folder();
    fs::create_directories(folder);
    const fs::path stale = folder / ("tmw-" + gone + "-0badf00d.lock");
    const fs::path running = folder / "tmw-1-0000beef.lock"; // init runs as long as we do
    const fs::path orphan = folder / ("tmw-" + gone + "-feedf00d.lock");
    for (const fs::path& lock : {stale, running, orphan})
        test::write_file(lock, {});
    // The orphan's song waits to be offered: its lock stays with it.
    fs::path record = orphan, song = orphan;
    test::write_file(record.replace_extension(".record"), {'p', 'a', 't', 'h', ' ', 'x', '\n'});
    fs::copy_file(DEMO, song.replace_extension(".sn2"));

    Document document;
    Autosaver starting(document, folder, 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(orphan));
    EXPECT_EQ(starting.orphans().size(), 1u);
}

} // namespace
} // namespace tunemill
