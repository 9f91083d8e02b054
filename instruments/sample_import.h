// Import of WAV and raw sample files as new instruments. A file that is not a WAV file the
// importer understands is offered as raw data, with settings the front end confirms.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "instruments/instrument.h"
#include "instruments/sound_file.h"

namespace tunemill {

struct RawImportSettings {
    uint32_t rate = 8000;     // clamped to 1 .. 65535
    bool sixteen_bit = false; // signed little-endian, else unsigned 8-bit
    bool stereo = false;      // only the left channel is kept
    uint64_t header_size = 0; // bytes skipped at the start (ignored when not below the file size)
};

// Asked when the file is taken as raw data: shows the settings, may change them, and returns
// false to cancel the import. The GUI answers with its dialog, the CLI with its options.
using RawImportPrompt = std::function<bool(RawImportSettings& settings)>;

// The raw settings kept for the run (not saved).
RawImportSettings& raw_import_settings();

// The instrument in the file: its name is the file name without its extension (at most 16
// characters), category 29, not from the bank. Our own WAV reader goes first; a file it does not
// take that starts like a FLAC, AIFF, Ogg or other WAV file is read through libsndfile (with the
// file's loop, see sound_file.h) and gives its message when that fails, as does a file that starts
// with such a container's mark but ends before its type, and an empty file; anything else is raw
// data.
// Nothing when the prompt cancels. File failures are FILE_ERRORs; nothing is added on any failure.
std::optional<Instrument> import_sample_file(const std::filesystem::path& path,
                                             const RawImportPrompt& prompt,
                                             RawImportSettings& settings = raw_import_settings());

// A sample file as import_sample_file reads it without asking for raw settings: what the file
// holds and the instrument it becomes. Nothing for raw data; the errors of import_sample_file.
struct SampleFile {
    SoundFileFormat format;
    Instrument instrument;
};
std::optional<SampleFile> read_sample_file(const std::filesystem::path& path);

// True when import_sample_file would read the file as a sample file rather than raw data.
// Looks at the first bytes only; file failures are FILE_ERRORs.
bool is_sample_file(const std::filesystem::path& path);

// True when the name ends like a sample file (".wav", ".flac", ".aiff", ".ogg", ".opus", ...;
// any case): what such a file holds is never taken for a song.
bool has_sample_file_extension(const std::filesystem::path& path);

} // namespace tunemill
