// Load song, Save and Export below the dialogs.
#include "app/song_io.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "modules/import.h"
#include "song/instrument_array.h"
#include "storage/song_file.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

Instrument bank_instrument(const std::string& name) { return instrument_bank().load(name); }

void read_any_song(File& file, Song& song) {
    song.song_file = true;
    if (read_song(file, song, bank_instrument)) return;
    song.song_file = false;
    file.seek(0);
    if (!try_import(song, file)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
}

} // namespace

void load_song_file(Song& song, const std::string& path) {
    File file = File::open_for_reading(path);
    try {
        read_any_song(file, song);
    } catch (const FILE_ERROR& error) {
        // A file that simply ends too early is a damaged song, not a failing disk.
        if (error.is_end_of_file()) throw LOAD_ERROR(0);
        throw;
    }
    file.close();
}

void save_song_file(Song& song, const std::string& path) {
    purge(song, -1, -1);
    // Written beside the target and renamed over it, so a failed save keeps the old file.
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".tmp~";
    try {
        File file = File::open_for_writing(temporary);
        write_song(file, song);
        file.sync();
        file.close();
        std::error_code failed;
        std::filesystem::rename(temporary, target, failed);
        if (failed) throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(failed.value()), path);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

ModuleType module_type_of(int filter_index) {
    switch (filter_index) {
    case 1: return ModuleType::MOD4;
    case 2: return ModuleType::MOD6;
    case 3: return ModuleType::MOD8;
    default: return ModuleType::S3M;
    }
}

const char* module_extension(ModuleType type) { return type == ModuleType::S3M ? "s3m" : "mod"; }

} // namespace tunemill
