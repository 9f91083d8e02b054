// The block stream every device runs, the null devices paced by the clock, and the device list
// with its per-rate format bytes.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/audio_device.h"

namespace tunemill {
namespace {

using namespace std::chrono_literals;

// Counts returned blocks and remembers their order. Blocks come back from one thread at a time
// (the device's, or the caller of a drain), in the audio callback: so without locking or
// allocating, and readable from any thread.
class RecordingClient : public WaveOutClient {
  public:
    void block_done(const WaveBlock& block) noexcept override {
        const size_t at = count_.load(std::memory_order_relaxed);
        if (at == CAPACITY) return;
        returned_[at].store(block.tag, std::memory_order_relaxed);
        count_.store(at + 1, std::memory_order_release);
    }
    std::vector<uint32_t> returned() {
        const size_t count = count_.load(std::memory_order_acquire);
        std::vector<uint32_t> tags;
        for (size_t i = 0; i < count; ++i)
            tags.push_back(returned_[i].load(std::memory_order_relaxed));
        return tags;
    }

  private:
    static constexpr size_t CAPACITY = 1024;
    std::array<std::atomic<uint32_t>, CAPACITY> returned_{};
    std::atomic<size_t> count_{0};
};

// Blocks of 16-bit stereo frames whose samples count up from a start value.
struct Blocks {
    std::vector<std::vector<int16_t>> data;
    std::vector<WaveBlock> blocks;
    Blocks(size_t count, uint32_t frames) {
        data.resize(count);
        blocks.resize(count);
        int16_t value = 1;
        for (size_t i = 0; i < count; ++i) {
            data[i].resize(size_t(frames) * 2);
            for (int16_t& sample : data[i])
                sample = value++;
            blocks[i] = {reinterpret_cast<const uint8_t*>(data[i].data()), frames * 4, uint32_t(i)};
        }
    }
};

TEST(BlockStream, CopiesBlocksInOrderAcrossBoundariesAndPadsWithSilence) {
    RecordingClient client;
    BlockStream stream(WaveFormat{44100, 2, 16}, client);
    Blocks blocks(3, 5);
    for (const WaveBlock& block : blocks.blocks)
        ASSERT_EQ(stream.write(&block), WAVE_OK);

    std::vector<int16_t> out(8 * 2, -1);
    EXPECT_EQ(stream.pull(reinterpret_cast<uint8_t*>(out.data()), 8), 8u);
    EXPECT_EQ(client.returned(), std::vector<uint32_t>{0}); // the second block is half played
    EXPECT_EQ(stream.position(), 8u);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(out[i], int16_t(i + 1));

    std::vector<int16_t> rest(10 * 2, -1);
    EXPECT_EQ(stream.pull(reinterpret_cast<uint8_t*>(rest.data()), 10), 7u);
    EXPECT_EQ(client.returned(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(stream.position(), 15u);
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(rest[i], int16_t(17 + i));
    for (size_t i = 14; i < rest.size(); ++i)
        EXPECT_EQ(rest[i], 0) << "silence after the last block";
    EXPECT_TRUE(stream.idle());

    // Underruns do not move the position: it counts written sound only.
    EXPECT_EQ(stream.pull(nullptr, 100), 0u);
    EXPECT_EQ(stream.position(), 15u);
}

TEST(BlockStream, EightBitSilenceIsTheMidLevel) {
    RecordingClient client;
    BlockStream stream(WaveFormat{11025, 1, 8}, client);
    std::vector<uint8_t> out(4, 0);
    EXPECT_EQ(stream.pull(out.data(), 4), 0u);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0x80));
}

TEST(BlockStream, RefusesPartFramesAndMoreBlocksThanItHolds) {
    RecordingClient client;
    BlockStream stream(WaveFormat{44100, 2, 16}, client);
    uint8_t bytes[6] = {};
    const WaveBlock odd{bytes, 6, 0};
    EXPECT_NE(stream.write(&odd), WAVE_OK);

    const WaveBlock whole{bytes, 4, 0};
    for (size_t i = 0; i < BlockStream::CAPACITY; ++i)
        ASSERT_EQ(stream.write(&whole), WAVE_OK);
    EXPECT_EQ(stream.write(&whole), WAVE_QUEUE_FULL);
    EXPECT_FALSE(stream.idle());
}

TEST(BlockStream, DrainReturnsEveryBlockOnceIncludingThePartlyPlayedOne) {
    RecordingClient client;
    BlockStream stream(WaveFormat{44100, 2, 16}, client);
    Blocks blocks(4, 10);
    for (const WaveBlock& block : blocks.blocks)
        ASSERT_EQ(stream.write(&block), WAVE_OK);
    stream.pull(nullptr, 15);
    stream.drain();
    EXPECT_EQ(client.returned(), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(stream.position(), 0u);
    EXPECT_TRUE(stream.idle());
    // Nothing is returned twice.
    stream.drain();
    EXPECT_EQ(client.returned().size(), 4u);
}

TEST(NullDevice, PlaysAtThePaceOfTheClockAndDeliversEveryByteInOrder) {
    NullAudioSystem system;
    std::mutex mutex;
    std::vector<uint8_t> heard;
    system.set_tap([&](const uint8_t* bytes, size_t size) {
        std::lock_guard<std::mutex> hold(mutex);
        heard.insert(heard.end(), bytes, bytes + size);
    });
    RecordingClient client;
    // 20 blocks of 441 frames: 200 ms at 44100 Hz.
    Blocks blocks(20, 441);
    WaveOpenResult opened = system.open(0, WaveFormat{44100, 2, 16}, client);
    ASSERT_EQ(opened.code, WAVE_OK);
    const auto start = std::chrono::steady_clock::now();
    for (const WaveBlock& block : blocks.blocks)
        ASSERT_EQ(opened.device->write(&block), WAVE_OK);

    std::this_thread::sleep_for(60ms);
    const uint64_t early = opened.device->position();
    EXPECT_LT(early, 20u * 441) << "a null device does not play faster than the clock";
    EXPECT_GT(early, 0u);

    while (client.returned().size() < 20 && std::chrono::steady_clock::now() - start < 3s)
        std::this_thread::sleep_for(5ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 190ms);
    EXPECT_EQ(opened.device->position(), 20u * 441);
    std::vector<uint32_t> order(20);
    std::iota(order.begin(), order.end(), 0u);
    EXPECT_EQ(client.returned(), order);

    std::lock_guard<std::mutex> hold(mutex);
    ASSERT_EQ(heard.size(), 20u * 441 * 4);
    std::vector<uint8_t> written;
    for (const auto& block : blocks.data) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
        written.insert(written.end(), bytes, bytes + block.size() * 2);
    }
    EXPECT_EQ(heard, written);
}

TEST(NullDevice, ResetReturnsEveryPendingBlockAtOnceAndStartsThePositionAgain) {
    NullAudioSystem system({NullDeviceOptions{"stalled", {15, 15, 15, 15, 15, 15}, WAVE_OK, true}});
    RecordingClient client;
    Blocks blocks(5, 441);
    WaveOpenResult opened = system.open(0, WaveFormat{44100, 2, 16}, client);
    ASSERT_EQ(opened.code, WAVE_OK);
    for (const WaveBlock& block : blocks.blocks)
        opened.device->write(&block);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(client.returned().empty()) << "a stalled device keeps its blocks";
    opened.device->reset();
    EXPECT_EQ(client.returned(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(opened.device->position(), 0u);
}

TEST(NullDevice, ClosingReturnsWhatIsStillQueued) {
    NullAudioSystem system;
    RecordingClient client;
    Blocks blocks(10, 4410);
    {
        WaveOpenResult opened = system.open(0, WaveFormat{44100, 2, 16}, client);
        for (const WaveBlock& block : blocks.blocks)
            opened.device->write(&block);
    }
    EXPECT_EQ(client.returned().size(), 10u);
}

TEST(NullDevice, OpenFailuresCarryTheirCodes) {
    RecordingClient client;
    struct Case {
        const char* what;
        std::vector<NullDeviceOptions> devices;
        uint32_t id;
        WaveFormat format;
        int32_t code;
    };
    NullDeviceOptions busy;
    busy.open_result = WAVE_ALLOCATED;
    NullDeviceOptions only_16_bit_stereo;
    only_16_bit_stereo.formats.fill(FORMAT_STEREO_16);
    const std::vector<Case> cases = {
        {"no device at all", {}, DEFAULT_OUTPUT_DEVICE, {44100, 2, 16}, WAVE_NO_DRIVER},
        {"no such id", {NullDeviceOptions{}}, 1, {44100, 2, 16}, WAVE_BAD_DEVICE},
        {"in use", {busy}, 0, {44100, 2, 16}, WAVE_ALLOCATED},
        {"format refused", {only_16_bit_stereo}, 0, {44100, 1, 8}, WAVE_BAD_FORMAT},
        {"odd rate", {NullDeviceOptions{}}, 0, {12345, 2, 16}, WAVE_BAD_FORMAT},
        {"default device", {NullDeviceOptions{}}, DEFAULT_OUTPUT_DEVICE, {22050, 1, 8}, WAVE_OK},
    };
    for (const Case& c : cases) {
        NullAudioSystem system(c.devices);
        EXPECT_EQ(system.open(c.id, c.format, client).code, c.code) << c.what;
    }
    EXPECT_EQ(wave_result_text(WAVE_ALLOCATED), "The output device is already in use.");
}

TEST(DeviceList, HoldsEachDeviceWithItsSixFormatBytesAndTheDefaultLast) {
    NullDeviceOptions low;
    low.name = "Low rates";
    low.formats = {
        FORMAT_ALL, FORMAT_MONO_8, FORMAT_ALL, FORMAT_STEREO_16 | FORMAT_MONO_16, FORMAT_ALL, 0};
    NullDeviceOptions wide;
    wide.name = "Wide";
    NullAudioSystem system({low, wide});
    const std::vector<OutputDeviceInfo> list = list_output_devices(system);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (OutputDeviceInfo{0, "Low rates", low.formats}));
    EXPECT_EQ(list[1], (OutputDeviceInfo{1, "Wide", wide.formats}));
    EXPECT_EQ(list[2].id, DEFAULT_OUTPUT_DEVICE);
    EXPECT_EQ(list[2].formats, low.formats) << "the default device is the first one";

    NullAudioSystem silent(std::vector<NullDeviceOptions>{});
    EXPECT_TRUE(list_output_devices(silent).empty());
}

} // namespace
} // namespace tunemill
