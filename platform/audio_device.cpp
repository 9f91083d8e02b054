// The device list, the block stream that every device's audio thread runs, and the null audio
// system whose devices consume their blocks at the pace of the clock.
#include "platform/audio_device.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/realtime_section.h"
#include "platform/thread_priority.h"

namespace tunemill {

std::vector<OutputDeviceInfo> list_output_devices(AudioSystem& system) {
    std::vector<OutputDeviceInfo> list;
    const uint32_t count = system.device_count();
    auto add = [&](uint32_t id) {
        std::optional<std::string> name = system.device_name(id);
        if (!name) return;
        OutputDeviceInfo info;
        info.id = id;
        info.name = *name;
        for (size_t r = 0; r < OUTPUT_RATES.size(); ++r) {
            for (bool sixteen_bit : {false, true}) {
                for (bool stereo : {false, true}) {
                    const WaveFormat format{OUTPUT_RATES[r], stereo ? 2u : 1u,
                                            sixteen_bit ? 16u : 8u};
                    if (system.supports(id, format))
                        info.formats[r] |= format_bit(stereo, sixteen_bit);
                }
            }
        }
        list.push_back(std::move(info));
    };
    for (uint32_t id = 0; id < count; ++id)
        add(id);
    add(DEFAULT_OUTPUT_DEVICE);
    return list;
}

std::string wave_result_text(int32_t code) {
    switch (code) {
    case WAVE_OK:
        return "The operation completed successfully.";
    case WAVE_BAD_DEVICE:
        return "The output device does not exist.";
    case WAVE_ALLOCATED:
        return "The output device is already in use.";
    case WAVE_NO_DRIVER:
        return "No sound output device is installed.";
    case WAVE_NO_MEMORY:
        return "Not enough memory for the output device.";
    case WAVE_BAD_FORMAT:
        return "The output device does not play this sound format.";
    case WAVE_QUEUE_FULL:
        return "The output device cannot hold more sound blocks.";
    default:
        return "The output device reported error " + std::to_string(code) + ".";
    }
}

// ---------------------------------------------------------------------------------------------
// BlockStream

BlockStream::BlockStream(const WaveFormat& format, WaveOutClient& client)
    : format_(format), frame_bytes_(std::max(1u, format.bytes_per_frame())), client_(client) {}

int32_t BlockStream::write(const WaveBlock* block) {
    if (!block || block->bytes % frame_bytes_ != 0 || (block->bytes && !block->data))
        return WAVE_ERROR;
    outstanding_.fetch_add(1, std::memory_order_acq_rel);
    if (!queue_.push(block)) {
        outstanding_.fetch_sub(1, std::memory_order_acq_rel);
        return WAVE_QUEUE_FULL;
    }
    return WAVE_OK;
}

uint32_t BlockStream::pull(uint8_t* out, uint32_t frames) {
    const RealtimeSection callback(RealtimeRule::AUDIO_CALLBACK);
    const uint32_t wanted = frames * frame_bytes_;
    uint32_t taken = 0;
    while (taken < wanted) {
        if (!current_) {
            std::optional<const WaveBlock*> next = queue_.pop();
            if (!next) break;
            current_ = *next;
            offset_ = 0;
        }
        const uint32_t size = std::min(wanted - taken, current_->bytes - offset_);
        if (out && size) std::memcpy(out + taken, current_->data + offset_, size);
        taken += size;
        offset_ += size;
        // Every chunk is whole frames; they count as played before the block is reported
        // done, so that whoever sees the block back also sees a position that includes it.
        played_.fetch_add(size / frame_bytes_, std::memory_order_acq_rel);
        if (offset_ >= current_->bytes) {
            const WaveBlock* done = current_;
            current_ = nullptr;
            offset_ = 0;
            outstanding_.fetch_sub(1, std::memory_order_acq_rel);
            client_.block_done(*done);
        }
    }
    if (out && taken < wanted) {
        std::memset(out + taken, format_.bits == 8 ? 0x80 : 0, wanted - taken);
    }
    return taken / frame_bytes_;
}

void BlockStream::drain() {
    if (current_) {
        const WaveBlock* done = current_;
        current_ = nullptr;
        offset_ = 0;
        client_.block_done(*done);
    }
    while (std::optional<const WaveBlock*> next = queue_.pop())
        client_.block_done(**next);
    outstanding_.store(0, std::memory_order_release);
    played_.store(0, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// The null system

namespace {

// Passes the played blocks on, or, for a device that holds its blocks, keeps them until reset.
class HoldingClient : public WaveOutClient {
  public:
    HoldingClient(WaveOutClient& client, bool hold) : client_(client), hold_(hold) {
        held_.reserve(BlockStream::CAPACITY + 1);
    }
    void block_done(const WaveBlock& block) noexcept override {
        if (hold_ && held_.size() < held_.capacity())
            held_.push_back(&block);
        else
            client_.block_done(block);
    }
    // With the device's thread stopped.
    void release() {
        for (const WaveBlock* block : held_)
            client_.block_done(*block);
        held_.clear();
    }

  private:
    WaveOutClient& client_;
    bool hold_;
    std::vector<const WaveBlock*> held_;
};

// Plays nothing: a thread of its own pulls one period of frames every 5 ms of clock time.
class NullWaveOut : public WaveOut {
  public:
    NullWaveOut(const WaveFormat& format, WaveOutClient& client, const NullDeviceOptions& options,
                double speed, NullAudioSystem::Tap tap)
        : holder_(client, options.holds_blocks), stream_(format, holder_),
          stalled_(options.stalled), speed_(speed > 0 ? speed : 1.0), tap_(std::move(tap)) {
        period_ = std::max(1u, format.rate / 200);
        buffer_.resize(size_t(period_) * format.bytes_per_frame());
        start();
    }
    ~NullWaveOut() override {
        finish();
        stream_.drain();
        holder_.release();
    }

    int32_t write(const WaveBlock* block) override { return stream_.write(block); }
    uint64_t position() const override { return stream_.position(); }
    void reset() override {
        finish();
        stream_.drain(); // into the holder, which then gives everything back
        holder_.release();
        start();
    }

  private:
    void start() {
        quit_ = false;
        thread_ = std::thread([this] { run(); });
    }
    void finish() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void run() {
        raise_to_time_critical();
        using clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<clock::duration>(
            std::chrono::duration<double>(double(period_) / stream_.format().rate / speed_));
        auto next = clock::now();
        std::unique_lock<std::mutex> hold(mutex_);
        while (!quit_) {
            hold.unlock();
            if (!stalled_) {
                const uint32_t frames = stream_.pull(buffer_.data(), period_);
                if (tap_ && frames)
                    tap_(buffer_.data(), size_t(frames) * stream_.format().bytes_per_frame());
            }
            hold.lock();
            next += period;
            // A device that fell far behind (a stalled machine) starts afresh instead of racing.
            if (clock::now() - next > std::chrono::milliseconds(100)) next = clock::now();
            wake_.wait_until(hold, next, [this] { return quit_; });
        }
    }

    HoldingClient holder_;
    BlockStream stream_;
    bool stalled_;
    double speed_;
    NullAudioSystem::Tap tap_;
    uint32_t period_ = 1;
    std::vector<uint8_t> buffer_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
};

} // namespace

NullAudioSystem::NullAudioSystem(std::vector<NullDeviceOptions> devices)
    : devices_(std::move(devices)) {}

const NullDeviceOptions* NullAudioSystem::find(uint32_t id) const {
    if (id == DEFAULT_OUTPUT_DEVICE) return devices_.empty() ? nullptr : &devices_.front();
    return id < devices_.size() ? &devices_[id] : nullptr;
}

uint32_t NullAudioSystem::device_count() {
    return uint32_t(devices_.size());
}

std::optional<std::string> NullAudioSystem::device_name(uint32_t id) {
    const NullDeviceOptions* device = find(id);
    if (!device) return std::nullopt;
    if (id == DEFAULT_OUTPUT_DEVICE) return "Default output (" + device->name + ")";
    return device->name;
}

bool NullAudioSystem::supports(uint32_t id, const WaveFormat& format) {
    const NullDeviceOptions* device = find(id);
    if (!device || (format.bits != 8 && format.bits != 16) ||
        (format.channels != 1 && format.channels != 2))
        return false;
    const auto rate = std::find(OUTPUT_RATES.begin(), OUTPUT_RATES.end(), format.rate);
    if (rate == OUTPUT_RATES.end()) return false;
    return (device->formats[size_t(rate - OUTPUT_RATES.begin())] &
            format_bit(format.channels == 2, format.bits == 16)) != 0;
}

WaveOpenResult NullAudioSystem::open(uint32_t id, const WaveFormat& format, WaveOutClient& client) {
    if (devices_.empty()) return {nullptr, WAVE_NO_DRIVER};
    const NullDeviceOptions* device = find(id);
    if (!device) return {nullptr, WAVE_BAD_DEVICE};
    if (device->open_result != WAVE_OK) return {nullptr, device->open_result};
    if (!supports(id, format)) return {nullptr, WAVE_BAD_FORMAT};
    last_format_ = format;
    ++opens_;
    return {std::make_unique<NullWaveOut>(format, client, *device, speed_, tap_), WAVE_OK};
}

} // namespace tunemill
