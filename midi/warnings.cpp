// The texts of the MIDI warnings.
#include "midi/warnings.h"

#include "foundation/string_table.h"
#include "foundation/text.h"

namespace tunemill {

namespace {

struct WarningText {
    const char* name;
    uint32_t string_id;
};

// In the order of MidiWarningKind.
constexpr WarningText TEXTS[] = {
    {"keys_moved", S_MIDI_WARN_KEYS_MOVED},   {"timing", S_MIDI_WARN_TIMING},
    {"notes_split", S_MIDI_WARN_NOTES_SPLIT}, {"short_notes", S_MIDI_WARN_SHORT_NOTES},
    {"portamento", S_MIDI_WARN_PORTAMENTO},   {"channels_shared", S_MIDI_WARN_CHANNELS_SHARED},
};

} // namespace

std::string midi_warning_text(const MidiWarning& warning) {
    return format_message(load_string(TEXTS[size_t(warning.kind)].string_id),
                          {std::to_string(warning.count)});
}

const char* midi_warning_name(MidiWarningKind kind) {
    return TEXTS[size_t(kind)].name;
}

void add_midi_warning(std::vector<MidiWarning>& warnings, MidiWarningKind kind, uint64_t count) {
    if (count) warnings.push_back({kind, count});
}

} // namespace tunemill
