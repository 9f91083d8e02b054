// The composer's song file commands below the dialogs: Load song (the song file readers, then
// the tracker module readers), Save (safe), Export (a tracker module of the chosen type).
#pragma once

#include <string>
#include <vector>

#include "loading/song_loader.h"
#include "modules/export.h"
#include "song/song.h"

namespace tunemill {

// Reads the file into the song, setting the song-file flag for a file of the current format and
// clearing it for an older song file or a module. A file no reader accepts throws MISC_ERROR
// "Unknown or damaged song file"; a file that ends early LOAD_ERROR "Damaged song file". On an
// error the song stays as it was. A MIDI file comes in untitled and changed. Returns what the
// import had to change. The caller holds the song lock.
std::vector<LoadWarning> load_song_file(Song& song, const std::string& path,
                                        const std::string& untitled_path);

// The module types of the Export dialog, in the order of its filter list.
enum class ModuleType { S3M = 0, MOD4 = 1, MOD6 = 2, MOD8 = 3 };
// The type of a filter index (anything unknown is S3M) and the extension it proposes.
ModuleType module_type_of(int filter_index);
const char* module_extension(ModuleType type);

// Writes the song to the path as a tracker module of the type, whatever the name's extension.
// Returns what the module could not hold as the song has it.
std::vector<ExportWarning> export_module_file(const Song& song, const std::string& path,
                                              ModuleType type);

} // namespace tunemill
