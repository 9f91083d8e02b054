// The composer's song file commands below the dialogs: Load song tries the song file reader
// (both song formats), then the tracker module readers; Save writes the song safely; Export
// writes a tracker module.
#pragma once

#include <string>

#include "song/song.h"

namespace tunemill {

// Reads the file into the song, setting the song-file flag for a file of the current format and
// clearing it for an older song file or a module. Throws MISC_ERROR "Unknown or damaged song
// file" when no reader accepts the file; a file that ends early is LOAD_ERROR "Damaged song
// file". On an error the song's content is undefined (the caller makes a new song).
void load_song_file(Song& song, const std::string& path);

// Purges the song (nothing kept) and writes it to the path; the old file survives a failure.
void save_song_file(Song& song, const std::string& path);

// The module types of the Export dialog, in the order of its filter list.
enum class ModuleType { S3M = 0, MOD4 = 1, MOD6 = 2, MOD8 = 3 };
// The type of a filter index (anything unknown is S3M) and the extension it proposes.
ModuleType module_type_of(int filter_index);
const char* module_extension(ModuleType type);

} // namespace tunemill
