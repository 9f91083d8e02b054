// Module import and export: a 4-channel and a 32-channel MOD imported (read, converted, sample
// data included), and songs exported as S3M and MOD. Targets: 4 channels under 20 ms,
// 32 channels under 200 ms, exporting a demo song under 50 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "loading/song_loader.h"
#include "modules/export.h"
#include "modules/import.h"
#include "song/song.h"

namespace fs = std::filesystem;
using namespace tunemill;

namespace {

void put16be(std::string& out, size_t at, uint16_t value) {
    out[at] = char(value >> 8);
    out[at + 1] = char(value & 0xFF);
}

// A busy MOD: every pattern different, a note with an effect in most cells, 31 samples.
std::string busy_mod(int channels, int patterns) {
    const char* tag = channels == 4 ? "M.K." : nullptr;
    std::string out(1084, '\0');
    out.replace(0, 5, "bench");
    for (int s = 0; s < 31; ++s) {
        const size_t at = 20 + size_t(s) * 30;
        out.replace(at, 6, "sample");
        put16be(out, at + 22, 4000); // 8000 frames
        out[at + 25] = 48;
        put16be(out, at + 26, s % 2 ? 1000 : 0);
        put16be(out, at + 28, s % 2 ? 3000 : 1);
    }
    out[950] = char(patterns);
    out[951] = 127;
    for (int p = 0; p < patterns; ++p)
        out[952 + size_t(p)] = char(p);
    if (tag)
        out.replace(1080, 4, tag);
    else
        out.replace(1080, 4, std::to_string(channels) + "CH");
    uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
    const uint8_t effects[] = {0x0, 0x1, 0x2, 0x3, 0xA, 0xC, 0x0, 0x0};
    for (int p = 0; p < patterns; ++p)
        for (int row = 0; row < 64; ++row)
            for (int c = 0; c < channels; ++c) {
                uint8_t cell[4] = {0, 0, 0, 0};
                if (next() % 3 == 0) {
                    const uint16_t periods[] = {856, 808, 762, 720, 678, 640, 604,
                                                570, 538, 508, 480, 453, 428};
                    const uint16_t period = periods[next() % 13];
                    const int sample = 1 + int(next() % 31);
                    const uint8_t effect = effects[next() % 8];
                    cell[0] = uint8_t((sample & 0x10) | period >> 8);
                    cell[1] = uint8_t(period & 0xFF);
                    cell[2] = uint8_t((sample & 0x0F) << 4 | effect);
                    cell[3] = uint8_t(effect == 0xC ? next() % 65 : next() % 16);
                }
                out.append(reinterpret_cast<char*>(cell), 4);
            }
    for (int s = 0; s < 31; ++s)
        for (int i = 0; i < 8000; ++i)
            out += char((i * (s + 3)) & 0xFF);
    return out;
}

fs::path write_temporary(const std::string& name, const std::string& bytes) {
    const fs::path path =
        fs::temp_directory_path() / ("tunemill-bench-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void import_file(benchmark::State& state, const fs::path& path) {
    for (auto _ : state) {
        Song song;
        load_module(path, song);
        benchmark::DoNotOptimize(song.patterns.data());
    }
}

void BM_ImportMod4(benchmark::State& state) {
    const fs::path path = write_temporary("4.mod", busy_mod(4, 64));
    import_file(state, path);
    fs::remove(path);
}
BENCHMARK(BM_ImportMod4)->Unit(benchmark::kMillisecond);

void BM_ImportMod32(benchmark::State& state) {
    const fs::path path = write_temporary("32.mod", busy_mod(32, 64));
    import_file(state, path);
    fs::remove(path);
}
BENCHMARK(BM_ImportMod32)->Unit(benchmark::kMillisecond);

const fs::path SHARED = fs::path(TUNEMILL_SOURCE_DIR).parent_path() / "shared" / "modules";

void BM_ImportRealModule(benchmark::State& state, const char* name) {
    if (!fs::exists(SHARED / name)) {
        state.SkipWithError("the shared modules are not beside the checkout");
        return;
    }
    import_file(state, SHARED / name);
}
BENCHMARK_CAPTURE(BM_ImportRealModule, BeatWave_4ch_128_orders, "BeatWave.mod")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportRealModule, rez_monday_14ch, "rez-monday.mod")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportRealModule, FAT1_16ch_147_orders, "defgsus_FAT1.s3m")
    ->Unit(benchmark::kMillisecond);

void export_song(benchmark::State& state, const Song& song, ModuleFormat format) {
    for (auto _ : state) {
        const ExportedModule module = build_module(song, format);
        const std::vector<uint8_t> bytes = encode_module(module);
        benchmark::DoNotOptimize(bytes.data());
    }
}

void BM_ExportDemoSong(benchmark::State& state, const char* name, ModuleFormat format) {
    const fs::path path = fs::path(TUNEMILL_SOURCE_DIR) / "data" / "demos" / name;
    Song song;
    try {
        InstrumentBank bank(fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
        song = read_any_song(path,
                             [&](const std::string& instrument) { return bank.load(instrument); });
    } catch (const std::exception& error) {
        state.SkipWithError(("the demo song could not be read: " + error_text(error)).c_str());
        return;
    }
    export_song(state, song, format);
}
BENCHMARK_CAPTURE(BM_ExportDemoSong, first_steps_s3m, "first-steps.sn2", ModuleFormat::S3M)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportDemoSong, first_steps_mod, "first-steps.sn2", ModuleFormat::MOD)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportDemoSong, night_drive_s3m, "night-drive.sn2", ModuleFormat::S3M)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportDemoSong, night_drive_mod, "night-drive.sn2", ModuleFormat::MOD)
    ->Unit(benchmark::kMillisecond);

void BM_ExportImportedModule(benchmark::State& state, const char* name, ModuleFormat format) {
    if (!fs::exists(SHARED / name)) {
        state.SkipWithError("the shared modules are not beside the checkout");
        return;
    }
    Song song;
    load_module(SHARED / name, song);
    export_song(state, song, format);
}
BENCHMARK_CAPTURE(BM_ExportImportedModule, BeatWave_s3m, "BeatWave.mod", ModuleFormat::S3M)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportImportedModule, FAT1_s3m, "defgsus_FAT1.s3m", ModuleFormat::S3M)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportImportedModule, FAT1_mod8, "defgsus_FAT1.s3m", ModuleFormat::MOD8)
    ->Unit(benchmark::kMillisecond);

} // namespace
