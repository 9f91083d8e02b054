// WAV writing: the header, the song renderer with its trimming of the last block, and the song
// and instrument exports.
#include "playback/wav.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "playback/block_writer.h"
#include "playback/parallel_render.h"

namespace tunemill {

namespace {
void put16(uint8_t* at, uint32_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}
void put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

// The sample count of the last block without its trailing silence, rounded up to whole frames.
size_t trimmed_bytes(const uint8_t* block, size_t bytes, const OutputFormat& format) {
    size_t samples;
    if (format.sixteen_bit) {
        samples = bytes / 2;
        while (samples > 0 && block[2 * samples - 2] == 0 && block[2 * samples - 1] == 0)
            --samples;
        samples *= 2; // in bytes
    } else {
        samples = bytes;
        while (samples > 0 && block[samples - 1] == 128)
            --samples;
    }
    const size_t frame = format.bytes_per_frame();
    return (samples + frame - 1) / frame * frame;
}
} // namespace

std::array<uint8_t, WAV_HEADER_BYTES> wav_header(uint64_t frames, uint32_t rate, bool stereo,
                                                 bool sixteen_bit) {
    const uint32_t channels = stereo ? 2 : 1;
    const uint32_t frame_bytes = channels * (sixteen_bit ? 2 : 1);
    const uint32_t data = uint32_t(std::min<uint64_t>(frames * frame_bytes, MAX_WAV_DATA_BYTES));
    std::array<uint8_t, WAV_HEADER_BYTES> header{};
    std::memcpy(&header[0], "RIFF", 4);
    put32(&header[4], data + 36);
    std::memcpy(&header[8], "WAVEfmt ", 8);
    put32(&header[16], 16);
    put16(&header[20], 1);
    put16(&header[22], channels);
    put32(&header[24], rate);
    put32(&header[28], rate * frame_bytes);
    put16(&header[32], frame_bytes);
    put16(&header[34], sixteen_bit ? 16 : 8);
    std::memcpy(&header[36], "data", 4);
    put32(&header[40], data);
    return header;
}

void write_wav_header(File& file, uint64_t frames, uint32_t rate, bool stereo, bool sixteen_bit) {
    const auto header = wav_header(frames, rate, stereo, sixteen_bit);
    file.write_exact(header.data(), header.size());
}

RenderResult render_song_to_file(PlaybackEngine& engine, File& file, uint32_t time_limit_ms,
                                 const OutputFormat& format, const RenderProgress& progress,
                                 uint32_t threads) {
    return render_song(
        engine, [&](const uint8_t* bytes, size_t count) { file.write_exact(bytes, count); },
        time_limit_ms, MAX_WAV_DATA_BYTES / format.bytes_per_frame(), format, progress, threads);
}

namespace {

// One thread mixes; writing (and encoding) runs on its own thread beside it.
RenderResult render_on_one_thread(PlaybackEngine& engine, const RenderSink& sink,
                                  uint64_t remaining, const OutputFormat& format,
                                  const std::function<bool(uint64_t)>& keep_going) {
    RenderResult result;
    const uint32_t frame_bytes = format.bytes_per_frame();
    const uint32_t block_frames = WAV_RENDER_BLOCK_BYTES / frame_bytes;
    engine.reserve_block(block_frames);
    BlockWriter writer(sink, WAV_RENDER_BLOCK_BYTES);
    while (!engine.sequence_ended() && remaining > 0) {
        if (!keep_going(result.frames)) {
            result.cancelled = true;
            break;
        }
        const uint32_t frames = uint32_t(std::min<uint64_t>(block_frames, remaining));
        uint8_t* block = writer.next_block();
        if (!engine.render_block(block, frames)) throw MISC_ERROR(S_INTERNAL_ERROR);
        size_t bytes = size_t(frames) * frame_bytes;
        if (engine.sequence_ended()) bytes = trimmed_bytes(block, bytes, format);
        writer.hand_over(bytes);
        result.frames += bytes / frame_bytes;
        remaining -= frames;
    }
    writer.finish();
    return result;
}

RenderResult render_on_threads(PlaybackEngine& engine, const RenderSink& sink, uint64_t remaining,
                               const OutputFormat& format,
                               const std::function<bool(uint64_t)>& keep_going, uint32_t threads) {
    const ParallelRenderJob job{
        engine,
        format,
        WAV_RENDER_BLOCK_BYTES / format.bytes_per_frame(),
        remaining,
        sink,
        keep_going,
        [&](const uint8_t* block, size_t bytes) { return trimmed_bytes(block, bytes, format); },
        threads};
    const ParallelRenderResult parallel = render_in_parallel(job);
    RenderResult result;
    result.frames = parallel.frames;
    result.cancelled = parallel.cancelled;
    return result;
}

} // namespace

uint32_t mixing_threads(uint32_t threads) {
    return threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
}

RenderResult render_song(PlaybackEngine& engine, const RenderSink& sink, uint32_t time_limit_ms,
                         uint64_t max_frames, const OutputFormat& format,
                         const RenderProgress& progress, uint32_t threads) {
    engine.stop();
    Song& song = engine.song();
    if (song.sequence.empty()) return {};
    engine.set_format(format);
    engine.set_repeat(false);
    engine.lay_out_short_loops(true);
    if (!engine.start_song(0)) throw MISC_ERROR(S_INTERNAL_ERROR); // the song lock timed out

    const uint64_t total = engine.song_frames();
    const uint64_t unit = total / 65536 + 1;
    auto keep_going = [&](uint64_t frames) {
        return !progress || progress(uint32_t(frames / unit), uint32_t(total / unit));
    };
    // The file's own size limit ends any render, as a time limit would.
    const uint64_t remaining = std::min(uint64_t(time_limit_ms) * format.rate / 1000, max_frames);
    threads = mixing_threads(threads);
    const RenderResult result =
        threads > 1 ? render_on_threads(engine, sink, remaining, format, keep_going, threads)
                    : render_on_one_thread(engine, sink, remaining, format, keep_going);
    if (!result.cancelled && progress) progress(uint32_t(total / unit), uint32_t(total / unit));
    engine.stop();
    engine.voices().clear();
    engine.lay_out_short_loops(false);
    return result;
}

uint32_t limit_export_rate(uint64_t typed_rate) {
    return uint32_t(std::clamp<uint64_t>(typed_rate, MIN_EXPORT_RATE, MAX_EXPORT_RATE));
}

bool export_song_to_wav(Song& song, const std::filesystem::path& path,
                        const WavExportSettings& settings, const RenderProgress& progress) {
    PlaybackEngine engine(song); // private: never plays, never observes the song
    OutputFormat format;
    format.stereo = settings.stereo;
    format.sixteen_bit = settings.sixteen_bit;
    format.interpolate = settings.interpolate;
    format.rate = limit_export_rate(settings.rate);
    format.amplification = std::min(settings.amplification, 90u);
    PendingFile pending(path);
    write_wav_header(pending.file(), 0, format.rate, format.stereo, format.sixteen_bit);
    const RenderResult result =
        render_song_to_file(engine, pending.file(), 0x7FFFFFFF, format, progress, settings.threads);
    if (result.cancelled) return false;
    pending.file().seek(0);
    write_wav_header(pending.file(), result.frames, format.rate, format.stereo, format.sixteen_bit);
    pending.commit();
    return true;
}

void export_instrument_to_wav(const Instrument& instrument, const std::filesystem::path& path) {
    const bool sixteen_bit = instrument.bytes_per_sample != 1;
    const size_t frame_bytes = sixteen_bit ? 2 : 1;
    // Never more than the sample block really holds.
    const size_t bytes =
        std::min(size_t(instrument.length) * frame_bytes, instrument.samples.size()) / frame_bytes *
        frame_bytes;
    PendingFile pending(path);
    write_wav_header(pending.file(), bytes / frame_bytes, instrument.rate, false, sixteen_bit);
    pending.file().write_exact(instrument.samples.data(), bytes);
    pending.commit();
}

} // namespace tunemill
