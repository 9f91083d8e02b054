// What the editing operations share: finding events by tick, the cursor and curve values at a
// tick, guarded changes that give a voice or the tempo curve its events back when they fail, and
// the tempo curve's points.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "song/editing.h"
#include "song/song.h"
#include "song/voice_cursor.h"

namespace tunemill::event_edits {

constexpr size_t NONE = SIZE_MAX;

inline bool is_curve(uint8_t kind) {
    return kind == VOLUME || kind == BALANCE;
}
inline uint8_t curve_default(uint8_t kind) {
    return kind == VOLUME ? DEFAULT_VOLUME : DEFAULT_BALANCE;
}
inline uint8_t curve_kind(Aspect aspect) {
    return aspect == Aspect::VOLUME ? VOLUME : BALANCE;
}
inline uint8_t clamp_level(int value) {
    return uint8_t(std::clamp(value, 0, int(MAX_LEVEL)));
}

// Runs the change on the voice; if it throws, the voice gets its events back first.
template <typename Change> void guarded(Voice& voice, Change change) {
    std::vector<Event> saved = voice.events;
    try {
        change();
    } catch (...) {
        voice.events.swap(saved);
        throw;
    }
}

template <typename Change> void guarded_tempo(Pattern& pattern, Change change) {
    std::vector<TempoPoint> saved = pattern.tempo_points;
    try {
        change();
    } catch (...) {
        pattern.tempo_points.swap(saved);
        throw;
    }
}

// The first event at or after the tick.
size_t first_at(const std::vector<Event>& events, Tick tick);

// The first event of a block starting at from: note offs lying exactly at from end notes before
// the block and do not belong to it.
size_t first_of_block(const std::vector<Event>& events, Tick from);

// The cursor at the tick with the note offs at exactly that tick applied: what sounds at it.
VoiceCursor cursor_at(const Voice& voice, Tick tick);

// The value of a curve in effect at a tick, the events at that tick included.
uint8_t curve_value_at(const Voice& voice, Tick tick, uint8_t kind);

// Moves the selected events by delta ticks and merges them back into tick order; at equal ticks
// the moved events come after the others, so a moved curve point wins over one it lands on.
template <typename Select> void move_events(Voice& voice, Select select, int64_t delta) {
    std::vector<Event> kept, moved;
    kept.reserve(voice.events.size());
    for (const Event& e : voice.events) {
        if (select(e)) {
            Event shifted = e;
            shifted.tick = Tick(int64_t(e.tick) + delta);
            moved.push_back(shifted);
        } else {
            kept.push_back(e);
        }
    }
    if (moved.empty()) return;
    std::vector<Event> merged;
    merged.reserve(voice.events.size());
    std::merge(kept.begin(), kept.end(), moved.begin(), moved.end(), std::back_inserter(merged),
               [](const Event& a, const Event& b) { return a.tick < b.tick; });
    voice.events.swap(merged);
}

// Removes the curve's points strictly inside the block and keeps the curve after the block as it
// was (or, for a block from 0, lets the block take the last removed value).
void clear_curve(Voice& voice, Tick from, Tick to, uint8_t kind, std::optional<Tick> length);

void insert_tempo_point(Pattern& pattern, Tick tick, uint8_t value);
bool has_tempo_point(const Pattern& pattern, Tick tick);
void replace_tempo_point(Pattern& pattern, Tick tick, uint8_t value);
// The tempo value in effect just before the tick (20 before the first point).
uint8_t tempo_value_before(const Pattern& pattern, Tick tick);
// Removes the tempo points strictly inside the block, keeping the curve after it as it was.
void clear_tempo_curve(Pattern& pattern, Tick from, Tick to);

} // namespace tunemill::event_edits
