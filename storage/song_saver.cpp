// The safe save: a temporary file beside the target, flushed and renamed over it.
#include "storage/song_saver.h"

#include "foundation/path_checks.h"
#include "foundation/pending_file.h"
#include "song/instrument_array.h"
#include "storage/song_file.h"

namespace tunemill {

namespace fs = std::filesystem;

void write_song_file(const Song& song, const fs::path& path) {
    PendingFile pending(path);
    write_song(pending.file(), song);
    pending.commit();
}

bool save_song(Song& song, const fs::path& path) {
    if (!purge(song, -1, -1)) return false;
    write_song_file(song, path);
    song.modified = false;
    song.song_file = true;
    song.path = absolute_path(path).string();
    return true;
}

} // namespace tunemill
