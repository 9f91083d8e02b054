// What a MIDI import or export had to change: told to the user once afterwards (a box in the
// composer, one line each on tmw-cli's stderr, a list in --json).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tunemill {

enum class MidiWarningKind {
    KEYS_MOVED,      // import: notes outside MIDI 24..107 moved by octaves: count
    TIMING,          // import: the tempo model could not follow: count = worst error in ms
    NOTES_SPLIT,     // import: notes cut at pattern boundaries: count = pieces added
    SHORT_NOTES,     // import: notes shorter than a tick made one tick long: count
    PORTAMENTO,      // export: slides written as two notes: count
    CHANNELS_SHARED, // export: voices beyond the 16 channels sharing one: count
};

struct MidiWarning {
    MidiWarningKind kind;
    uint64_t count = 0;

    bool operator==(const MidiWarning&) const = default;
};

// The sentence in the current language (UTF-8).
std::string midi_warning_text(const MidiWarning& warning);
// A fixed name for scripts: "keys_moved", "timing", ...
const char* midi_warning_name(MidiWarningKind kind);

// Adds a warning of the kind when count is not 0.
void add_midi_warning(std::vector<MidiWarning>& warnings, MidiWarningKind kind, uint64_t count);

} // namespace tunemill
