// The registry store: the key tree, its .reg text form, and the atomic, locked file update.
#include "platform/registry.h"

#include "foundation/errors.h"
#include "platform/paths.h"
#include "test_environment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace tunemill {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_all(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

RegistryTree sample_tree() {
    RegistryTree tree;
    tree.set_value("Software\\LFS\\Tunemill", "Playback.SamplingRate", RegistryValue::dword(44100));
    tree.set_value("Software\\LFS\\Tunemill", "MidiDeviceId", RegistryValue::dword(0xA7D8BBE7));
    tree.set_value("Software\\LFS\\Tunemill", "SongFolder",
                   RegistryValue::text("C:\\Songs \"new\""));
    tree.set_value("Software\\LFS\\Tunemill", "Multi", RegistryValue::text("line one\nline two"));
    tree.set_value("Software\\LFS\\Tunemill", "", RegistryValue::text("default"));
    std::vector<uint8_t> long_binary(100);
    for (size_t i = 0; i < long_binary.size(); ++i)
        long_binary[i] = uint8_t(i * 7);
    tree.set_value("Software\\Other", "Blob", RegistryValue::binary(long_binary));
    tree.set_value("Software\\Other", "Empty", RegistryValue::binary({}));
    tree.set_value("Software\\Other", "Short", RegistryValue::binary({0x44, 0xAC}));
    tree.set_value("Software\\Other", "Expand", RegistryValue{RegistryType(2), {'%', 'x', '%', 0}});
    tree.create_key("Software\\Empty Key");
    return tree;
}

TEST(RegistryTree, TextFormRoundTripsEveryKindOfValue) {
    const RegistryTree tree = sample_tree();
    const std::string text = tree.to_text("HKEY_CURRENT_USER");
    const RegistryTree again = RegistryTree::from_text(text, "HKEY_CURRENT_USER");
    EXPECT_EQ(again, tree) << text;
    EXPECT_EQ(again.to_text("HKEY_CURRENT_USER"), text);
    EXPECT_TRUE(again.has_key("Software\\Empty Key"));
    // The common cases read as a person would write them.
    EXPECT_NE(text.find("\"Playback.SamplingRate\"=dword:0000ac44\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"SongFolder\"=\"C:\\\\Songs \\\"new\\\"\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Short\"=hex:44,ac\n"), std::string::npos) << text;
    // No line of the file grows without bound.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
}

TEST(RegistryTree, KeysAndNamesIgnoreCaseAndKeepTheirSpelling) {
    RegistryTree tree;
    tree.set_value("Software\\LFS\\Tunemill", "Repeat", RegistryValue::dword(1));
    tree.set_value("SOFTWARE\\lfs\\TUNEMILL", "REPEAT", RegistryValue::dword(2));
    ASSERT_NE(tree.find_value("software\\lfs\\tunemill\\", "repeat"), nullptr);
    EXPECT_EQ(*tree.find_value("software\\lfs\\tunemill", "repeat"), RegistryValue::dword(2));
    EXPECT_EQ(tree.value_names("Software\\LFS\\Tunemill"), std::vector<std::string>{"Repeat"});
    EXPECT_EQ(tree.subkeys("software"), std::vector<std::string>{"LFS"});
    EXPECT_EQ(tree.subkeys(""), std::vector<std::string>{"Software"});
    EXPECT_EQ(tree.find_value("Software\\LFS\\Tunemill", "Missing"), nullptr);
    EXPECT_EQ(tree.find_value("Software\\Missing", "Repeat"), nullptr);
}

TEST(RegistryTree, AKeyWithSubkeysIsNotDeleted) {
    RegistryTree tree;
    tree.create_key("SOFTWARE\\Larkfield Software\\Tunemill\\2.0");
    tree.create_key("SOFTWARE\\Larkfield Software\\Tunemill 3"); // a sibling sorting between
    EXPECT_FALSE(tree.delete_key("SOFTWARE\\Larkfield Software\\Tunemill"));
    EXPECT_TRUE(tree.delete_key("SOFTWARE\\Larkfield Software\\Tunemill\\2.0"));
    EXPECT_TRUE(tree.delete_key("SOFTWARE\\Larkfield Software\\Tunemill"));
    EXPECT_FALSE(tree.delete_key("SOFTWARE\\Larkfield Software\\Tunemill"));
    EXPECT_TRUE(tree.has_key("SOFTWARE\\Larkfield Software\\Tunemill 3"));
    EXPECT_FALSE(tree.delete_key(""));
}

TEST(RegistryTree, ReadsHandWrittenFilesAndSkipsWhatItCannotRead) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "; a comment\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\r\n"
                             "\"Foreign\"=dword:00000001\r\n"
                             "[HKEY_CURRENT_USER\\Software\\LFS\\Tunemill]\r\n"
                             "\"Good\"=dword:0000002A\r\n"
                             "\"BadDword\"=dword:xyz\r\n"
                             "\"TooLong\"=dword:123456789\r\n"
                             "\"Unclosed=\"text\r\n"
                             "garbage line\r\n"
                             "\"Wrapped\"=hex:01,02,\\\r\n"
                             "  03,04\r\n"
                             "\"BadHex\"=hex:1,zz\r\n"
                             "\"Deleted\"=-\r\n"
                             "  \"Text\" = \"kept\"\r\n";
    const RegistryTree tree = RegistryTree::from_text(text, "HKEY_CURRENT_USER");
    EXPECT_FALSE(tree.has_key("Software\\Elsewhere"));
    const std::string key = "Software\\LFS\\Tunemill";
    EXPECT_EQ(tree.value_names(key), (std::vector<std::string>{"Good", "Wrapped", "Text"}));
    EXPECT_EQ(*tree.find_value(key, "Good"), RegistryValue::dword(42));
    EXPECT_EQ(*tree.find_value(key, "Wrapped"), RegistryValue::binary({1, 2, 3, 4}));
    EXPECT_EQ(tree.find_value(key, "Text")->as_text(), "kept");
}

TEST(RegistryStore, AMissingFileIsAnEmptyRootAndUpdateCreatesIt) {
    testing::TemporaryHome home;
    RegistryStore store(RegistryRoot::CURRENT_USER);
    EXPECT_EQ(store.file(), home.home() / ".config" / "tunemill" / "user.reg");
    EXPECT_EQ(store.read(), RegistryTree());
    store.update([](RegistryTree& tree) { tree = sample_tree(); });
    EXPECT_EQ(store.read(), sample_tree());
    EXPECT_TRUE(read_all(store.file()).starts_with("REGEDIT4\n"));
    // Nothing but the file and its lock stays behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(store.file().parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

TEST(RegistryStore, AFailedChangeLeavesTheFileAsItWas) {
    testing::TemporaryHome home;
    RegistryStore store(RegistryRoot::CURRENT_USER);
    store.update([](RegistryTree& tree) { tree.set_value("K", "V", RegistryValue::dword(1)); });
    const std::string before = read_all(store.file());
    EXPECT_THROW(store.update([](RegistryTree& tree) {
        tree.set_value("K", "V", RegistryValue::dword(2));
        throw MISC_ERROR(1);
    }),
                 MISC_ERROR);
    EXPECT_EQ(read_all(store.file()), before);
}

TEST(RegistryStore, ConcurrentUpdatesKeepEveryChange) {
    testing::TemporaryHome home;
    const fs::path file = home.root() / "store" / "user.reg";
    auto writer = [&](int which) {
        RegistryStore store(file, "HKEY_CURRENT_USER");
        for (int i = 0; i < 25; ++i)
            store.update([&](RegistryTree& tree) {
                tree.set_value("Writer" + std::to_string(which), "V" + std::to_string(i),
                               RegistryValue::dword(uint32_t(i)));
            });
    };
    std::thread first(writer, 1), second(writer, 2);
    first.join();
    second.join();
    const RegistryTree tree = RegistryStore(file, "HKEY_CURRENT_USER").read();
    EXPECT_EQ(tree.value_names("Writer1").size(), 25u);
    EXPECT_EQ(tree.value_names("Writer2").size(), 25u);
}

TEST(RegistryStore, AFolderThatCannotBeMadeIsAFileError) {
    testing::TemporaryHome home;
    write_all(home.root() / "blocker", "a file where a folder should be");
    RegistryStore store(home.root() / "blocker" / "tunemill" / "user.reg", "HKEY_CURRENT_USER");
    EXPECT_THROW(store.update([](RegistryTree&) {}), FILE_ERROR);
    EXPECT_EQ(store.read(), RegistryTree());
}

TEST(Paths, ConfigurationFollowsXdgAndFallsBackToHome) {
    testing::TemporaryHome home;
    home.set("XDG_CONFIG_HOME", home.root() / "cfg");
    EXPECT_EQ(registry_file(RegistryRoot::CURRENT_USER),
              home.root() / "cfg" / "tunemill" / "user.reg");
    home.set("XDG_CONFIG_HOME", fs::path("relative/is/ignored"));
    EXPECT_EQ(user_config_folder(), home.home() / ".config");
    home.set("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(user_config_folder(), home.home() / ".config");
    EXPECT_EQ(user_data_folder(), home.home() / ".local" / "share");
    home.set("XDG_DATA_DIRS", fs::path("/a/share:relative:/b/share"));
    EXPECT_EQ(system_data_folders(), (std::vector<fs::path>{"/a/share", "/b/share"}));
    home.set("XDG_CONFIG_DIRS", std::nullopt);
    EXPECT_EQ(registry_file(RegistryRoot::LOCAL_MACHINE),
              fs::path("/etc/xdg/tunemill/machine.reg"));
}

TEST(Paths, TheProgramFolderHoldsTheRunningProgram) {
    const fs::path folder = program_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(folder / "platform_tests"));
}

} // namespace
} // namespace tunemill
