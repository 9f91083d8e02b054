// The composer's settings record: read once at start from the registry store, used directly by
// the parts of the program while it runs, written back whole at exit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tunemill {

class RegistryStore;

// The key under HKEY_CURRENT_USER that holds the settings.
constexpr const char* SETTINGS_KEY = "Software\\LFS\\Tunemill";
// "MidiDeviceId" of a user who never chose one: no device has this index, so none is opened.
constexpr uint32_t NO_MIDI_DEVICE = 0xA7D8BBE7;

// The eight values the playback engine is configured with; it receives copies of them.
struct PlaybackSettings {
    int32_t device_id = 0;
    int32_t sampling_rate = 44100;
    int32_t stereo = 1;
    int32_t out_16bit = 1;
    int32_t oversample = 1;
    int32_t amplification = 25;
    int32_t buffer_len = 20;
    int32_t buffers = 4;
    bool operator==(const PlaybackSettings&) const = default;
};

// A window's restored placement, edges in its parent's coordinates.
struct WindowRect {
    int32_t left = 0;
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

// Taken from the pattern window closed last, given to the next one opened.
struct PatternWindowSettings {
    int32_t follow_playback = 0;
    int32_t note_len = 2;
    int32_t size_note = 1;
    int32_t size_volume = 0;
    int32_t size_balance = 0;
    int32_t size_tempo = 0;
    int32_t size_voices = 1;
    int32_t grid_size_x = 10;
    int32_t grid_size_y = 10;
    WindowRect pos;
    int32_t maximized = 0;
    bool operator==(const PatternWindowSettings&) const = default;
};

struct Settings {
    PlaybackSettings playback;
    std::string song_folder; // bytes as stored; the program's folder when none is stored
    std::string instrument_folder;
    PatternWindowSettings pattern_window;
    WindowRect main_window_pos;
    int32_t main_window_maximized = 0;
    WindowRect keyboard_window_pos;
    int32_t keyboard_window_open = 0;
    WindowRect sequence_window_pos;
    int32_t sequence_window_open = 0;
    WindowRect instruments_window_pos;
    int32_t instruments_window_open = 0;
    uint32_t midi_device_id = NO_MIDI_DEVICE;
    int32_t keyboard_base_octave = 3;
    int32_t repeat = 0;
    int32_t all_voices = 0;
    int32_t validate = 0;
    int32_t autosave_interval = 120; // seconds between autosaves of a changed song; 0: never
    int32_t keyboard_mapping = 0;    // PC keys as a piano: 0 by their position, 1 by letter
    bool operator==(const Settings&) const = default;
};

// The process-wide record. Used on the user-interface thread only.
Settings& settings();

// Fills the process-wide record from the user's store; called once at start-up, before
// anything else uses the record. Never fails: what cannot be read keeps its default.
void read_settings();
// Writes the process-wide record back; called once at exit. Returns whether the store was
// written; failures are never shown.
bool write_settings();

// The same on a given store and record, for tests and tools. program_folder stands in for empty
// folders.
Settings read_settings(const RegistryStore& store, const std::filesystem::path& program_folder);
bool write_settings(RegistryStore& store, const Settings& record);

// The registry names of every integer value, in the order they are read and written.
std::vector<std::string> integer_setting_names();

} // namespace tunemill
