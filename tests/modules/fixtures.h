// Small MOD and S3M files built byte by byte for the tests, and the temporary folder they are
// written to. The builders lay files out as the published formats do, independently of the
// program's own writers.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "real_modules.h"

namespace tunemill::testing {

inline void put16be(std::string& out, size_t at, uint16_t value) {
    out[at] = char(value >> 8);
    out[at + 1] = char(value & 0xFF);
}
inline void put16le(std::string& out, size_t at, uint16_t value) {
    out[at] = char(value & 0xFF);
    out[at + 1] = char(value >> 8);
}
inline void put32le(std::string& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

struct ModSample {
    std::string name;
    uint16_t length_words = 0;
    uint8_t finetune = 0;
    uint8_t volume = 64;
    uint16_t loop_start_words = 0;
    uint16_t loop_length_words = 1;
    std::vector<uint8_t> data; // signed bytes as stored; padded or cut to length_words * 2
};

// A 31-sample MOD (or, with old_format, a 15-sample one without a tag).
struct ModBuilder {
    std::string tag = "M.K.";
    int channels = 4;
    bool old_format = false;
    std::string title = "test";
    std::vector<ModSample> samples;      // slots from 0
    std::vector<uint8_t> song;           // the first orders
    std::map<int, uint8_t> extra_orders; // order table entries beyond the song length
    int song_length = -1;                // -1: song.size()
    std::map<std::tuple<int, int, int>, std::array<uint8_t, 4>> cells;
    int pattern_count = -1; // -1: from the order table
    size_t cut_bytes = 0;   // bytes cut from the end of the file

    // period 0 none, sample 0 none (else slot + 1)
    void cell(int pattern, int row, int channel, uint16_t period, uint8_t sample, uint8_t effect,
              uint8_t parameter) {
        cells[{pattern, row, channel}] = {uint8_t((sample & 0x10) | (period >> 8)),
                                          uint8_t(period & 0xFF),
                                          uint8_t((sample & 0x0F) << 4 | effect), parameter};
    }

    std::string bytes() const {
        const size_t sample_count = old_format ? 15 : 31;
        const size_t header_size = old_format ? 600 : 1084;
        std::string out(header_size, '\0');
        out.replace(0, std::min<size_t>(title.size(), 20), title.substr(0, 20));
        for (size_t i = 0; i < samples.size() && i < sample_count; ++i) {
            const ModSample& s = samples[i];
            const size_t at = 20 + i * 30;
            out.replace(at, std::min<size_t>(s.name.size(), 22), s.name.substr(0, 22));
            put16be(out, at + 22, s.length_words);
            out[at + 24] = char(s.finetune);
            out[at + 25] = char(s.volume);
            put16be(out, at + 26, s.loop_start_words);
            put16be(out, at + 28, s.loop_length_words);
        }
        const size_t length_at = 20 + sample_count * 30;
        out[length_at] = char(song_length < 0 ? song.size() : size_t(song_length));
        out[length_at + 1] = char(old_format ? 120 : 127);
        int highest = 0;
        for (size_t i = 0; i < song.size(); ++i) {
            out[length_at + 2 + i] = char(song[i]);
            highest = std::max<int>(highest, song[i]);
        }
        for (auto [index, value] : extra_orders) {
            out[length_at + 2 + size_t(index)] = char(value);
            highest = std::max<int>(highest, value);
        }
        if (!old_format) out.replace(1080, 4, tag);
        const int patterns = pattern_count >= 0 ? pattern_count : highest + 1;
        const size_t pattern_bytes = size_t(channels) * 4 * 64;
        const size_t pattern_at = out.size();
        out.append(size_t(patterns) * pattern_bytes, '\0');
        for (const auto& [where, bytes] : cells) {
            const auto [pattern, row, channel] = where;
            if (pattern >= patterns) continue;
            const size_t at = pattern_at + size_t(pattern) * pattern_bytes +
                              (size_t(row) * size_t(channels) + size_t(channel)) * 4;
            for (int i = 0; i < 4; ++i)
                out[at + size_t(i)] = char(bytes[size_t(i)]);
        }
        for (size_t i = 0; i < samples.size() && i < sample_count; ++i) {
            std::string data(size_t(samples[i].length_words) * 2, '\0');
            for (size_t k = 0; k < data.size() && k < samples[i].data.size(); ++k)
                data[k] = char(samples[i].data[k]);
            out += data;
        }
        out.resize(out.size() - std::min(cut_bytes, out.size()));
        return out;
    }
};

struct S3mInstrumentSpec {
    uint8_t type = 1;
    std::string name;
    std::vector<uint8_t> data; // stored bytes (unsigned 8-bit, or 16-bit little-endian)
    uint32_t length = 0;       // frames; 0: from the data
    uint32_t loop_begin = 0;
    uint32_t loop_end = 0;
    uint8_t volume = 64;
    uint8_t flags = 0; // 1 loop, 4 16-bit
    uint32_t c2_speed = 8363;
    uint8_t packing = 0;
    bool scrs = true;
};

struct S3mCell {
    uint8_t note = 255, instrument = 0, volume = 255, command = 255, info = 0;
};

struct S3mBuilder {
    std::string title = "test";
    uint8_t speed = 6, tempo = 125;
    std::array<uint8_t, 32> settings = [] {
        std::array<uint8_t, 32> s{};
        s.fill(255);
        return s;
    }();
    uint8_t pan_flag = 0;
    std::array<uint8_t, 32> pans{};
    std::vector<uint8_t> orders; // stored as given; padded to even with 255
    std::vector<S3mInstrumentSpec> instruments;
    int pattern_count = -1; // -1: highest order below 254 + 1
    std::map<std::tuple<int, int, int>, S3mCell> cells;
    uint16_t format_version = 2;
    std::map<int, uint16_t> pattern_pointer_override;
    std::map<int, uint16_t> instrument_pointer_override;
    bool odd_order_count = false;

    std::string bytes() const {
        std::vector<uint8_t> stored_orders = orders;
        if (!odd_order_count && stored_orders.size() % 2) stored_orders.push_back(255);
        int patterns = pattern_count;
        if (patterns < 0) {
            patterns = 0;
            for (uint8_t o : orders)
                if (o < 254) patterns = std::max(patterns, o + 1);
        }
        std::string out(96, '\0');
        out.replace(0, std::min<size_t>(title.size(), 28), title.substr(0, 28));
        out[28] = 0x1A;
        out[29] = 16;
        put16le(out, 32, uint16_t(stored_orders.size()));
        put16le(out, 34, uint16_t(instruments.size()));
        put16le(out, 36, uint16_t(patterns));
        put16le(out, 40, 0x1320);
        put16le(out, 42, format_version);
        out.replace(44, 4, "SCRM");
        out[48] = 64;
        out[49] = char(speed);
        out[50] = char(tempo);
        out[51] = char(0xB0);
        out[53] = char(pan_flag);
        for (int i = 0; i < 32; ++i)
            out[64 + size_t(i)] = char(settings[size_t(i)]);
        for (uint8_t o : stored_orders)
            out += char(o);
        const size_t instrument_pointers = out.size();
        out.append(instruments.size() * 2, '\0');
        const size_t pattern_pointers = out.size();
        out.append(size_t(patterns) * 2, '\0');
        if (pan_flag == 252)
            for (uint8_t p : pans)
                out += char(p);
        auto align = [&]() { out.append((16 - out.size() % 16) % 16, '\0'); };
        align();
        std::vector<size_t> instrument_at;
        for (size_t i = 0; i < instruments.size(); ++i) {
            instrument_at.push_back(out.size());
            out.append(80, '\0');
            const uint16_t pointer = uint16_t(instrument_at.back() / 16);
            auto o = instrument_pointer_override.find(int(i));
            put16le(out, instrument_pointers + i * 2,
                    o != instrument_pointer_override.end() ? o->second : pointer);
        }
        for (int p = 0; p < patterns; ++p) {
            align();
            std::string packed;
            for (int row = 0; row < 64; ++row) {
                for (int channel = 0; channel < 32; ++channel) {
                    auto found = cells.find({p, row, channel});
                    if (found == cells.end()) continue;
                    const S3mCell& c = found->second;
                    uint8_t what = uint8_t(channel);
                    if (c.note != 255 || c.instrument != 0) what |= 0x20;
                    if (c.volume != 255) what |= 0x40;
                    if (c.command != 255) what |= 0x80;
                    packed += char(what);
                    if (what & 0x20) {
                        packed += char(c.note);
                        packed += char(c.instrument);
                    }
                    if (what & 0x40) packed += char(c.volume);
                    if (what & 0x80) {
                        packed += char(c.command);
                        packed += char(c.info);
                    }
                }
                packed += '\0';
            }
            const size_t at = out.size();
            out.append(2, '\0');
            put16le(out, at, uint16_t(packed.size() + 2));
            out += packed;
            auto o = pattern_pointer_override.find(p);
            put16le(out, pattern_pointers + size_t(p) * 2,
                    o != pattern_pointer_override.end() ? o->second : uint16_t(at / 16));
        }
        for (size_t i = 0; i < instruments.size(); ++i) {
            const S3mInstrumentSpec& s = instruments[i];
            align();
            const size_t data_at = out.size();
            for (uint8_t b : s.data)
                out += char(b);
            const size_t at = instrument_at[i];
            out[at] = char(s.type);
            out[at + 13] = char((data_at / 16) >> 16);
            put16le(out, at + 14, uint16_t((data_at / 16) & 0xFFFF));
            const uint32_t frames =
                s.length ? s.length : uint32_t(s.data.size() / ((s.flags & 4) ? 2 : 1));
            put32le(out, at + 16, frames);
            put32le(out, at + 20, s.loop_begin);
            put32le(out, at + 24, s.loop_end);
            out[at + 28] = char(s.volume);
            out[at + 30] = char(s.packing);
            out[at + 31] = char(s.flags);
            put32le(out, at + 32, s.c2_speed);
            out.replace(at + 48, std::min<size_t>(s.name.size(), 28), s.name.substr(0, 28));
            if (s.scrs) out.replace(at + 76, 4, s.type >= 2 ? "SCRI" : "SCRS");
        }
        return out;
    }
};

// A folder of its own for each test, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("tunemill-modules-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
                 "-" + info->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
        return path_ / name;
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

} // namespace tunemill::testing
