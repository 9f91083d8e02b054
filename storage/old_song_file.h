// The older song file (".sn"), read only: a bit-packed file of a 15-byte head, the song name, the
// sequence, the patterns (voices as streams of skip codes, key codes and flags; tempo and text as
// runs) and the instruments, stored or named from the bank.
#pragma once

#include <cstdint>
#include <span>

#include "song/song.h"
#include "storage/song_file.h"

namespace tunemill {

class File;

// Whether the first bytes are those of an older song file ("SNG" and "s"). Never throws.
bool probe_old_song_file(std::span<const uint8_t> head);

// Reads an older song file from the start of the file into the song. Returns false (file back
// at 0, song untouched) when the file does not begin with "SNGs". A violated limit throws
// LOAD_ERROR(0), a file that ends early FILE_ERROR(READ, END_OF_FILE), a bank instrument the bank
// lacks the bank's error. The song read is validated; one that fails counts as damaged.
bool read_old_song(File& file, Song& song, const BankLookup& bank);

} // namespace tunemill
