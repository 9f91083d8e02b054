// What one change did to the song, kept as small as the change itself: for a pattern, the
// differing middle of each voice's events and of its tempo points; the song's own fields and the
// instruments' names only when they changed. A diff is applied forward (redo) or backward (undo).
// Sample data never enters a diff: instruments that come and go travel whole, by move.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "song/song.h"

namespace tunemill {

// The part of a sequence that differs between two versions: items [at, at + before.size())
// of the old version became `after`.
template <class T> struct SliceDiff {
    size_t at = 0;
    std::vector<T> before;
    std::vector<T> after;

    bool empty() const { return before.empty() && after.empty(); }

    static SliceDiff make(const std::vector<T>& old_items, const std::vector<T>& new_items) {
        SliceDiff diff;
        const size_t shorter = std::min(old_items.size(), new_items.size());
        size_t prefix = 0;
        while (prefix < shorter && old_items[prefix] == new_items[prefix])
            ++prefix;
        size_t suffix = 0;
        while (suffix < shorter - prefix &&
               old_items[old_items.size() - 1 - suffix] == new_items[new_items.size() - 1 - suffix])
            ++suffix;
        diff.at = prefix;
        diff.before.assign(old_items.begin() + std::ptrdiff_t(prefix),
                           old_items.end() - std::ptrdiff_t(suffix));
        diff.after.assign(new_items.begin() + std::ptrdiff_t(prefix),
                          new_items.end() - std::ptrdiff_t(suffix));
        diff.before.shrink_to_fit();
        diff.after.shrink_to_fit();
        return diff;
    }

    void apply(std::vector<T>& items, bool forward) const {
        const std::vector<T>& from = forward ? before : after;
        const std::vector<T>& to = forward ? after : before;
        const auto start = items.begin() + std::ptrdiff_t(at);
        items.erase(start, start + std::ptrdiff_t(from.size()));
        items.insert(items.begin() + std::ptrdiff_t(at), to.begin(), to.end());
    }
};

// One voice whose events or instrument changed (the voice list itself stayed the same).
struct VoiceDiff {
    size_t index = 0;
    SliceDiff<Event> events;
    uint32_t instrument_before = 0;
    uint32_t instrument_after = 0;
};

// One pattern before and after a change.
struct PatternDiff {
    size_t index = 0;
    // A voice added or removed: both voice lists whole. Otherwise only the voices that differ.
    std::unique_ptr<std::pair<std::vector<Voice>, std::vector<Voice>>> voice_lists;
    std::vector<VoiceDiff> voices;
    SliceDiff<TempoPoint> tempo;
    int32_t length_before = 0;
    int32_t length_after = 0;
    std::unique_ptr<std::pair<std::string, std::string>> name;

    // Nothing when the two are equal (mute flags do not count).
    static std::optional<PatternDiff> make(size_t index, const Pattern& before,
                                           const Pattern& after);
    void apply(Pattern& pattern, bool forward) const;
};

// The fields of the song beside its patterns, and the instruments' names and categories.
struct SongFields {
    std::string description;
    int32_t ticks_per_beat = 0;
    int32_t beats_per_measure = 0;
    int32_t overall_tempo = 0;
    int32_t repeat_position = 0;
    std::vector<uint32_t> sequence;
    struct InstrumentLabel {
        std::string name;
        uint32_t category = 0;
        bool from_bank = false;
        bool operator==(const InstrumentLabel&) const = default;
    };
    std::vector<InstrumentLabel> instruments;

    static SongFields of(const Song& song);
    // Puts the fields back; the instrument labels only for instruments that exist.
    void store_into(Song& song) const;
    bool operator==(const SongFields&) const = default;
};

// What a change of the whole song did: its fields, and its patterns one by one (or, when
// patterns were inserted or deleted, the pattern lists whole).
struct SongDiff {
    std::unique_ptr<std::pair<SongFields, SongFields>> fields;
    std::vector<PatternDiff> patterns;
    std::unique_ptr<std::pair<std::vector<Pattern>, std::vector<Pattern>>> pattern_lists;

    bool empty() const { return !fields && patterns.empty() && !pattern_lists; }
    void apply(Song& song, bool forward) const;
    // The patterns a forward or backward application touches (all of them for a new list).
    std::vector<int32_t> touched_patterns() const;
};

// The song as a change may find it: one pattern, or everything but the sample data.
class SongSnapshot {
  public:
    // pattern < 0: the whole song.
    SongSnapshot(const Song& song, int32_t pattern);
    // What changed since the snapshot was taken.
    SongDiff diff(const Song& song) const;

  private:
    int32_t pattern_;
    std::optional<SongFields> fields_;
    std::vector<Pattern> patterns_;
};

} // namespace tunemill
