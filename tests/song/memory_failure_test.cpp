// Running out of memory in the middle of an edit: the voice being changed gets its events back,
// so the song stays valid. Allocation failures are injected by replacing operator new in this
// test program (not under AddressSanitizer, which owns operator new there).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "song/editing.h"
#include "song/song.h"
#include "song_test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#define TUNEMILL_INJECT_ALLOCATION_FAILURES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUNEMILL_INJECT_ALLOCATION_FAILURES 0
#endif
#endif
#ifndef TUNEMILL_INJECT_ALLOCATION_FAILURES
#define TUNEMILL_INJECT_ALLOCATION_FAILURES 1
#endif

namespace {
// Allocations left before one fails; negative: never fail.
thread_local long allocations_left = -1;
} // namespace

#if TUNEMILL_INJECT_ALLOCATION_FAILURES
// The replacement pairs malloc with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (allocations_left == 0) {
        allocations_left = -1;
        throw std::bad_alloc();
    }
    if (allocations_left > 0) --allocations_left;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#endif

namespace tunemill {
namespace {

using testing::describe;

TEST(MemoryFailure, AFailedEditChangesNothingInTheVoice) {
    if (!TUNEMILL_INJECT_ALLOCATION_FAILURES)
        GTEST_SKIP() << "allocation failures are not injected here";
    Pattern original =
        testing::pattern_with(32, "on40@0 vol10@2 port40>43:2@3 on50@4 off43@8 on43@8 bal3@9 "
                                  "off50@12 off43@16 on44@16 off44@24");
    using Operation = void (*)(Pattern&);
    const Operation operations[] = {
        [](Pattern& p) {
            clear_block(p, Block{2, 10, Aspect::NOTES, 0});
        },
        [](Pattern& p) {
            delete_block(p, Block{2, 10, Aspect::NOTES, 0});
        },
        [](Pattern& p) {
            insert_space(p, Block{2, 10, Aspect::NOTES, 0});
        },
        [](Pattern& p) {
            repeat_block(p, Block{0, 6, Aspect::NOTES, 0});
        },
        [](Pattern& p) {
            transpose_block(p, Block{2, 14, Aspect::NOTES, 0}, 5);
        },
        [](Pattern& p) {
            portamento_set(p, Block{0, 32, Aspect::NOTES, 0});
        },
        [](Pattern& p) {
            portamento_clear(p, Block{0, 32, Aspect::NOTES, 0});
        },
        [](Pattern& p) { add_note(p, 0, 6, 20, 43); },
        [](Pattern& p) { erase_note(p, 0, 6, 20, 43); },
        [](Pattern& p) { remove_step(p, 0, 12); },
        [](Pattern& p) { set_curve_range(p, 0, 4, 12, VOLUME, 20); },
    };
    for (size_t o = 0; o < std::size(operations); ++o) {
        int failures = 0;
        for (long n = 0; n < 400; ++n) {
            Pattern pattern = original;
            allocations_left = n;
            try {
                operations[o](pattern);
                allocations_left = -1;
                break; // got through without a failure: every allocation was tried
            } catch (const std::bad_alloc&) {
                allocations_left = -1;
                ++failures;
                EXPECT_EQ(describe(pattern.voices[0].events), describe(original.voices[0].events))
                    << "operation " << o << " failing at allocation " << n;
                EXPECT_EQ(pattern.length, original.length) << "operation " << o;
            }
        }
        EXPECT_GT(failures, 0) << "operation " << o;
    }
}

} // namespace
} // namespace tunemill
