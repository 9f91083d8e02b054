// The audio system on PortAudio in callback mode: the callback only runs the block stream (copy
// the written blocks out, return each when consumed, count the frames), so it never locks,
// allocates or blocks. The device ids are the output-capable PortAudio devices in their order.
#include "platform/audio_device.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <pa_linux_alsa.h>
#include <portaudio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace tunemill {

namespace {

// ALSA prints every failed probe of a configured device to stderr; the failures reach the user
// as the result codes of the operations instead.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

// Runs an operation with the process's stderr pointed at /dev/null: the JACK client library
// writes its connection attempts there while PortAudio starts and ends, with no way to ask it
// not to.
template <typename Operation> auto with_stderr_silenced(Operation operation) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
    auto result = operation();
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    return result;
}

int32_t map_error(PaError error) {
    switch (error) {
    case paNoError:
        return WAVE_OK;
    case paDeviceUnavailable:
        return WAVE_ALLOCATED;
    case paInvalidDevice:
        return WAVE_BAD_DEVICE;
    case paInsufficientMemory:
        return WAVE_NO_MEMORY;
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
        return WAVE_BAD_FORMAT;
    case paUnanticipatedHostError: {
        const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
        if (host && host->hostApiType == paALSA && host->errorCode == -EBUSY) return WAVE_ALLOCATED;
        return error;
    }
    default:
        return error; // PortAudio's own codes are negative and never meet ours
    }
}

class PortAudioWaveOut : public WaveOut {
  public:
    PortAudioWaveOut(const WaveFormat& format, WaveOutClient& client) : stream_(format, client) {}
    ~PortAudioWaveOut() override {
        if (pa_) {
            halt();
            Pa_CloseStream(pa_);
        }
        stream_.drain();
    }

    PaError open(PaDeviceIndex device) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (!info) return paInvalidDevice;
        PaStreamParameters parameters{};
        parameters.device = device;
        parameters.channelCount = int(stream_.format().channels);
        parameters.sampleFormat = stream_.format().bits == 8 ? paUInt8 : paInt16;
        parameters.suggestedLatency = info->defaultLowOutputLatency;
        PaError error = Pa_OpenStream(&pa_, nullptr, &parameters, stream_.format().rate,
                                      paFramesPerBufferUnspecified, paClipOff | paDitherOff,
                                      &PortAudioWaveOut::callback, this);
        if (error != paNoError) {
            pa_ = nullptr;
            return error;
        }
        if (Pa_GetHostApiInfo(info->hostApi)->type == paALSA)
            PaAlsa_EnableRealtimeScheduling(pa_, 1);
        error = Pa_StartStream(pa_);
        if (error != paNoError) {
            Pa_CloseStream(pa_);
            pa_ = nullptr;
        }
        return error;
    }

    int32_t write(const WaveBlock* block) override { return stream_.write(block); }
    uint64_t position() const override { return stream_.position(); }
    void reset() override {
        if (!pa_) return;
        halt();
        stream_.drain();
        Pa_StartStream(pa_);
    }

  private:
    // Stops the callback. When every block has been consumed the sound already handed to the
    // system plays out (the end of a drained song is not cut); otherwise it stops at once.
    void halt() {
        if (Pa_IsStreamStopped(pa_) == 1) return;
        if (stream_.idle())
            Pa_StopStream(pa_);
        else
            Pa_AbortStream(pa_);
    }

    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioWaveOut*>(self)->stream_.pull(static_cast<uint8_t*>(output),
                                                           uint32_t(frames));
        return paContinue;
    }

    BlockStream stream_;
    PaStream* pa_ = nullptr;
};

class PortAudioSystem : public AudioSystem {
  public:
    PortAudioSystem() {
        // A machine without a running JACK server must not get one started by probing.
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        snd_lib_error_set_handler(&quiet_alsa);
        started_ = with_stderr_silenced([] { return Pa_Initialize(); }) == paNoError;
        if (!started_) return;
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex index = 0; index < count; ++index) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
            if (info && info->maxOutputChannels > 0) outputs_.push_back(index);
        }
    }
    ~PortAudioSystem() override {
        if (started_) with_stderr_silenced([] { return Pa_Terminate(); });
    }

    uint32_t device_count() override { return uint32_t(outputs_.size()); }

    std::optional<std::string> device_name(uint32_t id) override {
        const PaDeviceIndex index = pa_index(id);
        const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
        if (!info) return std::nullopt;
        std::string name = info->name ? info->name : "";
        if (id == DEFAULT_OUTPUT_DEVICE) return "Default output (" + name + ")";
        return name;
    }

    bool supports(uint32_t id, const WaveFormat& format) override {
        const PaDeviceIndex index = pa_index(id);
        const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
        if (!info || (format.bits != 8 && format.bits != 16)) return false;
        PaStreamParameters parameters{};
        parameters.device = index;
        parameters.channelCount = int(format.channels);
        parameters.sampleFormat = format.bits == 8 ? paUInt8 : paInt16;
        parameters.suggestedLatency = info->defaultLowOutputLatency;
        return Pa_IsFormatSupported(nullptr, &parameters, format.rate) == paFormatIsSupported;
    }

    WaveOpenResult open(uint32_t id, const WaveFormat& format, WaveOutClient& client) override {
        if (!started_ || outputs_.empty()) return {nullptr, WAVE_NO_DRIVER};
        const PaDeviceIndex index = pa_index(id);
        if (index == paNoDevice) return {nullptr, WAVE_BAD_DEVICE};
        auto device = std::make_unique<PortAudioWaveOut>(format, client);
        const PaError error = device->open(index);
        if (error != paNoError) {
            remember_host_text(error);
            return {nullptr, map_error(error)};
        }
        return {std::move(device), WAVE_OK};
    }

    std::string result_text(int32_t code) override {
        if (code >= 0) return wave_result_text(code);
        std::string text = Pa_GetErrorText(PaError(code));
        if (code == paUnanticipatedHostError && !host_text_.empty()) text += ": " + host_text_;
        return text;
    }

  private:
    PaDeviceIndex pa_index(uint32_t id) const {
        if (!started_) return paNoDevice;
        if (id == DEFAULT_OUTPUT_DEVICE) return Pa_GetDefaultOutputDevice();
        return id < outputs_.size() ? outputs_[id] : paNoDevice;
    }
    void remember_host_text(PaError error) {
        host_text_.clear();
        if (error != paUnanticipatedHostError) return;
        const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
        if (host && host->errorText) host_text_ = host->errorText;
    }

    bool started_ = false;
    std::vector<PaDeviceIndex> outputs_;
    std::string host_text_;
};

} // namespace

AudioSystem& portaudio_system() {
    static PortAudioSystem system;
    return system;
}

} // namespace tunemill
