// ThreadSanitizer (as shipped with GCC 12 and Clang 14) does not intercept pthread_mutex_clocklock,
// which std::timed_mutex::try_lock_for uses, so it cannot see the song lock being taken and reports
// every access under it as a race. In sanitizer builds of the thread tests the call is routed
// through pthread_mutex_timedlock, which it does intercept, with the deadline moved to the
// realtime clock.
#if defined(__SANITIZE_THREAD__)
#include <pthread.h>
#include <time.h>

extern "C" int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock,
                                       const struct timespec* deadline) {
    timespec now{};
    clock_gettime(clock, &now);
    long long remaining =
        (deadline->tv_sec - now.tv_sec) * 1000000000LL + (deadline->tv_nsec - now.tv_nsec);
    if (remaining < 0) remaining = 0;
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    const long long total = real.tv_nsec + remaining;
    real.tv_sec += time_t(total / 1000000000LL);
    real.tv_nsec = long(total % 1000000000LL);
    return pthread_mutex_timedlock(mutex, &real);
}
#endif
