// Writing a song as a tracker module: S3M (16 channels) or MOD with 4, 6 or 8 channels. One song
// tick becomes one module row at speed 3; voices are cut into monophonic tracks that are merged
// into the channels; volumes, balances, slides and tempo become effects.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "modules/exported_module.h"
#include "modules/formats.h"
#include "song/song.h"

namespace tunemill {

class File;

// Builds the module from the song (which is normalized and validated on a copy first): an
// invalid song throws MISC_ERROR(S_INTERNAL_ERROR).
ExportedModule build_module(const Song& song, ModuleFormat format);

// Writes the song into the open file (created by the caller, who closes it). Returns what was
// dropped or changed on the way.
std::vector<ExportWarning> export_module(const Song& song, File& file, ModuleFormat format);
// Writes the song into a new file at path, replacing it only when everything was written.
// Returns what was dropped or changed on the way.
std::vector<ExportWarning> export_module_file(const Song& song, const std::filesystem::path& path,
                                              ModuleFormat format);

// Writes the bytes into a new file beside path and renames it over path, so that a failed
// export leaves the target as it was and no half file.
void write_file_replacing(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace tunemill
