// Registration with the desktop and its removal: the uninstall list, the files registration
// writes, the two attempts of the program group, and an uninstall that removes all of it.
#include "setup/core/registration.h"

#include "settings/settings.h"
#include "setup/core/installer.h"
#include "setup_fixture.h"

#include <gtest/gtest.h>

namespace tunemill::setup {
namespace {

using namespace testing;

TEST(UninstallList, NamesEveryRecordThenTheHelpSystemsFiles) {
    EXPECT_EQ(uninstall_list({{"tmw.exe", 1, 0, 0}, {"tmw.hlp", 1, 0, 0}}),
              "tmw.exe,tmw.hlp,tmw.gid,tmw.fts,tmwger.gid,tmwger.fts,");
    EXPECT_EQ(uninstall_list({}), "tmw.gid,tmw.fts,tmwger.gid,tmwger.fts,");
}

class RegistrationTest : public ::testing::Test {
  protected:
    TemporaryHome home_;
    Places places_ = places_for(Scope::USER);
    fs::path folder_ = home_.root() / "opt" / "Tunemill";
    std::vector<IndexRecord> records_;

    void SetUp() override {
        records_ = make_archive(home_.root(),
                                {{"tmw", "#!/bin/sh\n"},
                                 {"tmw-cli", "#!/bin/sh\n"},
                                 {"tunemill.svg", "<svg/>"},
                                 {"tunemill-song.svg", "<svg/>"},
                                 {"tunemill-module.svg", "<svg/>"},
                                 {"tunemill-instrument.svg", "<svg/>"},
                                 {"help/en/index.html", "<p>Help</p>"},
                                 {"help/de/index.html", "<p>Hilfe</p>"},
                                 {"tmuninst", "#!/bin/sh\n"}},
                                1 << 20);
        RecordingUi ui;
        InstallJob job{home_.root() / "source", folder_, places_};
        ASSERT_EQ(Installer(job, ui).run(), InstallResult::COMPLETED);
    }

    std::vector<GroupPlace> group_places() const { return program_group_places(); }
    fs::path data() const { return home_.home() / ".local" / "share"; }
    fs::path system_data() const { return home_.root() / "usr" / "share"; }
};

TEST_F(RegistrationTest, WritesTheFileTypesLaunchersAndRecord) {
    const std::string mime = read_all(data() / "mime" / "packages" / "tunemill.xml");
    for (const char* part :
         {"type=\"application/x-tunemill-song\"", "<comment>Tunemill Song</comment>",
          "pattern=\"*.sn2\"", "pattern=\"*.sn\"", "<comment>Tunemill Instrument</comment>",
          "pattern=\"*.sa2\"", "pattern=\"*.sa\"", "pattern=\"*.sy\"", "type=\"audio/x-mod\"",
          "type=\"audio/x-s3m\"", "name=\"application-x-tunemill-module\""})
        EXPECT_NE(mime.find(part), std::string::npos) << part;
    // The installed package (cmake --install, the .deb) registers the very same types.
    EXPECT_EQ(mime, read_all(fs::path(TUNEMILL_SOURCE_DIR) / "packaging" / "tunemill.xml"));
    const std::string entry = read_all(data() / "applications" / "tunemill.desktop");
    EXPECT_NE(entry.find("Exec=\"" + (folder_ / "tmw").string() + "\" %f\n"), std::string::npos)
        << entry;
    EXPECT_NE(entry.find("MimeType=application/x-tunemill-song;audio/x-mod;audio/x-s3m;\n"),
              std::string::npos);
    for (const char* icon : {"apps/tunemill.svg", "mimetypes/application-x-tunemill-song.svg",
                             "mimetypes/application-x-tunemill-module.svg",
                             "mimetypes/application-x-tunemill-instrument.svg"})
        EXPECT_TRUE(fs::exists(data() / "icons" / "hicolor" / "scalable" / icon)) << icon;
    const fs::path bin = home_.home() / ".local" / "bin";
    EXPECT_EQ(fs::read_symlink(bin / "tmw"), folder_ / "tmw");
    EXPECT_EQ(fs::read_symlink(bin / "tmw-cli"), folder_ / "tmw-cli");
    const RegistryTree tree = places_.registry().read();
    EXPECT_EQ(tree.find_value(APP_PATHS_KEY, "")->as_text(), (folder_ / "tmw").string());
    EXPECT_EQ(tree.find_value(APP_PATHS_KEY, "Path")->as_text(), folder_.string());
    EXPECT_EQ(tree.find_value(UNINSTALL_KEY, "DisplayName")->as_text(), "Tunemill");
}

TEST_F(RegistrationTest, TheProgramGroupGoesToAllUsersFirst) {
    const auto group = create_program_group(folder_, group_places());
    ASSERT_TRUE(group);
    EXPECT_EQ(*group, system_data() / "applications" / "Tunemill");
    const std::string composer = read_all(*group / "Tunemill.desktop");
    EXPECT_NE(composer.find("Name=Tunemill\n"), std::string::npos);
    EXPECT_NE(composer.find("Exec=\"" + (folder_ / "tmw").string() + "\"\n"), std::string::npos)
        << composer;
    EXPECT_NE(composer.find("Path=" + folder_.string() + "\n"), std::string::npos);
    const std::string help = read_all(*group / "Tunemill-Help.desktop");
    EXPECT_NE(help.find("Name=Tunemill Help\n"), std::string::npos);
    EXPECT_NE(
        help.find("Exec=xdg-open \"" + (folder_ / "help" / "en" / "index.html").string() + "\"\n"),
        std::string::npos)
        << help;
    const std::string menu =
        read_all(home_.root() / "etc" / "xdg" / "menus" / "applications-merged" / "tunemill.menu");
    EXPECT_NE(menu.find("<Name>Tunemill</Name>"), std::string::npos);
    EXPECT_NE(menu.find("<Filename>Tunemill-Tunemill-Help.desktop</Filename>"), std::string::npos);
    EXPECT_TRUE(fs::exists(system_data() / "desktop-directories" / "tunemill.directory"));
}

TEST_F(RegistrationTest, AFailedAllUsersAttemptIsCleanedUpAndTheUserGetsTheGroup) {
    // The all-users place takes the first entry but not the second.
    fs::create_directories(system_data() / "applications" / "Tunemill" / "Tunemill-Help.desktop");
    const auto group = create_program_group(folder_, group_places());
    ASSERT_TRUE(group);
    EXPECT_EQ(*group, data() / "applications" / "Tunemill");
    EXPECT_TRUE(fs::exists(*group / "Tunemill.desktop"));
    EXPECT_TRUE(
        fs::exists(home_.home() / ".config" / "menus" / "applications-merged" / "tunemill.menu"));
    EXPECT_FALSE(fs::exists(system_data() / "applications" / "Tunemill" / "Tunemill.desktop"));
    EXPECT_FALSE(fs::exists(home_.root() / "etc" / "xdg" / "menus" / "applications-merged" /
                            "tunemill.menu"));
    EXPECT_FALSE(fs::exists(system_data() / "desktop-directories" / "tunemill.directory"));

    // When the user's place fails as well, there is no group.
    fs::remove_all(*group);
    fs::create_directories(system_data() / "applications" / "Tunemill" / "Tunemill-Help.desktop");
    write_all(data() / "applications" / "Tunemill", "a file where the folder goes");
    EXPECT_FALSE(create_program_group(folder_, group_places()));
    EXPECT_FALSE(
        fs::exists(home_.home() / ".config" / "menus" / "applications-merged" / "tunemill.menu"));
}

TEST_F(RegistrationTest, UninstallRemovesEverythingAndLastItself) {
    // The composer ran and saved its settings; the user keeps other keys of their own.
    RegistryStore settings_store(RegistryRoot::CURRENT_USER);
    Settings record;
    ASSERT_TRUE(write_settings(settings_store, record));
    settings_store.update([](RegistryTree& tree) {
        tree.set_value("Software\\Other", "Keep", RegistryValue::dword(1));
    });
    ASSERT_TRUE(create_program_group(folder_, group_places()));
    fs::remove_all(system_data() / "applications" / "Tunemill"); // pretend it went to the user
    ASSERT_TRUE(create_program_group(folder_, {group_places()[1]}));
    write_all(folder_ / "tmw.gid", "made by the help viewer");

    ASSERT_TRUE(fs::exists(folder_ / "help" / "de" / "index.html"));
    uninstall(places_, group_places(), settings_store);

    EXPECT_FALSE(fs::exists(folder_)); // with the help pages' folders
    EXPECT_FALSE(fs::exists(home_.home() / ".local" / "bin" / "tmuninst"));
    EXPECT_FALSE(fs::is_symlink(home_.home() / ".local" / "bin" / "tmw"));
    EXPECT_FALSE(fs::is_symlink(home_.home() / ".local" / "bin" / "tmw-cli"));
    EXPECT_FALSE(fs::exists(data() / "mime" / "packages" / "tunemill.xml"));
    EXPECT_FALSE(fs::exists(data() / "applications" / "tunemill.desktop"));
    EXPECT_FALSE(fs::exists(data() / "icons" / "hicolor" / "scalable" / "apps" / "tunemill.svg"));
    EXPECT_FALSE(fs::exists(data() / "applications" / "Tunemill"));
    EXPECT_FALSE(
        fs::exists(home_.home() / ".config" / "menus" / "applications-merged" / "tunemill.menu"));
    EXPECT_FALSE(fs::exists(data() / "desktop-directories" / "tunemill.directory"));
    const RegistryTree tree = settings_store.read();
    EXPECT_FALSE(tree.has_key(PRODUCT_KEY));
    EXPECT_FALSE(tree.has_key("SOFTWARE\\Larkfield Software"));
    EXPECT_FALSE(tree.has_key(APP_PATHS_KEY));
    EXPECT_FALSE(tree.has_key(UNINSTALL_KEY));
    EXPECT_FALSE(tree.has_key(SETTINGS_KEY));
    EXPECT_FALSE(tree.has_key("Software\\LFS"));
    EXPECT_TRUE(tree.find_value("Software\\Other", "Keep"));
    // A later install starts with default settings.
    EXPECT_EQ(read_settings(settings_store, "/p").playback.sampling_rate, 44100);

    // Run again on nothing: every step is tried and none fails loudly.
    uninstall(places_, group_places(), settings_store);
}

TEST_F(RegistrationTest, UninstallDeletesOnlyNamesInsideTheFolder) {
    write_all(home_.root() / "opt" / "victim", "keep me");
    write_all(home_.root() / "victim2", "keep me too");
    places_.registry().update([&](RegistryTree& tree) {
        tree.set_value(PRODUCT_KEY, "Uninstall",
                       RegistryValue::text("../victim,/" + (home_.root() / "victim2").string() +
                                           ",help/../../victim,tmw,help/en/index.html,,"));
    });
    RegistryStore settings_store(RegistryRoot::CURRENT_USER);
    uninstall(places_, group_places(), settings_store);
    EXPECT_EQ(read_all(home_.root() / "opt" / "victim"), "keep me");
    EXPECT_EQ(read_all(home_.root() / "victim2"), "keep me too");
    EXPECT_FALSE(fs::exists(folder_ / "tmw"));
    EXPECT_TRUE(fs::exists(folder_ / "tmw-cli")); // not in the damaged list, so it stays
    // A page goes with the folder it leaves empty; the folder holding another page stays.
    EXPECT_FALSE(fs::exists(folder_ / "help" / "en"));
    EXPECT_TRUE(fs::exists(folder_ / "help" / "de" / "index.html"));
}

} // namespace
} // namespace tunemill::setup
