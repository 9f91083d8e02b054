// Load song, Save and Export below the dialogs: the song loader and the module writer of the
// storage and module layers, with the composer's rules on top.
#include "app/document/song_io.h"

#include "loading/song_loader.h"
#include "modules/export.h"
#include "strings/composer_strings.h"

namespace tunemill {

std::vector<LoadWarning> load_song_file(Song& song, const std::string& path,
                                        const std::string& untitled_path) {
    // The loader offers the file to the song file readers, every module format and MIDI.
    std::vector<LoadWarning> warnings;
    load_song(song, path, untitled_path, stock_bank_lookup(), &warnings);
    return warnings;
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

namespace {

// The Export dialog lists the module types in the order of module_variants().
ModuleFormat module_format(ModuleType type) {
    return module_variants()[size_t(type)].format;
}

} // namespace

const char* module_extension(ModuleType type) {
    return module_format_info(module_format(type)).extension;
}

std::vector<ExportWarning> export_module_file(const Song& song, const std::string& path,
                                              ModuleType type) {
    return export_module_file(song, std::filesystem::path(path), module_format(type));
}

} // namespace tunemill
