// What a MIDI file plays, gathered from its tracks: the notes with their starts and ends (note
// offs, velocity-0 note ons and the sustain pedal resolved), the channel volume and pan changes,
// the tempo map, the time signatures, markers and texts. Times are file ticks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi/smf.h"

namespace tunemill {

struct FileNote {
    uint64_t start = 0, end = 0; // file ticks; end >= start
    uint32_t track = 0;
    uint16_t channel = 0; // port * 16 + channel: pairs of port and channel are distinct channels
    uint8_t program = 0;  // in effect at the start
    uint8_t note = 0;
    uint8_t velocity = 0; // 1..127
    uint8_t volume = 0;   // controller 7 at the start
    uint8_t pan = 0;      // controller 10 at the start
    bool drum = false;    // on channel 10
};

// A change of controller 7 (channel volume) or 10 (pan).
struct FileControl {
    uint64_t tick = 0;
    uint32_t track = 0;
    uint16_t channel = 0;
    uint8_t controller = 0;
    uint8_t value = 0;
};

struct FileTempo {
    uint64_t tick = 0;
    uint32_t micros_per_quarter = 500000;
};

struct FileSignature {
    uint64_t tick = 0;
    uint8_t numerator = 4;
    uint8_t denominator = 4; // a power of two
};

struct FileMarker {
    uint64_t tick = 0;
    std::string text; // as in the file
};

struct FileContent {
    std::vector<FileNote> notes;       // by start, then track, channel, note
    std::vector<FileControl> controls; // by tick
    std::vector<FileTempo> tempos;     // by tick; later ones win at one tick
    std::vector<FileSignature> signatures;
    std::vector<FileMarker> markers;
    std::vector<std::string> texts; // text and copyright events, in track order
    uint64_t end_tick = 0;          // the latest end of any track
};

constexpr uint8_t GM_DEFAULT_CHANNEL_VOLUME = 100;
constexpr uint8_t GM_CENTRE_PAN = 64;

FileContent gather_file_content(const MidiFile& file);

} // namespace tunemill
