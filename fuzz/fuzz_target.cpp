// One libFuzzer target: the entry point named by TUNEMILL_FUZZ_TARGET (see harness.h). The
// same file is built once for every entry point.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/harness.h"

#ifndef TUNEMILL_FUZZ_TARGET
#error "TUNEMILL_FUZZ_TARGET names the entry point"
#endif

namespace {
const tunemill::fuzz::EntryPoint& target() {
    static const tunemill::fuzz::EntryPoint* point =
        tunemill::fuzz::entry_point(TUNEMILL_FUZZ_TARGET);
    if (point == nullptr) std::abort();
    return *point;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A BrokenPromise or any other exception escapes: libFuzzer reports the input.
    target().run({data, size});
    return 0;
}

// libsndfile's Ogg Vorbis reader leaves libvorbis's stream info behind when a damaged header
// makes it give up (a few KB per such file, inside the library, not ours to free).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:vorbis_info_init\n";
}
