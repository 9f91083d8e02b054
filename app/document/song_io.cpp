// Load song, Save and Export below the dialogs: the song loader and the module writer of the
// storage and module layers, with the composer's rules on top.
#include "app/document/song_io.h"

#include "foundation/errors.h"
#include "modules/export.h"
#include "modules/import.h"
#include "storage/song_loader.h"
#include "strings/composer_strings.h"

namespace tunemill {

void load_song_file(Song& song, const std::string& path, const std::string& untitled_path) {
    try {
        try {
            load_song(song, path, untitled_path);
        } catch (const MISC_ERROR& error) {
            // Every song file reader declined: the tracker module readers have their turn.
            if (error.string_id() != S_UNKNOWN_SONG_FILE) throw;
            load_module(path, song);
            song.path = path;
            song.song_file = false;
            song.modified = false;
        }
    } catch (const FILE_ERROR& error) {
        // A file that simply ends too early is a damaged song, not a failing disk.
        if (error.is_end_of_file()) throw LOAD_ERROR(0);
        throw;
    }
}

ModuleType module_type_of(int filter_index) {
    switch (filter_index) {
    case 1:
        return ModuleType::MOD4;
    case 2:
        return ModuleType::MOD6;
    case 3:
        return ModuleType::MOD8;
    default:
        return ModuleType::S3M;
    }
}

const char* module_extension(ModuleType type) {
    return type == ModuleType::S3M ? "s3m" : "mod";
}

std::vector<ExportWarning> export_module_file(const Song& song, const std::string& path,
                                              ModuleType type) {
    static constexpr ModuleFormat FORMATS[] = {ModuleFormat::S3M, ModuleFormat::MOD,
                                               ModuleFormat::MOD6, ModuleFormat::MOD8};
    return export_module_file(song, std::filesystem::path(path), FORMATS[int(type)]);
}

} // namespace tunemill
