// Turning the release marks of older song files into plain notes.
#include "storage/release_marks.h"

#include <algorithm>
#include <array>

namespace tunemill {

namespace {

int rank_within_tick(const Event& e) {
    return e.kind == NOTE_OFF ? 0 : e.kind == PORTAMENTO ? 2 : 1;
}

bool has_release_marks(const Voice& voice) {
    return std::any_of(voice.events.begin(), voice.events.end(),
                       [](const Event& e) { return e.kind == RELEASE_MARK; });
}

void remove_flagged(std::vector<Event>& events, const std::vector<bool>& removed) {
    size_t out = 0;
    for (size_t i = 0; i < events.size(); ++i)
        if (!removed[i]) events[out++] = events[i];
    events.resize(out);
}

// The tempo value that a note struck at the tick starts under: the last point strictly before
// it, else the default. (Files were resolved this way; a point at the very tick of the note
// counts from the next note on.)
uint8_t tempo_before(const Pattern& pattern, Tick tick) {
    const auto& points = pattern.tempo_points;
    auto after = std::partition_point(points.begin(), points.end(),
                                      [&](const TempoPoint& p) { return p.tick < tick; });
    return after == points.begin() ? DEFAULT_TEMPO_VALUE : std::prev(after)->value;
}

void resolve_looping(Voice& voice) {
    std::array<bool, KEY_COUNT> released{};
    std::vector<bool> removed(voice.events.size(), false);
    for (size_t i = 0; i < voice.events.size(); ++i) {
        Event& e = voice.events[i];
        const bool key_valid = e.param1 < KEY_COUNT;
        switch (e.kind) {
        case RELEASE_MARK:
            e.kind = NOTE_OFF;
            if (key_valid) released[e.param1] = true;
            break;
        case NOTE_ON:
            if (key_valid) released[e.param1] = false;
            break;
        case NOTE_OFF:
            if (key_valid && released[e.param1]) removed[i] = true;
            break;
        case PORTAMENTO:
            if (key_valid && released[e.param1]) {
                removed[i] = true;
                if (e.param2 < KEY_COUNT) {
                    released[e.param1] = false;
                    released[e.param2] = true;
                }
            }
            break;
        default:
            break;
        }
    }
    remove_flagged(voice.events, removed);
}

void resolve_one_shot(Voice& voice, const Pattern& pattern, const Instrument& instrument,
                      int32_t overall_tempo) {
    struct OpenNote {
        bool open = false;
        Tick start = 0;
        bool has_release = false;
        Tick release = 0;
    };
    std::array<OpenNote, KEY_COUNT> notes{};
    std::vector<Event> note_offs;
    auto close = [&](Key key, Tick limit) {
        OpenNote& note = notes[key];
        const uint64_t per_tick =
            samples_per_tick(overall_tempo, tempo_before(pattern, note.start), instrument.rate);
        uint64_t end = uint64_t(note.start) + instrument.length / per_tick;
        end = std::max<uint64_t>(end, note.release);
        end = std::min<uint64_t>(end, limit);
        note_offs.push_back(Event{Tick(end), NOTE_OFF, key, 0, 0});
        note.open = false;
    };

    std::vector<bool> removed(voice.events.size(), false);
    for (size_t i = 0; i < voice.events.size(); ++i) {
        const Event& e = voice.events[i];
        const Key key = e.param1;
        if (key >= KEY_COUNT) continue;
        switch (e.kind) {
        case NOTE_ON:
            if (notes[key].open && notes[key].has_release) close(key, e.tick);
            notes[key] = OpenNote{true, e.tick, false, 0};
            break;
        case RELEASE_MARK:
            removed[i] = true;
            if (notes[key].open) {
                notes[key].has_release = true;
                notes[key].release = e.tick;
            }
            break;
        case NOTE_OFF:
            notes[key].open = false;
            break;
        case PORTAMENTO:
            if (e.param2 < KEY_COUNT && notes[key].open) {
                notes[e.param2] = notes[key];
                notes[key].open = false;
            }
            break;
        default:
            break;
        }
    }
    const Tick last = voice.events.back().tick;
    for (Key key = 0; key < KEY_COUNT; ++key)
        if (notes[key].open && notes[key].has_release) close(key, last);
    remove_flagged(voice.events, removed);

    // Merge the note offs in: each goes before every event at its tick (the insertion rule),
    // in one pass however many there are.
    std::stable_sort(note_offs.begin(), note_offs.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::vector<Event> merged;
    merged.reserve(voice.events.size() + note_offs.size());
    size_t next = 0;
    for (const Event& e : voice.events) {
        while (next < note_offs.size() && note_offs[next].tick <= e.tick)
            merged.push_back(note_offs[next++]);
        merged.push_back(e);
    }
    merged.insert(merged.end(), note_offs.begin() + ptrdiff_t(next), note_offs.end());
    voice.events = std::move(merged);
}

} // namespace

void order_within_ticks(Voice& voice) {
    auto& events = voice.events;
    size_t begin = 0;
    while (begin < events.size()) {
        size_t end = begin + 1;
        bool ordered = true;
        while (end < events.size() && events[end].tick == events[begin].tick) {
            if (rank_within_tick(events[end]) < rank_within_tick(events[end - 1])) ordered = false;
            ++end;
        }
        if (!ordered)
            std::stable_sort(events.begin() + ptrdiff_t(begin), events.begin() + ptrdiff_t(end),
                             [](const Event& a, const Event& b) {
                                 return rank_within_tick(a) < rank_within_tick(b);
                             });
        begin = end;
    }
}

uint64_t samples_per_tick(int32_t overall_tempo, uint8_t tempo_value, uint32_t rate) {
    const int64_t v = std::min<int64_t>(tempo_value, MAX_LEVEL);
    const int64_t d = 1280 - 32 * v;
    const int64_t tempo = std::clamp<int64_t>(overall_tempo, 0, MAX_OVERALL_TEMPO);
    const int64_t per_tick = ((tempo + 40) * int64_t(rate) + d / 2) / d;
    return per_tick < 1 ? 1 : uint64_t(per_tick);
}

void resolve_release_marks(Voice& voice, const Pattern& pattern, const Instrument& instrument,
                           int32_t overall_tempo) {
    if (!has_release_marks(voice)) return;
    if (instrument.loops())
        resolve_looping(voice);
    else
        resolve_one_shot(voice, pattern, instrument, overall_tempo);
    // A mark turned into a note off may stand behind note ons of its tick.
    order_within_ticks(voice);
}

} // namespace tunemill
