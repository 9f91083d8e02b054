// MIDI import and export of a 5-minute file on 16 channels (a 16th note on every channel all
// the time, the drums on channel 10, a tempo change every measure, volume and pan moves).
// Targets: import under 100 ms, export under 50 ms.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "instruments/bank.h"
#include "midi/export.h"
#include "midi/import.h"
#include "midi/smf.h"

using namespace tunemill;

namespace {

constexpr uint16_t DIVISION = 480;
constexpr uint64_t SIXTEENTH = DIVISION / 4;
constexpr uint64_t MEASURE = DIVISION * 4;
constexpr uint64_t MEASURES = 150; // at 120 BPM: 5 minutes

std::string tempo_bytes(uint32_t micros) {
    return {char(micros >> 16), char(micros >> 8), char(micros)};
}

MidiFile busy_file() {
    MidiFile file;
    file.format = 1;
    file.division.ticks_per_quarter = DIVISION;
    MidiTrack conductor;
    for (uint64_t m = 0; m < MEASURES; ++m)
        conductor.events.push_back(
            {m * MEASURE, MIDI_META, META_TEMPO, 0, tempo_bytes(m % 2 ? 495000 : 500000)});
    conductor.end_tick = MEASURES * MEASURE;
    file.tracks.push_back(conductor);
    for (uint8_t channel = 0; channel < 16; ++channel) {
        MidiTrack track;
        track.events.push_back({0, uint8_t(0xC0 | channel), uint8_t(channel * 8), 0, {}});
        for (uint64_t tick = 0; tick < MEASURES * MEASURE; tick += SIXTEENTH) {
            const uint8_t note = channel == 9 ? uint8_t(35 + (tick / SIXTEENTH) % 12)
                                              : uint8_t(36 + channel * 3 + (tick / SIXTEENTH) % 7);
            const uint8_t velocity = uint8_t(60 + (tick / SIXTEENTH) % 60);
            if (tick % MEASURE == 0)
                track.events.push_back(
                    {tick, uint8_t(0xB0 | channel), 10, uint8_t((tick / MEASURE * 9) % 128), {}});
            track.events.push_back({tick, uint8_t(0x90 | channel), note, velocity, {}});
            track.events.push_back({tick + SIXTEENTH - 10, uint8_t(0x80 | channel), note, 0, {}});
        }
        track.end_tick = MEASURES * MEASURE;
        file.tracks.push_back(std::move(track));
    }
    return file;
}

BankLookup bench_bank() {
    static InstrumentBank bank(std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
    return [](const std::string& name) { return bank.load(name); };
}

void BM_ImportMidi(benchmark::State& state) {
    const std::vector<uint8_t> bytes = write_smf(busy_file());
    const BankLookup bank = bench_bank();
    for (auto _ : state) {
        Song song;
        std::vector<MidiWarning> warnings;
        convert_midi(read_smf(bytes), song, bank, warnings);
        benchmark::DoNotOptimize(song.patterns.data());
    }
    state.SetLabel(std::to_string(bytes.size()) + " bytes");
}
BENCHMARK(BM_ImportMidi)->Unit(benchmark::kMillisecond);

void BM_ExportMidi(benchmark::State& state) {
    Song song;
    std::vector<MidiWarning> warnings;
    convert_midi(busy_file(), song, bench_bank(), warnings);
    for (auto _ : state) {
        std::vector<MidiWarning> exported;
        const std::vector<uint8_t> bytes = write_smf(build_midi(song, exported));
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ExportMidi)->Unit(benchmark::kMillisecond);

} // namespace
