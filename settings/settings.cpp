// Reading and writing the settings record. An integer is taken from the store only when it is
// exactly 4 bytes long, whatever type it is recorded with; everything else keeps its default.
#include "settings/settings.h"

#include "foundation/data_folders.h"
#include "foundation/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <cstring>
#include <type_traits>

namespace tunemill {

namespace {

// Folders longer than a path can be on this system are not a folder: the default is kept.
constexpr size_t FOLDER_CAPACITY = 4096;

// One 4-byte value of the store and the field of the record it fills, reached through the
// member path (the record's member, then the member of that, ...).
struct IntegerSetting {
    const char* name;
    uint32_t (*get)(const Settings&);
    void (*set)(Settings&, uint32_t);
};

template <auto... path> constexpr IntegerSetting setting(const char* name) {
    return {name, [](const Settings& record) { return uint32_t((record.*....*path)); },
            [](Settings& record, uint32_t value) {
                auto& target = (record.*....*path);
                target = std::remove_reference_t<decltype(target)>(value);
            }};
}

// The integer values in the order they are written.
constexpr IntegerSetting INTEGER_SETTINGS[] = {
    setting<&Settings::playback, &PlaybackSettings::device_id>("Playback.DeviceId"),
    setting<&Settings::playback, &PlaybackSettings::sampling_rate>("Playback.SamplingRate"),
    setting<&Settings::playback, &PlaybackSettings::stereo>("Playback.Stereo"),
    setting<&Settings::playback, &PlaybackSettings::out_16bit>("Playback.Out16Bit"),
    setting<&Settings::playback, &PlaybackSettings::oversample>("Playback.Oversample"),
    setting<&Settings::playback, &PlaybackSettings::amplification>("Playback.Amplification"),
    setting<&Settings::playback, &PlaybackSettings::buffer_len>("Playback.BufferLen"),
    setting<&Settings::playback, &PlaybackSettings::buffers>("Playback.Buffers"),
    setting<&Settings::pattern_window, &PatternWindowSettings::follow_playback>(
        "PatWin.FollowPlayback"),
    setting<&Settings::pattern_window, &PatternWindowSettings::note_len>("PatWin.NoteLen"),
    setting<&Settings::pattern_window, &PatternWindowSettings::size_note>("PatWin.WinSize.Note"),
    setting<&Settings::pattern_window, &PatternWindowSettings::size_volume>(
        "PatWin.WinSize.Volume"),
    setting<&Settings::pattern_window, &PatternWindowSettings::size_balance>(
        "PatWin.WinSize.Balance"),
    setting<&Settings::pattern_window, &PatternWindowSettings::size_tempo>("PatWin.WinSize.Tempo"),
    setting<&Settings::pattern_window, &PatternWindowSettings::size_voices>(
        "PatWin.WinSize.Voices"),
    setting<&Settings::pattern_window, &PatternWindowSettings::grid_size_x>("PatWin.GridSizeX"),
    setting<&Settings::pattern_window, &PatternWindowSettings::grid_size_y>("PatWin.GridSizeY"),
    setting<&Settings::pattern_window, &PatternWindowSettings::pos, &WindowRect::left>(
        "PatWin.Pos.Left"),
    setting<&Settings::pattern_window, &PatternWindowSettings::pos, &WindowRect::right>(
        "PatWin.Pos.Right"),
    setting<&Settings::pattern_window, &PatternWindowSettings::pos, &WindowRect::top>(
        "PatWin.Pos.Top"),
    setting<&Settings::pattern_window, &PatternWindowSettings::pos, &WindowRect::bottom>(
        "PatWin.Pos.Bottom"),
    setting<&Settings::pattern_window, &PatternWindowSettings::maximized>("PatWin.Maximized"),
    setting<&Settings::main_window_pos, &WindowRect::left>("MainWin.Pos.Left"),
    setting<&Settings::main_window_pos, &WindowRect::right>("MainWin.Pos.Right"),
    setting<&Settings::main_window_pos, &WindowRect::top>("MainWin.Pos.Top"),
    setting<&Settings::main_window_pos, &WindowRect::bottom>("MainWin.Pos.Bottom"),
    setting<&Settings::main_window_maximized>("MainWin.Maximized"),
    setting<&Settings::keyboard_window_pos, &WindowRect::left>("KeyboardWin.Pos.Left"),
    setting<&Settings::keyboard_window_pos, &WindowRect::right>("KeyboardWin.Pos.Right"),
    setting<&Settings::keyboard_window_pos, &WindowRect::top>("KeyboardWin.Pos.Top"),
    setting<&Settings::keyboard_window_pos, &WindowRect::bottom>("KeyboardWin.Pos.Bottom"),
    setting<&Settings::keyboard_window_open>("KeyboardWin.Open"),
    setting<&Settings::sequence_window_pos, &WindowRect::left>("SequenceWin.Pos.Left"),
    setting<&Settings::sequence_window_pos, &WindowRect::right>("SequenceWin.Pos.Right"),
    setting<&Settings::sequence_window_pos, &WindowRect::top>("SequenceWin.Pos.Top"),
    setting<&Settings::sequence_window_pos, &WindowRect::bottom>("SequenceWin.Pos.Bottom"),
    setting<&Settings::sequence_window_open>("SequenceWin.Open"),
    setting<&Settings::instruments_window_pos, &WindowRect::left>("InstrumentsWin.Pos.Left"),
    setting<&Settings::instruments_window_pos, &WindowRect::right>("InstrumentsWin.Pos.Right"),
    setting<&Settings::instruments_window_pos, &WindowRect::top>("InstrumentsWin.Pos.Top"),
    setting<&Settings::instruments_window_pos, &WindowRect::bottom>("InstrumentsWin.Pos.Bottom"),
    setting<&Settings::instruments_window_open>("InstrumentsWin.Open"),
    setting<&Settings::midi_device_id>("MidiDeviceId"),
    setting<&Settings::keyboard_base_octave>("KeyboardBaseOctave"),
    setting<&Settings::repeat>("Repeat"),
    setting<&Settings::all_voices>("AllVoices"),
    setting<&Settings::validate>("Validate"),
    setting<&Settings::autosave_interval>("Document.AutosaveInterval"),
    setting<&Settings::keyboard_mapping>("KeyboardMapping"),
};

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
    for (const auto& setting : INTEGER_SETTINGS)
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
        for (const auto& setting : INTEGER_SETTINGS) {
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
            for (const auto& setting : INTEGER_SETTINGS)
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
