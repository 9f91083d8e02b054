// Sample files read through libsndfile: FLAC, AIFF and AIFC, Ogg Vorbis and Opus, MP3, and the WAV
// variants that our own WAV reader leaves alone (24 and 32 bits, float, WAVE_FORMAT_EXTENSIBLE,
// more than two channels). The sound becomes an instrument of our model: mono, 16-bit (8-bit
// only when the file is), with the loop the file stores.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "instruments/instrument.h"

namespace tunemill {

class File;

// Enough of a file's start for probe_sound_file.
constexpr size_t SOUND_FILE_PROBE_BYTES = 12;

// True when the file starts like one of the containers above ("RIFF"/"RIFX"/"RF64" with "WAVE",
// "FORM" with "AIFF"/"AIFC", "fLaC", "OggS", an MP3's "ID3" tag or MPEG frame header). Looks at
// the bytes only, never throws.
bool probe_sound_file(std::span<const uint8_t> head);
// True when the bytes begin with the 4-byte mark of one of those containers ("RIFF", "RIFX",
// "RF64", "FORM", "fLaC", "OggS"), whatever follows.
bool starts_with_container_mark(std::span<const uint8_t> head);
// True when the bytes start with a plausible MPEG audio frame header (sync bits, no reserved
// version, layer, bitrate or rate). Raw samples may look so by chance: the importer offers such
// a file as raw data when it does not decode.
bool probe_mpeg_frame(std::span<const uint8_t> head);

// What the file holds, as the file says it.
struct SoundFileFormat {
    std::string container; // "wav", "aiff", "flac", "ogg", "mp3"
    std::string
        encoding; // "pcm8", "pcm16", "pcm24", "pcm32", "float", "double", "vorbis", "opus", ...
    uint32_t channels = 0;
    uint32_t rate = 0;
    uint64_t frames = 0;
};

// Reads the whole file into an instrument named name (category 29, not from the bank). Every
// channel counts alike in the mono mixdown. Throws MISC_ERROR with S_UNKNOWN_SAMPLE_FILE for a
// file libsndfile cannot decode or a container we do not take, S_SAMPLE_RATE_OUT_OF_RANGE for a
// rate outside 1..65535, S_SAMPLE_FILE_TOO_LONG beyond the largest instrument; file failures are
// FILE_ERRORs. format, when given, receives what the file holds.
Instrument read_sound_file(File& file, std::string name, SoundFileFormat* format = nullptr);

// Makes [start, end) the instrument's loop: our loops run to the last frame, so what follows the
// loop's end is cut off (it never sounds). A loop that does not lie inside the sound is ignored.
void apply_loop(Instrument& instrument, uint64_t start, uint64_t end);

// The largest instrument a sample file may become, in bytes of samples (what instrument files
// hold).
constexpr uint64_t MAX_IMPORTED_SAMPLE_BYTES = 0x7FFFFFFF;

// A loop given as comment tags (LOOPSTART with LOOPLENGTH or alone, to the end), the way FLAC
// and Ogg files carry one: first frame and frame count (0: to the end).
struct TaggedLoop {
    uint64_t start = 0;
    uint64_t length = 0;
};
// Looks for the loop tags in the Vorbis comment of a FLAC file or the first Ogg stream (Vorbis
// or Opus) among the bytes of the file's start. Nothing when there are none or the bytes end
// first. Bounds-checked: any input is safe.
std::optional<TaggedLoop> find_loop_tags(std::span<const uint8_t> start);

} // namespace tunemill
