// The code that must never wait for memory or for another thread marks itself while it runs: the
// audio callback (no allocating, freeing or locking) and the playback thread while it renders a
// block (no allocating or freeing; the song lock is the one lock it may take). The mark costs a
// store to a thread-local variable; the test programs check it in their allocator and lock
// functions, so that a test fails when one of these paths breaks its rule.
#pragma once

#include <cstdint>

namespace tunemill {

enum class RealtimeRule : uint8_t {
    NONE,
    RENDERING,      // no allocation or freeing
    AUDIO_CALLBACK, // no allocation, freeing or lock
};

// The rule the calling thread runs under now.
RealtimeRule current_realtime_rule() noexcept;

// Marks the calling thread for one scope; the rule before it comes back at the end.
class RealtimeSection {
  public:
    explicit RealtimeSection(RealtimeRule rule) noexcept;
    ~RealtimeSection();
    RealtimeSection(const RealtimeSection&) = delete;
    RealtimeSection& operator=(const RealtimeSection&) = delete;

  private:
    RealtimeRule outer_;
};

} // namespace tunemill
