// The pattern editing operations. Each voice operation works on the voice's event array through
// the edit list and the cursor, and ends with the voice normalized; a voice that an operation
// fails on (memory) gets its events back.
#include "song/editing.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "song/edit_list.h"
#include "song/timing.h"
#include "song/voice_cursor.h"

namespace tunemill {

namespace {

constexpr size_t NONE = SIZE_MAX;

bool is_curve(uint8_t kind) {
    return kind == VOLUME || kind == BALANCE;
}
uint8_t curve_default(uint8_t kind) {
    return kind == VOLUME ? DEFAULT_VOLUME : DEFAULT_BALANCE;
}
uint8_t curve_kind(Aspect aspect) {
    return aspect == Aspect::VOLUME ? VOLUME : BALANCE;
}
uint8_t clamp_level(int value) {
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
size_t first_at(const std::vector<Event>& events, Tick tick) {
    return size_t(std::lower_bound(events.begin(), events.end(), tick,
                                   [](const Event& e, Tick t) { return e.tick < t; }) -
                  events.begin());
}

// The first event of a block starting at from: note offs lying exactly at from end notes before
// the block and do not belong to it.
size_t first_of_block(const std::vector<Event>& events, Tick from) {
    size_t i = first_at(events, from);
    while (i < events.size() && events[i].tick == from && events[i].kind == NOTE_OFF)
        ++i;
    return i;
}

// The cursor at the tick with the note offs at exactly that tick applied: what sounds at it.
VoiceCursor cursor_at(const Voice& voice, Tick tick) {
    VoiceCursor cursor(voice);
    cursor.seek(tick);
    for (size_t i = cursor.next_index(); i < voice.events.size() && voice.events[i].tick == tick;
         ++i)
        if (voice.events[i].kind == NOTE_OFF) cursor.clear_key(voice.events[i].param1);
    return cursor;
}

// The value of a curve in effect at a tick, the events at that tick included.
uint8_t curve_value_at(const Voice& voice, Tick tick, uint8_t kind) {
    uint8_t value = curve_default(kind);
    for (const Event& e : voice.events) {
        if (e.tick > tick) break;
        if (e.kind == kind) value = e.param1;
    }
    return value;
}

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

// --- Curves ------------------------------------------------------------------------------------

// Removes the curve's points strictly inside the block and keeps the curve after the block as it
// was (or, for a block from 0, lets the block take the last removed value).
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

// The tempo value in effect just before the tick (20 before the first point).
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

// --- Voice operations --------------------------------------------------------------------------

void clear_voice(Voice& voice, Tick from, Tick to, Aspect aspect, Tick length) {
    if (aspect == Aspect::NOTES || aspect == Aspect::VOLUME)
        clear_curve(voice, from, to, VOLUME, length);
    if (aspect == Aspect::NOTES || aspect == Aspect::BALANCE)
        clear_curve(voice, from, to, BALANCE, length);
    if (aspect != Aspect::NOTES) {
        normalize_voice(voice, length);
        return;
    }
    split_at(voice, from);
    split_at(voice, to);
    EditList list;
    const auto& events = voice.events;
    for (size_t i = first_of_block(events, from); i < events.size() && events[i].tick <= to; ++i) {
        const Event& e = events[i];
        if (e.kind == NOTE_OFF || ((e.kind == NOTE_ON || e.kind == PORTAMENTO) && e.tick < to))
            list.remove(i);
    }
    list.apply(voice, length);
}

void delete_voice(Voice& voice, Tick from, Tick to, Aspect aspect, Tick length) {
    clear_voice(voice, from, to, aspect, length);
    const int64_t delta = -int64_t(to - from);
    if (aspect == Aspect::VOLUME || aspect == Aspect::BALANCE) {
        const uint8_t kind = curve_kind(aspect);
        move_events(
            voice, [&](const Event& e) { return e.kind == kind && e.tick >= to; }, delta);
        normalize_voice(voice, length);
        return;
    }
    move_events(
        voice, [&](const Event& e) { return e.tick >= to; }, delta);
    join_at(voice, from);
    normalize_voice(voice, length);
}

void insert_space_voice(Voice& voice, Tick from, Tick to, Aspect aspect, Tick length) {
    const int64_t delta = int64_t(to - from);
    if (aspect == Aspect::VOLUME || aspect == Aspect::BALANCE) {
        const uint8_t kind = curve_kind(aspect);
        move_events(
            voice, [&](const Event& e) { return e.kind == kind && e.tick >= from; }, delta);
        normalize_voice(voice, length);
        return;
    }
    split_at(voice, from);
    for (size_t i = first_of_block(voice.events, from); i < voice.events.size(); ++i)
        voice.events[i].tick += Tick(delta);
    normalize_voice(voice, length);
}

void repeat_voice(Voice& voice, Tick from, Tick to, Aspect aspect, Tick limit) {
    if (limit <= to) return;
    if (aspect == Aspect::NOTES) {
        VoiceCursor at_from = cursor_at(voice, from);
        bool holds_note = false;
        for (Key key = 0; key < KEY_COUNT && !holds_note; ++key)
            holds_note = at_from.is_sounding(key);
        for (size_t i = first_at(voice.events, from);
             !holds_note && i < voice.events.size() && voice.events[i].tick < to; ++i)
            holds_note = voice.events[i].kind == NOTE_ON;
        if (!holds_note) return;
    }
    clear_voice(voice, to, limit, aspect, limit);
    split_at(voice, from);
    insert_event(voice, from, VOLUME, curve_value_at(voice, from, VOLUME));
    insert_event(voice, from, BALANCE, curve_value_at(voice, from, BALANCE));

    const auto& events = voice.events;
    std::vector<Event> block;
    for (size_t i = first_of_block(events, from); i < events.size() && events[i].tick <= to; ++i) {
        const Event& e = events[i];
        if (e.tick < to || e.kind == NOTE_OFF) block.push_back(e);
    }
    if (aspect == Aspect::VOLUME || aspect == Aspect::BALANCE) {
        const uint8_t kind = curve_kind(aspect);
        std::erase_if(block, [&](const Event& e) { return e.kind != kind; });
    }
    if (block.empty()) {
        normalize_voice(voice, limit);
        return;
    }
    EditList list;
    std::array<bool, KEY_COUNT> sounding{};
    const uint64_t width = to - from;
    bool done = false;
    for (uint64_t n = 1; !done; ++n) {
        for (const Event& e : block) {
            uint64_t tick = e.tick + n * width;
            if (tick > limit || (tick == limit && e.kind != NOTE_OFF)) {
                done = true;
                break;
            }
            Event copy = e;
            copy.tick = Tick(tick);
            if (copy.kind == PORTAMENTO && tick + copy.param3 > limit)
                copy.param3 = uint8_t(limit - tick);
            if (copy.kind == NOTE_ON && copy.param1 < KEY_COUNT) sounding[copy.param1] = true;
            if (copy.kind == NOTE_OFF && copy.param1 < KEY_COUNT) sounding[copy.param1] = false;
            if (copy.kind == PORTAMENTO && copy.param1 < KEY_COUNT && copy.param2 < KEY_COUNT) {
                sounding[copy.param1] = false;
                sounding[copy.param2] = true;
            }
            list.add(copy);
        }
    }
    for (Key key = 0; key < KEY_COUNT; ++key)
        if (sounding[key]) list.add(limit, NOTE_OFF, key);
    list.apply(voice, std::nullopt);
    join_at(voice, from);
    normalize_voice(voice, limit);
}

void transpose_voice(Voice& voice, Tick from, Tick to, Aspect aspect, int amount, Tick length) {
    if (aspect == Aspect::VOLUME || aspect == Aspect::BALANCE) {
        const uint8_t kind = curve_kind(aspect);
        const uint8_t at_from = curve_value_at(voice, from, kind);
        const uint8_t at_to = curve_value_at(voice, to, kind);
        insert_event(voice, from, kind, at_from);
        insert_event(voice, to, kind, at_to);
        for (Event& e : voice.events)
            if (e.kind == kind && e.tick >= from && e.tick < to)
                e.param1 = clamp_level(e.param1 + amount);
        normalize_voice(voice, length);
        return;
    }
    // Narrow the amount so that no key of the block leaves 0..83.
    VoiceCursor at_from = cursor_at(voice, from);
    auto narrow = [&](int key) {
        amount = std::max(amount, -key);
        amount = std::min(amount, int(KEY_COUNT) - 1 - key);
    };
    for (Key key = 0; key < KEY_COUNT; ++key)
        if (at_from.is_sounding(key)) narrow(key);
    for (size_t i = first_at(voice.events, from);
         i < voice.events.size() && voice.events[i].tick < to; ++i) {
        const Event& e = voice.events[i];
        if (e.kind == NOTE_ON) narrow(e.param1);
        if (e.kind == PORTAMENTO) narrow(e.param2);
    }
    if (amount == 0) return;
    split_at(voice, from);
    split_at(voice, to);
    auto& events = voice.events;
    for (size_t i = first_of_block(events, from); i < events.size() && events[i].tick <= to; ++i) {
        Event& e = events[i];
        if (e.kind == NOTE_OFF) {
            e.param1 = uint8_t(e.param1 + amount);
        } else if (e.tick < to && e.kind == NOTE_ON) {
            e.param1 = uint8_t(e.param1 + amount);
        } else if (e.tick < to && e.kind == PORTAMENTO) {
            e.param1 = uint8_t(e.param1 + amount);
            e.param2 = uint8_t(e.param2 + amount);
        }
    }
    normalize_voice(voice, length);
}

void portamento_set_voice(Voice& voice, Tick from, Tick to, Tick length) {
    const auto& events = voice.events;
    EditList list;
    std::vector<bool> taken(events.size(), false);
    for (size_t i = first_of_block(events, from); i < events.size() && events[i].tick < to; ++i) {
        const Event& n = events[i];
        if (n.kind != NOTE_OFF || n.tick == 0) continue;
        const Key k = n.param1;
        const Tick t = n.tick;
        std::array<bool, KEY_COUNT> busy{};
        size_t best = NONE;
        uint64_t best_cost = std::numeric_limits<uint64_t>::max();
        size_t j = i;
        while (j > 0 && events[j - 1].tick >= t - 1)
            --j;
        for (; j < events.size() && events[j].tick < to; ++j) {
            const Event& e = events[j];
            const int64_t after = int64_t(e.tick) - int64_t(t); // -1 or more
            const uint64_t distance = uint64_t(after + 5);
            // No later event can cost less than the best found (keys differ by one at least), and
            // a slide lasts 255 ticks at most.
            if (6 * distance >= best_cost || after + 1 > 255) break;
            if (j > i && e.kind == NOTE_ON && e.param1 != k && !taken[j] && e.param1 < KEY_COUNT &&
                !busy[e.param1]) {
                uint64_t cost = uint64_t(std::abs(int(e.param1) - int(k)) + 5) * distance;
                if (cost < best_cost) {
                    best_cost = cost;
                    best = j;
                }
            }
            if ((e.kind == NOTE_ON || e.kind == PORTAMENTO) && e.param1 < KEY_COUNT)
                busy[e.param1] = true;
            if (e.kind == NOTE_OFF && e.tick >= t && e.param1 < KEY_COUNT) busy[e.param1] = true;
        }
        if (best == NONE) continue;
        taken[best] = true;
        list.remove(i);
        list.remove(best);
        list.add(t - 1, PORTAMENTO, k, events[best].param1, uint8_t(events[best].tick - t + 1));
    }
    if (!list.empty()) list.apply(voice, length);
}

void portamento_clear_voice(Voice& voice, Tick from, Tick to, Tick length) {
    EditList list;
    const auto& events = voice.events;
    for (size_t i = first_at(events, from); i < events.size() && events[i].tick < to; ++i)
        if (events[i].kind == PORTAMENTO) dissolve_portamento(list, voice, i);
    if (!list.empty()) list.apply(voice, length);
}

// --- Scope -------------------------------------------------------------------------------------

// The block limited to the pattern; false when nothing of it is left.
bool limit_block(const Pattern& pattern, Tick& from, Tick& to) {
    to = std::min(to, pattern.tick_length());
    return from < to;
}

bool all_voices(const Pattern& pattern, const Block& block) {
    return block.voice == ALL_VOICES || block.aspect == Aspect::TEMPO || pattern.voices.empty();
}

// Runs the voice operation on the block's voice, or on every voice for all voices (not at all
// for the tempo aspect).
template <typename Operation>
void for_block_voices(Pattern& pattern, const Block& block, Operation operation) {
    if (all_voices(pattern, block)) {
        if (block.aspect == Aspect::TEMPO) return;
        for (Voice& voice : pattern.voices)
            guarded(voice, [&] { operation(voice); });
    } else if (block.voice >= 0 && size_t(block.voice) < pattern.voices.size()) {
        Voice& voice = pattern.voices[size_t(block.voice)];
        guarded(voice, [&] { operation(voice); });
    }
}

// For a one-voice block, runs the whole command (the voice operation and the pattern length
// that follows it) so that a failure gives the voice its events and the pattern its length back.
template <typename Command>
void whole_command(Pattern& pattern, const Block& block, Command command) {
    if (all_voices(pattern, block) || block.voice < 0 ||
        size_t(block.voice) >= pattern.voices.size()) {
        command();
        return;
    }
    Voice& voice = pattern.voices[size_t(block.voice)];
    std::vector<Event> saved = voice.events;
    const int32_t saved_length = pattern.length;
    try {
        command();
    } catch (...) {
        voice.events.swap(saved);
        pattern.length = saved_length;
        throw;
    }
}

bool touches_tempo(const Pattern& pattern, const Block& block) {
    return all_voices(pattern, block) &&
           (block.aspect == Aspect::NOTES || block.aspect == Aspect::TEMPO);
}

} // namespace

// --- Block commands ----------------------------------------------------------------------------

void clear_block(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to)) return;
    if (touches_tempo(pattern, block))
        guarded_tempo(pattern, [&] {
            clear_tempo_curve(pattern, from, to);
            normalize_tempo_points(pattern);
        });
    const Tick length = pattern.tick_length();
    for_block_voices(pattern, block,
                     [&](Voice& voice) { clear_voice(voice, from, to, block.aspect, length); });
}

void delete_block(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to)) return;
    whole_command(pattern, block, [&] {
        if (touches_tempo(pattern, block))
            guarded_tempo(pattern, [&] {
                clear_tempo_curve(pattern, from, to);
                for (TempoPoint& p : pattern.tempo_points)
                    if (p.tick >= to) p.tick -= to - from;
                normalize_tempo_points(pattern);
            });
        const Tick length = pattern.tick_length();
        for_block_voices(pattern, block, [&](Voice& voice) {
            delete_voice(voice, from, to, block.aspect, length);
        });
        if (block.aspect == Aspect::NOTES) shorten(pattern, to - from);
    });
}

void insert_space(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to)) return;
    const Tick width = to - from;
    if (uint64_t(pattern.tick_length()) + width > MAX_PATTERN_LENGTH) return;
    const bool all = all_voices(pattern, block);
    whole_command(pattern, block, [&] {
        if (block.aspect == Aspect::NOTES) lengthen(pattern, width);
        const Tick length = pattern.tick_length();
        if (touches_tempo(pattern, block))
            guarded_tempo(pattern, [&] {
                for (TempoPoint& p : pattern.tempo_points)
                    if (p.tick >= from && p.tick != 0) p.tick += width;
                // Points pushed past the pattern's end (tempo pane only) would break the pattern.
                std::erase_if(pattern.tempo_points,
                              [&](const TempoPoint& p) { return p.tick > length; });
                normalize_tempo_points(pattern);
            });
        for_block_voices(pattern, block, [&](Voice& voice) {
            insert_space_voice(voice, from, to, block.aspect, length);
        });
        if (block.aspect == Aspect::NOTES) {
            // One voice: the pattern grows only as far as the moved notes need.
            if (!all) shorten(pattern, width);
        } else if (block.aspect != Aspect::TEMPO) {
            shorten(pattern, 0);
        }
    });
}

void repeat_block(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to)) return;
    const Tick limit = pattern.tick_length();
    if (limit <= to) return;
    if (touches_tempo(pattern, block))
        guarded_tempo(pattern, [&] {
            clear_tempo_curve(pattern, to, limit);
            auto& points = pattern.tempo_points;
            if (!points.empty() && points.back().tick >= to) points.pop_back();
            if (!points.empty() && points.back().tick >= from) {
                const uint8_t start_value = tempo_value_at(pattern, from);
                std::vector<TempoPoint> block_points;
                for (const TempoPoint& p : points)
                    if (p.tick >= from && p.tick < to) block_points.push_back(p);
                const uint64_t width = to - from;
                bool done = false;
                for (uint64_t n = 1; !done; ++n) {
                    uint64_t start = from + n * width;
                    if (start >= limit) break;
                    points.push_back(TempoPoint{Tick(start), start_value});
                    for (const TempoPoint& p : block_points) {
                        uint64_t tick = p.tick + n * width;
                        if (tick >= limit) {
                            done = true;
                            break;
                        }
                        points.push_back(TempoPoint{Tick(tick), p.value});
                    }
                }
            }
            normalize_tempo_points(pattern);
        });
    for_block_voices(pattern, block,
                     [&](Voice& voice) { repeat_voice(voice, from, to, block.aspect, limit); });
}

void transpose_block(Pattern& pattern, const Block& block, int amount) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to) || amount == 0) return;
    const Tick length = pattern.tick_length();
    if (block.aspect == Aspect::TEMPO) {
        guarded_tempo(pattern, [&] {
            const uint8_t at_from = tempo_value_at(pattern, from);
            const uint8_t before_to = tempo_value_before(pattern, to);
            if (!has_tempo_point(pattern, from)) insert_tempo_point(pattern, from, at_from);
            for (TempoPoint& p : pattern.tempo_points)
                if (p.tick >= from && p.tick < to) p.value = clamp_level(p.value + amount);
            // A point already at the block's end keeps the curve after the block as it was.
            if (!has_tempo_point(pattern, to)) insert_tempo_point(pattern, to, before_to);
            normalize_tempo_points(pattern);
        });
        return;
    }
    for_block_voices(pattern, block, [&](Voice& voice) {
        transpose_voice(voice, from, to, block.aspect, amount, length);
    });
}

void portamento_set(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to) || block.aspect != Aspect::NOTES) return;
    const Tick length = pattern.tick_length();
    for_block_voices(pattern, block,
                     [&](Voice& voice) { portamento_set_voice(voice, from, to, length); });
}

void portamento_clear(Pattern& pattern, const Block& block) {
    Tick from = block.from, to = block.to;
    if (!limit_block(pattern, from, to) || block.aspect != Aspect::NOTES) return;
    const Tick length = pattern.tick_length();
    for_block_voices(pattern, block,
                     [&](Voice& voice) { portamento_clear_voice(voice, from, to, length); });
}

// --- Drawing -----------------------------------------------------------------------------------

void set_curve_range(Pattern& pattern, size_t voice_index, Tick from, Tick to, uint8_t kind,
                     uint8_t value) {
    if (voice_index >= pattern.voices.size() || !is_curve(kind) || from >= to) return;
    value = std::min(value, MAX_LEVEL);
    Voice& voice = pattern.voices[voice_index];
    const Tick length = pattern.tick_length();
    guarded(voice, [&] {
        VoiceCursor cursor(voice);
        cursor.seek(from);
        const uint8_t current = kind == VOLUME ? cursor.volume() : cursor.balance();
        EditList list;
        const auto& events = voice.events;
        size_t i = first_at(events, from);
        for (; i < events.size() && events[i].tick < to; ++i)
            if (events[i].kind == kind) list.remove(i);
        for (; i < events.size(); ++i) {
            if (events[i].kind != kind) continue;
            if (events[i].param1 == value) list.remove(i);
            break;
        }
        if (current != value) list.add(from, kind, value);
        list.apply(voice, length);
    });
}

void set_tempo_range(Pattern& pattern, Tick from, Tick to, uint8_t value) {
    if (from >= to) return;
    value = std::min(value, MAX_LEVEL);
    guarded_tempo(pattern, [&] {
        const uint8_t current = tempo_value_before(pattern, from);
        auto& points = pattern.tempo_points;
        std::vector<TempoPoint> kept;
        kept.reserve(points.size() + 1);
        bool after_checked = false;
        for (const TempoPoint& p : points) {
            if (p.tick >= from && p.tick < to) continue;
            if (p.tick >= to && !after_checked) {
                after_checked = true;
                if (p.value == value) continue;
            }
            kept.push_back(p);
        }
        points.swap(kept);
        if (current != value) insert_tempo_point(pattern, from, value);
        normalize_tempo_points(pattern);
    });
}

void set_tempo_point(Pattern& pattern, Tick tick, uint8_t value) {
    guarded_tempo(pattern, [&] {
        replace_tempo_point(pattern, tick, std::min(value, MAX_LEVEL));
        normalize_tempo_points(pattern);
    });
}

namespace {

// Dissolves the portamentos into or out of the key that start in [from, to).
void dissolve_key_slides(Voice& voice, Tick from, Tick to, Key key) {
    EditList list;
    const auto& events = voice.events;
    for (size_t i = first_at(events, from); i < events.size() && events[i].tick < to; ++i) {
        const Event& e = events[i];
        if (e.kind == PORTAMENTO && (e.param1 == key || e.param2 == key))
            dissolve_portamento(list, voice, i);
    }
    if (!list.empty()) list.apply(voice, std::nullopt);
}

// The first event at or after the index that concerns the key.
size_t next_of_key(const std::vector<Event>& events, size_t i, Key key) {
    for (; i < events.size(); ++i) {
        const Event& e = events[i];
        if ((e.kind == NOTE_ON || e.kind == NOTE_OFF) && e.param1 == key) return i;
        if (e.kind == PORTAMENTO && (e.param1 == key || e.param2 == key)) return i;
    }
    return NONE;
}

void add_note_voice(Voice& voice, Tick from, Tick to, Key key, Tick length) {
    dissolve_key_slides(voice, from, to, key);
    // A slide out of the key still gliding at from ends there, so the new note stands clear.
    {
        VoiceCursor cursor(voice);
        cursor.seek(from);
        for (size_t i = 0; i < cursor.next_index(); ++i) {
            Event& e = voice.events[i];
            if (e.kind == PORTAMENTO && e.param1 == key && uint64_t(e.tick) + e.param3 > from)
                e.param3 = uint8_t(from - e.tick);
        }
    }
    VoiceCursor cursor(voice);
    cursor.seek(from);
    const bool sounding_before = cursor.is_sounding(key);
    EditList list;
    const auto& events = voice.events;
    size_t i = first_at(events, from);
    for (; i < events.size() && events[i].tick < to; ++i) {
        const Event& e = events[i];
        if ((e.kind == NOTE_ON || e.kind == NOTE_OFF) && e.param1 == key) list.remove(i);
    }
    if (!sounding_before) list.add(from, NOTE_ON, key);
    size_t next = next_of_key(events, i, key);
    if (next == NONE) {
        list.add(to, NOTE_OFF, key);
    } else {
        const Event& e = events[next];
        if (e.kind == NOTE_OFF) {
            // The note goes on past to; one that ends exactly at to and starts again there is one
            // note.
            size_t again = next_of_key(events, next + 1, key);
            if (e.tick == to && again != NONE && events[again].tick == to &&
                events[again].kind == NOTE_ON) {
                list.remove(next);
                list.remove(again);
            }
        } else if (e.kind == NOTE_ON) {
            if (e.tick == to)
                list.remove(next);
            else
                list.add(to, NOTE_OFF, key);
        } else if (e.param2 == key) {
            list.add(to, NOTE_OFF, key); // a slide into the key comes later
        }
    }
    list.apply(voice, length);
}

void erase_note_voice(Voice& voice, Tick from, Tick to, Key key, Tick length) {
    dissolve_key_slides(voice, from, to, key);
    VoiceCursor cursor(voice);
    cursor.seek(from);
    const bool sounding_before = cursor.is_sounding(key);
    EditList list;
    const auto& events = voice.events;
    size_t i = first_at(events, from);
    for (; i < events.size() && events[i].tick < to; ++i) {
        const Event& e = events[i];
        if ((e.kind == NOTE_ON || e.kind == NOTE_OFF) && e.param1 == key) list.remove(i);
    }
    if (sounding_before) list.add(from, NOTE_OFF, key);
    size_t next = next_of_key(events, i, key);
    if (next != NONE) {
        const Event& e = events[next];
        const bool ends_key = e.kind == NOTE_OFF || (e.kind == PORTAMENTO && e.param1 == key);
        if (ends_key) {
            if (e.kind == NOTE_OFF && e.tick == to)
                list.remove(next); // the note ended at to: nothing of it is left after the range
            else
                list.add(to, NOTE_ON, key);
        }
    }
    if (!list.empty()) list.apply(voice, length);
}

} // namespace

void add_note(Pattern& pattern, size_t voice_index, Tick from, Tick to, Key key) {
    if (voice_index >= pattern.voices.size() || from >= to || key >= KEY_COUNT ||
        to > MAX_PATTERN_LENGTH)
        return;
    if (pattern.tick_length() < to) pattern.length = int32_t(to);
    Voice& voice = pattern.voices[voice_index];
    const Tick length = pattern.tick_length();
    guarded(voice, [&] { add_note_voice(voice, from, to, key, length); });
}

void erase_note(Pattern& pattern, size_t voice_index, Tick from, Tick to, Key key) {
    if (voice_index >= pattern.voices.size() || from >= to || key >= KEY_COUNT) return;
    Voice& voice = pattern.voices[voice_index];
    const Tick length = pattern.tick_length();
    guarded(voice, [&] { erase_note_voice(voice, from, to, key, length); });
}

Tick remove_step(Pattern& pattern, size_t voice_index, Tick cursor) {
    if (voice_index >= pattern.voices.size() || cursor == 0) return cursor;
    Voice& voice = pattern.voices[voice_index];
    // The step begins at the latest note boundary before the cursor.
    Tick start = 0;
    for (const Event& e : voice.events) {
        if (e.tick >= cursor) break;
        if (e.kind == NOTE_ON || e.kind == NOTE_OFF || e.kind == PORTAMENTO) start = e.tick;
    }
    // Nothing changes between the boundary and the cursor: what sounds just after it sounds in
    // the whole step.
    VoiceCursor state(voice);
    state.seek(start + 1);
    std::vector<Key> keys;
    for (Key key = 0; key < KEY_COUNT; ++key)
        if (state.is_sounding(key)) keys.push_back(key);
    const Tick length = pattern.tick_length();
    guarded(voice, [&] {
        for (Key key : keys)
            erase_note_voice(voice, start, cursor, key, length);
    });
    return start;
}

// --- Re-gridding -------------------------------------------------------------------------------

namespace {
bool on_new_grid(uint64_t t, uint64_t o, uint64_t n) {
    return (t % o) * n % o == 0;
}
uint64_t to_new_grid(uint64_t t, uint64_t o, uint64_t n) {
    return (t / o) * n + (t % o) * n / o;
}
} // namespace

bool align_to_ticks_per_beat(Song& song, int32_t new_ticks_per_beat) {
    const int32_t old_ticks_per_beat = song.ticks_per_beat;
    if (new_ticks_per_beat == old_ticks_per_beat) return true;
    if (old_ticks_per_beat < 1 || new_ticks_per_beat < 1 || new_ticks_per_beat > MAX_TICKS_PER_BEAT)
        return false;
    const uint64_t o = uint64_t(old_ticks_per_beat), n = uint64_t(new_ticks_per_beat);
    for (const Pattern& pattern : song.patterns) {
        if (!on_new_grid(pattern.tick_length(), o, n)) return false;
        if (to_new_grid(pattern.tick_length(), o, n) > MAX_PATTERN_LENGTH) return false;
        for (const TempoPoint& p : pattern.tempo_points)
            if (!on_new_grid(p.tick, o, n)) return false;
        for (const Voice& voice : pattern.voices)
            for (const Event& e : voice.events)
                if (!on_new_grid(e.tick, o, n)) return false;
    }
    // Work on a copy, so that running out of memory half-way leaves the song as it was.
    std::vector<Pattern> patterns = song.patterns;
    for (Pattern& pattern : patterns) {
        pattern.length = int32_t(to_new_grid(pattern.tick_length(), o, n));
        for (TempoPoint& p : pattern.tempo_points)
            p.tick = Tick(to_new_grid(p.tick, o, n));
        for (Voice& voice : pattern.voices) {
            EditList list;
            for (size_t i = 0; i < voice.events.size(); ++i) {
                Event& e = voice.events[i];
                e.tick = Tick(to_new_grid(e.tick, o, n));
                if (e.kind != PORTAMENTO) continue;
                uint64_t slide = to_new_grid(e.param3, o, n);
                if (slide == 0) {
                    // Shrunk below one tick: the slide stays, as short as it can be.
                    e.param3 = 1;
                } else if (slide > 255) {
                    // Too long to hold: the two notes meet where a slide of 256 ticks would end.
                    e.param3 = 0;
                } else {
                    e.param3 = uint8_t(slide);
                }
            }
            for (size_t i = 0; i < voice.events.size(); ++i) {
                const Event& e = voice.events[i];
                if (e.kind != PORTAMENTO || e.param3 != 0) continue;
                // The second note must start before the note ends; if it would not, the slide is
                // kept at its longest instead (the normal form then shortens it if needed).
                size_t end = i + 1;
                while (end < voice.events.size() && !((voice.events[end].kind == NOTE_OFF &&
                                                       voice.events[end].param1 == e.param2) ||
                                                      (voice.events[end].kind == PORTAMENTO &&
                                                       voice.events[end].param1 == e.param2)))
                    ++end;
                uint64_t second = uint64_t(e.tick) + 256;
                if (end < voice.events.size() && second < voice.events[end].tick) {
                    list.remove(i);
                    list.add(e.tick + 1, NOTE_OFF, e.param1);
                    list.add(Tick(second), NOTE_ON, e.param2);
                } else {
                    voice.events[i].param3 = 255;
                }
            }
            list.apply(voice, pattern.tick_length());
        }
        normalize_tempo_points(pattern);
    }
    song.patterns.swap(patterns);
    return true;
}

} // namespace tunemill
