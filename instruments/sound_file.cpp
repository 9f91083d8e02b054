// Sample files through libsndfile: the container check, the mono mixdown into 16-bit (or 8-bit)
// samples, and the loop from the file's instrument chunk or its comment tags.
#include "instruments/sound_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "instruments/sound_file_io.h"

namespace tunemill {

namespace {

// Loop tags stand in the first pages of a file; a comment beyond this is not looked for.
constexpr size_t TAG_SEARCH_BYTES = 1 << 20;
constexpr size_t READ_BLOCK_SAMPLES = 16384;

[[noreturn]] void unknown_file() {
    throw MISC_ERROR(S_UNKNOWN_SAMPLE_FILE);
}

bool is(std::span<const uint8_t> bytes, size_t at, const char* text) {
    const size_t length = std::strlen(text);
    return at + length <= bytes.size() && std::memcmp(bytes.data() + at, text, length) == 0;
}

// The containers we take; libsndfile knows more (headerless formats by guessing) that would
// otherwise swallow raw data.
bool accepted_container(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
        return true;
    default:
        return false;
    }
}

std::string container_name(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_AIFF:
        return "aiff";
    case SF_FORMAT_FLAC:
        return "flac";
    case SF_FORMAT_OGG:
        return "ogg";
    case SF_FORMAT_MPEG:
        return "mp3";
    default:
        return "wav";
    }
}

std::string encoding_name(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "pcm8";
    case SF_FORMAT_PCM_16:
        return "pcm16";
    case SF_FORMAT_PCM_24:
        return "pcm24";
    case SF_FORMAT_PCM_32:
        return "pcm32";
    case SF_FORMAT_FLOAT:
        return "float";
    case SF_FORMAT_DOUBLE:
        return "double";
    case SF_FORMAT_VORBIS:
        return "vorbis";
    case SF_FORMAT_OPUS:
        return "opus";
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return "mpeg";
    case SF_FORMAT_ULAW:
        return "ulaw";
    case SF_FORMAT_ALAW:
        return "alaw";
    default:
        return "other";
    }
}

// A bounds-checked cursor over bytes: every read says whether the bytes were there.
class Cursor {
  public:
    explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool u32le(uint32_t& value) {
        if (left() < 4) return false;
        const uint8_t* p = bytes_.data() + at_;
        value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        at_ += 4;
        return true;
    }
    bool take(size_t count, std::span<const uint8_t>& out) {
        if (left() < count) return false;
        out = bytes_.subspan(at_, count);
        at_ += count;
        return true;
    }
    size_t left() const { return bytes_.size() - at_; }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// A decimal tag value; nothing for anything else (signs, spaces, overflow).
std::optional<uint64_t> tag_number(std::span<const uint8_t> text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    uint64_t value = 0;
    for (uint8_t c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Field names compare without regard to case (the comment format says so).
bool names_equal(std::span<const uint8_t> name, const char* wanted) {
    const size_t length = std::strlen(wanted);
    if (name.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::toupper(name[i]) != wanted[i]) return false;
    return true;
}

// A Vorbis comment block: vendor string, then length-prefixed "NAME=value" fields.
std::optional<TaggedLoop> loop_of_comment(std::span<const uint8_t> comment) {
    Cursor cursor(comment);
    uint32_t vendor = 0, count = 0;
    std::span<const uint8_t> skipped;
    if (!cursor.u32le(vendor) || !cursor.take(vendor, skipped) || !cursor.u32le(count))
        return std::nullopt;
    std::optional<uint64_t> start, length;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        std::span<const uint8_t> field;
        if (!cursor.u32le(size) || !cursor.take(size, field)) break;
        const auto equals = std::find(field.begin(), field.end(), uint8_t('='));
        if (equals == field.end()) continue;
        const auto name = field.first(size_t(equals - field.begin()));
        const auto value = field.subspan(name.size() + 1);
        if (names_equal(name, "LOOPSTART"))
            start = tag_number(value);
        else if (names_equal(name, "LOOPLENGTH"))
            length = tag_number(value);
    }
    if (!start) return std::nullopt;
    return TaggedLoop{*start, length.value_or(0)};
}

// FLAC: "fLaC", then metadata blocks (last flag and type in one byte, 24-bit big-endian size);
// type 4 is the Vorbis comment.
std::optional<TaggedLoop> flac_loop_tags(std::span<const uint8_t> bytes) {
    size_t at = 4;
    while (at + 4 <= bytes.size()) {
        const uint8_t kind = bytes[at];
        const size_t size =
            size_t(bytes[at + 1]) << 16 | size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        at += 4;
        if (size > bytes.size() - at) return std::nullopt;
        if ((kind & 0x7F) == 4) return loop_of_comment(bytes.subspan(at, size));
        if (kind & 0x80) return std::nullopt;
        at += size;
    }
    return std::nullopt;
}

// Ogg: pages of segments; the second packet of the first stream is the comment header of both
// Vorbis ("\x03vorbis") and Opus ("OpusTags").
std::optional<TaggedLoop> ogg_loop_tags(std::span<const uint8_t> bytes) {
    constexpr size_t PAGE_HEAD = 27;
    std::vector<uint8_t> packet;
    int packet_index = 0;
    uint32_t serial = 0;
    bool first_page = true;
    size_t at = 0;
    while (at + PAGE_HEAD <= bytes.size() && is(bytes, at, "OggS")) {
        const uint8_t* head = bytes.data() + at;
        const uint32_t page_serial = uint32_t(head[14]) | uint32_t(head[15]) << 8 |
                                     uint32_t(head[16]) << 16 | uint32_t(head[17]) << 24;
        const size_t segments = head[26];
        if (at + PAGE_HEAD + segments > bytes.size()) return std::nullopt;
        const uint8_t* table = head + PAGE_HEAD;
        size_t data = at + PAGE_HEAD + segments;
        if (first_page) serial = page_serial;
        first_page = false;
        for (size_t s = 0; s < segments; ++s) {
            const size_t length = table[s];
            if (length > bytes.size() - data) return std::nullopt;
            if (page_serial == serial) {
                packet.insert(packet.end(), bytes.begin() + ptrdiff_t(data),
                              bytes.begin() + ptrdiff_t(data + length));
                if (length < 255) {
                    if (packet_index == 1) {
                        const std::span<const uint8_t> whole(packet);
                        if (is(whole, 0, "\x03vorbis")) return loop_of_comment(whole.subspan(7));
                        if (is(whole, 0, "OpusTags")) return loop_of_comment(whole.subspan(8));
                        return std::nullopt;
                    }
                    ++packet_index;
                    packet.clear();
                }
            }
            data += length;
        }
        at = data;
    }
    return std::nullopt;
}

// The file's loop as [start, end) in frames: the instrument chunk (WAV "smpl", AIFF markers)
// first, then the comment tags of FLAC and Ogg files.
std::optional<std::pair<uint64_t, uint64_t>> stored_loop(SNDFILE* sound, File& file, int format,
                                                         uint64_t frames) {
    SF_INSTRUMENT instrument{};
    if (sf_command(sound, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE &&
        instrument.loop_count > 0 && instrument.loops[0].mode != SF_LOOP_NONE)
        return std::pair<uint64_t, uint64_t>{instrument.loops[0].start, instrument.loops[0].end};
    const int container = format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_FLAC && container != SF_FORMAT_OGG) return std::nullopt;
    std::vector<uint8_t> start(size_t(std::min<uint64_t>(file.size(), TAG_SEARCH_BYTES)));
    file.read_at(0, start.data(), start.size());
    const std::optional<TaggedLoop> tags = find_loop_tags(start);
    if (!tags) return std::nullopt;
    return std::pair<uint64_t, uint64_t>{tags->start,
                                         tags->length ? tags->start + tags->length : frames};
}

} // namespace

void apply_loop(Instrument& instrument, uint64_t start, uint64_t end) {
    end = std::min<uint64_t>(end, instrument.length);
    if (start >= end) return;
    instrument.length = uint32_t(end);
    instrument.loop_start = uint32_t(start);
    instrument.samples.resize(instrument.sample_bytes());
    instrument.samples.resize(instrument.sample_bytes() + SAMPLE_PADDING, 0);
}

bool probe_sound_file(std::span<const uint8_t> head) {
    if ((is(head, 0, "RIFF") || is(head, 0, "RIFX") || is(head, 0, "RF64")) && is(head, 8, "WAVE"))
        return true;
    if (is(head, 0, "FORM") && (is(head, 8, "AIFF") || is(head, 8, "AIFC"))) return true;
    return is(head, 0, "fLaC") || is(head, 0, "OggS") || is(head, 0, "ID3") ||
           probe_mpeg_frame(head);
}

bool probe_mpeg_frame(std::span<const uint8_t> head) {
    if (head.size() < 4 || head[0] != 0xFF || (head[1] & 0xE0) != 0xE0) return false;
    const int version = (head[1] >> 3) & 3, layer = (head[1] >> 1) & 3;
    const int bitrate = head[2] >> 4, rate = (head[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 0 && bitrate != 15 && rate != 3;
}

bool starts_with_container_mark(std::span<const uint8_t> head) {
    for (const char* mark : {"RIFF", "RIFX", "RF64", "FORM", "fLaC", "OggS"})
        if (is(head, 0, mark)) return true;
    return false;
}

std::optional<TaggedLoop> find_loop_tags(std::span<const uint8_t> start) {
    if (is(start, 0, "fLaC")) return flac_loop_tags(start);
    if (is(start, 0, "OggS")) return ogg_loop_tags(start);
    return std::nullopt;
}

Instrument read_sound_file(File& file, std::string name, SoundFileFormat* format) {
    SoundFileIo io(file);
    SF_INFO info{};
    const SoundFileHandle sound(io.open(SFM_READ, info));
    if (!sound || !accepted_container(info.format) || info.channels < 1) unknown_file();
    if (info.samplerate < 1 || info.samplerate > 65535)
        throw MISC_ERROR(S_SAMPLE_RATE_OUT_OF_RANGE);
    if (format)
        *format = {container_name(info.format), encoding_name(info.format), uint32_t(info.channels),
                   uint32_t(info.samplerate), uint64_t(std::max<sf_count_t>(info.frames, 0))};

    const int encoding = info.format & SF_FORMAT_SUBMASK;
    const bool eight_bit = encoding == SF_FORMAT_PCM_S8 || encoding == SF_FORMAT_PCM_U8;
    const uint32_t bytes_per_sample = eight_bit ? 1 : 2;
    const uint64_t most_frames = MAX_IMPORTED_SAMPLE_BYTES / bytes_per_sample;
    // libsndfile says SF_COUNT_MAX when the stream does not tell its length.
    const bool length_known = info.frames >= 0 && info.frames != SF_COUNT_MAX;
    if (length_known && uint64_t(info.frames) > most_frames)
        throw MISC_ERROR(S_SAMPLE_FILE_TOO_LONG);

    // Every channel weighs the same in the mixdown; libsndfile scales every encoding to -1..1.
    const size_t channels = size_t(info.channels);
    const size_t block_frames = std::max<size_t>(1, READ_BLOCK_SAMPLES / channels);
    std::vector<double> block(block_frames * channels);
    std::vector<uint8_t> samples;
    // A header's frame count is not trusted with memory: the vector grows with what decodes.
    if (length_known)
        samples.reserve(size_t(std::min<uint64_t>(uint64_t(info.frames), file.size() * 4)) *
                        bytes_per_sample);
    uint64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_double(sound.get(), block.data(), sf_count_t(block_frames));
        io.rethrow_failure();
        if (got <= 0) break;
        if (frames + uint64_t(got) > most_frames) throw MISC_ERROR(S_SAMPLE_FILE_TOO_LONG);
        for (sf_count_t f = 0; f < got; ++f) {
            double sum = 0;
            for (size_t c = 0; c < channels; ++c)
                sum += block[size_t(f) * channels + c];
            // A float file may hold anything; not-a-number is silence.
            const double mean = std::isnan(sum) ? 0.0 : sum / double(channels);
            if (eight_bit) {
                samples.push_back(
                    uint8_t(std::clamp(std::floor(mean * 128 + 0.5), -128.0, 127.0) + 128));
            } else {
                const auto value =
                    int16_t(std::clamp(std::floor(mean * 32768 + 0.5), -32768.0, 32767.0));
                samples.push_back(uint8_t(uint16_t(value)));
                samples.push_back(uint8_t(uint16_t(value) >> 8));
            }
        }
        frames += uint64_t(got);
    }
    // A stream that ends before the length its header gives is damaged (a cut-off download).
    if (sf_error(sound.get()) != SF_ERR_NO_ERROR ||
        (length_known && frames < uint64_t(info.frames)))
        unknown_file();

    // The decoded samples become the instrument's block (with its spare bytes) without a copy.
    Instrument instrument =
        make_sampled_instrument(std::move(name), NO_CATEGORY, 0, NO_LOOP, uint32_t(info.samplerate),
                                bytes_per_sample, false);
    samples.resize(samples.size() + SAMPLE_PADDING, 0);
    instrument.samples = std::move(samples);
    instrument.length = uint32_t(frames);
    if (const auto loop = stored_loop(sound.get(), file, info.format, frames))
        apply_loop(instrument, loop->first, loop->second);
    return instrument;
}

} // namespace tunemill
