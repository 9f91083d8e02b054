// Rendering a song on several threads with exactly the bytes of one: the calling thread runs the
// sequencer and the voices' bookkeeping ahead (planning blocks), mixing threads mix consecutive
// planned blocks side by side, and a writing thread hands the mixed blocks to the sink in order.
// Each block is mixed by one thread from the voices as they stood at its start, so every
// saturating addition happens as it would on one thread.
#pragma once

#include <cstdint>
#include <functional>

#include "playback/engine.h"

namespace tunemill {

// The song renders with every block counted in frames (the last one trimmed by trim); the sink
// takes the blocks in order. Progress is asked before each block, with the frames planned so
// far. Returns the frames the sink took and whether progress cancelled. The engine is started.
struct ParallelRenderJob {
    PlaybackEngine& engine;
    const OutputFormat& format;
    uint32_t block_frames;
    uint64_t frames_to_render;
    std::function<void(const uint8_t* bytes, size_t count)> sink;
    std::function<bool(uint64_t frames_planned)> keep_going;
    std::function<size_t(const uint8_t* block, size_t bytes)> trim; // the song's last block
    uint32_t mixing_threads;
};
struct ParallelRenderResult {
    uint64_t frames = 0;
    bool cancelled = false;
};
ParallelRenderResult render_in_parallel(const ParallelRenderJob& job);

} // namespace tunemill
