// The changes of the song's arrangement that the sequence window makes: patterns created,
// renamed and deleted, sequence entries inserted and removed, the repeat position moved. Each is
// one step of the document's history made of the song's arrangement operations; the playback
// engine hears the moves where it plays, on undo and redo too, and the pattern windows follow
// their patterns when indices move.
#pragma once

#include <QString>
#include <cstddef>
#include <optional>
#include <string>

namespace tunemill {

class Document;

class Arrangement {
  public:
    explicit Arrangement(Document& document) : document_(document) {}

    // Creates an empty pattern named `name` at `at` (clamped to the end) and appends it to the
    // sequence; sequence entries and pattern windows keep pointing at the same patterns.
    // An empty name does nothing. Returns the new pattern's index.
    std::optional<size_t> new_pattern(size_t at, const QString& name);
    // An empty name or an invalid index does nothing.
    bool rename_pattern(size_t index, const QString& name);
    // Removes the pattern with every sequence entry naming it; the repeat mark stays on the same
    // remaining entry; the windows showing it close; when no pattern is left a new "Pattern I"
    // takes its place. Unused voices and instruments go in the same step.
    bool delete_pattern(size_t index);
    // Removes one sequence entry; a repeat mark after it moves down with its entry.
    bool remove_entry(size_t entry);
    // Inserts the pattern into the sequence before entry `at` (clamped: the end appends).
    // Returns the index of the new entry.
    std::optional<size_t> insert_entry(size_t pattern, size_t at);
    // Playback goes on at this entry after the last one.
    bool set_repeat(size_t entry);

  private:
    Document& document_;
};

// The name as the song keeps it (Windows-1252 bytes, at most the pattern name's length).
std::string pattern_name_bytes(const QString& name);

} // namespace tunemill
