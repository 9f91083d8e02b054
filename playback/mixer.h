// The mixer: pitch and volume tables, gains, the voice pool, placing and gliding voices, mixing one
// voice through its kernel with loops and glide steps, and mixing every sounding voice of the pool
// for one chunk of a block.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "instruments/instrument.h"
#include "playback/mix_voice.h"
#include "playback/short_loops.h"

namespace tunemill {

constexpr uint32_t PITCH_KEYS = 84;
constexpr uint32_t PREVIEW_VOLUME = 31;

// The key's frequency in Hz times 65536, rounded; key 45 is 440 Hz.
extern const std::array<uint32_t, PITCH_KEYS> PITCH_TABLE;
// The gain curve of volume 0..31 (256 = full volume 30; 31 only for preview notes).
extern const std::array<uint32_t, 32> VOLUME_CURVE;

// The output format the mixer renders.
struct OutputFormat {
    bool stereo = true;
    bool sixteen_bit = true;
    bool interpolate = true;
    uint32_t amplification = 25; // 0..90: gain factor (A + 10) / 80
    uint32_t rate = 44100;

    uint32_t channels() const { return stereo ? 2 : 1; }
    uint32_t bytes_per_frame() const { return channels() * (sixteen_bit ? 2 : 1); }
    bool operator==(const OutputFormat&) const = default;
};

// (a * b + c / 2) / c with a 64-bit intermediate: the rounding multiply-divide for steps and
// frame counts. A zero divisor gives 0.
uint32_t scale(uint32_t a, uint32_t b, uint32_t c);

// The step of a key for an instrument of the given rate, with the engine's key rate divisor
// (output rate * 26163 / 100): a sample plays at its recorded speed at key 36.
uint32_t key_step(uint32_t instrument_rate, uint32_t key, uint32_t key_rate_divisor);
uint32_t key_rate_divisor(uint32_t output_rate);

struct Gains {
    uint32_t left;
    uint32_t right;
};
// The gains of a voice at volume (0..31) and balance (0..30) for the format.
Gains voice_gains(uint32_t volume, uint32_t balance, uint32_t amplification, bool stereo);

// Recomputes the voice's gains when they are stale; a change marks its kernel constants stale.
void refresh_gains(MixVoice& voice, uint32_t amplification, bool stereo);

// Sets the play position as if the voice had played elapsed output frames at its current step.
void place_voice(MixVoice& voice, uint64_t elapsed, uint32_t loop_start, uint32_t sample_end);

// Starts a glide of the voice's step towards its glide target over length frames in steps of
// interval frames, elapsed frames of it already past.
void start_glide(MixVoice& voice, uint32_t length, uint32_t interval, uint64_t elapsed);

// Chooses the voice's kernel for the format (interpolating only below step 1.0, silent when both
// gains are 0), refreshing its gains and the weight tables when stale.
void prepare_kernel(MixVoice& voice, const OutputFormat& format, const Kernel* table = kernels());

// Mixes the voice with its chosen kernel for up to frames frames, following loops and glide
// steps (each glide step chooses the kernel again for the new step); a non-looping sample that
// ends stops the voice (it loses running and gliding). With the layout of its short loop the
// voice mixes through the loop in long stretches, with the same sound.
void mix_voice(MixVoice& voice, int16_t* mix, uint32_t frames, const OutputFormat& format,
               const Kernel* table = kernels(), const LaidOutLoop* loop = nullptr);

// Each 16-bit sample becomes its upper byte with the top bit inverted (unsigned 8-bit).
void convert_to_8_bits(uint8_t* destination, const int16_t* source, size_t count);

// The pool of mixer voices: grows by 64 at a time and never shrinks while in use.
class VoicePool {
  public:
    static constexpr size_t GROWTH = 64;

    // The first free voice in pool order, else a new one at the end of a grown pool, marked
    // in use, running and gains stale; nullptr when the pool cannot grow.
    MixVoice* allocate();
    // Frees every voice; the storage stays.
    void clear() { voices_.clear(); }
    // Makes room for count voices ahead of time, so that allocation does not have to grow.
    void reserve(size_t count);

    std::vector<MixVoice>& voices() { return voices_; }
    const std::vector<MixVoice>& voices() const { return voices_; }
    size_t size() const { return voices_.size(); }

    static bool is_free(const MixVoice& voice) {
        return (voice.flags & (VOICE_IN_USE | VOICE_TOUCHED)) == 0;
    }

  private:
    std::vector<MixVoice> voices_;
};

// What one chunk of mixing saw.
struct ChunkReport {
    uint32_t audible = 0;       // voices mixed (running and in use)
    bool preview_mixed = false; // a preview or audition voice was mixed
};

// Mixes every running voice in use for frames frames at the mix position, with the kernels of
// the format; frame_count is the engine's frame count at the chunk's start (preview and
// audition notes end when it reaches their end frame). With short_loops, voices in short loops
// mix through their layouts.
ChunkReport mix_chunk(VoicePool& pool, std::span<const Instrument> instruments,
                      const OutputFormat& format, int16_t* mix, uint32_t frames,
                      uint64_t frame_count, const Kernel* table = kernels(),
                      ShortLoops* short_loops = nullptr);

} // namespace tunemill
