// The demo songs as playback material: each loads with the stock bank, is a valid song of at
// least 30 seconds, is what its description builds, and renders to a WAV file of the song's
// length that is neither silent nor clipped throughout.
#include <gtest/gtest.h>

// Built once the song file reader is part of the build.
#if __has_include("storage/song_file.h")

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "foundation/file.h"
#include "instruments/bank.h"
#include "playback/wav.h"
#include "song/timing.h"
#include "storage/song_file.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

const fs::path SOURCE = TUNEMILL_SOURCE_DIR;
const fs::path BIN = TUNEMILL_BIN_DIR;

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Demo : public ::testing::TestWithParam<const char*> {};

TEST_P(Demo, LoadsPlaysAndMatchesItsDescription) {
    const fs::path song_file = SOURCE / "data/demos" / (std::string(GetParam()) + ".sn2");
    if (!fs::exists(BIN / "tmill.bnk")) GTEST_SKIP() << "the stock bank is not built";
    InstrumentBank bank(BIN / "tmill.bnk");
    Song song;
    File file = File::open_for_reading(song_file);
    ASSERT_TRUE(read_song(file, song, [&](const std::string& name) { return bank.load(name); }));
    ASSERT_TRUE(validate(song));
    EXPECT_GE(song_length(song), 30000u);
    EXPECT_GE(song.sequence.size(), 4u);
    for (const Instrument& instrument : song.instruments)
        EXPECT_TRUE(instrument.from_bank) << instrument.name;

    const fs::path dir = fs::temp_directory_path() / ("tunemill-demo-" + std::to_string(getpid()));
    fs::create_directories(dir);
    if (fs::exists(BIN / "demo_gen")) {
        // The checked-in song file is what its description builds.
        const std::string command =
            (BIN / "demo_gen").string() + " " +
            (SOURCE / "data/demos" / (std::string(GetParam()) + ".txt")).string() + " " +
            (BIN / "tmill.bnk").string() + " " + (dir / "rebuilt.sn2").string() + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(read_all(dir / "rebuilt.sn2"), read_all(song_file));
    }

    WavExportSettings settings;
    settings.rate = 22050;
    ASSERT_TRUE(export_song_to_wav(song, dir / "demo.wav", settings));
    const std::vector<uint8_t> wav = read_all(dir / "demo.wav");
    fs::remove_all(dir);
    const size_t frames = (wav.size() - WAV_HEADER_BYTES) / 4;
    PlaybackEngine engine(song);
    OutputFormat format;
    format.rate = 22050;
    engine.set_format(format);
    EXPECT_LE(frames, engine.song_frames());
    EXPECT_GT(frames,
              engine.song_frames() - 8192); // at most the silent end of the last block is gone
    size_t loud = 0, clipped = 0;
    for (size_t i = WAV_HEADER_BYTES; i + 1 < wav.size(); i += 2) {
        const int16_t sample = int16_t(wav[i] | wav[i + 1] << 8);
        loud += std::abs(sample) > 1000;
        clipped += sample == 32767 || sample == -32768;
    }
    EXPECT_GT(loud, frames / 4);       // music most of the time
    EXPECT_LT(clipped, frames / 1000); // and hardly ever at the limits
}

INSTANTIATE_TEST_SUITE_P(DemoSongs, Demo, ::testing::Values("first-steps", "night-drive"));

} // namespace
} // namespace tunemill

#endif
