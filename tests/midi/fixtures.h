// What the MIDI tests share: the real MIDI files beside the checkout (../shared/midi, read where
// they lie), the stock bank, byte builders for crafted files, and the notes of a song or a file
// in milliseconds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "instruments/bank.h"
#include "midi/file_content.h"
#include "midi/song_timing.h"
#include "song/song.h"
#include "song/timing.h"
#include "storage/song_file.h"

namespace tunemill::testing {

// The shared folder of real MIDI files: TUNEMILL_SHARED_DIR/midi when that is set, else the
// folder "shared/midi" beside the checkout; empty when absent.
inline std::filesystem::path shared_midi() {
    std::filesystem::path folder =
        std::filesystem::path(TUNEMILL_SOURCE_DIR).parent_path() / "shared" / "midi";
    if (const char* shared = std::getenv("TUNEMILL_SHARED_DIR"))
        folder = std::filesystem::path(shared) / "midi";
    return std::filesystem::is_directory(folder) ? folder : std::filesystem::path();
}

inline InstrumentBank& test_bank() {
    static InstrumentBank bank(std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
    return bank;
}

inline BankLookup test_bank_lookup() {
    return [](const std::string& name) { return test_bank().load(name); };
}

// A note as heard: key (or MIDI number), start and length in milliseconds.
struct HeardNote {
    int key;
    double start_ms, length_ms;
    bool operator<(const HeardNote& o) const {
        return std::tie(start_ms, key, length_ms) < std::tie(o.start_ms, o.key, o.length_ms);
    }
};

// Every note of the song as the sequence plays it once, by start.
inline std::vector<HeardNote> song_notes(const Song& song) {
    std::vector<HeardNote> notes;
    uint64_t base = 0;
    for (uint32_t entry : song.sequence) {
        const Pattern& pattern = song.patterns[entry];
        for (const Voice& voice : pattern.voices) {
            std::vector<Tick> started(KEY_COUNT, 0);
            for (const Event& e : voice.events) {
                if (e.kind == NOTE_ON) started[e.param1] = e.tick;
                if (e.kind == NOTE_OFF) {
                    const double start =
                        double(base + duration(pattern, 0, started[e.param1], song.overall_tempo));
                    const double end =
                        double(base + duration(pattern, 0, e.tick, song.overall_tempo));
                    notes.push_back({e.param1, start, end - start});
                }
            }
        }
        base += duration(pattern, 0, pattern.tick_length(), song.overall_tempo);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

// Every note of a file with its MIDI number, in file time.
inline std::vector<HeardNote> file_notes(const MidiFile& file) {
    const FileContent content = gather_file_content(file);
    const FileClock clock(file.division, content.tempos);
    std::vector<HeardNote> notes;
    for (const FileNote& note : content.notes) {
        const double start = clock.ms_at(double(note.start));
        notes.push_back({note.note, start, clock.ms_at(double(note.end)) - start});
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

// Bytes of crafted files.
inline void put_be(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

inline std::vector<uint8_t> header(uint16_t format, uint16_t tracks, uint16_t division) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    put_be(out, format, 2);
    put_be(out, tracks, 2);
    put_be(out, division, 2);
    return out;
}

inline std::vector<uint8_t> chunk(const char* tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(tag, tag + 4);
    put_be(out, uint32_t(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace tunemill::testing
