// FLAC, Ogg Vorbis, MP3 and Opus export: the rendered blocks go to libsndfile as 16-bit frames,
// written through our file handle into the temporary file; WAV stays with our own writer.
#include "playback/audio_export.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "instruments/sound_file_io.h"

namespace tunemill {

namespace {

// libsndfile's container and encoding for a type (WAV is ours).
int sndfile_format(AudioFileType type, bool sixteen_bit) {
    switch (type) {
    case AudioFileType::FLAC:
        return SF_FORMAT_FLAC | (sixteen_bit ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_S8);
    case AudioFileType::MP3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    case AudioFileType::OPUS:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    default:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    }
}

// The quality 0..1 as each encoder takes it: Vorbis its own quality, MP3 (average bitrate) and
// Opus a compression level, where 0 is the best sound. (libsndfile's variable-bitrate MP3 mode
// writes about 320 kbit/s for every level but the last, so it is no choice.)
void set_quality(SNDFILE* sound, AudioFileType type, double quality) {
    double value = std::clamp(quality, 0.0, 1.0);
    if (type == AudioFileType::OGG_VORBIS) {
        sf_command(sound, SFC_SET_VBR_ENCODING_QUALITY, &value, sizeof value);
        return;
    }
    if (type == AudioFileType::MP3) {
        int mode = SF_BITRATE_MODE_AVERAGE;
        sf_command(sound, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    }
    value = 1.0 - value;
    sf_command(sound, SFC_SET_COMPRESSION_LEVEL, &value, sizeof value);
}

// An encoder over an open file: takes frames in the output format's bytes.
class Encoder {
  public:
    Encoder(File& file, AudioFileType type, uint32_t rate, uint32_t channels, bool sixteen_bit,
            double quality)
        : io_(file), channels_(channels), sixteen_bit_(sixteen_bit),
          as_float_(type == AudioFileType::MP3) {
        SF_INFO info{};
        info.samplerate = int(rate);
        info.channels = int(channels);
        info.format = sndfile_format(type, sixteen_bit);
        sound_.reset(io_.open(SFM_WRITE, info));
        if (!sound_) throw MISC_ERROR(S_AUDIO_ENCODING_FAILED);
        if (audio_file_type_info(type).lossy) set_quality(sound_.get(), type, quality);
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
        const sf_count_t written = as_float_
                                       ? write_as_float(frames)
                                       : sf_writef_short(sound_.get(), buffer_.data(), frames);
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
    // libsndfile 1.2's MP3 encoder copies only half of every stereo block of 16-bit samples it is
    // given (a byte count taken for a sample count) and encodes noise for the rest; its float
    // path is sound, and 16-bit values are exact in floats.
    sf_count_t write_as_float(sf_count_t frames) {
        floats_.resize(buffer_.size());
        for (size_t i = 0; i < buffer_.size(); ++i)
            floats_[i] = float(buffer_[i]) / 32768.0f;
        return sf_writef_float(sound_.get(), floats_.data(), frames);
    }

    bool sixteen_bit_;
    bool as_float_;
    std::vector<int16_t> buffer_;
    std::vector<float> floats_;
};

OutputFormat output_format(const WavExportSettings& settings) {
    OutputFormat format;
    format.stereo = settings.stereo;
    format.sixteen_bit = settings.sixteen_bit;
    format.interpolate = settings.interpolate;
    format.rate = limit_export_rate(settings.rate);
    format.amplification = std::min(settings.amplification, 90u);
    return format;
}

// A mono sample at another rate, through cubic (Catmull-Rom) interpolation: smooth enough for the
// few rates an encoder refuses, and the sound keeps its length in time.
std::vector<uint8_t> resample_to_16bit(std::span<const uint8_t> bytes, bool sixteen_bit,
                                       uint32_t from, uint32_t to) {
    const size_t count = sixteen_bit ? bytes.size() / 2 : bytes.size();
    auto at = [&](int64_t i) -> double {
        i = std::clamp<int64_t>(i, 0, int64_t(count) - 1);
        if (!sixteen_bit) return (int(bytes[size_t(i)]) - 128) * 256.0;
        return double(int16_t(uint16_t(bytes[size_t(i) * 2] | bytes[size_t(i) * 2 + 1] << 8)));
    };
    const auto frames = size_t(uint64_t(count) * to / from);
    std::vector<uint8_t> out;
    out.reserve(frames * 2);
    for (size_t n = 0; n < frames && count > 0; ++n) {
        const double position = double(n) * from / to;
        const auto i = int64_t(position);
        const double t = position - double(i);
        const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        const double value =
            p1 +
            0.5 * t *
                (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
        const auto sample = uint16_t(int16_t(std::clamp(std::lround(value), -32768L, 32767L)));
        out.push_back(uint8_t(sample));
        out.push_back(uint8_t(sample >> 8));
    }
    return out;
}

} // namespace

uint32_t export_rate(const AudioExportSettings& settings) {
    return encodable_rate(settings.type, limit_export_rate(settings.render.rate));
}

bool export_song_audio(Song& song, const std::filesystem::path& path,
                       const AudioExportSettings& settings, const RenderProgress& progress,
                       uint64_t* frames) {
    OutputFormat format = output_format(settings.render);
    format.rate = export_rate(settings);
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
    bool sixteen_bit = instrument.bytes_per_sample != 1;
    const size_t frame_bytes = sixteen_bit ? 2 : 1;
    // Never more than the sample block really holds.
    const size_t bytes =
        std::min(size_t(instrument.length) * frame_bytes, instrument.samples.size()) / frame_bytes *
        frame_bytes;
    const uint32_t rate = std::clamp<uint32_t>(instrument.rate, 1, 655350);
    const uint32_t written_rate = encodable_rate(type, rate);
    std::span<const uint8_t> samples(instrument.samples.data(), bytes);
    std::vector<uint8_t> resampled;
    if (written_rate != rate) {
        resampled = resample_to_16bit(samples, sixteen_bit, rate, written_rate);
        samples = resampled;
        sixteen_bit = true;
    }
    PendingFile pending(path);
    Encoder encoder(pending.file(), type, written_rate, 1, sixteen_bit, vorbis_quality);
    constexpr size_t STRETCH = 1 << 16;
    for (size_t at = 0; at < samples.size(); at += STRETCH)
        encoder.write(samples.data() + at, std::min(STRETCH, samples.size() - at));
    encoder.finish();
    pending.commit();
}

} // namespace tunemill
