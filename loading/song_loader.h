// Loading a song from any file the composer reads: song files, tracker modules and MIDI files.
// Loading tries the readers of song_readers() in order: each probes the file's first bytes, and the
// first that recognises the file reads it. This layer sits above storage and modules, which know
// nothing of each other.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "song/song.h"
#include "storage/song_file.h"

namespace tunemill {

class File;

// Readers see at most this many bytes when probing (a MOD's tag sits at offset 1080).
constexpr size_t PROBE_BYTES = 2048;

// What a reader had to change on the way in (MIDI files), to tell the user once.
struct LoadWarning {
    std::string name; // a fixed name for scripts
    std::string text; // the sentence in the current language (UTF-8)
    uint64_t count = 0;
};

// One entry of the loading order.
struct SongReader {
    const char* format; // "sn2", "sn", "mod", "s3m": what tmw-cli info reports
    // A cheap look at the first bytes (fewer when the file is shorter) and the file's size;
    // never throws.
    bool (*probe)(std::span<const uint8_t> head, uint64_t file_size);
    // Reads the file (positioned at 0) into the song, which is freshly reset. Throws on damage.
    void (*read)(File& file, Song& song, const BankLookup& bank,
                 std::vector<LoadWarning>& warnings);
    // Whether the song then counts as read from a song file of the current format (File > Save
    // writes back to its path without asking).
    bool song_file;
    // Whether the song comes in as a new piece of work: untitled and changed (MIDI files).
    bool imported = false;
};

// The loading order: ".sn2", ".sn", the formats of module_formats(), then MIDI files.
std::span<const SongReader> song_readers();

// The stock bank of the run (tmill.bnk beside the program).
BankLookup stock_bank_lookup();

// Loads the file into the song and returns the format that read it. On success the song holds
// the file's content, its path is the file's (made absolute), modified is clear and the song-file
// flag is set for ".sn2"; a MIDI file comes in untitled (untitled_path) and changed. What a reader
// had to change is added to warnings when given. On any failure the song stays as it was, and the
// error passes on: a file that ends early as LOAD_ERROR "Damaged song file", a module of a kind not
// supported as MISC_ERROR "%d-channel MOD (tag %s) is not supported", a file nobody recognises as
// MISC_ERROR "Unknown or damaged song file", others as they are. Temporary files that killed saves
// left in the file's folder are removed first. The caller holds the song lock.
std::string load_song(Song& song, const std::filesystem::path& path,
                      const std::string& untitled_path,
                      const BankLookup& bank = stock_bank_lookup(),
                      std::vector<LoadWarning>* warnings = nullptr);

// Reads the file into a song of its own with the readers, without touching any other song.
Song read_any_song(const std::filesystem::path& path, const BankLookup& bank,
                   std::string* format = nullptr, std::vector<LoadWarning>* warnings = nullptr,
                   bool* imported = nullptr);

} // namespace tunemill
