// The arrangement's changes, each through the document's edit path as one song-wide step.
#include "app/sequence/arrangement.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "app/document/document.h"
#include "app/shell/main_window.h"
#include "foundation/text.h"
#include "playback/engine.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

// The sequence, the pattern list and the repeat mark are the song's own, not one pattern's.
Edit song_wide(uint32_t name) {
    Edit edit;
    edit.name = name;
    edit.change.pattern = -1;
    edit.change.voice = -1;
    edit.change.kind = ChangeKind::WHOLE_PATTERN;
    return edit;
}

} // namespace

std::string pattern_name_bytes(const QString& name) {
    std::string bytes = utf8_to_windows1252(name.toStdString());
    // The song file keeps names as zero-terminated text.
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    if (bytes.size() > MAX_PATTERN_NAME) bytes.resize(MAX_PATTERN_NAME);
    return bytes;
}

std::optional<size_t> Arrangement::new_pattern(size_t at, const QString& name) {
    std::string bytes = pattern_name_bytes(name);
    if (bytes.empty()) return std::nullopt;
    at = std::min(at, document_.song().patterns.size());
    Edit edit = song_wide(U_NEW_PATTERN);
    edit.inserts_pattern = at;
    const bool done = document_.edit(edit, [&](EditContext& context) {
        Song& song = context.song();
        add_pattern(song, std::move(bytes), int32_t(at));
        for (uint32_t& entry : song.sequence)
            if (entry >= at) ++entry;
        song.sequence.push_back(uint32_t(at));
        song.observers.pattern_inserted(uint32_t(at));
    });
    if (!done) return std::nullopt;
    return at;
}

bool Arrangement::rename_pattern(size_t index, const QString& name) {
    std::string bytes = pattern_name_bytes(name);
    if (bytes.empty() || index >= document_.song().patterns.size()) return false;
    return document_.edit(song_wide(U_RENAME_PATTERN), [&](EditContext& context) {
        tunemill::rename_pattern(context.song(), index, std::move(bytes));
    });
}

bool Arrangement::delete_pattern(size_t index) {
    const Song& before = document_.song();
    if (index >= before.patterns.size()) return false;
    // The entries that go, as the engine hears them removed one after the other.
    std::vector<uint32_t> removed;
    for (size_t entry = 0; entry < before.sequence.size(); ++entry)
        if (before.sequence[entry] == index) removed.push_back(uint32_t(entry - removed.size()));
    Edit edit = song_wide(U_DELETE_PATTERN);
    edit.clean_up = std::pair<int32_t, int32_t>{-1, -1};
    edit.deletes_pattern = index;
    const bool done = document_.edit(edit, [&](EditContext& context) {
        Song& song = context.song();
        tunemill::delete_pattern(song, index);
        if (engine_)
            for (uint32_t entry : removed)
                engine_->sequence_entry_removed(entry);
        song.observers.pattern_removed(uint32_t(index));
    });
    return done;
}

bool Arrangement::remove_entry(size_t entry) {
    if (entry >= document_.song().sequence.size()) return false;
    return document_.edit(song_wide(U_REMOVE_FROM_SEQUENCE), [&](EditContext& context) {
        Song& song = context.song();
        song.sequence.erase(song.sequence.begin() + ptrdiff_t(entry));
        if (song.repeat_position > int32_t(entry)) --song.repeat_position;
        song.repeat_position =
            song.sequence.empty()
                ? 0
                : std::clamp<int32_t>(song.repeat_position, 0, int32_t(song.sequence.size()) - 1);
        if (engine_) engine_->sequence_entry_removed(uint32_t(entry));
    });
}

std::optional<size_t> Arrangement::insert_entry(size_t pattern, size_t at) {
    const Song& before = document_.song();
    if (pattern >= before.patterns.size()) return std::nullopt;
    at = std::min(at, before.sequence.size());
    const bool done = document_.edit(song_wide(U_INSERT_IN_SEQUENCE), [&](EditContext& context) {
        Song& song = context.song();
        song.sequence.insert(song.sequence.begin() + ptrdiff_t(at), uint32_t(pattern));
        // The mark stays on its entry; an entry appended after the last one leaves it alone.
        const int32_t last = int32_t(song.sequence.size()) - 1;
        if (song.repeat_position >= int32_t(at) && int32_t(at) < last) ++song.repeat_position;
        if (engine_) engine_->sequence_entry_inserted(uint32_t(at));
    });
    if (!done) return std::nullopt;
    return at;
}

bool Arrangement::set_repeat(size_t entry) {
    const Song& song = document_.song();
    if (entry >= song.sequence.size() || song.repeat_position == int32_t(entry)) return false;
    return document_.edit(song_wide(U_SET_REPEAT), [&](EditContext& context) {
        context.song().repeat_position = int32_t(entry);
    });
}

} // namespace tunemill
