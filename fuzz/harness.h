// The entry points the fuzz targets and the regression test share: each feeds outside bytes to
// one reader exactly as the composer does, and checks the promises the reader makes when it
// accepts them (the song validates, its first seconds render, a refused paste changes nothing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tunemill::fuzz {

// A broken promise: the input was accepted but what came out is not well-formed. The fuzz
// targets let it escape (libFuzzer reports the input); the regression test fails on it.
class BrokenPromise : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

// What happened to an input.
enum class Outcome {
    ACCEPTED, // read, and every check afterwards held
    REFUSED,  // the reader threw a member of the error family (the user sees its message)
};

// Every entry point. Anything else that escapes (a standard exception, BrokenPromise, a
// sanitizer report) is a finding.
Outcome load_song_input(std::span<const uint8_t> data);       // the whole loader order
Outcome module_input(std::span<const uint8_t> data);          // MOD / S3M import alone
Outcome midi_input(std::span<const uint8_t> data);            // MIDI import, then its export
Outcome instrument_file_input(std::span<const uint8_t> data); // ".sa2" / ".sy"
Outcome bank_input(std::span<const uint8_t> data);            // open, every name looked up
Outcome sample_import_input(std::span<const uint8_t> data);   // WAV, else raw data
Outcome
sound_file_input(std::span<const uint8_t> data); // FLAC, AIFF, Ogg, WAV variants via libsndfile
Outcome clipboard_input(std::span<const uint8_t> data);   // a block pasted into a small song
Outcome setup_index_input(std::span<const uint8_t> data); // "data.idx"
Outcome settings_input(std::span<const uint8_t> data);    // the user's settings store (.reg)

struct EntryPoint {
    const char* name; // the target's name: fuzz/corpus/<name>, tests/fuzz_regressions/data/<name>
    Outcome (*run)(std::span<const uint8_t> data);
};
// The entry points of this build (the setup index only where setup's core is built).
std::span<const EntryPoint> entry_points();
const EntryPoint* entry_point(std::string_view name);

// The message of the last refused input, as the user would see it.
const std::string& last_refusal();

// The instrument bank that song files and clipboard blocks name their bank instruments from:
// tmill.bnk beside the running program unless set.
void set_bank_path(const std::filesystem::path& path);

} // namespace tunemill::fuzz
