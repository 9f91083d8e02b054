// FLAC and Ogg Vorbis export: the rendered blocks go to libsndfile as 16-bit frames, written
// through our file handle into the temporary file; WAV stays with our own writer.
#include "playback/audio_export.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "instruments/sound_file_io.h"

namespace tunemill {

namespace {

// An encoder over an open file: takes frames in the output format's bytes.
class Encoder {
  public:
    Encoder(File& file, AudioFileType type, uint32_t rate, uint32_t channels, bool sixteen_bit,
            double quality)
        : io_(file), channels_(channels), sixteen_bit_(sixteen_bit) {
        SF_INFO info{};
        info.samplerate = int(rate);
        info.channels = int(channels);
        info.format = type == AudioFileType::FLAC
                          ? SF_FORMAT_FLAC | (sixteen_bit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_S8)
                          : SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        sound_.reset(io_.open(SFM_WRITE, info));
        if (!sound_) throw MISC_ERROR(S_AUDIO_ENCODING_FAILED);
        if (type == AudioFileType::OGG_VORBIS) {
            double clamped = std::clamp(quality, 0.0, 1.0);
            sf_command(sound_.get(), SFC_SET_VBR_ENCODING_QUALITY, &clamped, sizeof clamped);
        }
    }

    // 16-bit frames as they are; 8-bit unsigned ones moved to the top of 16 bits, which FLAC's
    // 8-bit encoding takes back exactly.
    void write(const uint8_t* bytes, size_t count) {
        const size_t samples = sixteen_bit_ ? count / 2 : count;
        buffer_.resize(samples);
        if (sixteen_bit_) {
            std::memcpy(buffer_.data(), bytes, samples * 2);
        } else {
            for (size_t i = 0; i < samples; ++i)
                buffer_[i] = int16_t((int(bytes[i]) - 128) * 256);
        }
        const auto frames = sf_count_t(samples / channels_);
        const sf_count_t written = sf_writef_short(sound_.get(), buffer_.data(), frames);
        io_.rethrow_failure();
        if (written != frames) throw MISC_ERROR(S_AUDIO_ENCODING_FAILED);
    }

    // Flushes the encoder; the stream's header is completed here (FLAC seeks back to it).
    void finish() {
        const int error = sf_close(sound_.release());
        io_.rethrow_failure();
        if (error != 0) throw MISC_ERROR(S_AUDIO_ENCODING_FAILED);
    }

  private:
    SoundFileIo io_;
    SoundFileHandle sound_;
    size_t channels_;
    bool sixteen_bit_;
    std::vector<int16_t> buffer_;
};

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

OutputFormat output_format(const WavExportSettings& settings) {
    OutputFormat format;
    format.stereo = settings.stereo;
    format.sixteen_bit = settings.sixteen_bit;
    format.interpolate = settings.interpolate;
    format.rate = limit_export_rate(settings.rate);
    format.amplification = std::min(settings.amplification, 90u);
    return format;
}

} // namespace

bool audio_file_type_of(const std::filesystem::path& path, AudioFileType& type) {
    const std::string extension = lower(path.extension().string());
    if (extension == ".wav")
        type = AudioFileType::WAV;
    else if (extension == ".flac")
        type = AudioFileType::FLAC;
    else if (extension == ".ogg" || extension == ".oga")
        type = AudioFileType::OGG_VORBIS;
    else
        return false;
    return true;
}

bool audio_file_type_named(const std::string& name, AudioFileType& type) {
    for (AudioFileType each : {AudioFileType::WAV, AudioFileType::FLAC, AudioFileType::OGG_VORBIS})
        if (lower(name) == audio_file_extension(each)) {
            type = each;
            return true;
        }
    return false;
}

const char* audio_file_extension(AudioFileType type) {
    switch (type) {
    case AudioFileType::FLAC:
        return "flac";
    case AudioFileType::OGG_VORBIS:
        return "ogg";
    default:
        return "wav";
    }
}

bool export_song_audio(Song& song, const std::filesystem::path& path,
                       const AudioExportSettings& settings, const RenderProgress& progress,
                       uint64_t* frames) {
    const OutputFormat format = output_format(settings.render);
    if (settings.type == AudioFileType::WAV) {
        if (!export_song_to_wav(song, path, settings.render, progress)) return false;
        if (frames)
            *frames =
                (std::filesystem::file_size(path) - WAV_HEADER_BYTES) / format.bytes_per_frame();
        return true;
    }
    PlaybackEngine engine(song); // private: never plays, never observes the song
    PendingFile pending(path);
    Encoder encoder(pending.file(), settings.type, format.rate, format.stereo ? 2 : 1,
                    format.sixteen_bit, settings.vorbis_quality);
    const RenderResult result = render_song(
        engine, [&](const uint8_t* bytes, size_t count) { encoder.write(bytes, count); },
        0x7FFFFFFF, UINT64_MAX, format, progress, settings.render.threads);
    if (result.cancelled) return false;
    encoder.finish();
    pending.commit();
    if (frames) *frames = result.frames;
    return true;
}

void export_instrument_audio(const Instrument& instrument, const std::filesystem::path& path,
                             AudioFileType type, double vorbis_quality) {
    if (type == AudioFileType::WAV) return export_instrument_to_wav(instrument, path);
    const bool sixteen_bit = instrument.bytes_per_sample != 1;
    const size_t frame_bytes = sixteen_bit ? 2 : 1;
    // Never more than the sample block really holds.
    const size_t bytes =
        std::min(size_t(instrument.length) * frame_bytes, instrument.samples.size()) / frame_bytes *
        frame_bytes;
    PendingFile pending(path);
    Encoder encoder(pending.file(), type, std::clamp<uint32_t>(instrument.rate, 1, 655350), 1,
                    sixteen_bit, vorbis_quality);
    constexpr size_t STRETCH = 1 << 16;
    for (size_t at = 0; at < bytes; at += STRETCH)
        encoder.write(instrument.samples.data() + at, std::min(STRETCH, bytes - at));
    encoder.finish();
    pending.commit();
}

} // namespace tunemill
