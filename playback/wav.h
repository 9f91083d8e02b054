// WAV rendering: the 44-byte header as the composer writes it, rendering a song into a file with
// a private engine (progress and cancel), and writing one instrument's sample as a WAV file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "foundation/pending_file.h"
#include "instruments/instrument.h"
#include "playback/engine.h"

namespace tunemill {

class File;

constexpr size_t WAV_HEADER_BYTES = 44;
constexpr uint32_t WAV_RENDER_BLOCK_BYTES = 32768;
constexpr uint32_t MIN_EXPORT_RATE = 4000;
constexpr uint32_t MAX_EXPORT_RATE = 65535;
// The largest data chunk the 32-bit sizes of the header can describe.
constexpr uint64_t MAX_WAV_DATA_BYTES = 0xFFFFFFFFull - 36;

// RIFF, "WAVEfmt ", a PCM format chunk and the data chunk header for frames frames.
std::array<uint8_t, WAV_HEADER_BYTES> wav_header(uint64_t frames, uint32_t rate, bool stereo,
                                                 bool sixteen_bit);
// Writes the header at the file's current position.
void write_wav_header(File& file, uint64_t frames, uint32_t rate, bool stereo, bool sixteen_bit);

// (current, maximum) with both below 65536; returns false to cancel.
using RenderProgress = std::function<bool(uint32_t current, uint32_t maximum)>;

struct RenderResult {
    uint64_t frames = 0; // frames written after the header
    bool cancelled = false;
};

// Renders the song from its first sequence entry, without repeat, into the file (after its
// header) in blocks of 32 KB, for at most time_limit_ms; the block in which the song ends loses
// its trailing silence. An empty sequence writes nothing.
// threads mixing threads (0: one per core; the song's bytes are the same for any number).
RenderResult render_song_to_file(PlaybackEngine& engine, File& file, uint32_t time_limit_ms,
                                 const OutputFormat& format, const RenderProgress& progress,
                                 uint32_t threads = 1);

// Takes each rendered stretch of frames (the output format's bytes).
using RenderSink = std::function<void(const uint8_t* bytes, size_t count)>;
// The same rendering into any sink, for at most max_frames frames (the WAV header's 32-bit sizes
// limit render_song_to_file).
RenderResult render_song(PlaybackEngine& engine, const RenderSink& sink, uint32_t time_limit_ms,
                         uint64_t max_frames, const OutputFormat& format,
                         const RenderProgress& progress, uint32_t threads = 1);
// The mixing threads a render uses for the threads asked (0: one per core).
uint32_t mixing_threads(uint32_t threads);

// The song export settings, kept for the run; the typed rate is limited to 4000..65535.
struct WavExportSettings {
    bool stereo = true;
    bool interpolate = true;
    bool sixteen_bit = true;
    uint32_t rate = 44100;
    uint32_t amplification = 25;
    uint32_t threads = 0; // mixing threads, 0: one per core
};
uint32_t limit_export_rate(uint64_t typed_rate);

// Renders the whole song into a WAV file with a private engine. The file is written under a
// temporary name beside the target and renamed over it when complete, so a cancelled or failed
// export leaves no partial file (and an existing file of that name untouched). Returns false when
// cancelled; throws the failure otherwise.
bool export_song_to_wav(Song& song, const std::filesystem::path& path,
                        const WavExportSettings& settings, const RenderProgress& progress = {});

// The instrument's sample bytes as they are: mono, its own rate, 8-bit unsigned or 16-bit.
void export_instrument_to_wav(const Instrument& instrument, const std::filesystem::path& path);

} // namespace tunemill
