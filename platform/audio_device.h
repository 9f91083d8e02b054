// The wave-out device that the playback thread drives: the list of output devices with the
// formats each plays at the six rates, the format query, opening a device with a "done" client,
// writing blocks, the position in samples, reset and close. Two audio systems provide it:
// PortAudio for real sound cards, and a null system paced by the clock (no sound) for tests and
// machines without a sound card.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/spsc_ring.h"

namespace tunemill {

// The id of the system's default device, the extra last entry of the device list.
constexpr uint32_t DEFAULT_OUTPUT_DEVICE = 0xFFFFFFFF;

// The rates of the device list's format bytes, in their order.
constexpr std::array<uint32_t, 6> OUTPUT_RATES = {11025, 16000, 22050, 32000, 44100, 48000};

// The bits of a format byte.
constexpr uint8_t FORMAT_STEREO_8 = 1;
constexpr uint8_t FORMAT_MONO_8 = 2;
constexpr uint8_t FORMAT_STEREO_16 = 4;
constexpr uint8_t FORMAT_MONO_16 = 8;
constexpr uint8_t FORMAT_ALL = 15;
constexpr uint8_t format_bit(bool stereo, bool sixteen_bit) {
    return sixteen_bit ? (stereo ? FORMAT_STEREO_16 : FORMAT_MONO_16)
                       : (stereo ? FORMAT_STEREO_8 : FORMAT_MONO_8);
}

struct OutputDeviceInfo {
    uint32_t id = 0;
    std::string name;                    // the device's name as the system gives it (UTF-8)
    std::array<uint8_t, 6> formats = {}; // per rate of OUTPUT_RATES, FORMAT_* bits
    bool operator==(const OutputDeviceInfo&) const = default;
};

// PCM: unsigned 8-bit (128 = silence) or signed 16-bit little-endian samples, interleaved.
struct WaveFormat {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint32_t bits = 16;
    uint32_t bytes_per_frame() const { return channels * bits / 8; }
    bool operator==(const WaveFormat&) const = default;
};

// Result codes of the device operations; 0 is success. Other codes of an audio system (its own
// error numbers) may appear too; result_text() describes every one.
constexpr int32_t WAVE_OK = 0;
constexpr int32_t WAVE_ERROR = 1;      // unspecified failure
constexpr int32_t WAVE_BAD_DEVICE = 2; // no device of that id
constexpr int32_t WAVE_ALLOCATED = 4;  // in use by another application
constexpr int32_t WAVE_NO_DRIVER = 6;  // the system has no output device at all
constexpr int32_t WAVE_NO_MEMORY = 7;
constexpr int32_t WAVE_BAD_FORMAT = 32; // the device does not play this format
constexpr int32_t WAVE_QUEUE_FULL = 33; // more blocks written than the device can hold

// A block of sound handed to the device. The writer owns the memory and keeps it unchanged until
// the device has returned the block.
struct WaveBlock {
    const uint8_t* data = nullptr;
    uint32_t bytes = 0; // a whole number of frames
    uint32_t tag = 0;   // the writer's own mark (its block index)
};

// Told by an open device when a written block has been played or returned by reset. Runs on the
// device's own thread (or inside reset on the caller's), so it must not lock, allocate or block.
class WaveOutClient {
  public:
    virtual ~WaveOutClient() = default;
    virtual void block_done(const WaveBlock& block) noexcept = 0;
};

// An open device. Destroying it resets and closes the device.
class WaveOut {
  public:
    virtual ~WaveOut() = default;
    // Queues a block behind the ones written before; WAVE_OK or a failure code.
    virtual int32_t write(const WaveBlock* block) = 0;
    // Frames of written sound played since the device was opened or last reset.
    virtual uint64_t position() const = 0;
    // Stops at once: every block not yet returned comes back through block_done before reset
    // returns, and the position starts again at 0. Sound already played out is not affected.
    virtual void reset() = 0;
};

// An open device's result: the device, or the failure code.
struct WaveOpenResult {
    std::unique_ptr<WaveOut> device;
    int32_t code = WAVE_OK;
};

// The output devices of one audio system.
class AudioSystem {
  public:
    virtual ~AudioSystem() = default;
    // Output devices, numbered 0 .. count - 1; the default device is DEFAULT_OUTPUT_DEVICE.
    virtual uint32_t device_count() = 0;
    // The device's name, or empty when it does not answer (the default device included).
    virtual std::optional<std::string> device_name(uint32_t id) = 0;
    // Whether the device plays the format (a format-only open).
    virtual bool supports(uint32_t id, const WaveFormat& format) = 0;
    virtual WaveOpenResult open(uint32_t id, const WaveFormat& format, WaveOutClient& client) = 0;
    // The system's description of a result code, in English.
    virtual std::string result_text(int32_t code) = 0;
};

// The device list: one record per device that answers, in device order, then the default
// device's when it answers; each with the format bits of the six rates.
std::vector<OutputDeviceInfo> list_output_devices(AudioSystem& system);

// The system's description of the codes above.
std::string wave_result_text(int32_t code);

// The process's PortAudio system, started on first use. Starting it keeps JACK from launching a
// server and keeps the sound libraries' diagnostics off the terminal.
AudioSystem& portaudio_system();

// The part of a device that the audio thread runs: it takes written blocks from a lock-free ring,
// copies their frames out, returns each block when consumed and counts the frames played. pull()
// never locks, allocates or blocks; write() runs on the one writing thread; drain() only while
// no pull() can run.
class BlockStream {
  public:
    static constexpr size_t CAPACITY = 63; // blocks queued at once (the playback thread needs 47)

    BlockStream(const WaveFormat& format, WaveOutClient& client);

    // Writer side.
    int32_t write(const WaveBlock* block);
    // Audio side: fills frames frames of out (nullptr: discards them), silence where no block
    // is queued; returns the frames taken from blocks.
    uint32_t pull(uint8_t* out, uint32_t frames);
    // With the audio side stopped: returns every block not yet returned, position back to 0.
    void drain();
    // True when every written block has been consumed (either side).
    bool idle() const { return outstanding_.load(std::memory_order_acquire) == 0; }

    uint64_t position() const { return played_.load(std::memory_order_acquire); }
    const WaveFormat& format() const { return format_; }

  private:
    WaveFormat format_;
    uint32_t frame_bytes_;
    WaveOutClient& client_;
    SpscRing<const WaveBlock*, 64> queue_;
    const WaveBlock* current_ = nullptr; // the block being played (audio side)
    uint32_t offset_ = 0;                // bytes of it already played
    std::atomic<uint64_t> played_{0};
    std::atomic<uint32_t> outstanding_{0}; // written and not yet returned
};

// One device of the null system.
struct NullDeviceOptions {
    std::string name = "Null output";
    std::array<uint8_t, 6> formats = {FORMAT_ALL, FORMAT_ALL, FORMAT_ALL,
                                      FORMAT_ALL, FORMAT_ALL, FORMAT_ALL};
    int32_t open_result = WAVE_OK; // a failure code makes every open fail with it
    bool stalled = false;          // plays nothing: blocks come back only through reset
    bool holds_blocks = false;     // plays, but gives its blocks back only when reset
};

// Devices that play nothing but consume their blocks at the pace of the clock, in periods of
// 5 ms. A tap, when set, sees every period's bytes on the device's thread (for tests).
class NullAudioSystem : public AudioSystem {
  public:
    using Tap = std::function<void(const uint8_t* bytes, size_t size)>;

    // The default device is the first of the list; an empty list is a machine without sound.
    explicit NullAudioSystem(std::vector<NullDeviceOptions> devices = {NullDeviceOptions{}});

    uint32_t device_count() override;
    std::optional<std::string> device_name(uint32_t id) override;
    bool supports(uint32_t id, const WaveFormat& format) override;
    WaveOpenResult open(uint32_t id, const WaveFormat& format, WaveOutClient& client) override;
    std::string result_text(int32_t code) override { return wave_result_text(code); }

    // Set before opening; the devices opened afterwards use it.
    void set_tap(Tap tap) { tap_ = std::move(tap); }
    // Clock speed: 2.0 plays twice as fast as real time (for tests of long pieces).
    void set_speed(double speed) { speed_ = speed; }
    // Opens that succeeded so far, and the format of the last one.
    uint32_t open_count() const { return opens_.load(); }
    WaveFormat last_format() const { return last_format_; }

  private:
    const NullDeviceOptions* find(uint32_t id) const;

    std::vector<NullDeviceOptions> devices_;
    Tap tap_;
    double speed_ = 1.0;
    std::atomic<uint32_t> opens_{0};
    WaveFormat last_format_;
};

} // namespace tunemill
