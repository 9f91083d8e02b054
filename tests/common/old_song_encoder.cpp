// The test writer of the older song format.
#include "old_song_encoder.h"

#include <stdexcept>

#include "instruments/instrument_file.h"

namespace tunemill::storage_testing {

void BitWriter::put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (used_ == 8) {
            bytes_.push_back(0);
            used_ = 0;
        }
        if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> used_);
        ++used_;
    }
}

void BitWriter::put_text(const std::string& bits) {
    for (char c : bits)
        if (c == '0' || c == '1') put(uint32_t(c - '0'), 1);
}

void BitWriter::align() {
    used_ = 8;
}

void BitWriter::put_string(const std::string& text) {
    for (char c : text)
        put_byte(uint8_t(c));
    put_byte(0);
}

void BitWriter::put_bytes(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes)
        put_byte(b);
}

uint32_t key_code_for(int from, int to) {
    const int change = to - from;
    if (change >= 0) return uint32_t(2 * change + 2); // d = 2 * change + 1
    return uint32_t(-2 * change + 1);                 // d = -2 * change
}

void put_skip(BitWriter& out, uint32_t skip) {
    static const char* const codes[8] = {"0",      "10",   "1100",   "1101",
                                         "111100", "1110", "111101", "111110"};
    if (skip < 8) {
        out.put_text(codes[skip]);
        return;
    }
    out.put_text("111111");
    if (skip - 8 < 63) {
        out.put(skip - 8, 6);
    } else {
        out.put(63, 6);
        out.put(skip - 8, 14);
    }
}

void put_key_code(BitWriter& out, uint32_t code, uint32_t flags) {
    const bool short_code = code == 1 || code == 2;
    if (flags == 0 && short_code) {
        out.put(0, 1);
        out.put(code - 1, 1);
        return;
    }
    out.put(1, 1);
    if (flags != 0) {
        out.put(1, 5);
        out.put(flags, 3);
        if (short_code) {
            out.put(0, 1);
            out.put(code - 1, 1);
            return;
        }
        out.put(1, 1);
    }
    if (code < 32 && !short_code) {
        out.put(code, 5);
    } else {
        out.put(2, 5);
        out.put(code, 7);
    }
}

void put_step(BitWriter& out, const OldStep& step) {
    put_skip(out, step.skip);
    if (step.skip_only) return;
    put_key_code(out, step.key_code, step.flags);
    if (step.flags & 2) out.put(step.volume_add, 5);
    if (step.flags & 4) out.put(step.balance_add, 5);
}

std::vector<uint8_t> encode_old_song(OldSong song, bool keep_counts) {
    if (!keep_counts) {
        song.head[4] = uint8_t(song.stored.size());
        song.head[5] = uint8_t(song.bank.size());
        song.head[6] = uint8_t(song.patterns.size());
        song.head[7] = uint8_t(song.sequence.size());
    }
    BitWriter out;
    for (uint8_t b : song.head)
        out.put_byte(b);
    out.put_string(song.name);
    for (uint8_t entry : song.sequence)
        out.put_byte(entry);
    for (const OldPattern& pattern : song.patterns) {
        out.put_string(pattern.name);
        out.put(uint32_t(pattern.instruments.size()), 8);
        out.put(pattern.length & 0xFF, 8);
        out.put(pattern.length >> 8, 8);
        for (uint32_t instrument : pattern.instruments)
            out.put(instrument, 6);
        auto put_runs = [&](auto runs, auto put_one, auto filler) {
            if (runs.empty())
                for (uint32_t t = 0; t < pattern.length; t += 256)
                    runs.push_back(filler(std::min<uint32_t>(256, pattern.length - t)));
            for (const auto& run : runs)
                put_one(run);
        };
        put_runs(
            pattern.tempo_runs,
            [&](const std::pair<uint32_t, uint32_t>& run) {
                out.put(run.first, 5);
                out.put(run.second & 0xFF, 8);
            },
            [](uint32_t n) {
                return std::pair<uint32_t, uint32_t>{20, n};
            });
        put_runs(
            pattern.text_runs,
            [&](const std::pair<char, uint32_t>& run) {
                out.put(uint8_t(run.first), 8);
                if (run.first == ' ') out.put(run.second & 0xFF, 8);
            },
            [](uint32_t n) {
                return std::pair<char, uint32_t>{' ', n};
            });
        if (!pattern.raw_voice_bits.empty()) {
            out.put_text(pattern.raw_voice_bits);
        } else {
            for (const auto& steps : pattern.voices)
                for (const OldStep& step : steps)
                    put_step(out, step);
        }
        out.align();
    }
    for (const Instrument& instrument : song.stored)
        out.put_bytes(encode_instrument(instrument));
    for (const std::string& name : song.bank)
        out.put_string(name);
    return out.bytes();
}

} // namespace tunemill::storage_testing
