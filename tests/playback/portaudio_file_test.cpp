// The real PortAudio path without a sound card: ALSA's default device is pointed at its "file"
// plugin (slave null, format raw) writing into a pipe that this test reads at the pace of a
// sound card. A song played through it must arrive sample for sample as the WAV export renders
// it, apart from the silence before the first block and after the last.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "playback/output_thread.h"
#include "playback/wav.h"

namespace tunemill {
namespace {

using namespace std::chrono_literals;

// ALSA's default device as a raw file in a pipe, read by a thread at bytes_per_second.
class AlsaFileSink {
  public:
    explicit AlsaFileSink(uint32_t bytes_per_second) : rate_(bytes_per_second) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tunemill-alsa-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        const std::filesystem::path pipe = folder_ / "out.raw";
        if (::mkfifo(pipe.c_str(), 0600) != 0) std::abort();
        // Held open for reading and writing, the pipe never reports its end when ALSA closes
        // it between its probes of the device.
        fd_ = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
        std::ofstream config(folder_ / "asound.conf");
        config << "pcm.!default {\n  type file\n  slave.pcm { type null }\n  file \""
               << pipe.string() << "\"\n  format \"raw\"\n}\n";
        config.close();
        ::setenv("ALSA_CONFIG_PATH", (folder_ / "asound.conf").c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        reader_ = std::thread([this] { read(); });
    }
    ~AlsaFileSink() {
        quit_ = true;
        reader_.join();
        ::close(fd_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::vector<uint8_t> bytes() {
        std::lock_guard<std::mutex> hold(mutex_);
        return bytes_;
    }
    // Reads the rest at once (the pipe's buffer), then stops pacing.
    void flush() {
        unpaced_ = true;
        std::this_thread::sleep_for(50ms);
    }

  private:
    void read() {
        const auto start = std::chrono::steady_clock::now();
        std::vector<uint8_t> buffer(65536);
        uint64_t total = 0;
        while (!quit_) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const int64_t allowed =
                unpaced_ ? int64_t(buffer.size()) : int64_t(seconds * rate_) - int64_t(total);
            if (allowed > 0) {
                const ssize_t got =
                    ::read(fd_, buffer.data(), std::min<size_t>(size_t(allowed), buffer.size()));
                if (got > 0) {
                    total += uint64_t(got);
                    std::lock_guard<std::mutex> hold(mutex_);
                    bytes_.insert(bytes_.end(), buffer.begin(), buffer.begin() + got);
                    continue;
                }
            }
            std::this_thread::sleep_for(2ms);
        }
    }

    std::filesystem::path folder_;
    uint32_t rate_;
    int fd_ = -1;
    std::thread reader_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> unpaced_{false};
    std::mutex mutex_;
    std::vector<uint8_t> bytes_;
};

std::vector<int16_t> samples(const std::vector<uint8_t>& bytes, size_t from = 0) {
    std::vector<int16_t> out((bytes.size() - from) / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(bytes[from + 2 * i] | bytes[from + 2 * i + 1] << 8);
    return out;
}

// The sounding stereo frames in order: a device fills silence before the first block, after
// the last and wherever the machine was too slow to keep it fed, so silent frames are left out
// on both sides of the comparison.
std::vector<int16_t> sounding_frames(const std::vector<int16_t>& samples) {
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
        if (samples[i] == 0 && samples[i + 1] == 0) continue;
        out.push_back(samples[i]);
        out.push_back(samples[i + 1]);
    }
    return out;
}

TEST(PortAudioFileDevice, APlayedSongArrivesAsTheWavExportRendersIt) {
#if defined(__SANITIZE_ADDRESS__)
    // ALSA's null device maps a buffer of a quarter gigabyte at every probe, and the address
    // sanitizer poisons each one: the test would take minutes. The plain build runs it.
    GTEST_SKIP() << "too slow under the address sanitizer";
#endif
    AlsaFileSink sink(44100 * 4);
    AudioSystem& system = portaudio_system();
    ASSERT_GE(system.device_count(), 1u) << "PortAudio did not see ALSA's file device";
    const std::vector<OutputDeviceInfo> devices = list_output_devices(system);
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.back().id, DEFAULT_OUTPUT_DEVICE);
    EXPECT_TRUE(devices.back().formats[4] & FORMAT_STEREO_16);

    Song song;
    Instrument ramp = make_sampled_instrument("ramp", NO_CATEGORY, 88200, NO_LOOP, 44100, 2, false);
    for (uint32_t i = 0; i < 88200; ++i)
        ramp.samples16()[i] = int16_t((i * 13) % 20000 + 5);
    song.instruments.push_back(ramp);
    add_pattern(song, "P");
    song.patterns[0].length = 8;
    add_voice(song.patterns[0], 0);
    insert_event(song.patterns[0].voices[0], 0, NOTE_ON, 36);
    insert_event(song.patterns[0].voices[0], 3, NOTE_OFF, 36);
    insert_event(song.patterns[0].voices[0], 3, NOTE_ON, 43);
    insert_event(song.patterns[0].voices[0], 6, NOTE_OFF, 43);
    song.sequence = {0};

    PlaybackEngine engine(song);
    OutputThread output(engine, system);
    PlaybackConfig config;
    config.device = DEFAULT_OUTPUT_DEVICE;
    output.configure(config);
    ASSERT_TRUE(output.play_song(0));
    const auto start = std::chrono::steady_clock::now();
    while (output.is_running() && std::chrono::steady_clock::now() - start < 10s)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(output.is_running());
    output.stop(StopMode::NOW);
    sink.flush();

    const std::filesystem::path wav = std::filesystem::temp_directory_path() /
                                      ("tunemill-render-" + std::to_string(::getpid()) + ".wav");
    ASSERT_TRUE(export_song_to_wav(song, wav, WavExportSettings{}));
    std::ifstream in(wav, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    std::filesystem::remove(wav);
    ASSERT_GT(file.size(), WAV_HEADER_BYTES);

    const std::vector<int16_t> rendered = sounding_frames(samples(file, WAV_HEADER_BYTES));
    const std::vector<int16_t> played = sounding_frames(samples(sink.bytes()));
    EXPECT_GT(rendered.size(), 44100u) << "three quarters of a second of sound, stereo";
    ASSERT_EQ(played.size(), rendered.size()) << "the device file holds other sound than the song";
    size_t differences = 0;
    for (size_t i = 0; i < rendered.size(); ++i)
        differences += played[i] != rendered[i];
    EXPECT_EQ(differences, 0u) << "of " << rendered.size() << " samples";
}

} // namespace
} // namespace tunemill
