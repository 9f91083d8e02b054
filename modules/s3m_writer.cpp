// Writing S3M files from a built module.
#include "modules/s3m.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

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
