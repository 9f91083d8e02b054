// The module import as the song loader uses it: recognise a MOD or S3M file, read it and turn it
// into the song. The song is replaced only when the whole import succeeded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "song/song.h"

namespace tunemill {

class File;

// Offers the open file to the module readers (MOD with a tag, 15-sample MOD, S3M). When one
// recognises it, the module is converted into song and the result is true; otherwise the file
// is positioned at its start again and the result is false. A recognised file that turns out
// damaged throws LOAD_ERROR 0 ("Damaged song file"), an inconsistent conversion LOAD_ERROR 1
// ("Internal load error"); song is then unchanged. The caller holds the song lock: the song's
// contents are replaced in one step at the end. Path and flags: the path is kept, the song-file
// and modified flags are cleared.
bool try_import(Song& song, File& file);

// The loader's read of every module format: the file (at any position) is imported into song, which
// the caller has reset; a file no module reader recognises throws MISC_ERROR(S_UNKNOWN_SONG_FILE).
void read_module_song(File& file, Song& song);

// What tmw-cli info shows of a module: format ("MOD", "S3M"), tag ("M.K.", "FLT8", "12CH",
// "SCRM", "" for 15-sample files), channels, orders and patterns as read. Throws as read_module.
struct ModuleSummary {
    std::string format;
    std::string tag;
    int channels = 0;
    int orders = 0;
    int patterns = 0;
    std::string title; // bytes as stored
};
ModuleSummary describe_module(const std::filesystem::path& path);

// Opens the file and imports it; a file that no reader knows throws
// MISC_ERROR(S_UNKNOWN_SONG_FILE) ("Unknown or damaged song file"). Sets the song's path.
void load_module(const std::filesystem::path& path, Song& song);

} // namespace tunemill
