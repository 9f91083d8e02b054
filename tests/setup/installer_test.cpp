// The copying thread: a complete copy with its notices, the free-space question, the disk
// prompt, damaged archives, and the clean-up of what an aborted or failed copy left.
#include "setup/core/installer.h"

#include "platform/paths.h"
#include "setup/core/registration.h"
#include "setup/core/texts.h"
#include "setup_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tunemill::setup {
namespace {

using namespace testing;

class InstallerTest : public ::testing::Test {
  protected:
    TemporaryHome home_;
    RecordingUi ui_;
    std::vector<IndexRecord> records_;
    const std::string program_ = "\x7f"
                                 "ELF" +
                                 pattern_contents(2500, 1);
    const std::string bank_ = pattern_contents(7000, 2);
    const std::string script_ = "#!/bin/sh\necho uninstall\n";

    void SetUp() override {
        records_ = make_archive(
            home_.root(), {{"tmw", program_}, {"tmill.bnk", bank_}, {"TMUNINST", script_}}, 4000);
        // Known time stamps, to see them applied.
        fs::last_write_time(home_.root() / "staging" / "tmw", fs::file_time_type::clock::now());
    }

    InstallJob job() const {
        InstallJob job;
        job.source = home_.root() / "source";
        job.folder = home_.root() / "install" / "deep" / "Tunemill";
        job.places = places_for(Scope::USER);
        return job;
    }
    fs::path folder() const { return job().folder; }
    bool registered() const {
        return places_for(Scope::USER).registry().read().has_key(PRODUCT_KEY);
    }
};

TEST_F(InstallerTest, CopiesEveryFileWithItsTimeAndRegistersTheInstallation) {
    Installer installer(job(), ui_);
    EXPECT_EQ(installer.run(), InstallResult::COMPLETED);
    EXPECT_TRUE(installer.completed());
    EXPECT_TRUE(ui_.errors.empty()) << ui_.errors.front();
    EXPECT_EQ(read_all(folder() / "tmw"), program_);
    EXPECT_EQ(read_all(folder() / "tmill.bnk"), bank_);
    // The uninstaller goes to the programs folder, whatever the case of its name.
    const fs::path uninstaller = home_.home() / ".local" / "bin" / "TMUNINST";
    EXPECT_EQ(read_all(uninstaller), script_);
    EXPECT_FALSE(fs::exists(folder() / "TMUNINST"));
    // Programs and scripts can be run, data files cannot.
    EXPECT_EQ(fs::status(folder() / "tmw").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
    EXPECT_EQ(fs::status(uninstaller).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_EQ(fs::status(folder() / "tmill.bnk").permissions() & fs::perms::owner_exec,
              fs::perms::none);
    // The time stamps of the index.
    struct stat copied {
    }, original{};
    ASSERT_EQ(::stat((folder() / "tmill.bnk").c_str(), &copied), 0);
    ASSERT_EQ(::stat((home_.root() / "staging" / "tmill.bnk").c_str(), &original), 0);
    EXPECT_EQ(copied.st_mtime, original.st_mtime);
    // The notices the progress dialog shows.
    EXPECT_EQ(ui_.total, program_.size() + bank_.size() + script_.size());
    EXPECT_EQ(ui_.lines, (std::vector<std::string>{"Copying " + (folder() / "tmw").string(),
                                                   "Copying " + (folder() / "tmill.bnk").string(),
                                                   "Copying " + uninstaller.string()}));
    ASSERT_FALSE(ui_.positions.empty());
    EXPECT_TRUE(std::is_sorted(ui_.positions.begin(), ui_.positions.end()));
    EXPECT_EQ(ui_.positions.back(), *ui_.total);
    EXPECT_EQ(ui_.done_count, 1);
    EXPECT_TRUE(ui_.questions.empty());
    EXPECT_TRUE(ui_.prompts.empty());
    // The product record.
    const RegistryTree tree = places_for(Scope::USER).registry().read();
    EXPECT_EQ(tree.find_value(PRODUCT_KEY, "Folder")->as_text(), folder().string());
    EXPECT_EQ(tree.find_value(PRODUCT_KEY, "Uninstall")->as_text(),
              "tmw,tmill.bnk,TMUNINST,tmw.gid,tmw.fts,tmwger.gid,tmwger.fts,");
    EXPECT_EQ(tree.find_value(UNINSTALL_KEY, "UninstallString")->as_text(),
              (home_.home() / ".local" / "bin" / "tmuninst").string());
}

TEST_F(InstallerTest, NoToTheFreeSpaceQuestionCopiesNothing) {
    InstallJob small = job();
    small.disk_space = [](const fs::path&) { return DiskSpace{4096, 2}; };
    ui_.answer_space = false;
    Installer installer(small, ui_);
    EXPECT_EQ(installer.run(), InstallResult::ABORTED);
    // tmw takes 1 cluster, tmill.bnk 2, TMUNINST 1: 4 clusters of 4 KB against 2 free.
    EXPECT_EQ(ui_.questions,
              (std::vector<std::string>{"Tunemill requires 16 Kb disk space. You have currently "
                                        "only 8 Kb free. Continue anyway?"}));
    EXPECT_FALSE(ui_.total.has_value());
    EXPECT_TRUE(fs::is_empty(folder()));
    EXPECT_FALSE(registered());
    EXPECT_EQ(ui_.done_count, 1);

    // Yes goes on as if the space were there.
    RecordingUi yes;
    Installer again(small, yes);
    EXPECT_EQ(again.run(), InstallResult::COMPLETED);
    EXPECT_EQ(yes.questions.size(), 1u);
}

TEST_F(InstallerTest, ACancelledDiskPromptDeletesEveryFileOfTheIndex) {
    // An older installation's file of the same name is in the folder already.
    write_all(folder() / "tmill.bnk", "old");
    fs::remove(home_.root() / "source" / "data.003");
    ui_.disk_answers_ok = 1; // OK once (still missing), then Cancel
    Installer installer(job(), ui_);
    EXPECT_EQ(installer.run(), InstallResult::ABORTED);
    EXPECT_EQ(ui_.prompts,
              (std::vector<std::string>{"Insert Tunemill disk #3", "Insert Tunemill disk #3"}));
    EXPECT_FALSE(fs::exists(folder() / "tmw"));
    EXPECT_FALSE(fs::exists(folder() / "tmill.bnk"));
    EXPECT_FALSE(fs::exists(home_.home() / ".local" / "bin" / "TMUNINST"));
    EXPECT_FALSE(fs::exists(folder()));
    EXPECT_TRUE(fs::exists(folder().parent_path())); // only the install folder itself goes
    EXPECT_FALSE(registered());
    EXPECT_TRUE(ui_.errors.empty());
    EXPECT_EQ(ui_.done_count, 1);
}

TEST_F(InstallerTest, FilesInFoldersAreCopiedAndTheirFoldersGoWithAnAbort) {
    make_archive(home_.root(),
                 {{"tmw", program_},
                  {"help/en/index.html", "<p>Help</p>"},
                  {"demos/tune.sn2", bank_},
                  {"help/de/index.html", "<p>Hilfe</p>"}},
                 4000);
    Installer installer(job(), ui_);
    ASSERT_EQ(installer.run(), InstallResult::COMPLETED);
    EXPECT_EQ(read_all(folder() / "help" / "en" / "index.html"), "<p>Help</p>");
    EXPECT_EQ(read_all(folder() / "demos" / "tune.sn2"), bank_);

    // The same archive with its last volume missing: the copy is abandoned at the prompt, and
    // every file of the index goes with the folders that held them.
    fs::remove_all(folder());
    fs::path last;
    for (uint32_t i = 1; fs::exists(home_.root() / "source" / volume_name(i)); ++i)
        last = home_.root() / "source" / volume_name(i);
    fs::remove(last);
    RecordingUi cancelling;
    Installer abandoned(job(), cancelling);
    EXPECT_EQ(abandoned.run(), InstallResult::ABORTED);
    EXPECT_EQ(cancelling.prompts.size(), 1u);
    EXPECT_FALSE(fs::exists(folder()));
}

TEST_F(InstallerTest, ADiskInsertedAtThePromptIsReadOn) {
    const fs::path volume = home_.root() / "source" / "data.002";
    const std::string contents = read_all(volume);
    fs::remove(volume);
    ui_.disk_answers_ok = 1;
    ui_.before_disk_answer = [&](uint32_t) { write_all(volume, contents); };
    Installer installer(job(), ui_);
    EXPECT_EQ(installer.run(), InstallResult::COMPLETED);
    EXPECT_EQ(ui_.prompts, (std::vector<std::string>{"Insert Tunemill disk #2"}));
    EXPECT_EQ(read_all(folder() / "tmill.bnk"), bank_);
}

TEST_F(InstallerTest, DamagedArchivesSaySoAndLeaveNothingRegistered) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& source)> damage;
        std::string message;
    };
    const Case cases[] = {
        // The sum of the index only sees the last 32 bytes of a file (every earlier difference
        // is shifted out), so the damage sits near the end of tmill.bnk, which ends at byte
        // 1503 of data.003.
        {"a changed byte in a volume",
         [](const fs::path& source) {
             std::string volume = read_all(source / "data.003");
             volume[1500] = char(volume[1500] ^ 0x01);
             write_all(source / "data.003", volume);
         },
         "Files on the setup disk are damaged"},
        {"a name reaching out of the folder",
         [](const fs::path& source) {
             std::string index = read_all(source / "data.idx");
             std::string name = "../evil";
             name.resize(52, '\0');
             index.replace(64, 52, name);
             write_all(source / "data.idx", index);
         },
         "Files on the setup disk are damaged"},
        {"an empty index",
         [](const fs::path& source) { write_all(source / "data.idx", std::string(63, 'x')); },
         "Files on the setup disk are damaged"},
        {"no index", [](const fs::path& source) { fs::remove(source / "data.idx"); },
         "Unable to open file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home_.root() / "source");
        records_ = make_archive(
            home_.root(), {{"tmw", program_}, {"tmill.bnk", bank_}, {"TMUNINST", script_}}, 4000);
        c.damage(home_.root() / "source");
        RecordingUi ui;
        Installer installer(job(), ui);
        EXPECT_EQ(installer.run(), InstallResult::FAILED);
        ASSERT_EQ(ui.errors.size(), 1u);
        EXPECT_TRUE(ui.errors[0].starts_with(c.message)) << ui.errors[0];
        EXPECT_FALSE(registered());
        EXPECT_FALSE(fs::exists(folder() / "tmw"));
        EXPECT_FALSE(fs::exists(home_.root() / "install" / "deep" / "evil"));
        EXPECT_EQ(ui.done_count, 1);
    }
    // The missing index is named in full.
    RecordingUi ui;
    Installer installer(job(), ui);
    installer.run();
    EXPECT_EQ(ui.errors.at(0),
              "Unable to open file " + (home_.root() / "source" / "data.idx").string());
}

TEST_F(InstallerTest, AFolderThatCannotBeMadeIsReported) {
    write_all(home_.root() / "install" / "deep", "a file in the way");
    Installer installer(job(), ui_);
    EXPECT_EQ(installer.run(), InstallResult::FAILED);
    EXPECT_EQ(ui_.errors, (std::vector<std::string>{"Unable to create folder"}));
    EXPECT_EQ(read_all(home_.root() / "install" / "deep"), "a file in the way");
}

TEST_F(InstallerTest, AbortStopsTheCopyAndCleansUp) {
    struct AbortingUi : RecordingUi {
        Installer* installer = nullptr;
        void chunk_copied(uint64_t copied) override {
            RecordingUi::chunk_copied(copied);
            if (positions.size() == 2) installer->abort();
        }
    } ui;
    Installer installer(job(), ui);
    ui.installer = &installer;
    EXPECT_EQ(installer.run(), InstallResult::ABORTED);
    EXPECT_FALSE(fs::exists(folder()));
    EXPECT_FALSE(registered());
}

} // namespace
} // namespace tunemill::setup
