// Sound files beyond WAV: importing a 10-second 44.1 kHz stereo FLAC (target: under 50 ms), and
// exporting the demo songs as FLAC and Ogg Vorbis as the export does (44100 Hz, 16-bit stereo).
// The counter "realtime" is seconds of audio per second of export (FLAC target: at least 200).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sndfile.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "instruments/bank.h"
#include "instruments/sample_import.h"
#include "loading/song_loader.h"
#include "playback/audio_export.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
    return fs::temp_directory_path() /
           ("tunemill-bench-" + std::to_string(::getpid()) + "-" + name);
}

// Ten seconds of two detuned tones with a little noise: as hard for FLAC as real music.
fs::path ten_second_flac() {
    const fs::path path = scratch("ten.flac");
    SF_INFO info{};
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    info.channels = 2;
    info.samplerate = 44100;
    SNDFILE* sound = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sound) return {};
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 300);
    std::vector<short> frames;
    for (int i = 0; i < 441000; ++i) {
        const double t = i / 44100.0;
        frames.push_back(short(8000 * std::sin(2 * M_PI * 220 * t) + noise(random)));
        frames.push_back(short(8000 * std::sin(2 * M_PI * 221.5 * t) + noise(random)));
    }
    sf_writef_short(sound, frames.data(), 441000);
    sf_close(sound);
    return path;
}

void BM_ImportFlac10s(benchmark::State& state) {
    const fs::path path = ten_second_flac();
    if (path.empty()) {
        state.SkipWithError("libsndfile cannot write FLAC");
        return;
    }
    try {
        for (auto _ : state)
            benchmark::DoNotOptimize(import_sample_file(path, nullptr));
    } catch (const std::exception& error) {
        state.SkipWithError(error_text(error).c_str());
    }
    fs::remove(path);
}
BENCHMARK(BM_ImportFlac10s)->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state, AudioFileType type, fs::path song_path) {
    const fs::path out = scratch(std::string("export.") + audio_file_extension(type));
    uint64_t frames = 0;
    try {
        InstrumentBank bank(fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
        Song song =
            read_any_song(song_path, [&](const std::string& name) { return bank.load(name); });
        AudioExportSettings settings; // 44100 Hz, 16-bit stereo, interpolating
        settings.type = type;
        for (auto _ : state) {
            uint64_t written = 0;
            export_song_audio(song, out, settings, {}, &written);
            frames += written;
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error_text(error).c_str());
    }
    fs::remove(out);
    state.counters["realtime"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
}

int register_exports() {
    const fs::path demos = fs::path(TUNEMILL_SOURCE_DIR) / "data/demos";
    for (const char* demo : {"first-steps.sn2", "night-drive.sn2"})
        for (AudioFileType type :
             {AudioFileType::WAV, AudioFileType::FLAC, AudioFileType::OGG_VORBIS})
            benchmark::RegisterBenchmark(
                (std::string("BM_Export/") + audio_file_extension(type) + "/" + demo).c_str(),
                BM_Export, type, demos / demo)
                ->Unit(benchmark::kMillisecond);
    return 0;
}
const int registered = register_exports();

} // namespace
} // namespace tunemill
