// The settings record against its store: names and defaults, the 4-byte acceptance rule, the
// octave correction, the program's folder for empty folders, and a complete write.
#include "settings/settings.h"

#include "foundation/data_folders.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "test_environment.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tunemill {
namespace {

namespace fs = std::filesystem;

// The names stored files carry, with their defaults: the contract with every earlier run.
const std::vector<std::pair<std::string, uint32_t>> NAMES_AND_DEFAULTS = {
    {"Playback.DeviceId", 0},
    {"Playback.SamplingRate", 44100},
    {"Playback.Stereo", 1},
    {"Playback.Out16Bit", 1},
    {"Playback.Oversample", 1},
    {"Playback.Amplification", 25},
    {"Playback.BufferLen", 20},
    {"Playback.Buffers", 4},
    {"PatWin.FollowPlayback", 0},
    {"PatWin.NoteLen", 2},
    {"PatWin.WinSize.Note", 1},
    {"PatWin.WinSize.Volume", 0},
    {"PatWin.WinSize.Balance", 0},
    {"PatWin.WinSize.Tempo", 0},
    {"PatWin.WinSize.Voices", 1},
    {"PatWin.GridSizeX", 10},
    {"PatWin.GridSizeY", 10},
    {"PatWin.Pos.Left", 0},
    {"PatWin.Pos.Right", 0},
    {"PatWin.Pos.Top", 0},
    {"PatWin.Pos.Bottom", 0},
    {"PatWin.Maximized", 0},
    {"MainWin.Pos.Left", 0},
    {"MainWin.Pos.Right", 0},
    {"MainWin.Pos.Top", 0},
    {"MainWin.Pos.Bottom", 0},
    {"MainWin.Maximized", 0},
    {"KeyboardWin.Pos.Left", 0},
    {"KeyboardWin.Pos.Right", 0},
    {"KeyboardWin.Pos.Top", 0},
    {"KeyboardWin.Pos.Bottom", 0},
    {"KeyboardWin.Open", 0},
    {"SequenceWin.Pos.Left", 0},
    {"SequenceWin.Pos.Right", 0},
    {"SequenceWin.Pos.Top", 0},
    {"SequenceWin.Pos.Bottom", 0},
    {"SequenceWin.Open", 0},
    {"InstrumentsWin.Pos.Left", 0},
    {"InstrumentsWin.Pos.Right", 0},
    {"InstrumentsWin.Pos.Top", 0},
    {"InstrumentsWin.Pos.Bottom", 0},
    {"InstrumentsWin.Open", 0},
    {"MidiDeviceId", 0xA7D8BBE7},
    {"KeyboardBaseOctave", 3},
    {"Repeat", 0},
    {"AllVoices", 0},
    {"Validate", 0},
    {"Document.AutosaveInterval", 120},
    {"KeyboardMapping", 0},
};

const fs::path PROGRAM_FOLDER = "/opt/Tunemill";

class SettingsStore : public ::testing::Test {
  protected:
    testing::TemporaryHome home_;
    RegistryStore store_{RegistryRoot::CURRENT_USER};

    void store(const std::string& name, RegistryValue value) {
        store_.update(
            [&](RegistryTree& tree) { tree.set_value(SETTINGS_KEY, name, std::move(value)); });
    }
    Settings read() const { return read_settings(store_, PROGRAM_FOLDER); }
};

TEST_F(SettingsStore, WithoutAKeyEveryValueKeepsItsDefault) {
    const Settings record = read();
    Settings expected;
    expected.song_folder = expected.instrument_folder = PROGRAM_FOLDER.string();
    EXPECT_EQ(record, expected);
    EXPECT_EQ(record.midi_device_id, 0xA7D8BBE7u);
    EXPECT_EQ(record.playback.sampling_rate, 44100);
}

TEST_F(SettingsStore, AFreshStoreHoldsEveryValueAfterAWrite) {
    ASSERT_TRUE(write_settings(store_, read()));
    const RegistryTree tree = store_.read();
    std::vector<std::string> expected_names;
    for (const auto& [name, value] : NAMES_AND_DEFAULTS) {
        expected_names.push_back(name);
        const RegistryValue* stored = tree.find_value(SETTINGS_KEY, name);
        ASSERT_NE(stored, nullptr) << name;
        EXPECT_EQ(*stored, RegistryValue::dword(value)) << name;
    }
    expected_names.push_back("SongFolder");
    expected_names.push_back("InstrumentFolder");
    EXPECT_EQ(tree.value_names(SETTINGS_KEY), expected_names);
    EXPECT_EQ(*tree.find_value(SETTINGS_KEY, "SongFolder"),
              RegistryValue::text(PROGRAM_FOLDER.string()));
    EXPECT_EQ(*tree.find_value(SETTINGS_KEY, "InstrumentFolder"),
              RegistryValue::text(PROGRAM_FOLDER.string()));
}

TEST_F(SettingsStore, AnIntegerIsTakenOnlyWhenExactlyFourBytesLong) {
    struct Case {
        const char* what;
        RegistryValue value;
        int32_t expected;
    };
    const Case cases[] = {
        {"a 2-byte value is ignored", RegistryValue::binary({0x22, 0x56}), 44100},
        {"a DWORD is taken", RegistryValue::dword(22050), 22050},
        {"4 bytes of another type are taken all the same",
         RegistryValue::binary({0x11, 0x2B, 0, 0}), 11025},
        {"a 4-byte text is taken as its bytes", RegistryValue::text("abcd"), 0x64636261},
        {"a 3-byte text is ignored", RegistryValue::text("abc"), 44100},
        {"an 8-byte value is ignored", RegistryValue::binary({0x22, 0x56, 0, 0, 0, 0, 0, 0}),
         44100},
        {"an empty value is ignored", RegistryValue::binary({}), 44100},
    };
    for (const Case& c : cases) {
        store("Playback.SamplingRate", c.value);
        EXPECT_EQ(read().playback.sampling_rate, c.expected) << c.what;
    }
}

TEST_F(SettingsStore, AKeyboardBaseOctaveOutsideZeroToFiveBecomesThree) {
    const std::pair<uint32_t, int32_t> cases[] = {{9, 3}, {6, 3}, {0xFFFFFFFF, 3},
                                                  {0, 0}, {5, 5}, {2, 2}};
    for (const auto& [stored, expected] : cases) {
        store("KeyboardBaseOctave", RegistryValue::dword(stored));
        EXPECT_EQ(read().keyboard_base_octave, expected) << stored;
    }
    // Other values are stored and read as they are; the parts that use them check them.
    store("Playback.Buffers", RegistryValue::dword(0xFFFFFFFF));
    EXPECT_EQ(read().playback.buffers, -1);
}

TEST_F(SettingsStore, EmptyOrUnusableFoldersBecomeTheProgramsFolder) {
    store("SongFolder", RegistryValue::text(""));
    store("InstrumentFolder", RegistryValue::text(std::string(5000, 'x')));
    Settings record = read();
    EXPECT_EQ(record.song_folder, PROGRAM_FOLDER.string());
    EXPECT_EQ(record.instrument_folder, PROGRAM_FOLDER.string());
    store("SongFolder", RegistryValue::text("/home/me/songs"));
    store("InstrumentFolder", RegistryValue::text("/home/me/instruments"));
    record = read();
    EXPECT_EQ(record.song_folder, "/home/me/songs");
    EXPECT_EQ(record.instrument_folder, "/home/me/instruments");
}

TEST_F(SettingsStore, EveryValueSurvivesAWriteAndARead) {
    Settings record = read();
    int32_t next = 100;
    // Give every integer its own value, so a crossed pair of names would show.
    auto give = [&](auto& field) {
        field = static_cast<std::remove_reference_t<decltype(field)>>(next++);
    };
    auto& p = record.playback;
    for (auto* f : {&p.device_id, &p.sampling_rate, &p.stereo, &p.out_16bit, &p.oversample,
                    &p.amplification, &p.buffer_len, &p.buffers})
        give(*f);
    auto& w = record.pattern_window;
    for (auto* f :
         {&w.follow_playback, &w.note_len, &w.size_note, &w.size_volume, &w.size_balance,
          &w.size_tempo, &w.size_voices, &w.grid_size_x, &w.grid_size_y, &w.maximized,
          &record.main_window_maximized, &record.keyboard_window_open, &record.sequence_window_open,
          &record.instruments_window_open, &record.repeat, &record.all_voices, &record.validate})
        give(*f);
    for (WindowRect* r : {&w.pos, &record.main_window_pos, &record.keyboard_window_pos,
                          &record.sequence_window_pos, &record.instruments_window_pos}) {
        give(r->left);
        give(r->right);
        r->top = -next++; // edges may lie left of or above the parent
        give(r->bottom);
    }
    record.midi_device_id = 2;
    record.keyboard_base_octave = 4;
    record.song_folder = "/songs \"quoted\" \\ here";
    record.instrument_folder = "/instruments";
    ASSERT_TRUE(write_settings(store_, record));
    EXPECT_EQ(read(), record);
}

TEST_F(SettingsStore, AFailedWriteIsNotAnErrorAndChangesNothing) {
    std::ofstream(home_.root() / "blocker") << "not a folder";
    RegistryStore unwritable(home_.root() / "blocker" / "user.reg", "HKEY_CURRENT_USER");
    EXPECT_FALSE(write_settings(unwritable, read()));
    Settings expected;
    expected.song_folder = expected.instrument_folder = PROGRAM_FOLDER.string();
    EXPECT_EQ(read_settings(unwritable, PROGRAM_FOLDER), expected);
}

TEST_F(SettingsStore, TheProcessRecordLivesInTheUsersConfigurationFolder) {
    read_settings();
    // Where the shipped data lies: here the build tree's, as for tmw run from the build.
    EXPECT_EQ(settings().song_folder, data_folder().string());
    EXPECT_TRUE(std::filesystem::exists(data_folder() / "tmill.bnk"));
    settings().repeat = 1;
    ASSERT_TRUE(write_settings());
    const RegistryTree tree =
        RegistryStore(home_.home() / ".config" / "tunemill" / "user.reg", "HKEY_CURRENT_USER")
            .read();
    EXPECT_EQ(*tree.find_value("SOFTWARE\\LFS\\TUNEMILL", "repeat"), RegistryValue::dword(1));
    settings() = Settings();
}

TEST(SettingsNames, TheStoreUsesTheNamesAndOrderOfEarlierRuns) {
    std::vector<std::string> names;
    for (const auto& entry : NAMES_AND_DEFAULTS)
        names.push_back(entry.first);
    EXPECT_EQ(integer_setting_names(), names);
}

} // namespace
} // namespace tunemill
