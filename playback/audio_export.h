// Songs and instruments exported as sound files: WAV (our own writer), FLAC (lossless, decodes to
// exactly the WAV export's samples), and Ogg Vorbis, MP3 and Opus (lossy, with a quality
// setting), all but WAV encoded by libsndfile. Progress, cancel and the temporary file work as
// for WAV.
#pragma once

#include <filesystem>
#include <string>

#include "instruments/instrument.h"
#include "playback/audio_file_types.h"
#include "playback/wav.h"

namespace tunemill {

// Quality of the lossy types 0..1 (libvorbis's 0..10 scale divided by 10; MP3 and Opus map it
// onto their own variable bitrates). 0.5 gives about 160 kbit/s of Vorbis for 44.1 kHz stereo.
constexpr double DEFAULT_VORBIS_QUALITY = 0.5;

struct AudioExportSettings {
    AudioFileType type = AudioFileType::WAV;
    WavExportSettings render; // rate, channels, 8 or 16 bits (lossy types ignore the bits), mixing
    double vorbis_quality = DEFAULT_VORBIS_QUALITY; // every lossy type's quality
};

// The sampling rate a song export with these settings is written at: the settings' rate within
// 4000..65535, moved to the next rate the type's encoder takes (MP3 and Opus know a few only).
uint32_t export_rate(const AudioExportSettings& settings);

// Renders the whole song with a private engine into a file of the settings' type. The file is
// written under a temporary name and renamed over the target when complete: a cancelled or
// failed export leaves no file and keeps an existing one. Returns false when cancelled; throws
// the failure otherwise (MISC_ERROR S_AUDIO_ENCODING_FAILED when the encoder refuses the sound).
// frames, when given, receives the number of frames in the finished file.
bool export_song_audio(Song& song, const std::filesystem::path& path,
                       const AudioExportSettings& settings, const RenderProgress& progress = {},
                       uint64_t* frames = nullptr);

// The instrument's samples, mono at its own rate, in a file of the type (8-bit instruments stay
// 8-bit in WAV and FLAC). A rate the type's encoder does not take (8363 Hz in MP3) is resampled
// to the next one it does.
void export_instrument_audio(const Instrument& instrument, const std::filesystem::path& path,
                             AudioFileType type, double vorbis_quality = DEFAULT_VORBIS_QUALITY);

} // namespace tunemill
