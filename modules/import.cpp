// The module import: reading and conversion into a song of its own, then the hand-over.
#include "modules/import.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/convert.h"
#include "modules/module.h"

#include <new>

namespace tunemill {

bool try_import(Song& song, File& file) {
    std::unique_ptr<ModuleReader> reader = recognise_module(file);
    if (!reader) return false;
    Song result;
    try {
        reader->read(file);
        convert_module(*reader, file, result);
    } catch (const FILE_ERROR& error) {
        // A module that ends early is damaged, whatever part of it was cut.
        if (error.is_end_of_file()) throw LOAD_ERROR(0);
        throw;
    } catch (const std::bad_alloc&) {
        throw MEM_ERROR();
    }
    song.description = std::move(result.description);
    song.ticks_per_beat = result.ticks_per_beat;
    song.beats_per_measure = result.beats_per_measure;
    song.overall_tempo = result.overall_tempo;
    song.repeat_position = result.repeat_position;
    song.sequence = std::move(result.sequence);
    song.patterns = std::move(result.patterns);
    song.instruments = std::move(result.instruments);
    song.song_file = false;
    song.modified = false;
    return true;
}

void read_module_song(File& file, Song& song) {
    file.seek(0);
    if (!try_import(song, file)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
}

ModuleSummary describe_module(const std::filesystem::path& path) {
    File file = File::open_for_reading(path);
    const std::unique_ptr<ModuleReader> reader = read_module(file);
    return {reader->format(),        reader->tag(),
            reader->channel_count(), int(reader->orders().size()),
            reader->pattern_count(), reader->title()};
}

void load_module(const std::filesystem::path& path, Song& song) {
    File file = File::open_for_reading(path);
    if (!try_import(song, file)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
    song.path = path.string();
}

} // namespace tunemill
