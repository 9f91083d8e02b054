// Songs and instruments exported as sound files: WAV (our own writer), FLAC (lossless, decodes to
// exactly the WAV export's samples) and Ogg Vorbis (lossy, with a quality setting), the last two
// encoded by libsndfile. Progress, cancel and the temporary file work as for WAV.
#pragma once

#include <filesystem>
#include <string>

#include "instruments/instrument.h"
#include "playback/wav.h"

namespace tunemill {

enum class AudioFileType { WAV, FLAC, OGG_VORBIS };

// Vorbis quality 0..1 (libvorbis's 0..10 scale divided by 10); 0.5 gives about 160 kbit/s for
// 44.1 kHz stereo.
constexpr double DEFAULT_VORBIS_QUALITY = 0.5;

struct AudioExportSettings {
    AudioFileType type = AudioFileType::WAV;
    WavExportSettings render; // rate, channels, 8 or 16 bits (Ogg Vorbis ignores the bits), mixing
    double vorbis_quality = DEFAULT_VORBIS_QUALITY;
};

// The type a file name's extension asks for: ".wav", ".flac", ".ogg" or ".oga"; false for others.
bool audio_file_type_of(const std::filesystem::path& path, AudioFileType& type);
// "wav", "flac", "ogg"; false for other names.
bool audio_file_type_named(const std::string& name, AudioFileType& type);
// "wav", "flac", "ogg": the default extension and the name tmw-cli shows.
const char* audio_file_extension(AudioFileType type);

// Renders the whole song with a private engine into a file of the settings' type. The file is
// written under a temporary name and renamed over the target when complete: a cancelled or
// failed export leaves no file and keeps an existing one. Returns false when cancelled; throws
// the failure otherwise (MISC_ERROR S_AUDIO_ENCODING_FAILED when the encoder refuses the sound).
// frames, when given, receives the number of frames in the finished file.
bool export_song_audio(Song& song, const std::filesystem::path& path,
                       const AudioExportSettings& settings, const RenderProgress& progress = {},
                       uint64_t* frames = nullptr);

// The instrument's samples, mono at its own rate, in a file of the type (8-bit instruments stay
// 8-bit in WAV and FLAC).
void export_instrument_audio(const Instrument& instrument, const std::filesystem::path& path,
                             AudioFileType type, double vorbis_quality = DEFAULT_VORBIS_QUALITY);

} // namespace tunemill
