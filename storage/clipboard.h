// The pattern clipboard block "Tunemill Pattern": a block of a pattern (ticks, scope and aspect)
// encoded as bytes that travel between songs and between running programs. Instruments travel by
// name, so a paste finds them in the receiving song. The GUI only moves these bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "song/editing.h"
#include "song/song.h"

namespace tunemill {

constexpr const char* CLIPBOARD_FORMAT_NAME = "Tunemill Pattern";
constexpr const char* CLIPBOARD_MIME_TYPE = "application/x-tunemill-pattern";

// The aspect codes of the block's head.
enum class ClipboardAspect : uint32_t { NOTES = 0, TEMPO = 1, VOLUME = 2, BALANCE = 3 };

// Edit > Copy: the block of the pattern as clipboard bytes; the song is not changed. The block is
// limited to the pattern's length; an empty block gives no bytes (nothing to copy, so Cut must
// not delete). Notes crossing the block's edges are cut at the edges in the copy.
std::vector<uint8_t> copy_block(const Song& song, size_t pattern, const Block& block);

// Edit > Paste at tick `at` of the pattern, with `voice` the current voice (any value when the
// pattern has no voices): makes room, pastes the tempo section and the voice records (a record
// from one voice into the current voice, others into the voice of the same instrument name or a
// new voice of the instrument whose name begins most like it), and returns how many ticks the
// cursor moves. Bytes that do not form a well-formed block, a song without instruments and a
// paste that would make the pattern too long change nothing and return 0. The caller holds the
// song lock with the modify request.
Tick paste_block(Song& song, size_t pattern, int32_t voice, Tick at,
                 std::span<const uint8_t> bytes);

} // namespace tunemill
