// Instrument files (".sa2"/".sa" sampled, ".sy" synthesized) and the instrument body that the
// bank and the song files embed: the reader of every packing and the (never compressing) writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "instruments/instrument.h"

namespace tunemill {

class BitReader;
class File;

// The longest run the constant marker may stand for; a longer one is taken as damage rather
// than allocated (16 M frames is over six minutes at 44.1 kHz).
constexpr uint32_t MAX_CONSTANT_RUN = 1u << 24;

// The checksum of decoded 8-bit samples: add each value to the low byte without carry, then
// rotate the 16 bits left by one.
uint16_t sample_checksum(const uint8_t* values, size_t count);

// Reads a whole instrument file ("SMP"/"SYN", name, category, body) from the reader's position.
// The reader is attached to file; the body may not reach beyond the byte offset end (the file's
// size for an instrument file, the chunk's end inside a song file). Format faults throw
// LOAD_ERROR; a file that ends early FILE_ERROR(READ, END_OF_FILE). On return the file stands
// just after the instrument and the reader is released.
Instrument read_instrument_file(File& file, BitReader& reader, uint64_t end);
Instrument read_instrument_file(File& file, BitReader& reader);

// The body alone: for synthesized instruments the 11 parameter bytes, else the sample body
// (packing byte, header, data). The name and category come from the caller's framing.
Instrument read_instrument_body(File& file, BitReader& reader, uint64_t end, std::string name,
                                uint32_t category, bool synthesized, bool from_bank);

// The bytes of a complete instrument file for the instrument: magic, name (at most 16
// characters, so that the file reads back), category (29 as 0xFF), then the 11 parameter
// bytes, or the samples with packing 0 (8-bit, not empty) or as a "dsa" chunk.
std::vector<uint8_t> encode_instrument(const Instrument& instrument);
// Writes encode_instrument() at the file's position.
void write_instrument(File& file, const Instrument& instrument);

// The user's operations. Loading reports a damaged or truncated file as
// MISC_ERROR "Instrument file is damaged"; saving refuses bank instruments (MISC_ERROR "Can't
// save an instrument that was loaded from instrument bank") and replaces the file atomically.
Instrument load_instrument_file(const std::filesystem::path& path);
void save_instrument_file(const std::filesystem::path& path, const Instrument& instrument);

} // namespace tunemill
