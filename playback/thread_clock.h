// The clock of the playback thread's waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace tunemill::thread_clock {

using Clock = std::chrono::steady_clock;

inline uint64_t elapsed_ms(Clock::time_point since) {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

inline void sleep_ms(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace tunemill::thread_clock
