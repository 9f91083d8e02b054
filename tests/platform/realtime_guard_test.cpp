// The guard of the real-time rules itself: inside a real-time section it counts what the rule
// forbids and nothing else, and outside one it counts nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "platform/realtime_section.h"
#include "realtime_guard.h"

namespace tunemill {
namespace {

std::atomic<int*> kept{nullptr}; // keeps the compiler from leaving the allocation out

void allocate_and_free() {
    kept.store(new int(7));
    delete kept.exchange(nullptr);
}

void lock_and_unlock() {
    static std::mutex mutex;
    mutex.lock();
    mutex.unlock();
}

TEST(RealtimeGuard, CountsWhatEachSectionForbids) {
    struct Case {
        const char* what;
        RealtimeRule rule;
        void (*action)();
        test::RealtimeViolations expected;
    };
    const uint64_t lock = test::realtime_locks_checked() ? 1 : 0;
    const Case cases[] = {
        {"allocating outside", RealtimeRule::NONE, allocate_and_free, {}},
        {"locking outside", RealtimeRule::NONE, lock_and_unlock, {}},
        {"allocating while rendering", RealtimeRule::RENDERING, allocate_and_free, {1, 1, 0}},
        {"locking while rendering", RealtimeRule::RENDERING, lock_and_unlock, {}},
        {"allocating in the callback", RealtimeRule::AUDIO_CALLBACK, allocate_and_free, {1, 1, 0}},
        {"locking in the callback", RealtimeRule::AUDIO_CALLBACK, lock_and_unlock, {0, 0, lock}},
    };
    for (const Case& c : cases) {
        test::forget_realtime_violations();
        {
            const RealtimeSection section(c.rule);
            c.action();
        }
        EXPECT_EQ(test::realtime_violations(), c.expected) << c.what;
        test::forget_realtime_violations();
    }
}

TEST(RealtimeGuard, SectionsNestAndRestoreTheOuterRule) {
    EXPECT_EQ(current_realtime_rule(), RealtimeRule::NONE);
    {
        const RealtimeSection rendering(RealtimeRule::RENDERING);
        {
            const RealtimeSection callback(RealtimeRule::AUDIO_CALLBACK);
            EXPECT_EQ(current_realtime_rule(), RealtimeRule::AUDIO_CALLBACK);
        }
        EXPECT_EQ(current_realtime_rule(), RealtimeRule::RENDERING);
    }
    EXPECT_EQ(current_realtime_rule(), RealtimeRule::NONE);
}

} // namespace
} // namespace tunemill
