// The loading order of the song readers, and the safe save.
#include "storage/song_loader.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "instruments/bank.h"
#include "modules/import.h"
#include "song/instrument_array.h"
#include "storage/old_song_file.h"

namespace tunemill {

namespace {

namespace fs = std::filesystem;

const SongReader READERS[] = {
    {"sn2", [](std::span<const uint8_t> head, uint64_t) { return probe_song_file(head); },
     [](File& file, Song& song, const BankLookup& bank) {
         if (!read_song(file, song, bank)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
     },
     true},
    {"sn", [](std::span<const uint8_t> head, uint64_t) { return probe_old_song_file(head); },
     [](File& file, Song& song, const BankLookup& bank) {
         if (!read_old_song(file, song, bank)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
     },
     false},
    // Tracker modules come after the song formats: their probes are the weakest.
    {"mod", probe_mod_head,
     [](File& file, Song& song, const BankLookup&) { read_module_song(file, song); }, false},
    {"s3m", probe_s3m_head,
     [](File& file, Song& song, const BankLookup&) { read_module_song(file, song); }, false},
};

std::vector<uint8_t> read_head(File& file) {
    std::vector<uint8_t> head(PROBE_BYTES);
    size_t got = 0;
    while (got < head.size()) {
        const size_t more = file.read_some(head.data() + got, head.size() - got);
        if (more == 0) break;
        got += more;
    }
    head.resize(got);
    file.seek(0);
    return head;
}

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

std::span<const SongReader> song_readers() {
    return READERS;
}

BankLookup stock_bank_lookup() {
    return [](const std::string& name) { return instrument_bank().load(name); };
}

Song read_any_song(const fs::path& path, const BankLookup& bank, std::string* format) {
    File file = File::open_for_reading(path);
    const std::vector<uint8_t> head = read_head(file);
    const uint64_t size = file.size();
    for (const SongReader& reader : song_readers()) {
        if (!reader.probe(head, size)) continue;
        Song song;
        reset(song);
        file.seek(0);
        try {
            reader.read(file, song, bank);
        } catch (const FILE_ERROR& error) {
            // A file cut short is a damaged song file, whichever reader found the end.
            if (error.is_end_of_file()) throw LOAD_ERROR(0);
            throw;
        }
        song.song_file = reader.song_file;
        if (format) *format = reader.format;
        return song;
    }
    throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
}

std::string load_song(Song& song, const fs::path& path, const std::string& untitled_path,
                      const BankLookup& bank) {
    try {
        std::string format;
        Song loaded = read_any_song(path, bank, &format);
        // The song object stays (its lock and observers with it); only its content is replaced.
        song = std::move(loaded);
        song.path = path.string();
        song.modified = false;
        return format;
    } catch (...) {
        new_song(song, untitled_path);
        throw;
    }
}

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
