// The real-time rules checked in the test programs that link realtime_guard.cpp: inside a
// RealtimeSection (platform/realtime_section.h) every allocation and freeing is counted, and in
// the audio callback every lock too. A program that broke a rule fails at its end, naming it.
#pragma once

#include <cstdint>
#include <ostream>

namespace tunemill::test {

struct RealtimeViolations {
    uint64_t allocations = 0;
    uint64_t frees = 0;
    uint64_t locks = 0;
    bool operator==(const RealtimeViolations&) const = default;
};

void PrintTo(const RealtimeViolations& violations, std::ostream* out);

// The rules broken so far.
RealtimeViolations realtime_violations();
// Forgets them (for the tests of the guard itself, which break the rules on purpose).
void forget_realtime_violations();
// Whether this build counts locks (not under the sanitizers, which intercept them themselves).
bool realtime_locks_checked();

} // namespace tunemill::test
