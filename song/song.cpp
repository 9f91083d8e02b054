// The song records' basic operations: patterns and voices, event insertion by the order rules,
// shortening, normalization and validation.
#include "song/song.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "foundation/string_table.h"
#include "foundation/text.h"
#include "song/voice_cursor.h"

namespace tunemill {

namespace {

std::atomic<uint32_t> voice_id_counter{0};

constexpr size_t NONE = SIZE_MAX;

bool is_curve(uint8_t kind) {
    return kind == VOLUME || kind == BALANCE;
}

// Removes the events whose flag is set, keeping the order of the others.
template <typename T> void compact(std::vector<T>& items, const std::vector<bool>& removed) {
    size_t out = 0;
    for (size_t i = 0; i < items.size(); ++i)
        if (!removed[i]) items[out++] = items[i];
    items.resize(out);
}

// Within every group of events sharing a tick: note offs first, portamentos last, the others in
// between in their order. Groups already in that order are left as they are.
void order_tick_groups(std::vector<Event>& events) {
    auto rank = [](const Event& e) {
        return e.kind == NOTE_OFF ? 0 : e.kind == PORTAMENTO ? 2 : 1;
    };
    size_t begin = 0;
    while (begin < events.size()) {
        size_t end = begin + 1;
        bool ordered = true;
        while (end < events.size() && events[end].tick == events[begin].tick) {
            if (rank(events[end]) < rank(events[end - 1])) ordered = false;
            ++end;
        }
        if (!ordered)
            std::stable_sort(events.begin() + begin, events.begin() + end,
                             [&](const Event& a, const Event& b) { return rank(a) < rank(b); });
        begin = end;
    }
}

// A slide must end strictly before the note off of the note it slides: a slide that reaches the
// note off is shortened to end one tick before it, and a one-tick slide right before the note off
// disappears, the note ending under the key it started with. Returns true when it changed
// something.
bool fix_portamento_ends(std::vector<Event>& events) {
    std::array<size_t, KEY_COUNT> last_slide;
    last_slide.fill(NONE);
    std::vector<bool> removed(events.size(), false);
    bool changed = false;
    for (size_t i = 0; i < events.size(); ++i) {
        Event& e = events[i];
        if (e.kind == PORTAMENTO) {
            // The key slid from is handed over: a later note of that key is another note.
            if (e.param1 < KEY_COUNT) last_slide[e.param1] = NONE;
            if (e.param2 < KEY_COUNT) last_slide[e.param2] = i;
        } else if (e.kind == NOTE_OFF && e.param1 < KEY_COUNT && last_slide[e.param1] != NONE) {
            size_t p = last_slide[e.param1];
            last_slide[e.param1] = NONE;
            Event& slide = events[p];
            uint64_t slide_end = uint64_t(slide.tick) + slide.param3;
            if (slide_end < e.tick || e.tick <= slide.tick) continue;
            Tick room = e.tick - slide.tick - 1;
            if (room >= 1) {
                slide.param3 = uint8_t(std::min<Tick>(room, 255));
                changed = true;
                continue;
            }
            // Drop the slide only when its first key is not taken again before the note off.
            bool taken = false;
            for (size_t j = p + 1; j < i; ++j)
                if ((events[j].kind == PORTAMENTO && events[j].param2 == slide.param1) ||
                    (events[j].kind == NOTE_ON && events[j].param1 == slide.param1))
                    taken = true;
            if (taken) continue;
            e.param1 = slide.param1;
            removed[p] = true;
            changed = true;
        }
    }
    if (changed) compact(events, removed);
    return changed;
}

// Of several volume (balance) events at one tick only the last in array order stays; then every
// curve event that repeats the value in effect, or lies at the length, goes.
void drop_redundant_curve_events(std::vector<Event>& events, std::optional<Tick> length) {
    std::vector<bool> removed(events.size(), false);
    size_t last_volume = NONE, last_balance = NONE;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.kind == VOLUME) {
            if (last_volume != NONE && events[last_volume].tick == e.tick)
                removed[last_volume] = true;
            last_volume = i;
        } else if (e.kind == BALANCE) {
            if (last_balance != NONE && events[last_balance].tick == e.tick)
                removed[last_balance] = true;
            last_balance = i;
        }
    }
    uint8_t volume = DEFAULT_VOLUME, balance = DEFAULT_BALANCE;
    for (size_t i = 0; i < events.size(); ++i) {
        if (removed[i]) continue;
        const Event& e = events[i];
        if (!is_curve(e.kind)) continue;
        uint8_t& current = e.kind == VOLUME ? volume : balance;
        if (e.param1 == current || (length && e.tick == *length))
            removed[i] = true;
        else
            current = e.param1;
    }
    compact(events, removed);
}

} // namespace

uint32_t next_voice_id() {
    uint32_t id = voice_id_counter.fetch_add(1) + 1;
    while (id == 0)
        id = voice_id_counter.fetch_add(1) + 1;
    return id;
}

// --- Song --------------------------------------------------------------------------------------

void reset(Song& song, std::string description) {
    song.ticks_per_beat = DEFAULT_TICKS_PER_BEAT;
    song.beats_per_measure = DEFAULT_BEATS_PER_MEASURE;
    song.overall_tempo = DEFAULT_OVERALL_TEMPO;
    song.repeat_position = 0;
    song.sequence.clear();
    while (!song.patterns.empty())
        song.patterns.pop_back();
    while (!song.instruments.empty())
        song.instruments.pop_back();
    song.description = std::move(description);
}

namespace {
std::string first_pattern_name() {
    std::string name = utf8_to_windows1252(load_string(S_FIRST_PATTERN_NAME));
    if (name.size() > MAX_PATTERN_NAME) name.resize(MAX_PATTERN_NAME);
    return name;
}
} // namespace

void new_song(Song& song, std::string path) {
    reset(song, {});
    add_pattern(song, first_pattern_name());
    song.sequence.assign(1, 0);
    song.song_file = false;
    song.modified = false;
    song.path = std::move(path);
}

void add_pattern(Song& song, std::string name, int32_t position) {
    Pattern pattern;
    pattern.name = std::move(name);
    if (position < 0 || size_t(position) > song.patterns.size())
        song.patterns.push_back(std::move(pattern));
    else
        song.patterns.insert(song.patterns.begin() + position, std::move(pattern));
}

void remove_pattern(Song& song, size_t index) {
    if (index < song.patterns.size()) song.patterns.erase(song.patterns.begin() + index);
}

void delete_pattern(Song& song, size_t index) {
    if (index >= song.patterns.size()) return;
    std::vector<uint32_t> sequence;
    sequence.reserve(song.sequence.size());
    int32_t repeat = song.repeat_position;
    for (size_t i = 0; i < song.sequence.size(); ++i) {
        uint32_t entry = song.sequence[i];
        if (entry == index) {
            if (int64_t(i) < song.repeat_position) --repeat;
            continue;
        }
        sequence.push_back(entry > index ? entry - 1 : entry);
    }
    song.patterns.erase(song.patterns.begin() + index);
    song.sequence = std::move(sequence);
    if (song.sequence.empty())
        repeat = 0;
    else
        repeat = std::clamp<int32_t>(repeat, 0, int32_t(song.sequence.size()) - 1);
    song.repeat_position = repeat;
    if (song.patterns.empty()) add_pattern(song, first_pattern_name());
}

void rename_pattern(Song& song, size_t index, std::string name) {
    if (index < song.patterns.size()) song.patterns[index].name = std::move(name);
}

void set_description(Song& song, std::string description) {
    if (description == song.description) return;
    song.description = std::move(description);
    song.modified = true;
}

size_t add_voice(Pattern& pattern, uint32_t instrument) {
    Voice voice;
    voice.instrument = instrument;
    pattern.voices.push_back(std::move(voice));
    pattern.voices.back().id = next_voice_id();
    return pattern.voices.size() - 1;
}

void remove_voice(Pattern& pattern, size_t index) {
    if (index < pattern.voices.size()) pattern.voices.erase(pattern.voices.begin() + index);
}

// --- Events ------------------------------------------------------------------------------------

size_t insert_event(Voice& voice, const Event& event, size_t start) {
    std::vector<Event>& events = voice.events;
    const Tick t = event.tick;
    size_t i = std::min(start, events.size());
    // A start past the event's place would break the tick order: search from the beginning.
    if (i > 0 && events[i - 1].tick > t) i = 0;
    while (i < events.size() && events[i].tick < t)
        ++i;
    if (event.kind != NOTE_OFF) {
        while (i < events.size() && events[i].tick == t) {
            if (events[i].kind == PORTAMENTO) break;
            if (is_curve(event.kind) && events[i].kind != NOTE_OFF) break;
            ++i;
        }
    }
    events.insert(events.begin() + i, event);
    return i;
}

size_t insert_event(Voice& voice, Tick tick, uint8_t kind, uint8_t param1, uint8_t param2,
                    uint8_t param3, size_t start) {
    return insert_event(voice, Event{tick, kind, param1, param2, param3}, start);
}

void remove_event(Voice& voice, size_t index) {
    if (index < voice.events.size()) voice.events.erase(voice.events.begin() + index);
}

bool voice_has_notes(const Voice& voice) {
    return std::any_of(voice.events.begin(), voice.events.end(),
                       [](const Event& e) { return e.kind == NOTE_ON; });
}

bool key_sounding(const Voice& voice, Tick tick, Key key) {
    VoiceCursor cursor(voice);
    cursor.seek(tick);
    for (size_t i = cursor.next_index(); i < voice.events.size() && voice.events[i].tick == tick;
         ++i) {
        const Event& e = voice.events[i];
        if ((e.kind == NOTE_ON || e.kind == PORTAMENTO) && e.param1 == key) return true;
        if (e.kind == NOTE_OFF) cursor.clear_key(e.param1);
    }
    size_t source = cursor.sounding(key);
    if (source == VoiceCursor::NONE) return false;
    const Event& e = voice.events[source];
    if (e.kind == NOTE_ON) return true;
    return uint64_t(tick) >= uint64_t(e.tick) + e.param3;
}

// --- Length ------------------------------------------------------------------------------------

void set_length(Pattern& pattern, int32_t ticks) {
    pattern.length = ticks;
}

int32_t shorten(Pattern& pattern, Tick n) {
    Tick length = pattern.tick_length();
    Tick new_length = n >= length ? 0 : length - n;
    for (const Voice& voice : pattern.voices) {
        for (size_t i = voice.events.size(); i-- > 0;) {
            const Event& e = voice.events[i];
            if (e.tick <= new_length) break;
            if (!is_curve(e.kind)) {
                new_length = e.tick;
                break;
            }
        }
    }
    for (Voice& voice : pattern.voices) {
        auto& events = voice.events;
        while (!events.empty() && events.back().tick > new_length)
            events.pop_back();
    }
    auto& points = pattern.tempo_points;
    while (!points.empty() && points.back().tick > new_length)
        points.pop_back();
    pattern.length = int32_t(new_length);
    normalize_pattern(pattern);
    return pattern.length;
}

void lengthen(Pattern& pattern, Tick n) {
    uint64_t length = uint64_t(pattern.tick_length()) + n;
    pattern.length = int32_t(std::min<uint64_t>(length, MAX_PATTERN_LENGTH));
}

// --- Normal form -------------------------------------------------------------------------------

void normalize_voice(Voice& voice, std::optional<Tick> length) {
    order_tick_groups(voice.events);
    // Dropping a slide can make an earlier slide the one that reaches the note off.
    for (int pass = 0; pass < 8 && fix_portamento_ends(voice.events); ++pass) {
    }
    drop_redundant_curve_events(voice.events, length);
}

void normalize_tempo_points(Pattern& pattern) {
    auto& points = pattern.tempo_points;
    const Tick length = pattern.tick_length();
    std::vector<bool> removed(points.size(), false);
    uint8_t current = DEFAULT_TEMPO_VALUE;
    for (size_t i = 0; i < points.size(); ++i) {
        const TempoPoint& p = points[i];
        if (p.value == current || p.tick == length ||
            (i + 1 < points.size() && points[i + 1].tick == p.tick))
            removed[i] = true;
        else
            current = p.value;
    }
    compact(points, removed);
}

void normalize_pattern(Pattern& pattern) {
    normalize_tempo_points(pattern);
    for (Voice& voice : pattern.voices)
        normalize_voice(voice, pattern.tick_length());
}

bool voice_is_normal(const Voice& voice, std::optional<Tick> length) {
    const auto& events = voice.events;
    std::array<size_t, KEY_COUNT> last_slide;
    last_slide.fill(NONE);
    uint8_t volume = DEFAULT_VOLUME, balance = DEFAULT_BALANCE;
    size_t last_volume = NONE, last_balance = NONE;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (is_curve(e.kind)) {
            size_t& last = e.kind == VOLUME ? last_volume : last_balance;
            uint8_t& current = e.kind == VOLUME ? volume : balance;
            if (last != NONE && events[last].tick == e.tick) return false;
            if (e.param1 == current || (length && e.tick == *length)) return false;
            last = i;
            current = e.param1;
        } else if (e.kind == PORTAMENTO) {
            if (e.param1 < KEY_COUNT) last_slide[e.param1] = NONE;
            if (e.param2 < KEY_COUNT) last_slide[e.param2] = i;
        } else if (e.kind == NOTE_OFF && e.param1 < KEY_COUNT && last_slide[e.param1] != NONE) {
            const Event& slide = events[last_slide[e.param1]];
            last_slide[e.param1] = NONE;
            if (uint64_t(slide.tick) + slide.param3 >= e.tick) return false;
        }
    }
    return true;
}

bool tempo_points_are_normal(const Pattern& pattern) {
    uint8_t current = DEFAULT_TEMPO_VALUE;
    const auto& points = pattern.tempo_points;
    for (size_t i = 0; i < points.size(); ++i) {
        if (points[i].value == current || points[i].tick == pattern.tick_length()) return false;
        if (i + 1 < points.size() && points[i + 1].tick == points[i].tick) return false;
        current = points[i].value;
    }
    return true;
}

// --- Validation --------------------------------------------------------------------------------

std::optional<size_t> find_invalid_event(const Voice& voice, Tick length, size_t instrument_count,
                                         int* invariant) {
    auto fail = [&](int which, size_t index) -> std::optional<size_t> {
        if (invariant) *invariant = which;
        return index;
    };
    if (voice.instrument >= instrument_count) return fail(6, 0);
    std::array<bool, KEY_COUNT> sounding{};
    Tick tick = 0;
    int rank = 0;
    const auto& events = voice.events;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.tick < tick || e.tick > length) return fail(6, i);
        if (e.tick != tick) {
            tick = e.tick;
            rank = 0;
        }
        int event_rank = 1;
        switch (e.kind) {
        case NOTE_ON:
            if (e.param1 >= KEY_COUNT || sounding[e.param1]) return fail(6, i);
            sounding[e.param1] = true;
            break;
        case NOTE_OFF:
            if (e.param1 >= KEY_COUNT || !sounding[e.param1]) return fail(6, i);
            sounding[e.param1] = false;
            event_rank = 0;
            break;
        case VOLUME:
        case BALANCE:
            if (e.param1 > MAX_LEVEL) return fail(6, i);
            break;
        case PORTAMENTO:
            if (e.param1 >= KEY_COUNT || !sounding[e.param1]) return fail(6, i);
            if (e.param2 >= KEY_COUNT || sounding[e.param2] || e.param3 == 0) return fail(6, i);
            sounding[e.param1] = false;
            sounding[e.param2] = true;
            event_rank = 2;
            break;
        default:
            return fail(6, i);
        }
        if (event_rank < rank) return fail(7, i);
        rank = event_rank;
    }
    for (bool s : sounding)
        if (s) return fail(8, events.size());
    return std::nullopt;
}

std::optional<ValidationFailure> find_invalid(const Song& song) {
    for (size_t i = 0; i < song.instruments.size(); ++i)
        if (song.instruments[i].name.size() > MAX_INSTRUMENT_NAME)
            return ValidationFailure{1, -1, -1, int64_t(i)};
    if (song.overall_tempo < 0 || song.overall_tempo > MAX_OVERALL_TEMPO ||
        song.ticks_per_beat < 1 || song.ticks_per_beat > MAX_TICKS_PER_BEAT ||
        song.beats_per_measure < 1 || song.beats_per_measure > MAX_BEATS_PER_MEASURE)
        return ValidationFailure{2};
    if (!song.sequence.empty() &&
        (song.repeat_position < 0 || size_t(song.repeat_position) >= song.sequence.size()))
        return ValidationFailure{3};
    for (size_t i = 0; i < song.sequence.size(); ++i)
        if (song.sequence[i] >= song.patterns.size())
            return ValidationFailure{4, -1, -1, int64_t(i)};
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const Pattern& pattern = song.patterns[p];
        if (pattern.length < 0) return ValidationFailure{5, int32_t(p)};
        Tick tick = 0;
        for (size_t i = 0; i < pattern.tempo_points.size(); ++i) {
            const TempoPoint& point = pattern.tempo_points[i];
            if (point.tick < tick || point.tick > Tick(pattern.length) || point.value > MAX_LEVEL)
                return ValidationFailure{5, int32_t(p), -1, int64_t(i)};
            tick = point.tick;
        }
    }
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const Pattern& pattern = song.patterns[p];
        for (size_t v = 0; v < pattern.voices.size(); ++v) {
            int invariant = 0;
            if (auto at = find_invalid_event(pattern.voices[v], Tick(pattern.length),
                                             song.instruments.size(), &invariant))
                return ValidationFailure{invariant, int32_t(p), int32_t(v), int64_t(*at)};
        }
    }
    return std::nullopt;
}

bool validate(const Song& song) {
    return !find_invalid(song).has_value();
}

} // namespace tunemill
