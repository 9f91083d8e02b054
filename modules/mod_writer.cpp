// Writing MOD files from a built module.
#include "modules/mod.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tunemill {

namespace {

// A song balance (30 left .. 0 right) as the pan nibble of E8x (0 left .. 15 right).
uint8_t pan_nibble(uint8_t balance) {
    return uint8_t(((30 - std::min<int>(balance, 30)) * 15 + 15) / 30);
}

void encode_mod_cell(const ExportCell& cell, uint8_t out[4]) {
    unsigned sample = 0, period = 0, effect = 0, parameter = 0;
    if (cell.note_start && cell.sample != EXPORT_SILENT && cell.key != EXPORT_SILENT) {
        sample = cell.sample + 1u;
        period = module_period(cell.key);
    } else if (cell.effect == ExportEffect::TONE_PORTAMENTO && cell.key != EXPORT_SILENT) {
        period = module_period(cell.key);
    }
    switch (cell.effect) {
    case ExportEffect::SET_VOLUME:
        effect = 0xC;
        parameter = unsigned(module_volume(cell.volume));
        break;
    case ExportEffect::SET_BALANCE:
        effect = 0xE;
        parameter = 0x80u | pan_nibble(cell.parameter);
        break;
    case ExportEffect::PITCH_SLIDE:
        effect = cell.speed >= 0 ? 0x2 : 0x1;
        parameter = unsigned(std::abs(cell.speed));
        break;
    case ExportEffect::TONE_PORTAMENTO:
        effect = 0x3;
        parameter = unsigned(std::abs(cell.speed));
        break;
    case ExportEffect::NOTE_CUT:
        effect = 0xC;
        parameter = 0;
        break;
    case ExportEffect::SPEED:
        effect = 0xF;
        parameter = 3;
        break;
    case ExportEffect::SET_TEMPO:
        effect = 0xF;
        parameter = std::max(33u, unsigned(cell.parameter));
        break;
    case ExportEffect::PATTERN_BREAK:
        effect = 0xD;
        parameter = 0;
        break;
    case ExportEffect::POSITION_JUMP:
        effect = 0xB;
        parameter = cell.parameter;
        break;
    default:
        break;
    }
    out[0] = uint8_t((sample & 0x10) | ((period >> 8) & 0x0F));
    out[1] = uint8_t(period & 0xFF);
    out[2] = uint8_t((sample & 0x0F) << 4 | effect);
    out[3] = uint8_t(std::min(parameter, 255u));
}

} // namespace

std::vector<uint8_t> encode_mod(const ExportedModule& module) {
    const ModuleFormatParameters params = module_format_parameters(module.format);
    const size_t channels = size_t(module.channels);
    if (module.samples.size() > 31 || module.orders.empty() || module.orders.size() > 128 ||
        module.channels != params.channels)
        throw MISC_ERROR(S_INTERNAL_ERROR);
    ModHeader header{};
    set_field_text(header.title, module.title, 19);
    const size_t n = module.samples.size();
    for (size_t i = 0; i < n; ++i) {
        const ExportSample& sample = module.samples[i];
        ModSampleHeader& slot = header.samples[i];
        set_field_text(slot.name, sample.name, 21);
        slot.length_words = uint16_t(sample.length / 2);
        slot.finetune = 0;
        slot.volume = uint8_t(module_volume(sample.default_volume));
        if (sample.loop_start != NO_LOOP && sample.length / 2 > sample.loop_start / 2) {
            slot.loop_start_words = uint16_t(sample.loop_start / 2);
            slot.loop_length_words = uint16_t(sample.length / 2 - sample.loop_start / 2);
        } else {
            slot.loop_start_words = 0;
            slot.loop_length_words = 1;
        }
    }
    if (n < 31) { // the tag sample: its 8 bytes of data are the tag
        header.samples[n].length_words = 4;
        header.samples[n].loop_length_words = 1;
    }
    const std::vector<std::string> lines = description_lines(module.description, 22);
    for (size_t i = 0; i < lines.size() && n + i < 31; ++i)
        set_field_text(header.samples[n + i].name, lines[i], 22);
    header.song_length = uint8_t(module.orders.size());
    header.restart = 127;
    uint8_t highest = 0;
    for (size_t i = 0; i < module.orders.size(); ++i) {
        header.orders[i] = module.orders[i];
        highest = std::max(highest, module.orders[i]);
    }
    if (size_t(highest) >= module.patterns.size() ||
        size_t(highest) + 1 > size_t(params.max_patterns))
        throw MISC_ERROR(S_INTERNAL_ERROR);
    std::memcpy(header.tag, params.tag, 4);

    std::vector<uint8_t> out(sizeof header);
    std::memcpy(out.data(), &header, sizeof header);
    for (size_t p = 0; p <= highest; ++p) {
        const std::vector<ExportCell>& cells = module.patterns[p];
        if (cells.size() != size_t(MODULE_ROWS) * channels) throw MISC_ERROR(S_INTERNAL_ERROR);
        for (const ExportCell& cell : cells) {
            uint8_t bytes[4];
            encode_mod_cell(cell, bytes);
            out.insert(out.end(), bytes, bytes + 4);
        }
    }
    for (const ExportSample& sample : module.samples) {
        const size_t bytes = size_t(sample.length / 2) * 2;
        out.insert(out.end(), sample.data.begin(),
                   sample.data.begin() + std::min(bytes, sample.data.size()));
        out.resize(out.size() + (bytes - std::min(bytes, sample.data.size())), 0);
    }
    const char tag[] = "TMILL2.0";
    out.insert(out.end(), tag, tag + 8);
    return out;
}

} // namespace tunemill
