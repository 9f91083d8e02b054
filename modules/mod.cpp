// Reading MOD files (the writer is mod_writer.cpp). Patterns follow the header; sample data follows
// the last pattern, each sample after the previous one's full stored length.
#include "modules/mod.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace tunemill {

const uint16_t MOD_FINETUNE_FACTORS[16] = {32768, 33005, 33245, 33486, 33728, 33973, 34219, 34467,
                                           30929, 31153, 31379, 31606, 31835, 32066, 32298, 32532};

namespace {

constexpr int MOD_PAN[4] = {53, 75, 96, 32};

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void throw_end_of_file() {
    throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
}

uint8_t volume_slide_command(uint8_t parameter, uint8_t& amount) {
    const uint8_t up = parameter >> 4, down = parameter & 0x0F;
    if (up >= down) {
        amount = uint8_t(up - down);
        return CMD_VOLUME_UP;
    }
    amount = uint8_t(down - up);
    return CMD_VOLUME_DOWN;
}

// The effects whose parameter is carried over as it stands, by effect number; arpeggio,
// vibrato, tremolo and sample offset (CMD_NONE) are not carried over. 5, 6, A, E and F are
// decoded by decode_effect itself.
constexpr std::array<uint8_t, 16> PLAIN_EFFECTS = {
    CMD_NONE,       CMD_SLIDE_UP, CMD_SLIDE_DOWN, CMD_TONE_PORTAMENTO,
    CMD_NONE,       CMD_NONE,     CMD_NONE,       CMD_NONE,
    CMD_SET_PAN,    CMD_NONE,     CMD_NONE,       CMD_JUMP,
    CMD_SET_VOLUME, CMD_BREAK,    CMD_NONE,       CMD_NONE,
};
// The extended effects (E) whose low nibble is the parameter, by high nibble; E8 (panning) is
// scaled by decode_extended_effect.
constexpr std::array<uint8_t, 16> EXTENDED_EFFECTS = {
    CMD_NONE, CMD_FINE_SLIDE_UP,  CMD_FINE_SLIDE_DOWN,
    CMD_NONE, CMD_NONE,           CMD_NONE,
    CMD_NONE, CMD_NONE,           CMD_NONE,
    CMD_NONE, CMD_FINE_VOLUME_UP, CMD_FINE_VOLUME_DOWN,
    CMD_NONE, CMD_NONE,           CMD_NONE,
    CMD_NONE,
};

void decode_extended_effect(ModuleCell& cell, uint8_t parameter) {
    const uint8_t x = parameter & 0x0F;
    if (parameter >> 4 == 0x8) {
        cell.command = CMD_SET_PAN;
        cell.parameter = uint8_t((x * 128 + 7) / 15);
    } else if (const uint8_t command = EXTENDED_EFFECTS[parameter >> 4]; command != CMD_NONE) {
        cell.command = command;
        cell.parameter = x;
    }
}

void decode_effect(ModuleCell& cell, uint8_t effect, uint8_t parameter) {
    switch (effect) {
    case 0x5:
        // Tone portamento with volume slide: only the slide is kept, and the note with it.
        cell.period = NO_PERIOD;
        cell.command = volume_slide_command(parameter, cell.parameter);
        return;
    case 0x6:
    case 0xA:
        cell.command = volume_slide_command(parameter, cell.parameter);
        return;
    case 0xE:
        decode_extended_effect(cell, parameter);
        return;
    case 0xF:
        cell.command = parameter > 32 ? CMD_SET_TEMPO : CMD_SET_SPEED;
        cell.parameter = parameter;
        return;
    default:
        if (PLAIN_EFFECTS[effect] == CMD_NONE) return;
        cell.command = PLAIN_EFFECTS[effect];
        cell.parameter = parameter;
    }
}

} // namespace

ModTagInfo mod_tag_info(const char tag[4]) {
    const std::string text(tag, 4);
    if (text == "M.K.") return {4, 64};
    if (text == "M!K!") return {4, 128};
    if (text == "FLT4") return {4, 64};
    if (text == "FLT8") return {8, 64};
    if (text == "6CHN") return {6, 128};
    if (text == "8CHN") return {8, 128};
    if (tag[2] == 'C' && tag[3] == 'H' && is_digit(tag[0]) && is_digit(tag[1])) {
        const int channels = (tag[0] - '0') * 10 + (tag[1] - '0');
        if (channels >= 10 && channels <= 32) return {channels, 128};
    }
    return {};
}

std::optional<UnsupportedMod> unsupported_mod(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size < sizeof(ModHeader) || head.size() < sizeof(ModHeader)) return std::nullopt;
    const char* tag = reinterpret_cast<const char*>(head.data()) + offsetof(ModHeader, tag);
    if (mod_tag_info(tag).channels != 0) return std::nullopt;
    const std::string text(tag, 4);
    const auto found = [&](int channels) { return UnsupportedMod{channels, text}; };
    // Tags other trackers wrote: digits for the channels, or a name of their own.
    static const std::pair<const char*, int> named[] = {
        {"M&K!", 4}, {"N.T.", 4}, {"FEST", 4}, {"NSMS", 4}, {"LARD", 4}, {"FA04", 4}, {"FA06", 6},
        {"FA08", 8}, {"CD81", 8}, {"OKTA", 8}, {"OCTA", 8}, {"EXO4", 4}, {"EXO8", 8}};
    for (const auto& [name, channels] : named)
        if (text == name) return found(channels);
    if (is_digit(tag[0]) && text.compare(1, 3, "CHN") == 0 && tag[0] != '0')
        return found(tag[0] - '0');
    if (text.compare(0, 3, "TDZ") == 0 && is_digit(tag[3]) && tag[3] != '0')
        return found(tag[3] - '0');
    const int two_digits =
        is_digit(tag[0]) && is_digit(tag[1]) ? (tag[0] - '0') * 10 + tag[1] - '0' : 0;
    if (two_digits > 0 && tag[2] == 'C' && (tag[3] == 'H' || tag[3] == 'N'))
        return found(two_digits);
    return std::nullopt;
}

SampleSlot ModReader::decode_sample(const ModSampleHeader& header) {
    SampleSlot slot;
    std::string name = field_text(header.name);
    // Soundtracker disk names ("st-01:piano") keep only the part after the colon.
    if (name.size() > 5 && name[5] == ':' &&
        (name.compare(0, 3, "st-") == 0 || name.compare(0, 3, "ST-") == 0)) {
        name = field_text(header.name + 6, 16);
    }
    slot.name = name;
    if (header.volume > 64) throw LOAD_ERROR(0);
    slot.default_volume = header.volume;
    slot.rate = uint32_t(MOD_FINETUNE_FACTORS[header.finetune & 0x0F]) * 8363 / 32768;

    const uint32_t words = header.length_words;
    const uint32_t loop_words = header.loop_start_words;
    const uint32_t loop_length = header.loop_length_words;
    slot.length = words * 2;
    // Some trackers stored the loop start in bytes: when start + length does not fit the
    // sample in words, the start is taken as a frame count.
    const uint32_t loop_start = loop_words + loop_length <= words ? loop_words * 2 : loop_words;
    if (loop_length > 1 && loop_start < slot.length) {
        slot.loop_start = loop_start;
        slot.length = std::min(slot.length, (loop_words + loop_length) * 2);
    }
    slot.is_signed = true;
    slot.is_16bit = false;
    return slot;
}

ModTagInfo ModReader::tagged_head(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size < sizeof(ModHeader) || head.size() < sizeof(ModHeader)) return {};
    return mod_tag_info(reinterpret_cast<const char*>(head.data()) + offsetof(ModHeader, tag));
}

bool ModReader::old_head(std::span<const uint8_t> head, uint64_t file_size) {
    // Without a tag only the counts and the file's size against what the header implies tell.
    if (file_size < sizeof(OldModHeader) || head.size() < sizeof(OldModHeader)) return false;
    const auto header = decode<OldModHeader>(head.data());
    const int patterns = *std::max_element(header.orders, header.orders + 128) + 1;
    if (patterns > 64 || header.song_length == 0) return false;
    uint64_t sample_bytes = 0;
    for (const ModSampleHeader& sample : header.samples) {
        if (sample.volume > 64) return false;
        sample_bytes += uint64_t(sample.length_words) * 2;
    }
    const uint64_t expected = uint64_t(patterns) * 1024 + sample_bytes + sizeof(OldModHeader);
    return sample_bytes != 0 && file_size >= expected && file_size <= expected * 105 / 100;
}

bool ModReader::probe(File& file) noexcept {
    try {
        const uint64_t size = file.size();
        const size_t header_size = old_format_ ? sizeof(OldModHeader) : sizeof(ModHeader);
        if (size < header_size) return false;
        header_.resize(header_size);
        file.read_at(0, header_.data(), header_.size());
        if (old_format_) {
            if (!old_head(header_, size)) return false;
            channel_count_ = 4;
            max_patterns_ = 64;
            tag_.clear();
            return true;
        }
        const ModTagInfo info = tagged_head(header_, size);
        if (info.channels == 0) return false;
        channel_count_ = info.channels;
        max_patterns_ = info.max_patterns;
        tag_ = std::string(reinterpret_cast<const char*>(header_.data()) + offsetof(ModHeader, tag),
                           4);
        flt8_ = tag_ == "FLT8";
        return true;
    } catch (...) {
        return false;
    }
}

bool probe_mod_head(std::span<const uint8_t> head, uint64_t file_size) {
    return ModReader::tagged_head(head, file_size).channels != 0 ||
           ModReader::old_head(head, file_size);
}

std::unique_ptr<ModuleReader> recognise_mod(File& file) {
    for (const bool old_format : {false, true}) {
        auto reader = std::make_unique<ModReader>(old_format);
        if (reader->probe(file)) return reader;
    }
    return nullptr;
}

void ModReader::read(File& file) {
    const size_t sample_count = old_format_ ? 15 : 31;
    const uint8_t* samples = header_.data() + 20;
    const uint8_t song_length = header_[20 + sample_count * 30];
    const uint8_t* order_bytes = header_.data() + 20 + sample_count * 30 + 2;

    title_ = field_text(reinterpret_cast<const char*>(header_.data()), 20);

    // Every order byte counts for the pattern count, also those beyond the song length. FLT8
    // orders name 4-channel halves, two to a pattern.
    const int divisor = flt8_ ? 2 : 1;
    const int highest = *std::max_element(order_bytes, order_bytes + 128);
    pattern_count_ = highest / divisor + 1;
    if (pattern_count_ > max_patterns_) throw LOAD_ERROR(0);
    orders_.clear();
    for (int i = 0; i < std::min<int>(song_length, 128); ++i)
        orders_.push_back(order_bytes[i] / divisor);

    const uint64_t size = file.size();
    const uint64_t pattern_offset = header_.size();
    const size_t row_bytes = size_t(channel_count_) * 4;
    const size_t pattern_bytes = row_bytes * MODULE_ROWS;
    const uint64_t total = uint64_t(pattern_count_) * pattern_bytes;
    if (pattern_offset + total > size) throw_end_of_file();
    patterns_.assign(total, 0);
    if (!flt8_) {
        file.read_at(pattern_offset, patterns_.data(), patterns_.size());
    } else {
        // Each 8-channel pattern is stored as two 4-channel patterns: channels 0 to 3, then
        // channels 4 to 7.
        std::vector<uint8_t> halves(total);
        file.read_at(pattern_offset, halves.data(), halves.size());
        for (int pattern = 0; pattern < pattern_count_; ++pattern) {
            for (int half = 0; half < 2; ++half) {
                const uint8_t* source = halves.data() + (size_t(pattern) * 2 + half) * 1024;
                for (int row = 0; row < MODULE_ROWS; ++row) {
                    uint8_t* dest = patterns_.data() + size_t(pattern) * pattern_bytes +
                                    size_t(row) * row_bytes + size_t(half) * 16;
                    std::memcpy(dest, source + row * 16, 16);
                }
            }
        }
    }

    slots_ = {};
    uint64_t data_offset = pattern_offset + total;
    for (size_t i = 0; i < sample_count; ++i) {
        const auto header = decode<ModSampleHeader>(samples + i * 30);
        SampleSlot slot = decode_sample(header);
        slot.data_offset = data_offset;
        data_offset += uint64_t(header.length_words) * 2;
        slots_[i] = slot;
    }
}

ModuleCell ModReader::decode_cell(const uint8_t bytes[4]) {
    ModuleCell cell;
    const uint16_t period = uint16_t((bytes[0] & 0x0F) << 8 | bytes[1]);
    const uint16_t sample = uint16_t((bytes[0] & 0x10) + (bytes[2] >> 4));
    if (period != 0) cell.period = period;
    if (sample != 0) cell.sample = uint16_t(sample - 1);
    decode_effect(cell, bytes[2] & 0x0F, bytes[3]);
    return cell;
}

ModuleCell ModReader::cell(int pattern, int row, int channel) {
    if (pattern < 0 || pattern >= pattern_count_ || row < 0 || row >= MODULE_ROWS || channel < 0 ||
        channel >= channel_count_)
        return {};
    const size_t offset =
        ((size_t(pattern) * MODULE_ROWS + size_t(row)) * size_t(channel_count_) + size_t(channel)) *
        4;
    return decode_cell(patterns_.data() + offset);
}

InitialState ModReader::initial_state() const {
    InitialState state;
    state.tempo = 125;
    state.speed = 6;
    for (int channel = 0; channel < channel_count_; ++channel)
        state.channels.push_back({64, MOD_PAN[channel % 4]});
    return state;
}

uint32_t ModReader::pitch(uint32_t period, uint16_t) const {
    return period == 0 ? 0 : 18874800u / period;
}

} // namespace tunemill
