// The loading order: the song file readers, one entry per module format, then MIDI files.
#include "loading/song_loader.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/path_checks.h"
#include "foundation/pending_file.h"
#include "foundation/string_table.h"
#include "instruments/bank.h"
#include "midi/import.h"
#include "midi/smf.h"
#include "modules/formats.h"
#include "modules/import.h"
#include "modules/mod.h"
#include "storage/old_song_file.h"
#include "storage/song_file.h"

namespace tunemill {

namespace {

namespace fs = std::filesystem;

std::vector<SongReader> make_readers() {
    std::vector<SongReader> readers = {
        {"sn2", [](std::span<const uint8_t> head, uint64_t) { return probe_song_file(head); },
         [](File& file, Song& song, const BankLookup& bank, std::vector<LoadWarning>&) {
             if (!read_song(file, song, bank)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
         },
         true},
        {"sn", [](std::span<const uint8_t> head, uint64_t) { return probe_old_song_file(head); },
         [](File& file, Song& song, const BankLookup& bank, std::vector<LoadWarning>&) {
             if (!read_old_song(file, song, bank)) throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
         },
         false},
    };
    // Tracker modules come after the song formats: their probes are the weakest. The module
    // readers confirm what the head probe let through.
    for (const ModuleFormatInfo& format : module_formats())
        readers.push_back({format.name, format.probe_head,
                           [](File& file, Song& song, const BankLookup&,
                              std::vector<LoadWarning>&) { read_module_song(file, song); },
                           false});
    // MIDI files open with "MThd" or a RIFF "RMID" head.
    readers.push_back(
        {"mid", [](std::span<const uint8_t> head, uint64_t) { return probe_midi_head(head); },
         [](File& file, Song& song, const BankLookup& bank, std::vector<LoadWarning>& warnings) {
             std::vector<MidiWarning> found;
             read_midi_song(file, song, bank, found);
             for (const MidiWarning& warning : found)
                 warnings.push_back(
                     {midi_warning_name(warning.kind), midi_warning_text(warning), warning.count});
         },
         false, true});
    return readers;
}

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

} // namespace

std::span<const SongReader> song_readers() {
    static const std::vector<SongReader> readers = make_readers();
    return readers;
}

BankLookup stock_bank_lookup() {
    return [](const std::string& name) { return instrument_bank().load(name); };
}

Song read_any_song(const fs::path& path, const BankLookup& bank, std::string* format,
                   std::vector<LoadWarning>* warnings, bool* imported) {
    File file = File::open_for_reading(path);
    const std::vector<uint8_t> head = read_head(file);
    const uint64_t size = file.size();
    for (const SongReader& reader : song_readers()) {
        if (!reader.probe(head, size)) continue;
        Song song;
        reset(song);
        file.seek(0);
        std::vector<LoadWarning> found;
        try {
            reader.read(file, song, bank, found);
        } catch (const FILE_ERROR& error) {
            // A file cut short is a damaged song file, whichever reader found the end.
            if (error.is_end_of_file()) throw LOAD_ERROR(0);
            throw;
        }
        song.song_file = reader.song_file;
        if (format) *format = reader.format;
        if (warnings) warnings->insert(warnings->end(), found.begin(), found.end());
        if (imported) *imported = reader.imported;
        return song;
    }
    // A module of a kind we do not read says so; anything else is unknown or damaged.
    if (const std::optional<UnsupportedMod> kind = unsupported_mod(head, size))
        throw MISC_ERROR(S_UNSUPPORTED_MOD, {std::to_string(kind->channels), kind->tag});
    throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
}

std::string load_song(Song& song, const fs::path& path, const std::string& untitled_path,
                      const BankLookup& bank, std::vector<LoadWarning>* warnings) {
    const fs::path absolute = absolute_path(path);
    // Saves killed in this folder left their temporary files; their writers are gone.
    remove_stale_temporaries(absolute.parent_path());
    std::string format;
    bool imported = false;
    Song loaded = read_any_song(absolute, bank, &format, warnings, &imported);
    // The song object stays (its lock and observers with it); only its content is replaced.
    song = std::move(loaded);
    song.path = imported ? untitled_path : absolute.string();
    song.modified = imported;
    return format;
}

} // namespace tunemill
