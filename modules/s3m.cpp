// Reading and writing S3M files. Integers are little-endian; instruments and patterns are found
// through 16-bit parapointers (offset / 16), every one of them checked against the file's size.
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

// ---- Writing S3M files ------------------------------------------------------------------------

namespace tunemill {

namespace {

uint8_t s3m_note(int key) {
    return uint8_t((key / 12 + 1) * 16 + key % 12);
}

void align16(std::vector<uint8_t>& out) {
    out.resize((out.size() + 15) / 16 * 16, 0);
}

uint16_t parapointer(size_t offset) {
    if (offset / 16 > 0xFFFF) throw MISC_ERROR(S_INTERNAL_ERROR);
    return uint16_t(offset / 16);
}

void pack_pattern(const std::vector<ExportCell>& cells, size_t channels,
                  std::vector<uint8_t>& out) {
    for (int row = 0; row < MODULE_ROWS; ++row) {
        for (size_t c = 0; c < channels; ++c) {
            const ExportCell& cell = cells[size_t(row) * channels + c];
            uint8_t note = 255, instrument = 0, volume = 255, command = 255, info = 0;
            if (cell.note_start && cell.sample != EXPORT_SILENT && cell.key != EXPORT_SILENT) {
                note = s3m_note(cell.key);
                instrument = uint8_t(cell.sample + 1);
            } else if (cell.effect == ExportEffect::TONE_PORTAMENTO && cell.key != EXPORT_SILENT) {
                note = s3m_note(cell.key);
            }
            if (cell.volume != EXPORT_SILENT && cell.key != EXPORT_SILENT)
                volume = uint8_t(module_volume(cell.volume));
            switch (cell.effect) {
            case ExportEffect::NONE:
                break;
            case ExportEffect::SET_BALANCE:
                command = 'S' - 'A' + 1;
                info = uint8_t(0x80 | ((30 - std::min<int>(cell.parameter, 30)) * 15 + 15) / 30);
                break;
            case ExportEffect::PITCH_SLIDE:
                command = cell.speed >= 0 ? 'E' - 'A' + 1 : 'F' - 'A' + 1;
                info = uint8_t(std::min(std::abs(cell.speed), 0xDF));
                break;
            case ExportEffect::TONE_PORTAMENTO:
                command = 'G' - 'A' + 1;
                info = uint8_t(std::min(std::abs(cell.speed), 0xFF));
                break;
            case ExportEffect::NOTE_CUT:
                note = 254;
                instrument = 0;
                volume = 255;
                break;
            case ExportEffect::SET_TEMPO:
                command = 'T' - 'A' + 1;
                info = std::max<uint8_t>(cell.parameter, 32);
                break;
            case ExportEffect::PATTERN_BREAK:
                command = 'C' - 'A' + 1;
                break;
            case ExportEffect::POSITION_JUMP:
                command = 'B' - 'A' + 1;
                info = cell.parameter;
                break;
            default:
                throw MISC_ERROR(S_INTERNAL_ERROR); // volume and speed have no S3M form here
            }
            uint8_t what = uint8_t(c);
            if (note != 255 || instrument != 0) what |= 0x20;
            if (volume != 255) what |= 0x40;
            if (command != 255) what |= 0x80;
            if (!(what & 0xE0)) continue;
            out.push_back(what);
            if (what & 0x20) {
                out.push_back(note);
                out.push_back(instrument);
            }
            if (what & 0x40) out.push_back(volume);
            if (what & 0x80) {
                out.push_back(command);
                out.push_back(info);
            }
        }
        out.push_back(0);
    }
}

} // namespace

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    out[at] = uint8_t(value & 0xFF);
    out[at + 1] = uint8_t(value >> 8);
}

S3mHeader s3m_header(const ExportedModule& module, size_t order_count, size_t instruments) {
    S3mHeader header{};
    set_field_text(header.title, module.title, 27);
    header.end_of_file = 0x1A;
    header.type = 16;
    header.order_count = uint16_t(order_count);
    header.instrument_count = uint16_t(instruments);
    header.pattern_count = uint16_t(module.patterns.size());
    header.flags = 0;
    header.tracker_version = 0x1320;
    header.sample_format = 2;
    std::memcpy(header.magic, "SCRM", 4);
    header.global_volume = 64;
    header.initial_speed = 3;
    header.initial_tempo = uint8_t(std::clamp(module.initial_tempo, 32, 255));
    // Mixing volume 48 with bit 7 set: stereo, so that the balances are heard.
    header.master_volume = 0x80 | 48;
    header.ultra_click = 16;
    header.pan_flag = 252;
    std::memcpy(header.reserved2, "TMILL2.0", 8);
    const size_t channels = size_t(module.channels);
    for (size_t c = 0; c < 32; ++c)
        header.channel_settings[c] = c < channels ? uint8_t((c % 2) * 8 + c / 2) : 255;
    return header;
}

// Instrument i: a sample, or past the samples an empty one whose name carries a description
// line (the first empty one stays unnamed).
S3mInstrument s3m_instrument(const ExportedModule& module, size_t i,
                             const std::vector<std::string>& lines) {
    S3mInstrument instrument{};
    if (i < module.samples.size()) {
        const ExportSample& sample = module.samples[i];
        instrument.type = 1;
        instrument.length = sample.length;
        if (sample.loop_start != NO_LOOP) {
            instrument.flags = 1;
            instrument.loop_begin = sample.loop_start;
            instrument.loop_end = sample.length;
        }
        instrument.volume = uint8_t(module_volume(sample.default_volume));
        instrument.c2_speed = sample.rate;
        set_field_text(instrument.name, sample.name, 27);
        std::memcpy(instrument.magic, "SCRS", 4);
    } else {
        instrument.type = 0;
        instrument.volume = 64;
        instrument.c2_speed = 8363;
        const size_t line = i - module.samples.size();
        if (line >= 1) set_field_text(instrument.name, lines[line - 1], 27);
    }
    return instrument;
}

// The sample data, each after the previous at a 16-byte boundary, and its offset in the
// instrument header.
void append_sample_data(const ExportedModule& module, const std::vector<size_t>& instrument_at,
                        std::vector<uint8_t>& out) {
    for (size_t i = 0; i < module.samples.size(); ++i) {
        align16(out);
        const size_t data = out.size() / 16;
        if (data > 0xFFFFFF) throw MISC_ERROR(S_INTERNAL_ERROR);
        uint8_t* instrument = out.data() + instrument_at[i];
        instrument[13] = uint8_t(data >> 16);
        instrument[14] = uint8_t(data & 0xFF);
        instrument[15] = uint8_t((data >> 8) & 0xFF);
        const ExportSample& sample = module.samples[i];
        out.insert(out.end(), sample.data.begin(),
                   sample.data.begin() + std::min<size_t>(sample.length, sample.data.size()));
    }
}

} // namespace

std::vector<uint8_t> encode_s3m(const ExportedModule& module) {
    const size_t channels = size_t(module.channels);
    if (channels > 16 || module.samples.size() > 98 || module.orders.empty() ||
        module.orders.size() > 255 || module.patterns.empty() || module.patterns.size() > 100)
        throw MISC_ERROR(S_INTERNAL_ERROR);
    for (uint8_t order : module.orders)
        if (order >= module.patterns.size()) throw MISC_ERROR(S_INTERNAL_ERROR);

    std::vector<std::string> lines = description_lines(module.description, 27);
    const size_t instruments = std::min<size_t>(99, module.samples.size() + 1 + lines.size());
    lines.resize(instruments - module.samples.size() - 1);
    const size_t order_count = std::max<size_t>(2, (module.orders.size() + 1) / 2 * 2);

    const S3mHeader header = s3m_header(module, order_count, instruments);
    std::vector<uint8_t> out(sizeof header);
    std::memcpy(out.data(), &header, sizeof header);
    for (size_t i = 0; i < order_count; ++i)
        out.push_back(i < module.orders.size() ? module.orders[i] : 255);
    const size_t instrument_pointers = out.size();
    out.resize(out.size() + instruments * 2 + module.patterns.size() * 2, 0);
    const size_t pattern_pointers = instrument_pointers + instruments * 2;
    out.resize(out.size() + 32, 0); // pan table: every channel keeps its setting's side
    align16(out);

    std::vector<size_t> instrument_at;
    for (size_t i = 0; i < instruments; ++i) {
        instrument_at.push_back(out.size());
        put16(out, instrument_pointers + i * 2, parapointer(out.size()));
        const S3mInstrument instrument = s3m_instrument(module, i, lines);
        out.resize(out.size() + sizeof instrument);
        std::memcpy(out.data() + instrument_at.back(), &instrument, sizeof instrument);
    }
    for (size_t p = 0; p < module.patterns.size(); ++p) {
        align16(out);
        if (module.patterns[p].size() != size_t(MODULE_ROWS) * channels)
            throw MISC_ERROR(S_INTERNAL_ERROR);
        const size_t at = out.size();
        put16(out, pattern_pointers + p * 2, parapointer(at));
        out.resize(out.size() + 2);
        pack_pattern(module.patterns[p], channels, out);
        put16(out, at, uint16_t(out.size() - at));
    }
    append_sample_data(module, instrument_at, out);
    align16(out);
    return out;
}

} // namespace tunemill
