// Saving a song safely: the song is purged, written to a temporary file in the target's folder,
// flushed to the disk and renamed over the target, so the old file survives any failure on the
// way.
#pragma once

#include <filesystem>

#include "song/song.h"

namespace tunemill {

// Writes the song as it is to the path through a temporary file in the same folder: written,
// flushed, renamed over the path (a symbolic link is followed; the old file's permissions are
// kept). A failure removes the temporary file and leaves the old file as it was; its FILE_ERROR
// names the target. Temporary files that killed saves left in the folder are removed.
void write_song_file(const Song& song, const std::filesystem::path& path);

// File > Save: the purge first, then write_song_file; on success clears modified, sets the
// song-file flag and the path (made absolute). Returns false when the purge could not take the song
// lock (that message has been shown); errors of the write pass on. The caller does not hold the
// song lock.
bool save_song(Song& song, const std::filesystem::path& path);

} // namespace tunemill
