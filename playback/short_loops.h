// Short sample loops laid out many times over, so that a voice playing one mixes long stretches
// through the vector kernels instead of stopping at every loop end, with exactly the sound of the
// wrapping voice. The layouts are built on first use (they allocate): for offline rendering.
#pragma once

#include <cstdint>
#include <vector>

#include "playback/mix_voice.h"

namespace tunemill {

// One instrument's loop, repeated a whole number of times.
struct LaidOutLoop {
    uint32_t loop_start = 0;
    uint32_t sample_end = 0;
    uint32_t bytes_per_sample = 0;
    uint32_t frames = 0;          // laid-out frames: a whole number of loops
    std::vector<uint8_t> source;  // the sample bytes it was built from, to notice edits
    std::vector<uint8_t> samples; // the loop repeated, in the sample's own format, padded
    // (older, newer) in 16-bit units per frame for the interpolating kernels: the older sample of
    // each copy's first frame is the one a loop wrap takes (the frame before the loop start, or
    // silence when the loop starts at 0), as for a voice not placed into its loop.
    std::vector<int16_t> pairs;

    uint32_t length() const { return sample_end - loop_start; }
};

class ShortLoops {
  public:
    // Loops shorter than this are laid out; a layout holds at least LAID_OUT_FRAMES frames.
    static constexpr uint32_t SHORT_LOOP_FRAMES = 256;
    static constexpr uint32_t LAID_OUT_FRAMES = 1024;

    // The layout of the voice's loop (its sample fields refreshed from its instrument), built or
    // rebuilt when its sample changed; nullptr when the voice does not play a short loop or was
    // placed into its loop (whose first older sample differs).
    const LaidOutLoop* find(const MixVoice& voice);

  private:
    std::vector<LaidOutLoop> loops_; // by instrument index
};

// Mixes up to frames frames of a voice positioned inside its loop through the layout; returns
// the frames mixed (cut at the layout's end). The voice's position is then where the wrapping
// voice's would be after its last kernel call: one step after the last frame, maybe past the end.
uint32_t mix_through_loop(MixVoice& voice, int16_t* mix, uint32_t frames, const LaidOutLoop& loop,
                          bool stereo, const Kernel* table);

} // namespace tunemill
