// The pieces of an exported module that every format's writer shares: volumes, tempo, periods,
// the description's lines, and the warnings' texts.
#include "modules/exported_module.h"

#include "foundation/string_table.h"
#include "foundation/text.h"
#include "song/song.h"

#include <algorithm>
#include <cmath>

namespace tunemill {

namespace {

constexpr uint16_t PERIODS[KEY_COUNT] = {
    3424, 3232, 3050, 2879, 2718, 2565, 2421, 2285, 2157, 2036, 1922, 1814, 1712, 1614,
    1524, 1438, 1358, 1282, 1210, 1142, 1078, 1017, 960,  906,  856,  808,  762,  720,
    678,  640,  604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339,  320,
    302,  285,  269,  254,  240,  226,  214,  202,  190,  180,  170,  160,  151,  143,
    135,  127,  120,  113,  107,  101,  95,   90,   85,   80,   76,   71,   67,   64,
    60,   57,   54,   50,   48,   45,   42,   40,   38,   36,   34,   32,   30,   28};

} // namespace

int module_volume(int volume) {
    if (volume <= 0) return 0;
    return int(std::lround(64.0 / std::pow(16.0, (30.0 - std::min(volume, 30)) / 29.0)));
}

int module_tempo(int tempo_value, int overall_tempo) {
    const int t = overall_tempo + 40;
    return (t / 2 + (40 - tempo_value) * 240) / t;
}

uint16_t module_period(int key) {
    return PERIODS[std::clamp(key, 0, KEY_COUNT - 1)];
}

std::vector<std::string> description_lines(const std::string& description, size_t width) {
    std::vector<std::string> lines;
    size_t i = 0;
    const size_t n = description.size();
    while (i < n) {
        // One text line up to CR, LF or CR LF.
        size_t end = i;
        while (end < n && description[end] != '\r' && description[end] != '\n')
            ++end;
        std::string text = description.substr(i, end - i);
        i = end;
        if (i < n && description[i] == '\r') {
            ++i;
            if (i < n && description[i] == '\n') ++i;
        } else if (i < n) {
            ++i;
        }
        if (text.empty()) {
            if (!lines.empty()) lines.push_back({});
            continue;
        }
        while (text.size() > width) {
            size_t cut = text.rfind(' ', width);
            std::string line;
            if (cut == std::string::npos || cut == 0) {
                line = text.substr(0, width);
                cut = width;
            } else {
                line = text.substr(0, cut);
            }
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            lines.push_back(line);
            size_t rest = cut;
            while (rest < text.size() && text[rest] == ' ')
                ++rest;
            text = text.substr(rest);
        }
        if (!text.empty()) lines.push_back(text);
    }
    return lines;
}

std::string export_warning_text(const ExportWarning& warning) {
    const std::string subject = windows1252_to_utf8(warning.subject);
    const std::string count = std::to_string(warning.count);
    switch (warning.kind) {
    case ExportWarningKind::INSTRUMENT_DROPPED:
        return format_message(load_string(S_WARN_INSTRUMENT_DROPPED), {subject, count});
    case ExportWarningKind::SAMPLE_SHORTENED:
        return format_message(load_string(S_WARN_SAMPLE_SHORTENED), {subject});
    case ExportWarningKind::LOOP_DROPPED:
        return format_message(load_string(S_WARN_LOOP_DROPPED), {subject});
    case ExportWarningKind::VOICES_MERGED:
        return format_message(load_string(S_WARN_VOICES_MERGED), {subject, count});
    case ExportWarningKind::KEYS_OUT_OF_RANGE:
        return format_message(load_string(S_WARN_KEYS_OUT_OF_RANGE), {count});
    case ExportWarningKind::BALANCE_LOST:
        return format_message(load_string(S_WARN_BALANCE_LOST), {count});
    case ExportWarningKind::SEQUENCE_CUT:
        return format_message(load_string(S_WARN_SEQUENCE_CUT), {count});
    }
    return {};
}

const char* export_warning_name(ExportWarningKind kind) {
    switch (kind) {
    case ExportWarningKind::INSTRUMENT_DROPPED:
        return "instrument_dropped";
    case ExportWarningKind::SAMPLE_SHORTENED:
        return "sample_shortened";
    case ExportWarningKind::LOOP_DROPPED:
        return "loop_dropped";
    case ExportWarningKind::VOICES_MERGED:
        return "voices_merged";
    case ExportWarningKind::KEYS_OUT_OF_RANGE:
        return "keys_out_of_range";
    case ExportWarningKind::BALANCE_LOST:
        return "balance_lost";
    case ExportWarningKind::SEQUENCE_CUT:
        return "sequence_cut";
    }
    return "";
}

} // namespace tunemill
