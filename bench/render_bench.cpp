// Rendering whole songs as the WAV export does (44100 Hz, 16-bit stereo, interpolating), import
// included: the demo songs and the tracker modules of the shared test set (or of the folder
// TUNEMILL_MODULES names). The counter "realtime" is seconds of audio per second of rendering; a
// song that renders no sound is an error, not 0x real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "loading/song_loader.h"
#include "playback/wav.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

// Through the loader, as tmw-cli render reads its input; the bank is opened once, as a program
// run opens it.
void load(const fs::path& path, Song& song) {
    static InstrumentBank bank(fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
    song = read_any_song(path, [&](const std::string& name) { return bank.load(name); });
}

void BM_Render(benchmark::State& state, fs::path path) {
    uint64_t frames = 0;
    try {
        for (auto _ : state) {
            Song song;
            load(path, song);
            PlaybackEngine engine(song);
            File out = File::open_for_writing("/dev/null");
            OutputFormat format; // 44100 Hz, 16-bit stereo, interpolating, amplification 25
            frames += render_song_to_file(engine, out, 0x7FFFFFFF, format, {}).frames;
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error_text(error).c_str());
        return;
    }
    // A song that renders nothing measures nothing: say so instead of reporting 0x real time.
    if (frames == 0) {
        state.SkipWithError("the song renders no sound");
        return;
    }
    state.counters["realtime"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
}

int register_files() {
    const fs::path source = TUNEMILL_SOURCE_DIR;
    std::vector<fs::path> files = {source / "data/demos/first-steps.sn2",
                                   source / "data/demos/night-drive.sn2"};
    // The shared set beside the checkout, or the folder TUNEMILL_MODULES names.
    const char* named = std::getenv("TUNEMILL_MODULES");
    const fs::path modules = named ? fs::path(named) : source.parent_path() / "shared/modules";
    if (fs::is_directory(modules))
        for (const auto& entry : fs::directory_iterator(modules)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".mod" || ext == ".s3m") files.push_back(entry.path());
        }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files)
        benchmark::RegisterBenchmark(("BM_Render/" + file.filename().string()).c_str(), BM_Render,
                                     file)
            ->Unit(benchmark::kMillisecond);
    return 0;
}
const int registered = register_files();

} // namespace
} // namespace tunemill
