// Reading and writing the settings record. An integer is taken from the store only when it is
// exactly 4 bytes long, whatever type it is recorded with; everything else keeps its default.
#include "settings/settings.h"

#include "foundation/data_folders.h"
#include "foundation/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <cstring>
#include <functional>
#include <type_traits>

namespace tunemill {

namespace {

// Folders longer than a path can be on this system are not a folder: the default is kept.
constexpr size_t FOLDER_CAPACITY = 4096;

struct IntegerSetting {
    std::string name;
    std::function<uint32_t(const Settings&)> get;
    std::function<void(Settings&, uint32_t)> set;
};

template <typename Access> IntegerSetting field(std::string name, Access access) {
    return {std::move(name),
            [access](const Settings& record) {
                return uint32_t(access(const_cast<Settings&>(record)));
            },
            [access](Settings& record, uint32_t value) {
                auto& target = access(record);
                target = std::remove_reference_t<decltype(target)>(value);
            }};
}

template <typename Access>
void rect_fields(std::vector<IntegerSetting>& table, const std::string& prefix, Access access) {
    const std::string base = prefix + ".Pos.";
    table.push_back(
        field(base + "Left", [access](Settings& s) -> int32_t& { return access(s).left; }));
    table.push_back(
        field(base + "Right", [access](Settings& s) -> int32_t& { return access(s).right; }));
    table.push_back(
        field(base + "Top", [access](Settings& s) -> int32_t& { return access(s).top; }));
    table.push_back(
        field(base + "Bottom", [access](Settings& s) -> int32_t& { return access(s).bottom; }));
}

const std::vector<IntegerSetting>& integer_settings() {
    static const std::vector<IntegerSetting> table = [] {
        std::vector<IntegerSetting> t;
        t.push_back(field(
            "Playback.DeviceId", [](Settings & s) -> auto& { return s.playback.device_id; }));
        t.push_back(field(
            "Playback.SamplingRate",
            [](Settings & s) -> auto& { return s.playback.sampling_rate; }));
        t.push_back(field(
            "Playback.Stereo", [](Settings & s) -> auto& { return s.playback.stereo; }));
        t.push_back(field(
            "Playback.Out16Bit", [](Settings & s) -> auto& { return s.playback.out_16bit; }));
        t.push_back(field(
            "Playback.Oversample", [](Settings & s) -> auto& { return s.playback.oversample; }));
        t.push_back(field(
            "Playback.Amplification",
            [](Settings & s) -> auto& { return s.playback.amplification; }));
        t.push_back(field(
            "Playback.BufferLen", [](Settings & s) -> auto& { return s.playback.buffer_len; }));
        t.push_back(field(
            "Playback.Buffers", [](Settings & s) -> auto& { return s.playback.buffers; }));
        t.push_back(field(
            "PatWin.FollowPlayback",
            [](Settings & s) -> auto& { return s.pattern_window.follow_playback; }));
        t.push_back(field(
            "PatWin.NoteLen", [](Settings & s) -> auto& { return s.pattern_window.note_len; }));
        t.push_back(field(
            "PatWin.WinSize.Note",
            [](Settings & s) -> auto& { return s.pattern_window.size_note; }));
        t.push_back(field(
            "PatWin.WinSize.Volume",
            [](Settings & s) -> auto& { return s.pattern_window.size_volume; }));
        t.push_back(field(
            "PatWin.WinSize.Balance",
            [](Settings & s) -> auto& { return s.pattern_window.size_balance; }));
        t.push_back(field(
            "PatWin.WinSize.Tempo",
            [](Settings & s) -> auto& { return s.pattern_window.size_tempo; }));
        t.push_back(field(
            "PatWin.WinSize.Voices",
            [](Settings & s) -> auto& { return s.pattern_window.size_voices; }));
        t.push_back(field(
            "PatWin.GridSizeX",
            [](Settings & s) -> auto& { return s.pattern_window.grid_size_x; }));
        t.push_back(field(
            "PatWin.GridSizeY",
            [](Settings & s) -> auto& { return s.pattern_window.grid_size_y; }));
        rect_fields(t, "PatWin", [](Settings& s) -> WindowRect& { return s.pattern_window.pos; });
        t.push_back(field(
            "PatWin.Maximized", [](Settings & s) -> auto& { return s.pattern_window.maximized; }));
        rect_fields(t, "MainWin", [](Settings& s) -> WindowRect& { return s.main_window_pos; });
        t.push_back(field(
            "MainWin.Maximized", [](Settings & s) -> auto& { return s.main_window_maximized; }));
        rect_fields(t, "KeyboardWin",
                    [](Settings& s) -> WindowRect& { return s.keyboard_window_pos; });
        t.push_back(field(
            "KeyboardWin.Open", [](Settings & s) -> auto& { return s.keyboard_window_open; }));
        rect_fields(t, "SequenceWin",
                    [](Settings& s) -> WindowRect& { return s.sequence_window_pos; });
        t.push_back(field(
            "SequenceWin.Open", [](Settings & s) -> auto& { return s.sequence_window_open; }));
        rect_fields(t, "InstrumentsWin",
                    [](Settings& s) -> WindowRect& { return s.instruments_window_pos; });
        t.push_back(field(
            "InstrumentsWin.Open",
            [](Settings & s) -> auto& { return s.instruments_window_open; }));
        t.push_back(field(
            "MidiDeviceId", [](Settings & s) -> auto& { return s.midi_device_id; }));
        t.push_back(field(
            "KeyboardBaseOctave", [](Settings & s) -> auto& { return s.keyboard_base_octave; }));
        t.push_back(field(
            "Repeat", [](Settings & s) -> auto& { return s.repeat; }));
        t.push_back(field(
            "AllVoices", [](Settings & s) -> auto& { return s.all_voices; }));
        t.push_back(field(
            "Validate", [](Settings & s) -> auto& { return s.validate; }));
        t.push_back(field(
            "Document.AutosaveInterval",
            [](Settings & s) -> auto& { return s.autosave_interval; }));
        t.push_back(field(
            "KeyboardMapping", [](Settings & s) -> auto& { return s.keyboard_mapping; }));
        return t;
    }();
    return table;
}

constexpr const char* SONG_FOLDER = "SongFolder";
constexpr const char* INSTRUMENT_FOLDER = "InstrumentFolder";

// The folder value as text; empty when missing or longer than a folder can be.
std::string read_folder(const RegistryTree& tree, const char* name) {
    const RegistryValue* value = tree.find_value(SETTINGS_KEY, name);
    if (!value || value->data.size() >= FOLDER_CAPACITY) return {};
    return value->as_text();
}

} // namespace

Settings& settings() {
    static Settings record;
    return record;
}

std::vector<std::string> integer_setting_names() {
    std::vector<std::string> names;
    for (const auto& setting : integer_settings())
        names.push_back(setting.name);
    return names;
}

Settings read_settings(const RegistryStore& store, const std::filesystem::path& program_folder) {
    Settings record;
    RegistryTree tree;
    try {
        tree = store.read();
    } catch (const ERROR&) {
        // An unreadable store is a missing key: every value keeps its default.
    }
    if (tree.has_key(SETTINGS_KEY)) {
        for (const auto& setting : integer_settings()) {
            const RegistryValue* value = tree.find_value(SETTINGS_KEY, setting.name);
            if (!value || value->data.size() != 4) continue;
            uint32_t number = 0;
            for (int i = 3; i >= 0; --i)
                number = number << 8 | value->data[size_t(i)];
            setting.set(record, number);
        }
        record.song_folder = read_folder(tree, SONG_FOLDER);
        record.instrument_folder = read_folder(tree, INSTRUMENT_FOLDER);
    }
    if (record.song_folder.empty()) record.song_folder = program_folder.string();
    if (record.instrument_folder.empty()) record.instrument_folder = program_folder.string();
    if (record.keyboard_base_octave < 0 || record.keyboard_base_octave > 5)
        record.keyboard_base_octave = 3;
    if (record.autosave_interval < 0) record.autosave_interval = 120;
    if (record.keyboard_mapping != 0 && record.keyboard_mapping != 1) record.keyboard_mapping = 0;
    return record;
}

bool write_settings(RegistryStore& store, const Settings& record) {
    try {
        store.update([&](RegistryTree& tree) {
            for (const auto& setting : integer_settings())
                tree.set_value(SETTINGS_KEY, setting.name,
                               RegistryValue::dword(setting.get(record)));
            tree.set_value(SETTINGS_KEY, SONG_FOLDER, RegistryValue::text(record.song_folder));
            tree.set_value(SETTINGS_KEY, INSTRUMENT_FOLDER,
                           RegistryValue::text(record.instrument_folder));
        });
        return true;
    } catch (const ERROR&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void read_settings() {
    const RegistryStore store(RegistryRoot::CURRENT_USER);
    // The folders start where the demo songs and the bank lie: beside the program as the
    // installer lays it out, the share folder of an installed prefix.
    settings() = read_settings(store, data_folder());
}

bool write_settings() {
    RegistryStore store(RegistryRoot::CURRENT_USER);
    return write_settings(store, settings());
}

} // namespace tunemill
