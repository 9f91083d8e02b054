// A song as a plain Standard MIDI File of format 1: a tempo track that carries the song's tick
// durations exactly, one track per voice named after its instrument, the sequence unrolled.
#pragma once

#include <filesystem>
#include <vector>

#include "midi/smf.h"
#include "midi/warnings.h"
#include "song/song.h"

namespace tunemill {

// MIDI ticks per quarter note aim at this; each song tick is a whole number of them.
constexpr uint16_t MIDI_EXPORT_DIVISION = 480;
// Instrument categories played on channel 10, when every key of the voice is a drum sound.
bool is_drum_category(uint32_t category);

// The file of the song (normalized and validated on a copy first: an invalid song throws
// MISC_ERROR(S_INTERNAL_ERROR)); a song without a note to play throws
// MISC_ERROR(S_MIDI_NOTHING_TO_PLAY). What had to change is appended to warnings.
MidiFile build_midi(const Song& song, std::vector<MidiWarning>& warnings);

// Writes the file at path, replacing it only when everything was written.
std::vector<MidiWarning> export_midi_file(const Song& song, const std::filesystem::path& path);

// Whether a file name asks for a MIDI file: ".mid", ".midi" or ".smf" in any case.
bool is_midi_path(const std::filesystem::path& path);

} // namespace tunemill
