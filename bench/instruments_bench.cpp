// Instrument benchmarks: loading every instrument of the stock bank (the synthesized ones are
// rendered on load), and the synthesizer and Huffman decoder on their own.
#include <benchmark/benchmark.h>

#include "instruments/bank.h"
#include "instruments/synthesizer.h"

namespace {

using namespace tunemill;

const std::filesystem::path BANK = std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk";

// The whole stock bank, as the instrument browser or a song using all of it would load it.
void BM_LoadWholeStockBank(benchmark::State& state) {
    InstrumentBank bank(BANK);
    const std::vector<BankEntry> directory = bank.directory();
    size_t frames = 0;
    for (auto _ : state) {
        for (const BankEntry& entry : directory) {
            Instrument instrument = bank.load(entry, entry.trimmed_name());
            frames += instrument.length;
            benchmark::DoNotOptimize(instrument.samples.data());
        }
    }
    state.counters["instruments"] = double(directory.size());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadWholeStockBank)->Unit(benchmark::kMillisecond);

// Only the synthesized or only the sampled instruments of the bank.
void load_kind(benchmark::State& state, bool synthesized) {
    InstrumentBank bank(BANK);
    std::vector<BankEntry> chosen;
    for (const BankEntry& entry : bank.directory())
        if (bank.load(entry, entry.trimmed_name()).synthesized() == synthesized)
            chosen.push_back(entry);
    for (auto _ : state)
        for (const BankEntry& entry : chosen)
            benchmark::DoNotOptimize(bank.load(entry, entry.trimmed_name()).length);
    state.counters["instruments"] = double(chosen.size());
}
void BM_LoadSynthesizedBankInstruments(benchmark::State& state) {
    load_kind(state, true);
}
void BM_LoadSampledBankInstruments(benchmark::State& state) {
    load_kind(state, false);
}
BENCHMARK(BM_LoadSynthesizedBankInstruments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSampledBankInstruments)->Unit(benchmark::kMillisecond);

// The longest rendering: frequency modulation with vibrato never repeats and runs to 65536 frames.
void BM_RenderFullLengthSynth(benchmark::State& state) {
    const SynthParameters block = {1, 0x50, 0x00, 0x01, 0xA5, 0x42, 0x40, 0x00, 0x00, 0xB0, 0x00};
    int64_t frames = 0;
    for (auto _ : state)
        frames += make_synthesized_instrument("Bench", 11, block, false).length;
    state.SetItemsProcessed(frames);
}
BENCHMARK(BM_RenderFullLengthSynth)->Unit(benchmark::kMicrosecond);

} // namespace
