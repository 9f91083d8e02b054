// The allocator and the mutex functions of the test programs that check the real-time rules:
// each asks the calling thread's RealtimeSection whether it may allocate, free or lock, and
// counts what it may not. Without a section everything passes straight through.
#include "realtime_guard.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <unistd.h>

#include "platform/realtime_section.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TUNEMILL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TUNEMILL_SANITIZED 1
#endif
#endif

#if !defined(TUNEMILL_SANITIZED)
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>
#endif

namespace tunemill::test {

namespace {

std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> frees{0};
std::atomic<uint64_t> locks{0};

// Says so on stderr the first time, without allocating.
void note(std::atomic<uint64_t>& counter, const char* text, size_t length) {
    if (counter.fetch_add(1, std::memory_order_relaxed) == 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, length);
        (void)written;
    }
}

template <size_t N> void note(std::atomic<uint64_t>& counter, const char (&text)[N]) {
    note(counter, text, N - 1);
}

void check_allocation() {
    if (current_realtime_rule() != RealtimeRule::NONE)
        note(allocations, "real-time rule broken: allocation in a real-time section\n");
}

void check_free(void* pointer) {
    if (pointer && current_realtime_rule() != RealtimeRule::NONE)
        note(frees, "real-time rule broken: memory freed in a real-time section\n");
}

void* allocate(size_t size) {
    check_allocation();
    if (void* pointer = std::malloc(size ? size : 1)) return pointer;
    throw std::bad_alloc();
}

void* allocate_aligned(size_t size, std::align_val_t alignment) {
    check_allocation();
    void* pointer = nullptr;
    const size_t align = std::max(size_t(alignment), sizeof(void*));
    if (posix_memalign(&pointer, align, size ? size : 1) == 0) return pointer;
    throw std::bad_alloc();
}

void release(void* pointer) noexcept {
    check_free(pointer);
    std::free(pointer);
}

// Fails the program when a test broke a rule.
class RealtimeRulesCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        EXPECT_EQ(realtime_violations(), RealtimeViolations{})
            << "allocations, frees or locks in the audio callback or while rendering a block";
    }
};

[[maybe_unused]] ::testing::Environment* const rules_check =
    ::testing::AddGlobalTestEnvironment(new RealtimeRulesCheck);

} // namespace

RealtimeViolations realtime_violations() {
    return {allocations.load(), frees.load(), locks.load()};
}

void forget_realtime_violations() {
    allocations = 0;
    frees = 0;
    locks = 0;
}

bool realtime_locks_checked() {
#if defined(TUNEMILL_SANITIZED)
    return false;
#else
    return true;
#endif
}

void PrintTo(const RealtimeViolations& violations, std::ostream* out) {
    *out << violations.allocations << " allocations, " << violations.frees << " frees, "
         << violations.locks << " locks";
}

} // namespace tunemill::test

// ---------------------------------------------------------------------------------------------
// The replaced allocation functions.

void* operator new(size_t size) {
    return tunemill::test::allocate(size);
}
void* operator new[](size_t size) {
    return tunemill::test::allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return tunemill::test::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void* operator new(size_t size, std::align_val_t alignment) {
    return tunemill::test::allocate_aligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return tunemill::test::allocate_aligned(size, alignment);
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return tunemill::test::allocate_aligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return operator new(size, alignment, std::nothrow);
}

void operator delete(void* pointer) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer) noexcept {
    tunemill::test::release(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    tunemill::test::release(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete(void* pointer, size_t, std::align_val_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept {
    tunemill::test::release(pointer);
}
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    tunemill::test::release(pointer);
}
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept {
    tunemill::test::release(pointer);
}

// ---------------------------------------------------------------------------------------------
// The mutex functions: the audio callback takes no lock at all. (The sanitizers intercept these
// themselves; their builds leave them alone.)

#if !defined(TUNEMILL_SANITIZED)
namespace {

template <typename Function>
Function next_definition(std::atomic<Function>& slot, const char* name) {
    Function function = slot.load(std::memory_order_acquire);
    if (!function) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        slot.store(function, std::memory_order_release);
    }
    return function;
}

void check_lock() {
    if (tunemill::current_realtime_rule() == tunemill::RealtimeRule::AUDIO_CALLBACK)
        tunemill::test::note(tunemill::test::locks,
                             "real-time rule broken: lock taken in the audio callback\n");
}

using Lock = int (*)(pthread_mutex_t*);
using TimedLock = int (*)(pthread_mutex_t*, const timespec*);
using ClockLock = int (*)(pthread_mutex_t*, clockid_t, const timespec*);
std::atomic<Lock> next_lock{nullptr};
std::atomic<Lock> next_trylock{nullptr};
std::atomic<TimedLock> next_timedlock{nullptr};
std::atomic<ClockLock> next_clocklock{nullptr};

} // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    check_lock();
    return next_definition(next_lock, "pthread_mutex_lock")(mutex);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    check_lock();
    return next_definition(next_trylock, "pthread_mutex_trylock")(mutex);
}

extern "C" int pthread_mutex_timedlock(pthread_mutex_t* mutex, const timespec* deadline) {
    check_lock();
    return next_definition(next_timedlock, "pthread_mutex_timedlock")(mutex, deadline);
}

extern "C" int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock,
                                       const timespec* deadline) {
    check_lock();
    return next_definition(next_clocklock, "pthread_mutex_clocklock")(mutex, clock, deadline);
}
#endif
