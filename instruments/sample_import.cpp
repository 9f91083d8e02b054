// WAV and raw sample import: the head tests, the chunk walk up to "data", and the copy of mono
// data or of the left channel of stereo data into a new instrument.
#include "instruments/sample_import.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "foundation/text.h"

namespace tunemill {

namespace {

constexpr size_t WAV_HEAD_SIZE = 36;
constexpr size_t STEREO_BLOCK = 512;

uint32_t le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

struct Format {
    uint32_t channels = 1;
    uint32_t bits = 8;
    uint32_t rate = 0;
    uint64_t data_start = 0;
    uint64_t data_size = 0;
};

// Chunk tags are letters, digits and spaces ("LIST", "fmt ", "id3 ").
bool plausible_tag(const uint8_t* tag) {
    return std::all_of(tag, tag + 4, [](uint8_t c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == ' ';
    });
}

// Reads the chunk head at offset; false when the file ends first.
bool read_head(File& file, uint64_t offset, uint64_t size, uint8_t head[8]) {
    if (offset + 8 > size) return false;
    file.read_at(offset, head, 8);
    return true;
}

// The WAV head tests and the walk to the "data" chunk. Any failure makes the file raw data.
std::optional<Format> probe_wav(File& file) {
    const uint64_t size = file.size();
    if (size <= WAV_HEAD_SIZE) return std::nullopt;
    try {
        uint8_t head[WAV_HEAD_SIZE];
        file.read_at(0, head, sizeof head);
        if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVEfmt ", 8) != 0)
            return std::nullopt;
        Format format;
        format.channels = le16(head + 22);
        format.rate = le32(head + 24);
        format.bits = le16(head + 34);
        const uint32_t format_size = le32(head + 16);
        if (le16(head + 20) != 1 || (format.channels != 1 && format.channels != 2) ||
            format.rate == 0 || (format.bits != 8 && format.bits != 16) || format_size < 16)
            return std::nullopt;
        // Chunks are padded to an even size; a writer that forgot the pad byte is still read.
        auto next_chunk = [&](uint64_t content, uint64_t length,
                              uint8_t chunk[8]) -> std::optional<uint64_t> {
            const uint64_t unpadded = content + length;
            if (length % 2 == 1 && read_head(file, unpadded + 1, size, chunk) &&
                plausible_tag(chunk))
                return unpadded + 1;
            if (read_head(file, unpadded, size, chunk)) return unpadded;
            return std::nullopt;
        };
        uint8_t chunk[8];
        std::optional<uint64_t> at = next_chunk(20, format_size, chunk);
        while (at) {
            const uint64_t length = le32(chunk + 4);
            if (std::memcmp(chunk, "data", 4) == 0) {
                format.data_start = *at + 8;
                // A data size beyond the end (streaming writers leave it at its maximum) is cut
                // to what the file holds.
                format.data_size = std::min<uint64_t>(length, size - format.data_start);
                return format;
            }
            at = next_chunk(*at + 8, length, chunk);
        }
        return std::nullopt;
    } catch (const FILE_ERROR&) {
        return std::nullopt;
    }
}

std::string instrument_name(const std::filesystem::path& path) {
    std::string name(file_name_part(path.string()));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    name = utf8_to_windows1252(name);
    // Every file format holds at most 16 characters of a name.
    if (name.size() > 16) name.resize(16);
    return name;
}

} // namespace

RawImportSettings& raw_import_settings() {
    static RawImportSettings settings;
    return settings;
}

namespace {

// Our own WAV reader's copy of mono data or of the left channel of stereo data.
Instrument read_pcm(File& file, const Format& format, std::string name) {
    const unsigned shift = format.bits / 16 + format.channels - 1;
    const uint64_t frames64 = format.data_size >> shift;
    if (frames64 > 0x7FFFFFFF) throw MEM_ERROR();
    const auto frames = uint32_t(frames64);
    const uint32_t bytes_per_sample = format.bits == 16 ? 2 : 1;
    Instrument instrument =
        make_sampled_instrument(std::move(name), NO_CATEGORY, frames, NO_LOOP,
                                std::min<uint32_t>(format.rate, 65535), bytes_per_sample, false);
    file.seek(int64_t(format.data_start));
    if (format.channels == 1) {
        file.read_exact(instrument.samples.data(), instrument.sample_bytes());
    } else {
        // Stereo: the first value of every frame is the left channel.
        const size_t frame_bytes = 2 * bytes_per_sample;
        uint8_t block[STEREO_BLOCK];
        uint8_t* out = instrument.samples.data();
        uint64_t left = uint64_t(frames) * frame_bytes;
        while (left > 0) {
            const size_t count = size_t(std::min<uint64_t>(left, sizeof block));
            file.read_exact(block, count);
            for (size_t at = 0; at + frame_bytes <= count; at += frame_bytes) {
                std::memcpy(out, block + at, bytes_per_sample);
                out += bytes_per_sample;
            }
            left -= count;
        }
    }
    return instrument;
}

// The first loop of a "smpl" chunk anywhere in the file, as [start, end) frames (the chunk's
// end is the loop's last frame). Looked for after the samples were read, so it changes nothing
// about which files our reader takes.
std::optional<std::pair<uint64_t, uint64_t>> wav_sampler_loop(File& file) {
    constexpr size_t SMPL_LOOP_AT = 36, LOOP_BYTES = 24;
    const uint64_t size = file.size();
    uint64_t at = 12;
    uint8_t head[8];
    while (read_head(file, at, size, head)) {
        const uint64_t length = le32(head + 4);
        if (std::memcmp(head, "smpl", 4) == 0 && length >= SMPL_LOOP_AT + LOOP_BYTES &&
            at + 8 + length <= size) {
            uint8_t chunk[SMPL_LOOP_AT + LOOP_BYTES];
            file.read_at(at + 8, chunk, sizeof chunk);
            if (le32(chunk + 28) == 0) return std::nullopt;
            const uint32_t start = le32(chunk + SMPL_LOOP_AT + 8),
                           last = le32(chunk + SMPL_LOOP_AT + 12);
            return std::pair<uint64_t, uint64_t>{start, uint64_t(last) + 1};
        }
        at += 8 + length + (length & 1);
    }
    return std::nullopt;
}

bool starts_like_sound_file(File& file) {
    uint8_t head[SOUND_FILE_PROBE_BYTES];
    const size_t got = size_t(std::min<uint64_t>(file.size(), sizeof head));
    file.read_at(0, head, got);
    const std::span<const uint8_t> start(head, got);
    // A container's mark with the file ending before its type is a sound file cut short, not
    // raw data that happens to begin so.
    if (got < sizeof head && starts_with_container_mark(start))
        throw MISC_ERROR(S_UNKNOWN_SAMPLE_FILE);
    return probe_sound_file(start);
}

// The file as a WAV file of our reader or a sound file of libsndfile; nothing for raw data.
std::optional<Instrument> read_known(File& file, const std::filesystem::path& path,
                                     SoundFileFormat* described) {
    if (const std::optional<Format> wav = probe_wav(file)) {
        if (described)
            *described = {"wav", wav->bits == 16 ? "pcm16" : "pcm8", wav->channels, wav->rate,
                          wav->data_size / (wav->channels * wav->bits / 8)};
        Instrument instrument = read_pcm(file, *wav, instrument_name(path));
        try {
            if (const auto loop = wav_sampler_loop(file))
                apply_loop(instrument, loop->first, loop->second);
        } catch (const FILE_ERROR&) {
            // A chunk list that runs past the end after the samples: the sound stands without a
            // loop.
        }
        return instrument;
    }
    if (!starts_like_sound_file(file)) return std::nullopt;
    try {
        return read_sound_file(file, instrument_name(path), described);
    } catch (const MISC_ERROR& error) {
        // Headerless samples may start like an MPEG frame by chance; they stay raw data.
        uint8_t head[SOUND_FILE_PROBE_BYTES];
        const size_t got = size_t(std::min<uint64_t>(file.size(), sizeof head));
        file.read_at(0, head, got);
        if (error.string_id() != S_UNKNOWN_SAMPLE_FILE ||
            !probe_mpeg_frame(std::span<const uint8_t>(head, got)))
            throw;
        return std::nullopt;
    }
}

} // namespace

std::optional<Instrument> import_sample_file(const std::filesystem::path& path,
                                             const RawImportPrompt& prompt,
                                             RawImportSettings& settings) {
    File file = File::open_for_reading(path);
    if (std::optional<Instrument> known = read_known(file, path, nullptr)) return known;
    const uint64_t file_size = file.size();
    // An empty file holds no sound, as raw data or otherwise.
    if (file_size == 0) throw MISC_ERROR(S_UNKNOWN_SAMPLE_FILE);
    if (!prompt || !prompt(settings)) return std::nullopt;
    settings.rate = std::clamp<uint32_t>(settings.rate, 1, 65535);
    Format format;
    format.channels = settings.stereo ? 2 : 1;
    format.bits = settings.sixteen_bit ? 16 : 8;
    format.rate = settings.rate;
    format.data_start = file_size > settings.header_size ? settings.header_size : 0;
    format.data_size = file_size - format.data_start;
    return read_pcm(file, format, instrument_name(path));
}

std::optional<SampleFile> read_sample_file(const std::filesystem::path& path) {
    File file = File::open_for_reading(path);
    SoundFileFormat format;
    std::optional<Instrument> instrument = read_known(file, path, &format);
    if (!instrument) return std::nullopt;
    return SampleFile{std::move(format), std::move(*instrument)};
}

bool has_sample_file_extension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".wav", ".flac", ".aif", ".aiff", ".aifc", ".ogg", ".oga", ".opus"})
        if (extension == known) return true;
    return false;
}

bool is_sample_file(const std::filesystem::path& path) {
    File file = File::open_for_reading(path);
    return probe_wav(file).has_value() || starts_like_sound_file(file);
}

} // namespace tunemill
