// setup as a user goes through it: the folder typed into "Tunemill Setup", OK, the "Copying
// files" dialog while the copying thread runs, and the questions it asks, answered with the
// buttons. Screenshots of the dialogs land in the build folder's tests/screenshots.
#include "dialogs.h"

#include "foundation/string_table.h"
#include "setup/core/texts.h"
#include "setup_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace tunemill::setup {
namespace {

using namespace testing;

QApplication& application() {
    static int argc = 1;
    static char name[] = "setup_dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void save_screenshot(QWidget* widget, const std::string& name) {
    const fs::path folder = fs::path(TUNEMILL_BIN_DIR).parent_path() / "tests" / "screenshots";
    fs::create_directories(folder);
    widget->grab().save(QString::fromStdString((folder / (name + ".png")).string()));
}

QAbstractButton* button(QWidget* widget, const QString& text) {
    for (QAbstractButton* candidate : widget->findChildren<QAbstractButton*>())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

// Runs act on the first visible top-level widget for which find gives non-null, from inside
// whatever modal loop is running then; polls every 20 ms for up to five seconds.
template <typename T> void when_shown(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(found);
                return;
            }
        }
        if (++*tries > 250) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the awaited window never came up";
        }
    });
    timer->start(20);
}

class SetupDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        set_language(Language::ENGLISH);
    }
    void TearDown() override { set_language(Language::ENGLISH); }

    void make_package(uint64_t volume_size) {
        make_archive(home_.root(),
                     {{"tmw", "#!/bin/sh\necho composer\n"},
                      {"tmill.bnk", pattern_contents(9000, 3)},
                      {"help/en/index.html", "<p>Help</p>"},
                      {"tmuninst", "#!/bin/sh\necho uninstall\n"}},
                     volume_size);
    }
    InstallJob job() const {
        return InstallJob{home_.root() / "source", home_.home() / ".local" / "opt" / "Tunemill",
                          places_for(Scope::USER)};
    }

    TemporaryHome home_;
};

TEST_F(SetupDialogs, TheTypedFolderIsInstalledIntoAndRegistered) {
    make_package(4000);
    FolderDialog dialog(job(), program_group_places());
    EXPECT_EQ(dialog.windowTitle(), "Tunemill Setup");
    EXPECT_NE(
        dialog.findChild<QLabel*>()->text().toStdString().find("Enter folder for Tunemill files:"),
        std::string::npos);
    auto* edit = dialog.findChild<QLineEdit*>();
    EXPECT_EQ(edit->text().toStdString(), (home_.home() / ".local" / "opt" / "Tunemill").string());

    when_shown<FolderDialog>([](FolderDialog* shown) {
        shown->findChild<QLineEdit*>()->setText("  ~/apps/Tunemill/ ");
        save_screenshot(shown, "setup-folder-en");
        button(shown, "OK")->click();
    });
    dialog.exec();

    const fs::path folder = home_.home() / "apps" / "Tunemill";
    EXPECT_TRUE(dialog.completed());
    EXPECT_EQ(read_all(folder / "tmw"), "#!/bin/sh\necho composer\n");
    EXPECT_EQ(read_all(folder / "help" / "en" / "index.html"), "<p>Help</p>");
    EXPECT_TRUE(fs::exists(home_.home() / ".local" / "bin" / "tmuninst"));
    const RegistryTree tree = places_for(Scope::USER).registry().read();
    EXPECT_EQ(tree.find_value(PRODUCT_KEY, "Folder")->as_text(), folder.string());
    ASSERT_TRUE(dialog.group_folder().has_value());
    EXPECT_TRUE(fs::exists(*dialog.group_folder() / "Tunemill.desktop"));
}

TEST_F(SetupDialogs, CancelAtTheDiskPromptLeavesNothingBehind) {
    make_package(4000);
    fs::remove(home_.root() / "source" / "data.002");
    FolderDialog dialog(job(), program_group_places());
    QString prompt, line, caption;
    int bar_maximum = -1;
    when_shown<FolderDialog>([&](FolderDialog* shown) {
        // Behind the prompt the progress dialog shows the file being copied.
        when_shown<QMessageBox>([&](QMessageBox* box) {
            prompt = box->text();
            caption = box->windowTitle();
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* progress = qobject_cast<ProgressDialog*>(widget);
                    progress && progress->isVisible()) {
                    line = progress->findChild<QLabel*>()->text();
                    bar_maximum = progress->findChild<QProgressBar*>()->maximum();
                    save_screenshot(progress, "setup-progress-en");
                }
            }
            save_screenshot(box, "setup-disk-prompt-en");
            button(box, "Cancel")->click();
        });
        button(shown, "OK")->click();
    });
    dialog.exec();

    EXPECT_EQ(prompt, "Insert Tunemill disk #2");
    EXPECT_EQ(caption, "Tunemill Setup");
    EXPECT_EQ(line.toStdString(), "Copying " + (job().folder / "tmill.bnk").string());
    EXPECT_EQ(bar_maximum, int((24 + 9000 + 11 + 25) / 1024)); // the bytes of the index, in KB
    EXPECT_FALSE(dialog.completed());
    EXPECT_FALSE(fs::exists(job().folder));
    EXPECT_FALSE(places_for(Scope::USER).registry().read().has_key(PRODUCT_KEY));
}

TEST_F(SetupDialogs, NoToTheSpaceQuestionInGermanCopiesNothing) {
    set_language(Language::GERMAN);
    make_package(1 << 20);
    InstallJob small = job();
    small.disk_space = [](const fs::path&) { return DiskSpace{4096, 1}; };
    FolderDialog dialog(small, program_group_places());
    QString question;
    when_shown<FolderDialog>([&](FolderDialog* shown) {
        when_shown<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            save_screenshot(box, "setup-space-question-de");
            button(box, QString::fromStdString(text(SS_NO)))->click();
        });
        save_screenshot(shown, "setup-folder-de");
        button(shown, QString::fromStdString(text(SS_OK)))->click();
    });
    dialog.exec();

    EXPECT_FALSE(question.isEmpty());
    EXPECT_EQ(question.toStdString(), disk_space_text(24, 4)); // 6 clusters of 4 KB against 1
    EXPECT_FALSE(dialog.completed());
    EXPECT_FALSE(fs::exists(small.folder / "tmw"));
}

TEST(TypedFolder, IsAlwaysAbsoluteAndTidy) {
    TemporaryHome home;
    const fs::path cwd = fs::current_path();
    struct Case {
        const char* typed;
        fs::path expected;
    };
    const std::vector<Case> cases = {
        {"/opt/Tunemill", "/opt/Tunemill"},       {"  /opt/Tunemill//  ", "/opt/Tunemill"},
        {"~/Tunemill", home.home() / "Tunemill"}, {"~", home.home()},
        {"apps/../Tunemill", cwd / "Tunemill"},   {"   ", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(typed_folder(QString::fromUtf8(c.typed)), c.expected) << c.typed;
}

} // namespace
} // namespace tunemill::setup

// Fontconfig keeps its caches for the life of the process, which LeakSanitizer reports at exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
