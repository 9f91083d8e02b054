// The composer's main frame in-process: start-up, the menus and their rules, the key routing,
// the save prompt, loading, saving, settings and placement across runs, and the screenshots.
#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/live/player.h"
#include "app/shell/about_box.h"
#include "app/shell/application.h"
#include "app/shell/main_window.h"
#include "app/shell/placement.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "settings/settings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;
using test::AppTest;

// A pattern window as far as the frame can see it: the questions of the enabling rules with
// answers the test sets, and the commands it receives.
class TestPatternWindow : public QWidget, public PatternView {
  public:
    size_t pattern = 0;
    bool block = false;
    Pane pane = Pane::NOTES;
    bool volume_shown = false;
    bool follow = false;
    size_t voice = 0;
    std::vector<int> commands;
    int settings_stored = 0;

    size_t pattern_index() const override { return pattern; }
    void point_at(size_t index) override { pattern = index; }
    bool has_block() const override { return block; }
    Pane block_pane() const override { return pane; }
    bool shows_pane(Pane which) const override { return which == Pane::VOLUME && volume_shown; }
    bool follows_playback() const override { return follow; }
    size_t current_voice() const override { return voice; }
    void store_settings() override { ++settings_stored; }
    void refresh_block_marking() override {}
    void run_command(int command) override { commands.push_back(command); }
};

// Records what the frame asks of the playback.
class RecordingPlayer : public Player {
  public:
    std::vector<std::string> calls;
    void play_song() override { calls.push_back("play"); }
    void stop() override { calls.push_back("stop"); }
    void wind(int direction) override { calls.push_back(direction > 0 ? "wind+" : "wind-"); }
    void set_repeat(bool repeat) override { calls.push_back(repeat ? "repeat on" : "repeat off"); }
};

class MainWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        // Each test may run in a process of its own: the frame shows errors in boxes as the
        // composer sets them up, whatever ran before.
        install_error_box();
        read_settings();
        settings().song_folder = dir_.string();
        document_.song_for_engine().modified = false;
    }

    std::unique_ptr<MainWindow> make_frame(ChildFactories factories = {}) {
        auto frame = std::make_unique<MainWindow>(document_, &player_, std::move(factories));
        frame->resize(900, 640);
        frame->show();
        frame->new_song();
        return frame;
    }

    bool enabled(MainWindow& frame, int command) { return frame.action(command)->isEnabled(); }

    Document document_;
    RecordingPlayer player_;
};

TEST_F(MainWindowTest, StartsWithAnUntitledSong) {
    Composer composer(Composer::Options{false, {}});
    MainWindow* frame = composer.start({});
    EXPECT_EQ(frame->windowTitle(), "Tunemill - Untitled");
    EXPECT_EQ(frame->objectName(), "TMMainWindow");
    const Song& song = composer.document().song();
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_EQ(song.sequence, std::vector<uint32_t>{0});
    EXPECT_FALSE(song.modified);
    EXPECT_FALSE(song.song_file);
    EXPECT_EQ(song.path, untitled_song_path(settings().song_folder));
    EXPECT_TRUE(song.path.ends_with("/Untitled"));
    frame->close();
}

TEST_F(MainWindowTest, MenuInBothLanguages) {
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        auto frame = make_frame();
        const QList<QAction*> titles = frame->menuBar()->actions();
        ASSERT_EQ(titles.size(), POPUP_COUNT);
        for (int popup = 0; popup < POPUP_COUNT; ++popup) {
            EXPECT_EQ(titles[popup]->text(), menu_text(POPUP_TEXT_BASE + uint32_t(popup)));
            const QList<QAction*> items = frame->popup(popup)->actions();
            const std::vector<MenuEntry>& entries = popup_entries(popup);
            ASSERT_GE(items.size(), qsizetype(entries.size()));
            for (size_t i = 0; i < entries.size(); ++i) {
                const QAction* item = items[qsizetype(i)];
                if (entries[i].command == SEPARATOR)
                    EXPECT_TRUE(item->isSeparator());
                else if (entries[i].command == PORTAMENTO_SUBMENU)
                    EXPECT_EQ(item->menu(), frame->portamento_menu());
                else
                    EXPECT_EQ(item->data().toInt(), entries[i].command);
            }
        }
        // The Portamento submenu sits at position 11 of Edit.
        EXPECT_EQ(frame->popup(EDIT_POPUP)->actions()[PORTAMENTO_POSITION]->menu(),
                  frame->portamento_menu());
        frame->close();
    }
    set_language(Language::GERMAN);
    auto frame = make_frame();
    EXPECT_EQ(frame->menuBar()->actions()[0]->text(), "&Datei");
    EXPECT_EQ(frame->action(CMD_SAVE_AS)->text(), "Speichern &unter");
    EXPECT_EQ(frame->windowTitle(), "Tunemill - Unbenannt");
    EXPECT_EQ(document_.song_for_engine().patterns[0].name, "Pattern I");
    frame->close();
}

TEST_F(MainWindowTest, EnablingRulesWithoutAPatternWindow) {
    auto frame = make_frame();
    settings().repeat = 1;
    settings().all_voices = 0;
    for (int popup = 0; popup < POPUP_COUNT; ++popup)
        frame->update_popup(popup);
    for (int command : {CMD_CUT,
                        CMD_COPY,
                        CMD_PASTE,
                        CMD_DELETE,
                        CMD_CLEAR_BLOCK,
                        CMD_INSERT_SPACE,
                        CMD_REPEAT_BLOCK,
                        CMD_TRANSPOSE_BLOCK,
                        CMD_RECORD_BLOCK,
                        CMD_SET_PORTAMENTO,
                        CMD_CLEAR_PORTAMENTO,
                        CMD_VOLUME,
                        CMD_BALANCE,
                        CMD_TEMPO,
                        CMD_ADD_VOICE,
                        CMD_REPLACE_INSTRUMENT,
                        CMD_RECORD_VOICE,
                        CMD_DELETE_VOICE,
                        CMD_MUTE_VOICE,
                        CMD_PLAY_PATTERN,
                        CMD_PLAY_BLOCK,
                        CMD_PLAY_VOICE,
                        CMD_FOLLOW_PLAYBACK})
        EXPECT_FALSE(enabled(*frame, command)) << command;
    EXPECT_FALSE(frame->portamento_menu()->isEnabled());
    for (int command : {CMD_NEW, CMD_LOAD, CMD_SAVE, CMD_SAVE_AS, CMD_EXPORT_AUDIO, CMD_EXIT,
                        CMD_ALL_VOICES, CMD_PLAY_SONG, CMD_STOP, CMD_REPEAT, CMD_CASCADE, CMD_TILE,
                        CMD_HELP_TOPICS, CMD_WEB_PAGE, CMD_ABOUT})
        EXPECT_TRUE(enabled(*frame, command)) << command;
    // The windows of the View popup are not part of the program yet.
    for (int command :
         {CMD_PATTERN, CMD_SEQUENCE, CMD_INSTRUMENTS, CMD_KEYBOARD, CMD_SONG_OPTIONS, CMD_OPTIONS})
        EXPECT_FALSE(enabled(*frame, command)) << command;
    EXPECT_TRUE(frame->action(CMD_REPEAT)->isChecked());
    EXPECT_FALSE(frame->action(CMD_ALL_VOICES)->isChecked());
    EXPECT_FALSE(frame->action(CMD_VOLUME)->isChecked());

    // The keys of greyed items do nothing; those of the Play popup always work.
    player_.calls.clear();
    QTest::keyClick(frame.get(), Qt::Key_F6);
    QTest::keyClick(frame.get(), Qt::Key_Delete);
    EXPECT_TRUE(player_.calls.empty());
    QTest::keyClick(frame.get(), Qt::Key_F5);
    QTest::keyClick(frame.get(), Qt::Key_Plus, Qt::KeypadModifier);
    QTest::keyClick(frame.get(), Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(frame.get(), Qt::Key_F9);
    EXPECT_EQ(player_.calls, (std::vector<std::string>{"play", "wind+", "wind-", "stop"}));
    // Repeat and All Voices toggle their settings.
    frame->action(CMD_REPEAT)->trigger();
    EXPECT_EQ(settings().repeat, 0);
    EXPECT_EQ(player_.calls.back(), "repeat off");
    QTest::keyClick(frame.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(settings().all_voices, 1);
    frame->update_popup(EDIT_POPUP);
    EXPECT_TRUE(frame->action(CMD_ALL_VOICES)->isChecked());
    frame->close();
}

TEST_F(MainWindowTest, EnablingRulesFollowTheActivePatternWindow) {
    TestPatternWindow* window = nullptr;
    ChildFactories factories;
    factories.pattern = [&window] { return window = new TestPatternWindow; };
    factories.sequence = [] { return new QWidget; };
    auto frame = make_frame(factories);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(frame->active_pattern_window(), window);
    EXPECT_EQ(frame->pattern_window_count(), 1u);

    // A pattern without voices and no block.
    frame->update_popup(EDIT_POPUP);
    frame->update_popup(VOICE_POPUP);
    frame->update_popup(PLAY_POPUP);
    EXPECT_FALSE(enabled(*frame, CMD_CUT));
    EXPECT_TRUE(enabled(*frame, CMD_ADD_VOICE));
    EXPECT_FALSE(enabled(*frame, CMD_DELETE_VOICE));
    EXPECT_TRUE(enabled(*frame, CMD_PLAY_PATTERN));
    EXPECT_FALSE(enabled(*frame, CMD_PLAY_VOICE));
    EXPECT_FALSE(enabled(*frame, CMD_PLAY_BLOCK));

    // A block in the volume pane: the block commands, but no portamento, not even by key.
    window->block = true;
    window->pane = Pane::VOLUME;
    frame->update_popup(EDIT_POPUP);
    for (int command : {CMD_CUT, CMD_COPY, CMD_DELETE, CMD_CLEAR_BLOCK, CMD_INSERT_SPACE,
                        CMD_REPEAT_BLOCK, CMD_TRANSPOSE_BLOCK, CMD_RECORD_BLOCK})
        EXPECT_TRUE(enabled(*frame, command)) << command;
    EXPECT_FALSE(frame->portamento_menu()->isEnabled());
    QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
    QTest::keyClick(window, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(window->commands.empty());
    QTest::keyClick(window, Qt::Key_Delete);
    QTest::keyClick(window, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(window->commands, (std::vector<int>{CMD_DELETE, CMD_CUT}));

    // A block in the note pane makes the Portamento submenu available.
    window->pane = Pane::NOTES;
    window->commands.clear();
    QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(window->commands, std::vector<int>{CMD_SET_PORTAMENTO});
    EXPECT_TRUE(frame->portamento_menu()->isEnabled());

    // Voices, the volume pane and following playback show as check marks.
    document_.song_for_engine().patterns[0].voices.push_back(Voice{});
    document_.song_for_engine().patterns[0].voices[0].muted = true;
    window->volume_shown = true;
    window->follow = true;
    for (int popup : {VIEW_POPUP, VOICE_POPUP, PLAY_POPUP})
        frame->update_popup(popup);
    EXPECT_TRUE(frame->action(CMD_VOLUME)->isChecked());
    EXPECT_FALSE(frame->action(CMD_BALANCE)->isChecked());
    EXPECT_TRUE(frame->action(CMD_MUTE_VOICE)->isChecked());
    EXPECT_TRUE(frame->action(CMD_FOLLOW_PLAYBACK)->isChecked());
    EXPECT_TRUE(enabled(*frame, CMD_PLAY_VOICE));
    EXPECT_TRUE(enabled(*frame, CMD_REPLACE_INSTRUMENT));
    document_.song_for_engine().patterns[0].voices.clear();

    // While the sequence window is active the editing keys are its own; the global ones stay.
    frame->run_command(CMD_SEQUENCE);
    ASSERT_TRUE(frame->dialog_child_active());
    window->commands.clear();
    player_.calls.clear();
    QWidget* sequence = frame->mdi_area()->activeSubWindow()->widget();
    QTest::keyClick(sequence, Qt::Key_Delete);
    QTest::keyClick(sequence, Qt::Key_F6);
    QTest::keyClick(sequence, Qt::Key_F5);
    EXPECT_TRUE(window->commands.empty());
    EXPECT_EQ(player_.calls, std::vector<std::string>{"play"});
    // The sequence window is made once; asking again activates it.
    frame->mdi_area()->setActiveSubWindow(frame->mdi_area()->subWindowList().first());
    frame->run_command(CMD_SEQUENCE);
    EXPECT_EQ(frame->mdi_area()->subWindowList().size(), 2);
    EXPECT_TRUE(frame->dialog_child_active());

    // New keeps one pattern window and points it at pattern 0.
    frame->run_command(CMD_PATTERN);
    EXPECT_EQ(frame->pattern_window_count(), 2u);
    frame->run_command(CMD_NEW);
    EXPECT_EQ(frame->pattern_window_count(), 1u);
    EXPECT_EQ(frame->first_pattern_window()->pattern_index(), 0u);
    frame->close();
}

TEST_F(MainWindowTest, SavePromptAnswers) {
    auto frame = make_frame();
    Song& song = document_.song_for_engine();
    auto change_song = [&song] {
        song.patterns[0].name = "Changed";
        song.modified = true;
    };

    // Cancel: nothing happens.
    change_song();
    QString prompt;
    test::answer_box(QMessageBox::Cancel, &prompt);
    frame->run_command(CMD_NEW);
    EXPECT_EQ(prompt, "Song is changed. Do you want to save it?");
    EXPECT_EQ(song.patterns[0].name, "Changed");
    EXPECT_TRUE(song.modified);

    // No: the changes go.
    test::answer_box(QMessageBox::No);
    frame->run_command(CMD_NEW);
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_FALSE(song.modified);

    // Yes on an untitled song: Save As asks for the name, the song is written, then New.
    change_song();
    const fs::path saved = dir_ / "kept";
    test::answer_box(QMessageBox::Yes);
    test::answer_file_dialog(QString::fromStdString(saved.string()));
    frame->run_command(CMD_NEW);
    EXPECT_TRUE(fs::exists(dir_ / "kept.sn2"));
    EXPECT_EQ(song.patterns[0].name, "Pattern I");
    EXPECT_FALSE(song.modified);

    // Exit with Cancel keeps the program running; Yes whose save fails keeps it running too.
    change_song();
    test::answer_box(QMessageBox::Cancel);
    frame->run_command(CMD_EXIT);
    EXPECT_TRUE(frame->isVisible());
    song.song_file = true;
    song.path = (dir_ / "no-such-folder" / "x.sn2").string();
    std::vector<QString> errors = test::error_boxes_during([&] {
        test::answer_box(QMessageBox::Yes);
        frame->run_command(CMD_EXIT);
    });
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(song.modified);
    test::answer_box(QMessageBox::No);
    frame->run_command(CMD_EXIT);
    EXPECT_FALSE(frame->isVisible());
}

// Each argument is one path: the first file opens, and the others are named on stderr instead of
// being joined into one name that fails.
TEST_F(MainWindowTest, TwoFilesOnTheCommandLineOpenTheFirstAndNameTheOther) {
    const fs::path module = dir_ / "tiny.mod";
    test::write_file(module, test::tiny_mod());
    const fs::path other = dir_ / "other.mod";
    Composer composer(Composer::Options{false, {}});
    testing::internal::CaptureStderr();
    MainWindow* frame = composer.start(
        {QString::fromStdString(module.string()), QString::fromStdString(other.string())});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(frame->windowTitle(), "Tunemill - tiny");
    EXPECT_EQ(composer.document().path(), module.string());
    // (Qt's own platform notes may stand beside it.)
    const std::string line = "One song is open at a time; not opened: " + other.string() + "\n";
    EXPECT_NE(said.find(line), std::string::npos) << said;
    frame->close();
}

TEST_F(MainWindowTest, ModuleOnTheCommandLineThenSaveAsksForAName) {
    const fs::path module = dir_ / "tiny.mod";
    test::write_file(module, test::tiny_mod());
    Composer composer(Composer::Options{false, {}});
    MainWindow* frame = composer.start({QString::fromStdString(module.string())});
    EXPECT_EQ(frame->windowTitle(), "Tunemill - tiny");
    Song& song = composer.document().song_for_engine();
    EXPECT_FALSE(song.song_file);
    EXPECT_FALSE(song.modified);
    ASSERT_FALSE(song.patterns.empty());
    ASSERT_FALSE(song.instruments.empty());

    QString suffix;
    QString proposed;
    test::answer_file_dialog(QString::fromStdString((dir_ / "converted").string()), -1,
                             [&](QWidget* widget) {
                                 auto* dialog = static_cast<QFileDialog*>(widget);
                                 suffix = dialog->defaultSuffix();
                                 proposed = dialog->selectedFiles().value(0);
                             });
    EXPECT_TRUE(frame->save());
    EXPECT_EQ(suffix, "sn2");
    EXPECT_EQ(proposed, QString::fromStdString((dir_ / "tiny.sn2").string()));
    EXPECT_TRUE(fs::exists(dir_ / "converted.sn2"));
    EXPECT_TRUE(song.song_file);
    EXPECT_EQ(frame->windowTitle(), "Tunemill - converted");
    EXPECT_EQ(frame->last_song_folder(), dir_.string());

    // The saved song loads back as a song file, which Save then overwrites without asking.
    frame->load_song((dir_ / "converted.sn2").string());
    EXPECT_TRUE(song.song_file);
    song.modified = true;
    EXPECT_TRUE(frame->save());
    EXPECT_FALSE(song.modified);
    frame->close();
}

TEST_F(MainWindowTest, UnreadableFileLeavesANewSongAndOneMessageNamingIt) {
    const fs::path junk = dir_ / "junk.sn2";
    test::write_file(junk, std::vector<uint8_t>(300, 0x5A));
    const fs::path truncated = dir_ / "short.mod";
    std::vector<uint8_t> module = test::tiny_mod();
    module.resize(1200); // the header promises a pattern and a sample that are not there
    test::write_file(truncated, module);
    std::vector<uint8_t> two_channels = test::tiny_mod();
    std::copy_n("2CHN", 4, two_channels.begin() + 1080);
    const fs::path unsupported = dir_ / "two.mod";
    test::write_file(unsupported, two_channels);
    const fs::path pipe = dir_ / "pipe.sn2"; // refused at once, never waited on
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        fs::path path;
        std::string message;
    } cases[] = {
        {junk, "Unknown or damaged song file"},
        {truncated, "Damaged song file"},
        {unsupported, "2-channel MOD (tag 2CHN) is not supported"},
        {pipe, pipe.string() + " is not a regular file"},
        {dir_ / "missing.sn2", ""},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Composer> composer;
        MainWindow* frame = nullptr;
        const std::vector<QString> errors = test::error_boxes_during([&] {
            composer = std::make_unique<Composer>(Composer::Options{false, {}});
            frame = composer->start({QString::fromStdString(c.path.string())});
        });
        ASSERT_EQ(errors.size(), 1u) << c.path;
        const QString named = QString::fromStdString(c.path.string()) + " cannot be loaded:\n";
        EXPECT_TRUE(errors[0].startsWith(named)) << errors[0].toStdString();
        if (!c.message.empty())
            EXPECT_EQ(errors[0].mid(named.size()).toStdString(), c.message);
        else
            EXPECT_TRUE(errors[0].mid(named.size()).startsWith("Unable to open file"))
                << errors[0].toStdString();
        EXPECT_EQ(frame->windowTitle(), "Tunemill - Untitled");
        EXPECT_EQ(composer->document().song().patterns.size(), 1u);
        EXPECT_FALSE(composer->document().song().song_file);
        EXPECT_FALSE(composer->document().song().modified);
        frame->close();
    }
}

TEST_F(MainWindowTest, AFailedLoadOrSaveAsKeepsTheOpenSong) {
    const fs::path tune = dir_ / "tune.sn2";
    fs::copy_file(fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2", tune);
    const fs::path junk = dir_ / "junk.sn2";
    test::write_file(junk, std::vector<uint8_t>(300, 0x5A));
    auto frame = make_frame();
    ASSERT_TRUE(frame->load_song(tune.string()));
    Song& song = document_.song_for_engine();
    const size_t patterns = song.patterns.size();
    song.modified = true; // an edit not saved (the save prompt was answered No)

    std::vector<QString> errors =
        test::error_boxes_during([&] { EXPECT_FALSE(frame->load_song(junk.string())); });
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QString::fromStdString(junk.string()) +
                             " cannot be loaded:\nUnknown or damaged song file");
    EXPECT_EQ(song.path, tune.string());
    EXPECT_EQ(song.patterns.size(), patterns);
    EXPECT_TRUE(song.modified);
    EXPECT_EQ(frame->windowTitle(), "Tunemill - tune");

    // Save As onto a named pipe, which the save refuses: the song keeps its name, its title and
    // its changes.
    const fs::path pipe = dir_ / "pipe.sn2";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    errors = test::error_boxes_during([&] {
        test::answer_file_dialog(QString::fromStdString(pipe.string()), -1,
                                 [](QWidget*) { test::answer_box(QMessageBox::Yes); });
        EXPECT_FALSE(frame->files().save_as());
    });
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QString::fromStdString(pipe.string() + " is not a regular file"));
    EXPECT_EQ(frame->windowTitle(), "Tunemill - tune");
    EXPECT_EQ(song.path, tune.string());
    EXPECT_TRUE(song.modified);
    test::answer_box(QMessageBox::No); // the save prompt of the close
    frame->close();
}

TEST_F(MainWindowTest, ExportsNeverWriteOverTheSongsOwnFile) {
    // A folder of its own: the file dialog keeps its history beside the settings in dir_.
    const fs::path folder = dir_ / "songs";
    fs::create_directories(folder);
    const fs::path module = folder / "tiny.mod";
    test::write_file(module, test::tiny_mod());
    fs::create_symlink(module, folder / "link.mod");
    auto frame = make_frame();
    ASSERT_TRUE(frame->load_song(module.string()));
    const std::vector<uint8_t> before = test::read_file(module);
    const auto names_in = [](const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    };
    const std::set<std::string> names = names_in(folder);
    struct Case {
        std::string target;
        std::function<void()> command;
    };
    const std::vector<Case> cases = {
        {module.string(), [&] { frame->files().export_song(); }},
        {(folder / "link.mod").string(), [&] { frame->files().export_song(); }},
        {module.string(), [&] { frame->files().export_audio(); }},
    };
    for (const Case& c : cases) {
        const std::vector<QString> errors = test::error_boxes_during([&] {
            // The dialog asks whether to replace the existing file: the user says yes.
            test::answer_file_dialog(QString::fromStdString(c.target), -1,
                                     [](QWidget*) { test::answer_box(QMessageBox::Yes); });
            c.command();
        });
        ASSERT_EQ(errors.size(), 1u) << c.target;
        EXPECT_EQ(errors[0], QString::fromStdString(c.target) +
                                 " is the file being read: choose another file to write");
        EXPECT_EQ(test::read_file(module), before);
    }
    EXPECT_EQ(names_in(folder), names) << "nothing is written beside it";
    frame->close();
}

TEST_F(MainWindowTest, SettingsWrittenAtExitAndPlacementRestored) {
    {
        Composer composer(Composer::Options{false, {}});
        MainWindow* frame = composer.start({});
        frame->setGeometry(40, 30, 600, 400);
        frame->action(CMD_REPEAT)->trigger();
        frame->close();
        EXPECT_TRUE(composer.finish());
    }
    EXPECT_TRUE(fs::exists(dir_ / "tunemill" / "user.reg"));
    settings() = Settings{};
    {
        Composer composer(Composer::Options{false, {}});
        EXPECT_EQ(settings().repeat, 1);
        EXPECT_EQ(settings().main_window_pos, to_window_rect(QRect(40, 30, 600, 400)));
        MainWindow* frame = composer.start({});
        EXPECT_EQ(frame->geometry(), QRect(40, 30, 600, 400));
        frame->update_popup(PLAY_POPUP);
        EXPECT_TRUE(frame->action(CMD_REPEAT)->isChecked());
        frame->showMaximized();
        frame->close();
        composer.finish();
    }
    settings() = Settings{};
    {
        Composer composer(Composer::Options{false, {}});
        EXPECT_EQ(settings().main_window_maximized, 1);
        MainWindow* frame = composer.start({});
        EXPECT_TRUE(frame->isMaximized());
        // The restored rectangle under the maximized window is still the one stored.
        EXPECT_EQ(settings().main_window_pos, to_window_rect(QRect(40, 30, 600, 400)));
        frame->close();
    }
}

// The first look of the program, for a person to judge: build/tests/screenshots/*.png.
TEST_F(MainWindowTest, ScreenshotsInBothLanguages) {
    const fs::path shots = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(shots);
    for (Language language : {Language::ENGLISH, Language::GERMAN}) {
        set_language(language);
        const char* tag = language == Language::GERMAN ? "de" : "en";
        Composer composer(Composer::Options{false, {}});
        MainWindow* frame = composer.start({});
        frame->resize(1000, 700);
        QApplication::processEvents();
        EXPECT_TRUE(frame->grab().save(QString::fromStdString(
            (shots / ("main-window-" + std::string(tag) + ".png")).string())));
        // The File menu open, as the user sees it first.
        QMenu* file = frame->popup(FILE_POPUP);
        file->popup(frame->mapToGlobal(QPoint(0, frame->menuBar()->height())));
        QApplication::processEvents();
        EXPECT_TRUE(file->grab().save(
            QString::fromStdString((shots / ("file-menu-" + std::string(tag) + ".png")).string())));
        file->close();
        AboutBox about(AboutBox::Mode::ABOUT, frame);
        about.show();
        QApplication::processEvents();
        EXPECT_TRUE(about.grab().save(
            QString::fromStdString((shots / ("about-" + std::string(tag) + ".png")).string())));
        about.close();
        // A load that fails: the box names the file and says why.
        std::vector<uint8_t> two_channels = test::tiny_mod();
        std::copy_n("2CHN", 4, two_channels.begin() + 1080);
        test::write_file(dir_ / "two.mod", two_channels);
        test::when_modal([&](QWidget* box) {
            EXPECT_TRUE(box->grab().save(QString::fromStdString(
                (shots / ("load-error-" + std::string(tag) + ".png")).string())));
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        EXPECT_FALSE(frame->load_song((dir_ / "two.mod").string()));
        frame->close();
    }
}

} // namespace
} // namespace tunemill
