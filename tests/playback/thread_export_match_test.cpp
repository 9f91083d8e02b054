// What the playback thread hands the device must be what the WAV export writes, sample for
// sample, whatever the song, the output format and the block length. Songs are generated from a
// seed: patterns reused in the sequence, tempo curves, volume and balance curves, portamentos,
// looping, one-shot and synthesized instruments, muted voices and stray release marks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "instruments/synthesizer.h"
#include "playback/output_thread.h"
#include "playback/wav.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SongMaker {
  public:
    explicit SongMaker(uint32_t seed) : random_(seed) {}

    void make(Song& song) {
        song.overall_tempo = number(30, 110);
        add_instruments(song);
        const int patterns = number(2, 4);
        for (int p = 0; p < patterns; ++p)
            add_pattern_to(song, p);
        const int entries = number(3, 6);
        for (int e = 0; e < entries; ++e)
            song.sequence.push_back(uint32_t(number(0, patterns - 1)));
        song.sequence.push_back(song.sequence.front()); // a pattern played again
        song.repeat_position = number(0, entries);
    }

  private:
    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(int percent) { return number(0, 99) < percent; }

    void add_instruments(Song& song) {
        // A looping 16-bit sample, a one-shot 8-bit sample, a synthesized sound, and one more of
        // each sampled kind the other way round.
        for (int i = 0; i < 4; ++i) {
            const bool sixteen = i % 2 == 0;
            const bool loops = i == 0 || i == 3;
            const uint32_t length = uint32_t(number(64, 6000));
            const uint32_t loop_start = loops ? uint32_t(number(0, int(length) - 1)) : NO_LOOP;
            const uint32_t rate = uint32_t(number(4000, 48000));
            Instrument instrument =
                make_sampled_instrument("s" + std::to_string(i), NO_CATEGORY, length, loop_start,
                                        rate, sixteen ? 2 : 1, false);
            const int shape = number(0, 2);
            for (uint32_t f = 0; f < length; ++f) {
                int value = shape == 0   ? int(f * 997 % 65536) - 32768    // saw
                            : shape == 1 ? ((f / 23) % 2 ? 30000 : -30000) // square
                                         : number(-32768, 32767);          // noise
                if (sixteen)
                    instrument.samples16()[f] = int16_t(value);
                else
                    instrument.samples[f] = uint8_t((value >> 8) + 128);
            }
            song.instruments.push_back(std::move(instrument));
        }
        SynthParameters sustained = {0, 63, 0, 0, 0xB0, 0x00, 0, 0, 0, 0xB0, 0x00};
        SynthParameters varied = sustained;
        for (uint8_t& byte : varied)
            byte = uint8_t(number(0, 255));
        song.instruments.push_back(make_synthesized_instrument(
            "synth", NO_CATEGORY, valid_synth_parameters(varied) ? varied : sustained, false));
    }

    void add_pattern_to(Song& song, int index) {
        add_pattern(song, "P" + std::to_string(index));
        Pattern& pattern = song.patterns.back();
        // Now and then a pattern of no ticks, which takes no time.
        pattern.length = chance(10) ? 0 : number(3, 12);
        const Tick length = pattern.tick_length();
        if (length == 0) return;
        std::set<Tick> tempo_ticks;
        for (int i = number(0, 3); i > 0; --i)
            tempo_ticks.insert(Tick(number(0, int(length) - 1)));
        for (Tick tick : tempo_ticks)
            pattern.tempo_points.push_back({tick, uint8_t(number(0, 30))});

        for (int v = number(1, 4); v > 0; --v) {
            add_voice(pattern, uint32_t(number(0, int(song.instruments.size()) - 1)));
            Voice& voice = pattern.voices.back();
            voice.muted = chance(10);
            // Two lanes of keys that never meet, so that every note is a well-formed one.
            for (int lane = 0; lane < (chance(50) ? 2 : 1); ++lane)
                add_notes(voice, length, lane * 42);
            for (uint8_t kind : {VOLUME, BALANCE})
                for (int i = number(0, 4); i > 0; --i)
                    insert_event(voice, Tick(number(0, int(length) - 1)), kind,
                                 uint8_t(number(0, 30)));
            if (chance(20))
                insert_event(voice, Tick(number(0, int(length) - 1)), RELEASE_MARK,
                             uint8_t(number(0, 83)));
        }
    }

    void add_notes(Voice& voice, Tick length, int lowest) {
        Tick t = Tick(number(0, 2));
        while (t < length) {
            const uint8_t key = uint8_t(lowest + number(0, 41));
            const Tick end = std::min<Tick>(length, t + Tick(number(1, 6)));
            insert_event(voice, t, NOTE_ON, key);
            uint8_t sounding = key;
            if (end - t >= 2 && chance(40)) {
                const Tick at = t + Tick(number(1, int(end - t) - 1));
                uint8_t to = uint8_t(lowest + number(0, 41));
                if (to == key) to = uint8_t(lowest + (to - lowest + 1) % 42);
                insert_event(voice, at, PORTAMENTO, key, to, uint8_t(number(1, 8)));
                sounding = to;
            }
            // A note left sounding ends with the pattern.
            if (end == length && chance(50)) return;
            insert_event(voice, end, NOTE_OFF, sounding);
            t = end + Tick(number(0, 2));
        }
    }

    std::mt19937 random_;
};

std::vector<uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Played {
    std::vector<uint8_t> bytes;
    uint32_t block_frames = 0;
};

// Plays the song through the playback thread into a null device that consumes far faster than
// real time; its tap captures every byte handed to it, in order.
Played play(Song& song, const PlaybackConfig& config) {
    NullAudioSystem system;
    system.set_speed(40);
    std::mutex mutex;
    Played played;
    system.set_tap([&](const uint8_t* bytes, size_t size) {
        std::lock_guard<std::mutex> hold(mutex);
        played.bytes.insert(played.bytes.end(), bytes, bytes + size);
    });
    PlaybackEngine engine(song);
    OutputThread output(engine, system);
    output.configure(config);
    if (!output.play_song(0)) return played;
    played.block_frames = output.block_frames();
    const auto start = std::chrono::steady_clock::now();
    while (output.is_running() && std::chrono::steady_clock::now() - start < 60s)
        std::this_thread::sleep_for(2ms);
    output.stop(StopMode::NOW);
    std::lock_guard<std::mutex> hold(mutex);
    return played;
}

// A folder of its own for the exports, removed however the test ends.
struct ExportFolder {
    fs::path path = fs::temp_directory_path() / ("tunemill-match-" + std::to_string(::getpid()));
    ExportFolder() { fs::create_directories(path); }
    ~ExportFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

TEST(PlayedAsExported, EverySongFormatAndBlockLengthHandsTheDeviceTheExportedSamples) {
    const ExportFolder folder;
    std::mt19937 settings_random(20261210);
    auto number = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(settings_random);
    };
    uint32_t seed = 1;
    for (int format = 0; format < 8; ++format) {
        for (int round = 0; round < 4; ++round, ++seed) {
            Song song;
            SongMaker(seed).make(song);
            PlaybackConfig config;
            config.stereo = (format & 1) != 0;
            config.sixteen_bit = (format & 2) != 0;
            config.interpolate = (format & 4) != 0;
            config.rate = OUTPUT_RATES[size_t(number(0, int(OUTPUT_RATES.size()) - 1))];
            config.amplification = uint32_t(number(0, 90));
            // The shortest and the longest blocks, then any length between.
            config.buffer_len = round == 0 ? 10 : round == 1 ? 100 : uint32_t(number(11, 99));
            config.buffers = uint32_t(number(1, 10));
            const std::string what =
                "seed " + std::to_string(seed) + ", " + std::to_string(config.rate) + " Hz " +
                (config.stereo ? "stereo " : "mono ") + (config.sixteen_bit ? "16-bit" : "8-bit") +
                (config.interpolate ? " interpolated" : "") + ", blocks of " +
                std::to_string(config.buffer_len) + " ms, " + std::to_string(config.buffers) +
                " queued, amplification " + std::to_string(config.amplification);
            SCOPED_TRACE(what);

            WavExportSettings settings;
            settings.stereo = config.stereo;
            settings.sixteen_bit = config.sixteen_bit;
            settings.interpolate = config.interpolate;
            settings.rate = config.rate;
            settings.amplification = config.amplification;
            const fs::path wav = folder.path / (std::to_string(seed) + ".wav");
            ASSERT_TRUE(export_song_to_wav(song, wav, settings));
            const std::vector<uint8_t> file = read_file(wav);
            ASSERT_GE(file.size(), WAV_HEADER_BYTES);
            const std::vector<uint8_t> exported(file.begin() + WAV_HEADER_BYTES, file.end());

            const Played played = play(song, config);
            const std::vector<uint8_t>& heard = played.bytes;
            const size_t frame_bytes = size_t(config.stereo ? 2 : 1) * (config.sixteen_bit ? 2 : 1);
            ASSERT_GE(heard.size(), exported.size());
            const auto [differs, _] =
                std::mismatch(exported.begin(), exported.end(), heard.begin());
            const size_t first = size_t(differs - exported.begin()) / frame_bytes;
            size_t differing = 0;
            for (size_t f = first; f < exported.size() / frame_bytes; ++f)
                differing += !std::equal(exported.begin() + long(f * frame_bytes),
                                         exported.begin() + long((f + 1) * frame_bytes),
                                         heard.begin() + long(f * frame_bytes));
            EXPECT_EQ(differing, 0u)
                << "of " << exported.size() / frame_bytes << " frames, the first at frame " << first
                << " (block " << first / std::max(1u, played.block_frames) << ")";
            // After the export's end the device hears only silence.
            const uint8_t silence = config.sixteen_bit ? 0 : 128;
            EXPECT_TRUE(std::all_of(heard.begin() + long(exported.size()), heard.end(),
                                    [&](uint8_t b) { return b == silence; }));
        }
    }
}

// Every block of a render into memory, and how often progress was asked.
struct Rendered {
    std::vector<uint8_t> bytes;
    RenderResult result;
};

Rendered render_to_memory(Song& song, const OutputFormat& format, uint32_t threads,
                          int cancel_after = -1) {
    PlaybackEngine engine(song);
    Rendered rendered;
    int asked = 0;
    rendered.result = render_song(
        engine,
        [&](const uint8_t* bytes, size_t count) {
            rendered.bytes.insert(rendered.bytes.end(), bytes, bytes + count);
        },
        0x7FFFFFFF, UINT64_MAX, format,
        [&](uint32_t, uint32_t) { return cancel_after < 0 || asked++ < cancel_after; }, threads);
    return rendered;
}

TEST(MixingThreads, AnyNumberOfThreadsWritesTheBytesOfOne) {
    std::mt19937 random(29);
    for (uint32_t seed = 100; seed < 116; ++seed) {
        Song song;
        SongMaker(seed).make(song);
        OutputFormat format;
        format.stereo = (seed & 1) != 0;
        format.sixteen_bit = (seed & 2) != 0;
        format.interpolate = (seed & 4) != 0;
        format.rate = OUTPUT_RATES[random() % OUTPUT_RATES.size()];
        format.amplification = uint32_t(random() % 91);
        const Rendered one = render_to_memory(song, format, 1);
        ASSERT_FALSE(one.bytes.empty()) << "seed " << seed;
        EXPECT_EQ(one.result.frames * format.bytes_per_frame(), one.bytes.size());
        for (uint32_t threads : {2u, 3u, 8u}) {
            const Rendered many = render_to_memory(song, format, threads);
            EXPECT_EQ(many.result.frames, one.result.frames) << "seed " << seed;
            ASSERT_TRUE(many.bytes == one.bytes)
                << "seed " << seed << " on " << threads << " threads: " << many.bytes.size()
                << " bytes against " << one.bytes.size();
        }
    }
}

TEST(MixingThreads, CancelKeepsWhatWasWrittenAndAFailingSinkStopsTheRender) {
    Song song;
    SongMaker(7).make(song);
    const OutputFormat format;
    const Rendered whole = render_to_memory(song, format, 1);
    for (uint32_t threads : {1u, 3u}) {
        // Cancelled at the third block: the two before it are written, in order.
        const Rendered cancelled = render_to_memory(song, format, threads, 2);
        EXPECT_TRUE(cancelled.result.cancelled);
        const size_t block = WAV_RENDER_BLOCK_BYTES;
        ASSERT_EQ(cancelled.bytes.size(), std::min(2 * block, whole.bytes.size())) << threads;
        EXPECT_TRUE(
            std::equal(cancelled.bytes.begin(), cancelled.bytes.end(), whole.bytes.begin()));

        PlaybackEngine engine(song);
        int blocks = 0;
        EXPECT_THROW(render_song(
                         engine,
                         [&](const uint8_t*, size_t) {
                             if (++blocks == 2) throw std::runtime_error("disk full");
                         },
                         0x7FFFFFFF, UINT64_MAX, format, {}, threads),
                     std::runtime_error)
            << threads;
        EXPECT_EQ(blocks, 2) << "no block is written after the failure";
    }
}

} // namespace
} // namespace tunemill
