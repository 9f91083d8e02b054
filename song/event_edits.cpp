// The helpers the editing operations share.
#include "song/event_edits.h"

#include "song/edit_list.h"

namespace tunemill::event_edits {

size_t first_at(const std::vector<Event>& events, Tick tick) {
    return size_t(std::lower_bound(events.begin(), events.end(), tick,
                                   [](const Event& e, Tick t) { return e.tick < t; }) -
                  events.begin());
}

size_t first_of_block(const std::vector<Event>& events, Tick from) {
    size_t i = first_at(events, from);
    while (i < events.size() && events[i].tick == from && events[i].kind == NOTE_OFF)
        ++i;
    return i;
}

VoiceCursor cursor_at(const Voice& voice, Tick tick) {
    VoiceCursor cursor(voice);
    cursor.seek(tick);
    for (size_t i = cursor.next_index(); i < voice.events.size() && voice.events[i].tick == tick;
         ++i)
        if (voice.events[i].kind == NOTE_OFF) cursor.clear_key(voice.events[i].param1);
    return cursor;
}

uint8_t curve_value_at(const Voice& voice, Tick tick, uint8_t kind) {
    uint8_t value = curve_default(kind);
    for (const Event& e : voice.events) {
        if (e.tick > tick) break;
        if (e.kind == kind) value = e.param1;
    }
    return value;
}

// --- Curves ------------------------------------------------------------------------------------

void clear_curve(Voice& voice, Tick from, Tick to, uint8_t kind, std::optional<Tick> length) {
    EditList list;
    std::optional<uint8_t> last;
    const auto& events = voice.events;
    for (size_t i = first_at(events, from); i < events.size() && events[i].tick < to; ++i) {
        if (events[i].kind == kind && events[i].tick > from) {
            list.remove(i);
            last = events[i].param1;
        }
    }
    if (!last) return;
    if (from != 0)
        list.add(to, kind, *last);
    else if (*last != curve_default(kind))
        list.add(0, kind, *last);
    list.apply(voice, length);
}

void insert_tempo_point(Pattern& pattern, Tick tick, uint8_t value) {
    auto& points = pattern.tempo_points;
    auto at = std::upper_bound(points.begin(), points.end(), tick,
                               [](Tick t, const TempoPoint& p) { return t < p.tick; });
    points.insert(at, TempoPoint{tick, value});
}

bool has_tempo_point(const Pattern& pattern, Tick tick) {
    return std::any_of(pattern.tempo_points.begin(), pattern.tempo_points.end(),
                       [&](const TempoPoint& p) { return p.tick == tick; });
}

void replace_tempo_point(Pattern& pattern, Tick tick, uint8_t value) {
    auto& points = pattern.tempo_points;
    points.erase(std::remove_if(points.begin(), points.end(),
                                [&](const TempoPoint& p) { return p.tick == tick; }),
                 points.end());
    insert_tempo_point(pattern, tick, value);
}

uint8_t tempo_value_before(const Pattern& pattern, Tick tick) {
    uint8_t value = DEFAULT_TEMPO_VALUE;
    for (const TempoPoint& p : pattern.tempo_points) {
        if (p.tick >= tick) break;
        value = p.value;
    }
    return value;
}

void clear_tempo_curve(Pattern& pattern, Tick from, Tick to) {
    auto& points = pattern.tempo_points;
    std::optional<uint8_t> last;
    std::vector<TempoPoint> kept;
    kept.reserve(points.size());
    for (const TempoPoint& p : points) {
        if (p.tick > from && p.tick < to)
            last = p.value;
        else
            kept.push_back(p);
    }
    if (!last) return;
    points.swap(kept);
    if (from != 0) {
        // A point already at the block's end keeps the curve after the block as it was.
        if (!has_tempo_point(pattern, to)) insert_tempo_point(pattern, to, *last);
    } else if (*last != DEFAULT_TEMPO_VALUE) {
        replace_tempo_point(pattern, 0, *last);
    }
}

} // namespace tunemill::event_edits
