// The song file (".sn2"): one "SN2" chunk holding the global values, the description ("NAM"),
// the sequence ("SEQ"), every pattern ("PAT" with "pna", "tem" and "voi") and every instrument
// ("INS": a bank instrument by name, any other one stored whole as in an instrument file).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "instruments/instrument.h"
#include "song/song.h"

namespace tunemill {

class File;

// Finds a bank instrument by name (at most 16 characters) and returns a copy marked from-bank;
// throws INS_BANK_ERROR(MISSING_INSTRUMENT) when the bank lacks it.
using BankLookup = std::function<Instrument(const std::string& name)>;

// Whether the first bytes of a file are those of a song file ("SN2"). Never throws.
bool probe_song_file(std::span<const uint8_t> head);

// The whole file for the song as it is (the caller purges first): short event records wherever
// they fit, release marks left out, names and the description up to a zero byte if they hold one.
std::vector<uint8_t> encode_song(const Song& song);
// Writes encode_song() at the file's position.
void write_song(File& file, const Song& song);

// Reads a song file from the start of the file into the song, which is reset first. Returns false
// (file back at 0) when the file does not start with "SN2". Damage throws LOAD_ERROR(0) "Damaged
// song file"; a song file that ends early throws FILE_ERROR(READ, END_OF_FILE); a bank
// instrument the bank lacks throws the bank's error. On an exception the song is left partly
// read: the caller replaces it (load_song does).
bool read_song(File& file, Song& song, const BankLookup& bank);

} // namespace tunemill
