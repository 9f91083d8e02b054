// The drawing operations (curve ranges, tempo points, notes added and erased, the step back) and
// the re-gridding of a song to another beat resolution. Each voice operation works on the voice's
// event array through the edit list and the cursor, and ends with the voice normalized; a voice
// that an operation fails on (memory) gets its events back.
#include "song/editing.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <utility>

#include "song/edit_list.h"
#include "song/event_edits.h"
#include "song/timing.h"
#include "song/voice_cursor.h"

namespace tunemill {

using namespace event_edits;

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

// Lists the key's note switches inside [from, to) for removal. Returns whether the key sounds as
// the range begins, and the index of the first event at or after `to`.
std::pair<bool, size_t> drop_key_switches(const Voice& voice, EditList& list, Tick from, Tick to,
                                          Key key) {
    VoiceCursor cursor(voice);
    cursor.seek(from);
    const bool sounding = cursor.is_sounding(key);
    const auto& events = voice.events;
    size_t i = first_at(events, from);
    for (; i < events.size() && events[i].tick < to; ++i) {
        const Event& e = events[i];
        if ((e.kind == NOTE_ON || e.kind == NOTE_OFF) && e.param1 == key) list.remove(i);
    }
    return {sounding, i};
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
    EditList list;
    const auto& events = voice.events;
    const auto [sounding_before, i] = drop_key_switches(voice, list, from, to, key);
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
    EditList list;
    const auto& events = voice.events;
    const auto [sounding_before, i] = drop_key_switches(voice, list, from, to, key);
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
