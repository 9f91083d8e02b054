// WAV rendering: headers, lengths, the trimming of the last block, progress, cancellation and
// failures that leave no file, and the instrument export.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

#include "foundation/errors.h"
#include "playback/wav.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
uint32_t u16(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
}

struct WavFixture : ::testing::Test {
    fs::path dir;
    Song song;

    WavFixture() {
        dir = fs::temp_directory_path() /
              ("tunemill-wav-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        Instrument instrument =
            make_sampled_instrument("tone", NO_CATEGORY, 40000, 20000, 8000, 2, false);
        for (uint32_t i = 0; i < instrument.length; ++i)
            instrument.samples16()[i] = int16_t(1 + i % 5000);
        song.instruments.push_back(std::move(instrument));
    }
    ~WavFixture() override { fs::remove_all(dir); }

    // One pattern of `ticks` ticks with a note over all of it.
    void song_of(int32_t ticks) {
        add_pattern(song, "A");
        song.patterns[0].length = ticks;
        add_voice(song.patterns[0], 0);
        insert_event(song.patterns[0].voices[0], 0, NOTE_ON, 36);
        insert_event(song.patterns[0].voices[0], Tick(ticks), NOTE_OFF, 36);
        song.sequence = {0};
    }

    std::vector<fs::path> files() const {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(dir))
            out.push_back(entry.path().filename());
        return out;
    }
};

void expect_header(const std::vector<uint8_t>& b, uint32_t channels, uint32_t rate, uint32_t bits) {
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(b, 16), 16u);
    EXPECT_EQ(u16(b, 20), 1u);
    EXPECT_EQ(u16(b, 22), channels);
    EXPECT_EQ(u32(b, 24), rate);
    EXPECT_EQ(u32(b, 28), rate * channels * bits / 8);
    EXPECT_EQ(u16(b, 32), channels * bits / 8);
    EXPECT_EQ(u16(b, 34), bits);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(u32(b, 40), b.size() - 44); // the data length is what was written
}

TEST(WavHeader, EightBitMono11025) {
    const auto h = wav_header(1000, 11025, false, false);
    std::vector<uint8_t> b(h.begin(), h.end());
    EXPECT_EQ(u32(b, 28), 11025u); // bytes per second
    EXPECT_EQ(u16(b, 32), 1u);     // block alignment
    EXPECT_EQ(u16(b, 34), 8u);
    EXPECT_EQ(u32(b, 40), 1000u);
    EXPECT_EQ(u32(b, 4), 1036u);
    const auto s = wav_header(1000, 44100, true, true);
    b.assign(s.begin(), s.end());
    EXPECT_EQ(u32(b, 28), 44100u * 4);
    EXPECT_EQ(u32(b, 40), 4000u);
}

TEST(WavExport, RateIsLimitedLikeTheExportDialog) {
    EXPECT_EQ(limit_export_rate(2000), 4000u);
    EXPECT_EQ(limit_export_rate(100000), 65535u);
    EXPECT_EQ(limit_export_rate(22050), 22050u);
}

TEST_F(WavFixture, EmptySequenceWritesAHeaderOnly) {
    add_pattern(song, "A");
    song.sequence.clear();
    ASSERT_TRUE(export_song_to_wav(song, dir / "empty.wav", {}));
    const std::vector<uint8_t> b = read_all(dir / "empty.wav");
    EXPECT_EQ(b.size(), 44u);
    expect_header(b, 2, 44100, 16);
}

TEST_F(WavFixture, SongLengthsAndTrimmedLastBlockInEveryFormat) {
    song_of(10); // 10 ticks of 125 ms
    for (bool stereo : {false, true})
        for (bool sixteen : {false, true}) {
            WavExportSettings settings;
            settings.rate = 8000; // 1000 frames per tick
            settings.stereo = stereo;
            settings.sixteen_bit = sixteen;
            settings.amplification = 70;
            settings.interpolate = false;
            const fs::path path = dir / "song.wav";
            ASSERT_TRUE(export_song_to_wav(song, path, settings));
            const std::vector<uint8_t> b = read_all(path);
            expect_header(b, stereo ? 2 : 1, 8000, sixteen ? 16 : 8);
            // The note sounds up to the last tick; the silence after it in the last block is
            // dropped (a 32 KB block holds fewer frames than the song, so two blocks were written).
            const uint32_t frame_bytes = (stereo ? 2 : 1) * (sixteen ? 2 : 1);
            EXPECT_EQ(u32(b, 40) / frame_bytes, 10000u) << stereo << sixteen;
            // The first frame: the note's first sample (1) at unity gain.
            if (sixteen)
                EXPECT_EQ(int16_t(u16(b, 44)), 1);
            else
                EXPECT_EQ(b[44], 128); // 1 / 256 rounds to the zero level
        }
}

TEST_F(WavFixture, SilenceRingingPastTheEndIsTrimmedToTheLastSound) {
    song_of(4);
    // The note ends at tick 2; ticks 2 and 3 are silent.
    song.patterns[0].voices[0].events.back().tick = 2;
    WavExportSettings settings;
    settings.rate = 8000;
    ASSERT_TRUE(export_song_to_wav(song, dir / "short.wav", settings));
    const std::vector<uint8_t> b = read_all(dir / "short.wav");
    expect_header(b, 2, 8000, 16);
    EXPECT_EQ(u32(b, 40) / 4, 2000u);
}

TEST_F(WavFixture, ProgressCountsUpToItsMaximum) {
    song_of(10);
    WavExportSettings settings;
    settings.rate = 8000;
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    ASSERT_TRUE(
        export_song_to_wav(song, dir / "p.wav", settings, [&](uint32_t current, uint32_t maximum) {
            calls.emplace_back(current, maximum);
            return true;
        }));
    ASSERT_EQ(calls.size(), 3u); // two blocks and the final report
    EXPECT_EQ(calls[0], std::make_pair(0u, 10000u));
    EXPECT_EQ(calls[1], std::make_pair(8192u, 10000u));
    EXPECT_EQ(calls[2], std::make_pair(10000u, 10000u));
}

TEST_F(WavFixture, CancelLeavesNoFileAndKeepsAnOldOne) {
    song_of(40);
    WavExportSettings settings;
    settings.rate = 8000;
    int calls = 0;
    auto cancel_second = [&](uint32_t, uint32_t) { return ++calls < 2; };
    EXPECT_FALSE(export_song_to_wav(song, dir / "c.wav", settings, cancel_second));
    EXPECT_TRUE(files().empty());

    {
        std::ofstream old(dir / "old.wav");
        old << "keep me";
    }
    calls = 0;
    EXPECT_FALSE(export_song_to_wav(song, dir / "old.wav", settings, cancel_second));
    EXPECT_EQ(files(), std::vector<fs::path>{"old.wav"});
    EXPECT_EQ(read_all(dir / "old.wav").size(), 7u);
}

TEST_F(WavFixture, FailureThrowsAndLeavesNoFile) {
    song_of(4);
    EXPECT_THROW(export_song_to_wav(song, dir / "missing" / "x.wav", {}), FILE_ERROR);
    EXPECT_TRUE(files().empty());
}

TEST_F(WavFixture, InstrumentExportWritesTheSampleUnchanged) {
    Instrument eight = make_sampled_instrument("eight", NO_CATEGORY, 300, NO_LOOP, 11025, 1, false);
    for (uint32_t i = 0; i < 300; ++i)
        eight.samples[i] = uint8_t(i * 7);
    export_instrument_to_wav(eight, dir / "eight.wav");
    std::vector<uint8_t> b = read_all(dir / "eight.wav");
    expect_header(b, 1, 11025, 8);
    EXPECT_TRUE(std::equal(b.begin() + 44, b.end(), eight.samples.begin()));
    EXPECT_EQ(b.size(), 344u);

    export_instrument_to_wav(song.instruments[0], dir / "sixteen.wav");
    b = read_all(dir / "sixteen.wav");
    expect_header(b, 1, 8000, 16);
    EXPECT_EQ(b.size(), 44u + 80000u);
    EXPECT_EQ(int16_t(u16(b, 44 + 2 * 4999)), 5000);
}

} // namespace
} // namespace tunemill
