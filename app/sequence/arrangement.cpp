// The arrangement's changes, each through the document's edit path as one song-wide step.
#include "app/sequence/arrangement.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "app/document/document.h"
#include "foundation/text.h"
#include "song/arrangement.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

using Move = ArrangementMove::Kind;

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
    size_t created = 0;
    const bool done = document_.edit(song_wide(U_NEW_PATTERN), [&](EditContext& context) {
        created = create_pattern(context.song(), std::move(bytes), at);
        context.moved({Move::ENTRY_INSERTED, uint32_t(context.song().sequence.size() - 1)});
        context.moved({Move::PATTERN_INSERTED, uint32_t(created)});
    });
    if (!done) return std::nullopt;
    return created;
}

bool Arrangement::rename_pattern(size_t index, const QString& name) {
    std::string bytes = pattern_name_bytes(name);
    if (bytes.empty() || index >= document_.song().patterns.size()) return false;
    return document_.edit(song_wide(U_RENAME_PATTERN), [&](EditContext& context) {
        tunemill::rename_pattern(context.song(), index, std::move(bytes));
    });
}

bool Arrangement::delete_pattern(size_t index) {
    if (index >= document_.song().patterns.size()) return false;
    Edit edit = song_wide(U_DELETE_PATTERN);
    edit.clean_up = std::pair<int32_t, int32_t>{-1, -1};
    return document_.edit(edit, [&](EditContext& context) {
        const std::vector<uint32_t> going = entries_going_with(context.song(), index);
        tunemill::delete_pattern(context.song(), index);
        for (uint32_t entry : going)
            context.moved({Move::ENTRY_REMOVED, entry});
        context.moved({Move::PATTERN_REMOVED, uint32_t(index)});
    });
}

bool Arrangement::remove_entry(size_t entry) {
    if (entry >= document_.song().sequence.size()) return false;
    return document_.edit(song_wide(U_REMOVE_FROM_SEQUENCE), [&](EditContext& context) {
        remove_sequence_entry(context.song(), entry);
        context.moved({Move::ENTRY_REMOVED, uint32_t(entry)});
    });
}

std::optional<size_t> Arrangement::insert_entry(size_t pattern, size_t at) {
    if (pattern >= document_.song().patterns.size()) return std::nullopt;
    size_t inserted = 0;
    const bool done = document_.edit(song_wide(U_INSERT_IN_SEQUENCE), [&](EditContext& context) {
        inserted = insert_sequence_entry(context.song(), uint32_t(pattern), at);
        context.moved({Move::ENTRY_INSERTED, uint32_t(inserted)});
    });
    if (!done) return std::nullopt;
    return inserted;
}

bool Arrangement::set_repeat(size_t entry) {
    const Song& song = document_.song();
    if (entry >= song.sequence.size() || song.repeat_position == int32_t(entry)) return false;
    return document_.edit(song_wide(U_SET_REPEAT), [&](EditContext& context) {
        context.song().repeat_position = int32_t(entry);
    });
}

} // namespace tunemill
