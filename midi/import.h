// A MIDI file as a song: the tempo map fitted by the song's timing model, the notes in one voice
// per track, channel and program (drums: per drum sound) with the extra strikes of a key in
// further voices, General MIDI programs as stock bank instruments, patterns of whole measures
// with repeated stretches played again from the sequence.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "midi/smf.h"
#include "midi/warnings.h"
#include "song/song.h"
#include "storage/song_file.h"

namespace tunemill {

class File;

// The pattern sizes tried, in measures, in order of preference: the one whose distinct patterns
// are shortest together (each sequence entry counting as a measure) wins. A pattern ends on a
// nearby measure line (up to twice its size) when a note is held over its nominal end.
constexpr uint32_t PATTERN_MEASURES[] = {4, 2, 1};
// Files that play longer are refused (their absurd lengths would only fill memory).
constexpr double LONGEST_MIDI_MS = 12.0 * 3600 * 1000;
// Files larger than this are refused as damaged before they are read.
constexpr uint64_t LARGEST_MIDI_FILE = 256u << 20;
// Texts longer than this are cut in the song's description.
constexpr size_t LONGEST_MIDI_DESCRIPTION = 4000;

// Builds the song (reset first) from the file. Instruments come from the bank; an instrument
// the bank lacks fails as the bank says. What had to change is appended to warnings.
void convert_midi(const MidiFile& file, Song& song, const BankLookup& bank,
                  std::vector<MidiWarning>& warnings);

// Reads the open file (positioned at 0) and converts it.
void read_midi_song(File& file, Song& song, const BankLookup& bank,
                    std::vector<MidiWarning>& warnings);

// A name or text of the file as the song's 8-bit text: UTF-8 and Windows-1252 are kept, other
// encodings (Shift-JIS, ...) keep their ASCII and get '?' for the rest; controls become spaces
// (line breaks stay when lines is set).
std::string midi_text(std::string_view bytes, size_t longest, bool lines = false);

} // namespace tunemill
