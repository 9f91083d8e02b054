// The edit list and the splitting, joining and dissolving of notes that the editing operations
// are built from.
#include "song/edit_list.h"

#include <algorithm>

#include "song/voice_cursor.h"

namespace tunemill {

namespace {

// Where insert_event puts an event relative to what lies at its tick: note offs before
// everything, volume and balance right after the note offs, note ons (and release marks) after
// all but the portamentos, portamentos before the existing portamentos. The ranks of added
// events interleave with those of the events already there (odd ranks).
int added_rank(uint8_t kind) {
    switch (kind) {
    case NOTE_OFF:
        return 0;
    case VOLUME:
    case BALANCE:
        return 2;
    case PORTAMENTO:
        return 5;
    default:
        return 4;
    }
}

int existing_rank(uint8_t kind) {
    return kind == NOTE_OFF ? 1 : kind == PORTAMENTO ? 6 : 3;
}

} // namespace

bool EditList::removes(size_t position) const {
    return std::find(removals_.begin(), removals_.end(), position) != removals_.end();
}

void EditList::apply(Voice& voice, std::optional<Tick> length) {
    std::vector<Event>& events = voice.events;
    if (!removals_.empty()) {
        std::vector<bool> removed(events.size(), false);
        for (size_t position : removals_)
            if (position < events.size()) removed[position] = true;
        size_t out = 0;
        for (size_t i = 0; i < events.size(); ++i)
            if (!removed[i]) events[out++] = events[i];
        events.resize(out);
    }
    if (!additions_.empty()) {
        // Inserting one after the other, each searched from the start, puts a later note off,
        // volume, balance or portamento before an earlier one of its kind at the same tick and a
        // later note on after an earlier one. Sorting by that order and merging gives the same
        // result in n log n instead of n squared.
        struct Added {
            Tick tick;
            int rank;
            int64_t order;
            Event event;
        };
        std::vector<Added> added;
        added.reserve(additions_.size());
        for (size_t i = 0; i < additions_.size(); ++i) {
            int rank = added_rank(additions_[i].kind);
            added.push_back(Added{additions_[i].tick, rank, rank == 4 ? int64_t(i) : -int64_t(i),
                                  additions_[i]});
        }
        std::sort(added.begin(), added.end(), [](const Added& a, const Added& b) {
            if (a.tick != b.tick) return a.tick < b.tick;
            if (a.rank != b.rank) return a.rank < b.rank;
            return a.order < b.order;
        });
        std::vector<Event> merged;
        merged.reserve(events.size() + added.size());
        size_t i = 0, j = 0;
        while (i < events.size() || j < added.size()) {
            bool take_added;
            if (i == events.size())
                take_added = true;
            else if (j == added.size())
                take_added = false;
            else if (added[j].tick != events[i].tick)
                take_added = added[j].tick < events[i].tick;
            else
                take_added = added[j].rank < existing_rank(events[i].kind);
            merged.push_back(take_added ? added[j++].event : events[i++]);
        }
        events.swap(merged);
    }
    clear();
    normalize_voice(voice, length);
}

void dissolve_portamento(EditList& list, const Voice& voice, size_t index) {
    const Event& slide = voice.events[index];
    list.remove(index);
    list.add(slide.tick + 1, NOTE_OFF, slide.param1);
    list.add(slide.tick + slide.param3, NOTE_ON, slide.param2);
}

void split_at(Voice& voice, Tick t) {
    VoiceCursor cursor(voice);
    cursor.seek(t);
    const auto& events = voice.events;
    for (size_t i = cursor.next_index(); i < events.size() && events[i].tick == t; ++i)
        if (events[i].kind == NOTE_OFF) cursor.clear_key(events[i].param1);
    EditList list;
    for (Key key = 0; key < KEY_COUNT; ++key) {
        size_t source = cursor.sounding(key);
        if (source == VoiceCursor::NONE) continue;
        const Event& e = events[source];
        if (e.kind == PORTAMENTO && uint64_t(e.tick) + e.param3 >= t) {
            if (!list.removes(source)) dissolve_portamento(list, voice, source);
        } else {
            list.add(t, NOTE_OFF, key);
            list.add(t, NOTE_ON, key);
        }
    }
    if (!list.empty()) list.apply(voice, std::nullopt);
}

void join_at(Voice& voice, Tick t) {
    auto& events = voice.events;
    auto begin = std::lower_bound(events.begin(), events.end(), t,
                                  [](const Event& e, Tick tick) { return e.tick < tick; });
    size_t first = size_t(begin - events.begin());
    size_t end = first;
    while (end < events.size() && events[end].tick == t)
        ++end;
    std::vector<bool> removed(events.size(), false);
    bool any = false;
    for (size_t i = first; i < end; ++i) {
        if (events[i].kind != NOTE_OFF) continue;
        for (size_t j = i + 1; j < end; ++j) {
            if (!removed[j] && events[j].kind == NOTE_ON && events[j].param1 == events[i].param1) {
                removed[i] = removed[j] = true;
                any = true;
                break;
            }
        }
    }
    if (!any) return;
    size_t out = 0;
    for (size_t i = 0; i < events.size(); ++i)
        if (!removed[i]) events[out++] = events[i];
    events.resize(out);
}

} // namespace tunemill
