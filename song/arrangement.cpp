// The arrangement's operations: plain changes of the song's vectors and repeat mark.
#include "song/arrangement.h"

#include <algorithm>

namespace tunemill {

ArrangementMove ArrangementMove::reversed() const {
    switch (kind) {
    case Kind::PATTERN_INSERTED:
        return {Kind::PATTERN_REMOVED, index};
    case Kind::PATTERN_REMOVED:
        return {Kind::PATTERN_INSERTED, index};
    case Kind::ENTRY_INSERTED:
        return {Kind::ENTRY_REMOVED, index};
    case Kind::ENTRY_REMOVED:
        return {Kind::ENTRY_INSERTED, index};
    }
    return *this;
}

size_t create_pattern(Song& song, std::string name, size_t at) {
    at = std::min(at, song.patterns.size());
    add_pattern(song, std::move(name), int32_t(at));
    for (uint32_t& entry : song.sequence)
        if (entry >= at) ++entry;
    song.sequence.push_back(uint32_t(at));
    return at;
}

size_t insert_sequence_entry(Song& song, uint32_t pattern, size_t at) {
    at = std::min(at, song.sequence.size());
    song.sequence.insert(song.sequence.begin() + ptrdiff_t(at), pattern);
    const int32_t last = int32_t(song.sequence.size()) - 1;
    if (song.repeat_position >= int32_t(at) && int32_t(at) < last) ++song.repeat_position;
    return at;
}

void remove_sequence_entry(Song& song, size_t entry) {
    if (entry >= song.sequence.size()) return;
    song.sequence.erase(song.sequence.begin() + ptrdiff_t(entry));
    if (song.repeat_position > int32_t(entry)) --song.repeat_position;
    song.repeat_position =
        song.sequence.empty()
            ? 0
            : std::clamp<int32_t>(song.repeat_position, 0, int32_t(song.sequence.size()) - 1);
}

std::vector<uint32_t> entries_going_with(const Song& song, size_t pattern) {
    std::vector<uint32_t> going;
    for (size_t entry = 0; entry < song.sequence.size(); ++entry)
        if (song.sequence[entry] == pattern) going.push_back(uint32_t(entry - going.size()));
    return going;
}

} // namespace tunemill
