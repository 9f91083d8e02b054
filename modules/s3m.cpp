// Reading S3M files (the writer is s3m_writer.cpp). Integers are little-endian; instruments and
// patterns are found through 16-bit parapointers (offset / 16), every one of them checked against
// the file's size.
#include "modules/s3m.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"

#include <algorithm>
#include <cstring>

namespace tunemill {

const uint8_t S3M_SETTING_PAN[16] = {53, 32, 59, 37, 56, 35, 61, 40,
                                     96, 75, 91, 69, 93, 72, 88, 67};

namespace {

constexpr size_t CELL_BYTES = 5;
constexpr size_t PATTERN_CELLS = size_t(MODULE_ROWS) * 32;
constexpr uint8_t EMPTY_CELL[CELL_BYTES] = {255, 0, 255, 255, 0};
constexpr uint16_t SEMITONE_PERIOD[16] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140,
                                          1076, 1016, 960,  907,  907,  907,  907,  907};
constexpr uint32_t DEFAULT_RATE = 8363;

[[noreturn]] void throw_end_of_file() {
    throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
}

uint8_t command_letter(char letter) {
    return uint8_t(letter - 'A' + 1);
}

uint8_t volume_slide(uint8_t info, uint8_t& amount) {
    const uint8_t up = info >> 4, down = info & 0x0F;
    if (up >= down) {
        amount = uint8_t(up - down);
        return CMD_VOLUME_UP;
    }
    amount = uint8_t(down - up);
    return CMD_VOLUME_DOWN;
}

// The pitch slides E and F: xx below 0xE0 slides every tick, Fx fine, Ex extra fine (a quarter).
void pitch_slide(uint8_t info, uint8_t coarse, uint8_t fine, ModuleCell& cell) {
    if (info < 0xE0) {
        cell.command = coarse;
        cell.parameter = info;
    } else if (info >= 0xF0) {
        cell.command = fine;
        cell.parameter = info & 0x0F;
    } else {
        cell.command = fine;
        cell.parameter = uint8_t(((info & 0x0F) + 2) / 4);
    }
}

bool is_global(uint8_t command) {
    return command == CMD_SET_TEMPO || command == CMD_SET_SPEED || command == CMD_JUMP ||
           command == CMD_BREAK;
}

} // namespace

bool S3mReader::header_fits(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size < sizeof(S3mHeader) || head.size() < sizeof(S3mHeader)) return false;
    const auto header = decode<S3mHeader>(head.data());
    if (std::memcmp(header.magic, "SCRM", 4) != 0 || header.type != 16) return false;
    // Other trackers save odd order counts too; only more orders than a module holds are
    // refused.
    if (header.order_count > MODULE_MAX_ORDERS || header.instrument_count > 99 ||
        header.pattern_count > 100)
        return false;
    if (header.sample_format != 2) return false;
    return std::any_of(std::begin(header.channel_settings), std::end(header.channel_settings),
                       [](uint8_t setting) { return setting < 16; });
}

bool S3mReader::probe(File& file) noexcept {
    try {
        const uint64_t size = file.size();
        if (size < sizeof(S3mHeader)) return false;
        uint8_t bytes[sizeof(S3mHeader)];
        file.read_at(0, bytes, sizeof bytes);
        if (!header_fits(bytes, size)) return false;
        header_ = decode<S3mHeader>(bytes);
        const uint16_t orders = header_.order_count, instruments = header_.instrument_count;

        // Instrument types decide acceptance (AdLib instruments are not read). Headers that lie
        // beyond the end are left to read(), which reports the file as damaged.
        std::vector<uint8_t> pointers(size_t(instruments) * 2);
        const uint64_t pointer_offset = sizeof(S3mHeader) + orders;
        if (pointer_offset + pointers.size() > size) return true;
        file.read_at(pointer_offset, pointers.data(), pointers.size());
        for (uint16_t i = 0; i < instruments; ++i) {
            const uint64_t offset = uint64_t(pointers[i * 2] | pointers[i * 2 + 1] << 8) * 16;
            if (offset == 0 || offset + sizeof(S3mInstrument) > size) continue;
            uint8_t instrument_bytes[sizeof(S3mInstrument)];
            file.read_at(offset, instrument_bytes, sizeof instrument_bytes);
            const auto instrument = decode<S3mInstrument>(instrument_bytes);
            if (instrument.type > 1) return false;
            if (instrument.type == 1 &&
                (instrument.packing != 0 || std::memcmp(instrument.magic, "SCRS", 4) != 0))
                return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool probe_s3m_head(std::span<const uint8_t> head, uint64_t file_size) {
    return S3mReader::header_fits(head, file_size);
}

std::unique_ptr<ModuleReader> recognise_s3m(File& file) {
    auto reader = std::make_unique<S3mReader>();
    if (reader->probe(file)) return reader;
    return nullptr;
}

uint16_t S3mReader::note_period(uint8_t note, uint32_t rate) {
    const uint64_t r = uint64_t(rate) << (note >> 4);
    if (r == 0) return 1;
    const uint64_t period = (uint64_t(SEMITONE_PERIOD[note & 15]) * 33452 + r / 2) / r;
    return uint16_t(std::clamp<uint64_t>(period, 1, 0xFFFE));
}

void S3mReader::unpack_pattern(const uint8_t* packed, size_t size, uint8_t* cells) {
    for (size_t i = 0; i < PATTERN_CELLS; ++i)
        std::memcpy(cells + i * CELL_BYTES, EMPTY_CELL, CELL_BYTES);
    size_t position = 0;
    int row = 0;
    while (row < MODULE_ROWS && position < size) {
        const uint8_t what = packed[position++];
        if (what == 0) {
            ++row;
            continue;
        }
        const size_t need = (what & 0x20 ? 2 : 0) + (what & 0x40 ? 1 : 0) + (what & 0x80 ? 2 : 0);
        if (position + need > size) break;
        uint8_t* cell = cells + (size_t(row) * 32 + (what & 31)) * CELL_BYTES;
        if (what & 0x20) {
            cell[0] = packed[position++];
            cell[1] = packed[position++];
        }
        if (what & 0x40) cell[2] = packed[position++];
        if (what & 0x80) {
            cell[3] = packed[position++];
            cell[4] = packed[position++];
        }
    }
}

void S3mReader::read(File& file) {
    title_ = field_text(header_.title);
    instrument_count_ = header_.instrument_count;
    pattern_count_ = header_.pattern_count;
    read_tables(file);
    read_slots(file);
    make_groups();
    read_patterns(file);
    start();
}

// Orders, parapointers and (with the pan flag) the pan table follow the header.
void S3mReader::read_tables(File& file) {
    const uint16_t order_count = header_.order_count;
    const size_t table_bytes = size_t(order_count) + size_t(instrument_count_) * 2 +
                               size_t(pattern_count_) * 2 + (header_.pan_flag == 252 ? 32 : 0);
    if (sizeof(S3mHeader) + table_bytes > file.size()) throw_end_of_file();
    std::vector<uint8_t> tables(table_bytes);
    file.read_at(sizeof(S3mHeader), tables.data(), tables.size());
    const uint8_t* order_bytes = tables.data();
    const uint8_t* pointer_bytes = order_bytes + order_count;
    auto pointer = [&](size_t index) {
        return uint16_t(pointer_bytes[index * 2] | pointer_bytes[index * 2 + 1] << 8);
    };
    orders_.clear();
    for (uint16_t i = 0; i < order_count; ++i) {
        if (order_bytes[i] == 255) break;
        // Markers (254) and patterns that do not exist are left out.
        if (order_bytes[i] < pattern_count_) orders_.push_back(order_bytes[i]);
    }
    instrument_pointers_.clear();
    for (int i = 0; i < instrument_count_; ++i)
        instrument_pointers_.push_back(pointer(size_t(i)));
    pattern_pointers_.clear();
    for (int i = 0; i < pattern_count_; ++i)
        pattern_pointers_.push_back(pointer(size_t(instrument_count_) + size_t(i)));
    pan_table_ = header_.pan_flag == 252;
    pan_bytes_ = {};
    if (pan_table_)
        std::memcpy(pan_bytes_.data(),
                    pointer_bytes + (size_t(instrument_count_) + pattern_count_) * 2, 32);
}

void S3mReader::read_slots(File& file) {
    slots_ = {};
    for (int i = 0; i < instrument_count_; ++i) {
        SampleSlot& slot = slots_[size_t(i)];
        slot.rate = DEFAULT_RATE;
        slot.is_signed = false;
        const uint64_t offset = uint64_t(instrument_pointers_[size_t(i)]) * 16;
        if (offset == 0) continue; // no header at all: an empty slot
        if (offset + sizeof(S3mInstrument) > file.size()) throw_end_of_file();
        uint8_t bytes[sizeof(S3mInstrument)];
        file.read_at(offset, bytes, sizeof bytes);
        decode_slot(decode<S3mInstrument>(bytes), slot);
    }
}

void S3mReader::decode_slot(const S3mInstrument& instrument, SampleSlot& slot) {
    slot.name = field_text(instrument.name);
    if (instrument.type != 1) {
        slot.default_volume = std::min<uint8_t>(instrument.volume, 64);
        return;
    }
    if (instrument.volume > 64) throw LOAD_ERROR(0);
    slot.default_volume = instrument.volume;
    slot.data_offset = (uint64_t(instrument.data_high) << 16 | instrument.data_low.get()) * 16;
    slot.is_16bit = (instrument.flags & 4) != 0;
    slot.rate = std::max<uint32_t>(instrument.c2_speed.get() & 0xFFFF, 600);
    slot.length = std::min<uint32_t>(instrument.length, slot.is_16bit ? 32000 : 64000);
    const uint32_t loop_begin = instrument.loop_begin, loop_end = instrument.loop_end;
    // A loop whose end does not lie after its start would leave nothing to repeat.
    if ((instrument.flags & 1) && loop_begin < slot.length && loop_end > loop_begin) {
        slot.loop_start = loop_begin;
        slot.length = std::min(slot.length, loop_end);
    }
}

// Channel groups: every setting value 0 to 15 that occurs is one output channel.
void S3mReader::make_groups() {
    groups_.clear();
    for (uint8_t value = 0; value < 16; ++value) {
        std::vector<int> sources;
        for (int channel = 0; channel < 32; ++channel)
            if (header_.channel_settings[channel] == value) sources.push_back(channel);
        if (!sources.empty()) groups_.push_back(std::move(sources));
    }
    channel_count_ = int(groups_.size());
}

void S3mReader::read_patterns(File& file) {
    const uint64_t size = file.size();
    cells_.assign(size_t(pattern_count_) * PATTERN_CELLS * CELL_BYTES, 0);
    std::vector<uint8_t> packed;
    for (int pattern = 0; pattern < pattern_count_; ++pattern) {
        uint8_t* cells = cells_.data() + size_t(pattern) * PATTERN_CELLS * CELL_BYTES;
        const uint64_t offset = uint64_t(pattern_pointers_[size_t(pattern)]) * 16;
        if (offset == 0) { // a zero parapointer is an empty pattern
            unpack_pattern(nullptr, 0, cells);
            continue;
        }
        if (offset + 2 > size) throw_end_of_file();
        uint8_t length_bytes[2];
        file.read_at(offset, length_bytes, 2);
        const uint16_t packed_size = uint16_t(length_bytes[0] | length_bytes[1] << 8);
        if (packed_size < 2) throw LOAD_ERROR(0);
        if (offset + packed_size > size) throw_end_of_file();
        packed.resize(packed_size - 2u);
        file.read_at(offset + 2, packed.data(), packed.size());
        unpack_pattern(packed.data(), packed.size(), cells);
    }
}

void S3mReader::start() {
    channel_rate_.fill(DEFAULT_RATE);
    last_info_.fill(0);
}

S3mReader::RawCell S3mReader::raw(int pattern, int row, int channel) const {
    const uint8_t* cell =
        cells_.data() +
        ((size_t(pattern) * MODULE_ROWS + size_t(row)) * 32 + size_t(channel)) * CELL_BYTES;
    return {cell[0], cell[1], cell[2], cell[3], cell[4]};
}

ModuleCell S3mReader::cell(int pattern, int row, int channel) {
    ModuleCell cell;
    if (pattern < 0 || pattern >= pattern_count_ || row < 0 || row >= MODULE_ROWS || channel < 0)
        return cell;
    if (channel >= int(groups_.size()) || groups_[size_t(channel)].empty()) throw LOAD_ERROR(1);
    const RawCell merged = merged_cell(pattern, row, channel);

    const size_t c = size_t(channel);
    if (merged.instrument >= 1 && merged.instrument <= instrument_count_) {
        cell.sample = uint16_t(merged.instrument - 1);
        channel_rate_[c] = slots_[cell.sample].rate;
    }
    const bool note_cut = merged.note == 254;
    if (merged.note < 254) cell.period = note_period(merged.note, channel_rate_[c]);
    if (merged.volume != 255) cell.volume = std::min<uint16_t>(merged.volume, 64);

    uint8_t info = merged.info;
    const uint8_t command = merged.command;
    const bool remembers = command == command_letter('D') || command == command_letter('E') ||
                           command == command_letter('F') || command == command_letter('K') ||
                           command == command_letter('L');
    if (remembers && info == 0) info = last_info_[c];
    if (info != 0) last_info_[c] = info;
    decode_command(command, info, cell);

    // The note-off note cuts, unless the cell also changes the timing of the whole song.
    if (note_cut && !is_global(cell.command)) {
        cell.command = CMD_NOTE_CUT;
        cell.parameter = 0;
    }
    return cell;
}

// The sources of a group are merged: later ones replace what earlier ones set.
S3mReader::RawCell S3mReader::merged_cell(int pattern, int row, int channel) const {
    RawCell merged{255, 0, 255, 255, 0};
    for (int source : groups_[size_t(channel)]) {
        const RawCell one = raw(pattern, row, source);
        if (one.instrument != 0) merged.instrument = one.instrument;
        if (one.note != 255) merged.note = one.note;
        if (one.volume != 255) merged.volume = one.volume;
        if (one.command != 255 && one.command != 0) {
            merged.command = one.command;
            merged.info = one.info;
        }
    }
    return merged;
}

void S3mReader::decode_command(uint8_t command, uint8_t info, ModuleCell& cell) {
    const uint8_t x = info >> 4, y = info & 0x0F;
    switch (command) {
    case 'A' - 'A' + 1:
        cell.command = CMD_SET_SPEED;
        cell.parameter = info;
        break;
    case 'B' - 'A' + 1:
        cell.command = CMD_JUMP;
        cell.parameter = info;
        break;
    case 'C' - 'A' + 1:
        cell.command = CMD_BREAK;
        cell.parameter = info;
        break;
    case 'D' - 'A' + 1:
        if (y == 0x0F && x != 0) {
            cell.command = CMD_FINE_VOLUME_UP;
            cell.parameter = x;
        } else if (x == 0x0F && y != 0) {
            cell.command = CMD_FINE_VOLUME_DOWN;
            cell.parameter = y;
        } else {
            cell.command = volume_slide(info, cell.parameter);
        }
        break;
    case 'E' - 'A' + 1:
        pitch_slide(info, CMD_SLIDE_DOWN, CMD_FINE_SLIDE_DOWN, cell);
        break;
    case 'F' - 'A' + 1:
        pitch_slide(info, CMD_SLIDE_UP, CMD_FINE_SLIDE_UP, cell);
        break;
    case 'G' - 'A' + 1:
        cell.command = CMD_TONE_PORTAMENTO;
        cell.parameter = info;
        break;
    case 'K' - 'A' + 1:
        cell.command = volume_slide(info, cell.parameter);
        break;
    case 'L' - 'A' + 1:
        // Tone portamento with volume slide: only the slide is kept, and the note with it.
        cell.period = NO_PERIOD;
        cell.command = volume_slide(info, cell.parameter);
        break;
    case 'S' - 'A' + 1:
        if (x == 8) {
            cell.command = CMD_SET_PAN;
            cell.parameter = uint8_t((y * 128 + 7) / 15);
        }
        break;
    case 'T' - 'A' + 1:
        cell.command = CMD_SET_TEMPO;
        cell.parameter = info;
        break;
    default:
        break;
    }
}

InitialState S3mReader::initial_state() const {
    InitialState state;
    state.speed = header_.initial_speed == 0 ? 1 : header_.initial_speed;
    state.tempo = std::max<int>(header_.initial_tempo, 32);
    for (const std::vector<int>& sources : groups_) {
        ChannelStart channel;
        channel.volume = 64;
        channel.pan = S3M_SETTING_PAN[header_.channel_settings[sources.front()] & 15];
        if (pan_table_)
            for (int source : sources)
                if (pan_bytes_[size_t(source)] & 0x20)
                    channel.pan = ((pan_bytes_[size_t(source)] & 15) * 128 + 7) / 15;
        state.channels.push_back(channel);
    }
    return state;
}

uint32_t S3mReader::pitch(uint32_t period, uint16_t sample) const {
    if (period == 0) return 0;
    uint32_t rate = sample < MODULE_SAMPLE_SLOTS ? slots_[sample].rate : DEFAULT_RATE;
    if (rate == 0) rate = DEFAULT_RATE;
    const double value = 18874800.0 / period * 8363.0 / rate;
    return value >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(value);
}

} // namespace tunemill
