// The table of export types.
#include "playback/audio_file_types.h"

#include <algorithm>
#include <cctype>

namespace tunemill {

namespace {

// What LAME and libopus take; everything else would be refused by the encoder.
constexpr uint32_t MP3_RATES[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr uint32_t OPUS_RATES[] = {8000, 12000, 16000, 24000, 48000};

constexpr AudioFileTypeInfo TYPES[] = {
    {AudioFileType::WAV, "wav", {".wav", nullptr, nullptr}, false, {}},
    {AudioFileType::FLAC, "flac", {".flac", nullptr, nullptr}, false, {}},
    {AudioFileType::OGG_VORBIS, "ogg", {".ogg", ".oga", nullptr}, true, {}},
    {AudioFileType::MP3, "mp3", {".mp3", nullptr, nullptr}, true, MP3_RATES},
    {AudioFileType::OPUS, "opus", {".opus", nullptr, nullptr}, true, OPUS_RATES},
};

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::span<const AudioFileTypeInfo> audio_file_types() {
    return TYPES;
}

const AudioFileTypeInfo& audio_file_type_info(AudioFileType type) {
    for (const AudioFileTypeInfo& info : TYPES)
        if (info.type == type) return info;
    return TYPES[0];
}

bool audio_file_type_of(const std::filesystem::path& path, AudioFileType& type) {
    const std::string extension = lower(path.extension().string());
    for (const AudioFileTypeInfo& info : TYPES)
        for (const char* each : info.extensions)
            if (each && extension == each) {
                type = info.type;
                return true;
            }
    return false;
}

bool audio_file_type_named(const std::string& name, AudioFileType& type) {
    for (const AudioFileTypeInfo& info : TYPES)
        if (lower(name) == info.name) {
            type = info.type;
            return true;
        }
    return false;
}

const char* audio_file_extension(AudioFileType type) {
    return audio_file_type_info(type).name;
}

std::string audio_file_type_names() {
    std::string names;
    for (const AudioFileTypeInfo& info : TYPES)
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    return names;
}

uint32_t encodable_rate(AudioFileType type, uint32_t rate) {
    const std::span<const uint32_t> rates = audio_file_type_info(type).rates;
    if (rates.empty()) return rate;
    const auto found = std::lower_bound(rates.begin(), rates.end(), rate);
    return found == rates.end() ? rates.back() : *found;
}

} // namespace tunemill
