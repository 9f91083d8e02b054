// The song's arrangement: the pattern list, the sequence that plays it and the repeat mark, and
// the operations that move them while every sequence entry and the mark stay on what they name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "song/song.h"

namespace tunemill {

// One move of the pattern list or the sequence, as a listener hears it. A change of the
// arrangement is a list of moves; undoing it is the list backwards, each move reversed.
struct ArrangementMove {
    enum class Kind : uint8_t { PATTERN_INSERTED, PATTERN_REMOVED, ENTRY_INSERTED, ENTRY_REMOVED };
    Kind kind;
    uint32_t index;

    // The move that takes this one back.
    ArrangementMove reversed() const;
    bool operator==(const ArrangementMove&) const = default;
};

// Who follows the arrangement while it plays (the playback engine): told each move, under the
// song lock, once the song holds the new arrangement.
class ArrangementListener {
  public:
    virtual ~ArrangementListener() = default;
    virtual void moved(const ArrangementMove& move) = 0;
};

// Inserts an empty pattern named `name` at `at` (clamped to the end), keeps every sequence entry
// on its pattern and appends the new pattern to the sequence. Returns the new pattern's index.
size_t create_pattern(Song& song, std::string name, size_t at);

// Inserts the pattern into the sequence before entry `at` (clamped: the end appends). The repeat
// mark stays on its entry; an entry appended after the last one leaves it alone. Returns the
// index of the new entry.
size_t insert_sequence_entry(Song& song, uint32_t pattern, size_t at);

// Removes one sequence entry (an index past the end does nothing). A repeat mark after it moves
// down with its entry; the mark stays inside the sequence.
void remove_sequence_entry(Song& song, size_t entry);

// The sequence entries that delete_pattern takes with the pattern, each index as it stands once
// the ones before it are gone: the order in which a listener hears them removed.
std::vector<uint32_t> entries_going_with(const Song& song, size_t pattern);

} // namespace tunemill
