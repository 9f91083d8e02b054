// The safe save: a temporary file beside the target, flushed and renamed over it.
#include "storage/song_saver.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "song/instrument_array.h"
#include "storage/song_file.h"

namespace tunemill {

namespace {

namespace fs = std::filesystem;

// Makes the rename itself durable; a folder that cannot be flushed does not fail the save, the
// file's own content already is on the disk.
void sync_folder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

fs::path temporary_beside(const fs::path& target) {
    static std::atomic<uint32_t> counter{0};
    fs::path name = "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

} // namespace

void write_song_file(const Song& song, const fs::path& path) {
    fs::path target = path;
    std::error_code error;
    if (fs::is_symlink(target, error)) {
        const fs::path resolved = fs::weakly_canonical(target, error);
        if (!error) target = resolved;
    }
    const fs::path temporary = temporary_beside(target);
    try {
        try {
            File file = File::open_for_writing(temporary, File::Disposition::CREATE_NEW);
            write_song(file, song);
            file.sync();
            file.close();
            std::error_code ignored;
            const fs::file_status old = fs::status(target, ignored);
            if (fs::exists(old)) fs::permissions(temporary, old.permissions(), ignored);
            if (::rename(temporary.c_str(), target.c_str()) != 0)
                throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(errno), target.string());
        } catch (const FILE_ERROR& failure) {
            throw FILE_ERROR(failure.kind(), failure.code(), target.string());
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    sync_folder(target.parent_path());
}

bool save_song(Song& song, const fs::path& path) {
    if (!purge(song, -1, -1)) return false;
    write_song_file(song, path);
    song.modified = false;
    song.song_file = true;
    song.path = path.string();
    return true;
}

} // namespace tunemill
