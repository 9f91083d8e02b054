// The module import: reading and conversion into a song of its own, then the hand-over.
#include "modules/import.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/convert.h"
#include "modules/mod.h"
#include "modules/module.h"
#include "modules/s3m.h"

#include <algorithm>
#include <cstring>

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

bool probe_mod_head(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size >= sizeof(ModHeader) && head.size() >= sizeof(ModHeader) &&
        mod_tag_info(reinterpret_cast<const char*>(head.data()) + 1080).channels != 0)
        return true;
    // The 15-sample test: counts and the file's size against what the header implies.
    if (file_size < sizeof(OldModHeader) || head.size() < sizeof(OldModHeader)) return false;
    const auto header = decode<OldModHeader>(head.data());
    const int patterns = *std::max_element(header.orders, header.orders + 128) + 1;
    if (patterns > 64 || header.song_length == 0) return false;
    uint64_t sample_bytes = 0;
    for (const ModSampleHeader& sample : header.samples) {
        if (sample.volume > 64) return false;
        sample_bytes += uint64_t(sample.length_words) * 2;
    }
    const uint64_t expected = uint64_t(patterns) * 1024 + sample_bytes + sizeof(OldModHeader);
    return sample_bytes != 0 && file_size >= expected && file_size <= expected * 105 / 100;
}

bool probe_s3m_head(std::span<const uint8_t> head, uint64_t file_size) {
    if (file_size < sizeof(S3mHeader) || head.size() < sizeof(S3mHeader)) return false;
    const auto header = decode<S3mHeader>(head.data());
    return std::memcmp(header.magic, "SCRM", 4) == 0 && header.type == 16 &&
           header.order_count <= 254 && header.order_count % 2 == 0 &&
           header.instrument_count <= 99 && header.pattern_count <= 100 &&
           header.sample_format == 2;
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
