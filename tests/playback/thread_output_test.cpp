// The playback thread on null devices: block geometry, the format match, a song played exactly as
// an offline engine renders it, the lead of songs and previews, the three stop modes and draining,
// one end report for every receiver, configure while playing, the device errors and the recovery
// when a device stops returning its blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/errors.h"
#include "playback/output_thread.h"

namespace tunemill {
namespace {

using namespace std::chrono_literals;

TEST(OutputGeometry, BlocksAreTheExactLengthRoundedUpToSixteenFrames) {
    EXPECT_EQ(frames_per_block(20, 44100), 896u);
    EXPECT_EQ(frames_per_block(10, 11025), 112u);
    EXPECT_EQ(frames_per_block(100, 48000), 4800u);
    EXPECT_EQ(frames_per_block(10, 16000), 160u);
    EXPECT_EQ(output_block_count(1), 32u);
    EXPECT_EQ(output_block_count(4), 32u);
    EXPECT_EQ(output_block_count(6), 34u);
    EXPECT_EQ(output_block_count(10), 46u);
}

OutputDeviceInfo device(uint32_t id, std::array<uint8_t, 6> formats) {
    return {id, "device", formats};
}

TEST(FormatMatch, AdaptsTheSettingsToWhatTheDevicePlays) {
    const PlaybackConfig wanted; // 44100 Hz, 16-bit stereo
    struct Case {
        const char* what;
        PlaybackConfig config;
        std::vector<OutputDeviceInfo> devices;
        uint32_t device, rate;
        bool sixteen_bit, stereo;
    };
    PlaybackConfig at_48000 = wanted;
    at_48000.rate = 48000;
    PlaybackConfig mono_8 = wanted;
    mono_8.stereo = false;
    mono_8.sixteen_bit = false;
    PlaybackConfig on_device_1 = wanted;
    on_device_1.device = 1;
    PlaybackConfig on_default = wanted;
    on_default.device = DEFAULT_OUTPUT_DEVICE;
    PlaybackConfig at_16000 = wanted;
    at_16000.rate = 16000;
    const std::array<uint8_t, 6> up_to_44100 = {15, 15, 15, 15, 15, 0};
    const std::array<uint8_t, 6> only_16_stereo = {4, 4, 4, 4, 4, 4};
    const std::array<uint8_t, 6> only_8_mono = {2, 2, 2, 2, 2, 2};
    const std::array<uint8_t, 6> all = {15, 15, 15, 15, 15, 15};
    const std::array<uint8_t, 6> sixteen_both = {12, 12, 12, 12, 12, 12};
    const std::vector<Case> cases = {
        {"48000 Hz on a device up to 44100 Hz",
         at_48000,
         {device(0, up_to_44100)},
         0,
         44100,
         true,
         true},
        {"only 16-bit stereo", mono_8, {device(0, only_16_stereo)}, 0, 44100, true, true},
        {"only 8-bit mono", wanted, {device(0, only_8_mono)}, 0, 44100, false, false},
        {"16-bit either way keeps mono", mono_8, {device(0, sixteen_both)}, 0, 44100, true, false},
        {"everything: as configured", mono_8, {device(0, all)}, 0, 44100, false, false},
        {"the configured device",
         on_device_1,
         {device(0, all), device(1, only_8_mono)},
         1,
         44100,
         false,
         false},
        {"an unknown device: the first",
         on_device_1,
         {device(0, only_16_stereo)},
         0,
         44100,
         true,
         true},
        {"the default device",
         on_default,
         {device(0, all), device(DEFAULT_OUTPUT_DEVICE, only_8_mono)},
         DEFAULT_OUTPUT_DEVICE,
         44100,
         false,
         false},
        {"a missing rate: the highest",
         at_16000,
         {device(0, {15, 0, 15, 15, 15, 15})},
         0,
         48000,
         true,
         true},
        {"no device at all", wanted, {}, DEFAULT_OUTPUT_DEVICE, 44100, true, true},
        {"a device without formats",
         at_16000,
         {device(0, {0, 0, 0, 0, 0, 0})},
         0,
         16000,
         true,
         true},
    };
    for (const Case& c : cases) {
        const PlaybackConfig matched = match_format(c.config, c.devices);
        EXPECT_EQ(matched.device, c.device) << c.what;
        EXPECT_EQ(matched.rate, c.rate) << c.what;
        EXPECT_EQ(matched.sixteen_bit, c.sixteen_bit) << c.what;
        EXPECT_EQ(matched.stereo, c.stereo) << c.what;
    }
}

// Every report a receiver got, safe across threads.
class Receiver : public PositionReceiver {
  public:
    void playback_position(uint32_t pattern_word, int32_t tick) override {
        std::lock_guard<std::mutex> hold(mutex_);
        reports_.push_back({pattern_word, tick});
    }
    std::vector<std::pair<uint32_t, int32_t>> reports() {
        std::lock_guard<std::mutex> hold(mutex_);
        return reports_;
    }
    size_t ends() {
        size_t count = 0;
        for (const auto& report : reports())
            count += (report.first & REPORT_LAST) != 0;
        return count;
    }

  private:
    std::mutex mutex_;
    std::vector<std::pair<uint32_t, int32_t>> reports_;
};

// A song of one 8-tick pattern (one second at the default tempo) whose voice plays a ramp, so
// the output shows every frame's place.
struct Player : ::testing::Test {
    Song song;
    PlaybackEngine engine{song};
    NullAudioSystem system;
    std::mutex heard_mutex;
    std::vector<uint8_t> heard;

    explicit Player(std::vector<NullDeviceOptions> devices = {NullDeviceOptions{}})
        : system(std::move(devices)) {
        Instrument ramp =
            make_sampled_instrument("ramp", NO_CATEGORY, 88200, NO_LOOP, 44100, 2, false);
        for (uint32_t i = 0; i < 88200; ++i)
            ramp.samples16()[i] = int16_t((i * 7) % 30000 + 1);
        song.instruments.push_back(ramp);
        add_pattern(song, "P");
        song.patterns[0].length = 8;
        add_voice(song.patterns[0], 0);
        insert_event(song.patterns[0].voices[0], 0, NOTE_ON, 36);
        insert_event(song.patterns[0].voices[0], 6, NOTE_OFF, 36);
        song.sequence = {0};
        system.set_tap([this](const uint8_t* bytes, size_t size) {
            std::lock_guard<std::mutex> hold(heard_mutex);
            heard.insert(heard.end(), bytes, bytes + size);
        });
    }

    static bool wait_until(const std::function<bool()>& done,
                           std::chrono::milliseconds limit = 10s) {
        const auto start = std::chrono::steady_clock::now();
        while (!done()) {
            if (std::chrono::steady_clock::now() - start > limit) return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    // What an engine of its own renders for the song, block by block as the thread asks for
    // them (the pre-roll first), until render says stop.
    std::vector<uint8_t> offline(const PlaybackConfig& config) {
        PlaybackEngine reference(song);
        OutputFormat format;
        format.rate = config.rate;
        format.amplification = config.amplification;
        reference.set_format(format);
        reference.set_buffers(config.buffers);
        EXPECT_TRUE(reference.start_song(0));
        const uint32_t block = frames_per_block(config.buffer_len, config.rate);
        std::vector<uint8_t> out;
        std::vector<uint8_t> buffer(size_t(block) * config.buffers * 4);
        uint32_t frames = block * config.buffers;
        while (reference.render_block(buffer.data(), frames)) {
            out.insert(out.end(), buffer.begin(), buffer.begin() + frames * 4);
            frames = block;
        }
        return out;
    }
};

TEST_F(Player, PlaysTheSongExactlyAsRenderedWithTheLeadAndOneEndReportForEveryReceiver) {
    system.set_speed(8); // the silence after the song lasts five seconds of song time
    OutputThread output(engine, system);
    Receiver first, second;
    output.register_receiver(&first);
    output.register_receiver(&second);
    ASSERT_TRUE(output.play_song(0));
    EXPECT_TRUE(output.is_running());
    EXPECT_EQ(output.block_frames(), 896u);
    EXPECT_EQ(output.preroll_frames(), 4u * 896);
    EXPECT_EQ(output.block_count(), 32u);

    ASSERT_TRUE(wait_until([&] { return !output.is_running(); }));
    // The lead: twelve blocks ahead (one more while the next is written), never many more.
    EXPECT_GE(output.most_queued(), 12u);
    EXPECT_LE(output.most_queued(), 14u);

    for (Receiver* receiver : {&first, &second}) {
        const auto reports = receiver->reports();
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(receiver->ends(), 1u) << "the end reaches every receiver exactly once";
        EXPECT_EQ(reports.back().first, REPORT_LAST) << "pattern 0 with the end bit";
        ASSERT_TRUE(engine.newest_report());
        EXPECT_EQ(reports.back().second, engine.newest_report()->tick) << "drained: with its tick";
        EXPECT_GE(reports.back().second, 7);
        for (size_t i = 1; i < reports.size(); ++i)
            EXPECT_LE(reports[i - 1].second, reports[i].second);
    }
    std::lock_guard<std::mutex> hold(heard_mutex);
    const std::vector<uint8_t> expected = offline(output.config());
    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_TRUE(heard == expected) << "the device played other samples than the engine renders";
}

TEST_F(Player, PreviewsPlayWithTheLowLatencyLeadAndEndByThemselves) {
    system.set_speed(8);
    OutputThread output(engine, system);
    Receiver receiver;
    output.register_receiver(&receiver);
    const uint32_t handle = output.start_preview_note(0, 36, 31, 15, 0);
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(output.is_running());
    std::this_thread::sleep_for(50ms);
    const uint32_t second = output.start_preview_note(0, 40, 31, 15, 0);
    EXPECT_NE(second, handle);
    EXPECT_EQ(system.open_count(), 1u) << "a running engine takes the note without reopening";
    output.release_preview_note(handle);
    output.release_preview_note(second);
    ASSERT_TRUE(wait_until([&] { return !output.is_running(); }));
    EXPECT_GE(output.most_queued(), 4u);
    EXPECT_LE(output.most_queued(), 6u);
    EXPECT_EQ(receiver.ends(), 0u) << "a preview has no song position to end";
}

TEST_F(Player, StopNowEndsAtOnceWithOneEndReportWithoutAPosition) {
    song.patterns[0].length = 400; // fifty seconds
    OutputThread output(engine, system);
    Receiver receiver;
    output.register_receiver(&receiver);
    ASSERT_TRUE(output.play_song(0));
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    output.stop(StopMode::NOW);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(output.is_running());
    EXPECT_FALSE(engine.running());
    EXPECT_EQ(receiver.ends(), 1u);
    EXPECT_EQ(receiver.reports().back(), (std::pair<uint32_t, int32_t>{REPORT_LAST, -1}));
    // Stopping again returns at once and reports nothing more.
    const auto again = std::chrono::steady_clock::now();
    output.stop(StopMode::NOW);
    output.stop(StopMode::DRAIN);
    EXPECT_LT(std::chrono::steady_clock::now() - again, 50ms);
    EXPECT_EQ(receiver.ends(), 1u);
}

// Stop block if owned: a window stops only the block or recording playback it
// started; another window's, or a pattern playback, plays on.
TEST_F(Player, ABlockOrRecordingStopsOnlyForTheWindowThatStartedIt) {
    song.patterns[0].length = 400;
    OutputThread output(engine, system);
    int first_window = 0, second_window = 0;
    ASSERT_TRUE(output.play_block(0, 0, 200, 0, true, &first_window));
    EXPECT_EQ(engine.owner(), &first_window);
    EXPECT_FALSE(output.stop_block_if_owned(&second_window));
    EXPECT_FALSE(output.stop_recording_if_owned(&first_window))
        << "a block playback is no recording";
    EXPECT_TRUE(output.is_running());
    EXPECT_TRUE(output.stop_block_if_owned(&first_window));
    EXPECT_FALSE(output.is_running());

    ASSERT_TRUE(output.play_recording(0, 0, 400, 0, false, true, &second_window));
    EXPECT_TRUE(engine.recording());
    EXPECT_FALSE(output.stop_block_if_owned(&second_window))
        << "a voice recording plays in pattern mode";
    EXPECT_FALSE(output.stop_recording_if_owned(&first_window));
    EXPECT_TRUE(output.stop_recording_if_owned(&second_window));
    EXPECT_FALSE(output.is_running());

    // Every start forgets the owner: a pattern playback belongs to no window.
    ASSERT_TRUE(output.play_block(0, 0, 200, 0, true, &first_window));
    ASSERT_TRUE(output.play_pattern(0));
    EXPECT_EQ(engine.owner(), nullptr);
    EXPECT_FALSE(output.stop_block_if_owned(&first_window));
    EXPECT_TRUE(output.is_running());
    output.stop(StopMode::NOW);
}

TEST_F(Player, StopDrainPlaysEverythingQueuedAndRequestReturnsAtOnce) {
    song.patterns[0].length = 400;
    OutputThread output(engine, system);
    ASSERT_TRUE(output.play_song(0));
    std::this_thread::sleep_for(100ms);
    output.stop(StopMode::DRAIN);
    EXPECT_FALSE(output.is_running());
    {
        // Every frame handed to the device was played: what was heard is whole blocks.
        std::lock_guard<std::mutex> hold(heard_mutex);
        EXPECT_EQ(heard.size() % (896 * 4), 0u);
        EXPECT_GE(heard.size(), (4u + 12u) * 896 * 4);
    }

    ASSERT_TRUE(output.play_song(0));
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    output.stop(StopMode::REQUEST);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5ms);
    EXPECT_TRUE(wait_until([&] { return !output.is_running(); }, 3s));
}

TEST_F(Player, ConfiguringOnlyTheAmplificationKeepsPlaying) {
    song.patterns[0].length = 400;
    OutputThread output(engine, system);
    ASSERT_TRUE(output.play_song(0));
    std::this_thread::sleep_for(50ms);
    PlaybackConfig louder = output.config();
    louder.amplification = 70;
    output.configure(louder);
    EXPECT_TRUE(output.is_running());
    EXPECT_EQ(system.open_count(), 1u);
    EXPECT_EQ(output.config().amplification, 70u);

    // Another block length reopens the device and plays on from where it was.
    PlaybackConfig longer = louder;
    longer.buffer_len = 40;
    output.configure(longer);
    EXPECT_TRUE(output.is_running());
    EXPECT_EQ(system.open_count(), 2u);
    EXPECT_EQ(output.block_frames(), 1776u);
    output.stop(StopMode::NOW);
    EXPECT_EQ(engine.format().amplification, 70u);
}

TEST_F(Player, AFormatTheDeviceLacksIsMatchedBeforeOpening) {
    OutputThread output(engine, system);
    PlaybackConfig odd = output.config();
    odd.rate = 12345; // not a rate of the list: the default rate
    odd.buffers = 40; // limited to 10
    output.configure(odd);
    EXPECT_EQ(output.config().rate, 44100u);
    EXPECT_EQ(output.config().buffers, 10u);
    ASSERT_TRUE(output.play_song(0));
    EXPECT_EQ(output.block_count(), 46u);
    output.stop(StopMode::NOW);
}

TEST_F(Player, AnIndexPastTheSequenceOrAVoiceWithoutNotesPlaysNothing) {
    OutputThread output(engine, system);
    EXPECT_FALSE(output.play_song(1));
    add_voice(song.patterns[0], 0);
    EXPECT_FALSE(output.play_voice(0, 1));
    EXPECT_FALSE(output.is_running());
    EXPECT_EQ(system.open_count(), 1u) << "play voice opened and closed the device again";
}

TEST_F(Player, UnregisteredReceiversHearNothingMore) {
    OutputThread output(engine, system);
    Receiver receiver;
    output.register_receiver(&receiver);
    output.register_receiver(&receiver);
    output.unregister_receiver(&receiver); // removes every entry
    ASSERT_TRUE(output.play_song(0));
    output.stop(StopMode::NOW);
    EXPECT_TRUE(receiver.reports().empty());
}

struct NoDevice : Player {
    NoDevice() : Player(std::vector<NullDeviceOptions>{}) {}
};

TEST_F(NoDevice, PlayingSaysNoOutputDevicesInstalled) {
    OutputThread output(engine, system);
    try {
        output.play_song(0);
        FAIL() << "played without a device";
    } catch (const PLAYBACK_ERROR& error) {
        EXPECT_EQ(error.compose_message(), "No output devices installed");
    }
    EXPECT_EQ(output.effective().device, DEFAULT_OUTPUT_DEVICE);
    EXPECT_FALSE(output.is_running());
    EXPECT_FALSE(engine.running());
}

NullDeviceOptions busy_device() {
    NullDeviceOptions busy;
    busy.open_result = WAVE_ALLOCATED;
    return busy;
}
struct BusyDevice : Player {
    BusyDevice() : Player({busy_device()}) {}
};

TEST_F(BusyDevice, PlayingSaysTheDeviceIsInUse) {
    OutputThread output(engine, system);
    try {
        output.start_preview_note(0, 36, 31, 15, 0);
        FAIL() << "played on a busy device";
    } catch (const PLAYBACK_ERROR& error) {
        EXPECT_EQ(error.code(), 4);
        EXPECT_EQ(error.compose_message(), "Output device is already in use by other application");
    }
    EXPECT_FALSE(output.is_running());
}

NullDeviceOptions holding_device() {
    NullDeviceOptions holding;
    holding.holds_blocks = true;
    return holding;
}
struct StalledDevice : Player {
    StalledDevice() : Player({holding_device()}) {}
};

TEST_F(StalledDevice, ADeviceThatKeepsItsBlocksIsRestartedUntilStopped) {
    song.patterns[0].length = 400;
    // This device plays but gives its blocks back only when reset: the thread runs out of free
    // blocks, restarts the device and plays on, again and again, until it is stopped.
    ThreadTimings timings;
    timings.recovery_limit_ms = 200;
    OutputThread output(engine, system, timings);
    Receiver receiver;
    output.register_receiver(&receiver);
    ASSERT_TRUE(output.play_song(0));
    ASSERT_TRUE(wait_until([&] { return output.recoveries() >= 2; }, 3s))
        << output.recoveries() << " queued " << output.queued() << " position "
        << output.play_position() << " running " << output.is_running();
    output.stop(StopMode::NOW);
    EXPECT_FALSE(output.is_running());
    EXPECT_EQ(receiver.ends(), 1u);
}

} // namespace
} // namespace tunemill
