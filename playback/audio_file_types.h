// The sound-file types songs and instruments export to, in one table that tmw-cli's --format,
// the file-name extensions and the composer's type list all read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tunemill {

enum class AudioFileType { WAV, FLAC, OGG_VORBIS, MP3, OPUS };

struct AudioFileTypeInfo {
    AudioFileType type;
    const char* name;                // --format's word, the default extension, what tmw-cli shows
    const char* extensions[3];       // the extensions (lower case, with the dot) that ask for it
    bool lossy;                      // encoded with a quality setting; 8 or 16 bits do not apply
    std::span<const uint32_t> rates; // the only sampling rates the encoder takes; empty: any
};

// Every type, in the order of the composer's type list.
std::span<const AudioFileTypeInfo> audio_file_types();
const AudioFileTypeInfo& audio_file_type_info(AudioFileType type);

// The type a file name's extension asks for (".wav", ".flac", ".ogg"/".oga", ".mp3", ".opus");
// false for others.
bool audio_file_type_of(const std::filesystem::path& path, AudioFileType& type);
// The type of a name of the table ("wav", "flac", "ogg", "mp3", "opus"); false for others.
bool audio_file_type_named(const std::string& name, AudioFileType& type);
// The type's name: its default extension.
const char* audio_file_extension(AudioFileType type);
// "wav, flac, ogg, mp3, opus": the names for a message.
std::string audio_file_type_names();

// The rate a file of the type is written at when rate is asked for: rate itself when the encoder
// takes it, else the next larger rate it takes, else its largest.
uint32_t encodable_rate(AudioFileType type, uint32_t rate);

} // namespace tunemill
