// Standard MIDI Files as bytes: the reader (formats 0 and 1, the RIFF "RMID" wrapper, running
// status, SysEx, meta events, unknown chunks) and the writer (plain format 1). The reader is
// bounds-checked throughout and refuses damage with one error.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tunemill {

// Meta event types the conversions use.
enum MidiMeta : uint8_t {
    META_TEXT = 0x01,
    META_COPYRIGHT = 0x02,
    META_TRACK_NAME = 0x03,
    META_MARKER = 0x06,
    META_PORT = 0x21,
    META_END_OF_TRACK = 0x2F,
    META_TEMPO = 0x51,
    META_TIME_SIGNATURE = 0x58,
};

constexpr uint8_t MIDI_META = 0xFF;
constexpr uint8_t MIDI_SYSEX = 0xF0;
constexpr uint8_t MIDI_SYSEX_CONTINUED = 0xF7;

struct MidiEvent {
    uint64_t tick = 0;  // from the track's start
    uint8_t status = 0; // 0x80..0xEF channel message; MIDI_META; MIDI_SYSEX(_CONTINUED)
    uint8_t data1 = 0;  // channel: first data byte; meta: its type
    uint8_t data2 = 0;  // channel: second data byte (0 for one-byte messages)
    std::string data;   // meta and SysEx bytes

    uint8_t channel() const { return status & 0x0F; }
    uint8_t kind() const { return status & 0xF0; }
};

struct MidiTrack {
    std::vector<MidiEvent> events; // in file order
    uint64_t end_tick = 0;         // tick of the end-of-track event, or of the last event
};

// The SMPTE division: frames per second (24, 25, 29 for 29.97, 30) and ticks per frame.
struct MidiDivision {
    uint16_t ticks_per_quarter = 0; // 0 when timed in SMPTE frames
    uint8_t frames_per_second = 0;
    uint8_t ticks_per_frame = 0;
};

struct MidiFile {
    uint16_t format = 1;
    MidiDivision division;
    std::vector<MidiTrack> tracks;
};

// The largest delta and meta/SysEx length the reader accepts: four bytes of variable length.
constexpr uint32_t MIDI_MAX_VARIABLE = 0x0FFFFFFF;

// Whether the first bytes look like a MIDI file ("MThd", or "RIFF" .. "RMID"). Never throws.
bool probe_midi_head(std::span<const uint8_t> head);

// Reads the file's bytes. Throws MISC_ERROR(S_MIDI_DAMAGED) for damage (chunks cut short, wrong
// lengths, fewer track chunks than the header counts, illegal status bytes),
// MISC_ERROR(S_MIDI_FORMAT2) for a format 2 file and MISC_ERROR(S_MIDI_UNKNOWN) for bytes that
// are no MIDI file at all.
MidiFile read_smf(std::span<const uint8_t> bytes);

// The bytes of a format 0 or 1 file (either kind of division). Every event is written
// with its full status byte; each track ends with an end-of-track event at its end tick (or the
// last event's tick, when later).
std::vector<uint8_t> write_smf(const MidiFile& file);

} // namespace tunemill
