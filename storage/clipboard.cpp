// Copy and paste of pattern blocks through the clipboard bytes.
#include "storage/clipboard.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "song/edit_list.h"
#include "song/instrument_array.h"
#include "song/timing.h"
#include "song/voice_cursor.h"
#include "storage/byte_order.h"

namespace tunemill {

namespace {

constexpr size_t HEAD_BYTES = 16;
constexpr size_t NAME_FIELD = 17;
constexpr size_t EVENT_BYTES = 8;

ClipboardAspect code_of(Aspect aspect) {
    switch (aspect) {
    case Aspect::TEMPO:
        return ClipboardAspect::TEMPO;
    case Aspect::VOLUME:
        return ClipboardAspect::VOLUME;
    case Aspect::BALANCE:
        return ClipboardAspect::BALANCE;
    default:
        return ClipboardAspect::NOTES;
    }
}

Aspect aspect_of(ClipboardAspect code) {
    switch (code) {
    case ClipboardAspect::TEMPO:
        return Aspect::TEMPO;
    case ClipboardAspect::VOLUME:
        return Aspect::VOLUME;
    case ClipboardAspect::BALANCE:
        return Aspect::BALANCE;
    default:
        return Aspect::NOTES;
    }
}

bool has_tempo_section(ClipboardAspect aspect, bool all_voices) {
    return aspect == ClipboardAspect::TEMPO || (aspect == ClipboardAspect::NOTES && all_voices);
}

// The value of the curve in effect just before the tick (the default before any event).
uint8_t curve_before(const Voice& voice, Tick tick, uint8_t kind) {
    VoiceCursor cursor(voice);
    cursor.seek(tick);
    return kind == VOLUME ? cursor.volume() : cursor.balance();
}

void put_event(std::vector<uint8_t>& out, const Event& e) {
    put_u32(out, e.tick);
    out.insert(out.end(), {e.kind, e.param1, e.param2, e.param3});
}

void put_voice_record(std::vector<uint8_t>& out, const Song& song, const Voice& voice, Tick from,
                      Tick to, Aspect aspect) {
    uint8_t name[NAME_FIELD] = {};
    if (voice.instrument < song.instruments.size()) {
        const std::string& text = song.instruments[voice.instrument].name;
        for (size_t i = 0; i < text.size() && i < MAX_INSTRUMENT_NAME && text[i] != 0; ++i)
            name[i] = uint8_t(text[i]);
    }
    out.insert(out.end(), name, name + NAME_FIELD);

    // The cutting is done on a copy: the pattern stays as it is.
    Voice cut = voice;
    split_at(cut, from);
    split_at(cut, to);
    std::vector<Event> events;
    if (aspect != Aspect::BALANCE)
        events.push_back(Event{0, VOLUME, curve_before(cut, from, VOLUME), 0, 0});
    if (aspect != Aspect::VOLUME)
        events.push_back(Event{0, BALANCE, curve_before(cut, from, BALANCE), 0, 0});
    auto first = std::partition_point(cut.events.begin(), cut.events.end(),
                                      [&](const Event& e) { return e.tick < from; });
    for (auto it = first; it != cut.events.end() && it->tick <= to; ++it) {
        const Event& e = *it;
        if (e.kind == NOTE_OFF && e.tick == from) continue;
        if (e.kind != NOTE_OFF && e.tick == to) continue;
        if (aspect == Aspect::VOLUME && e.kind != VOLUME) continue;
        if (aspect == Aspect::BALANCE && e.kind != BALANCE) continue;
        events.push_back(Event{e.tick - from, e.kind, e.param1, e.param2, e.param3});
    }
    put_u32(out, uint32_t(events.size()));
    for (const Event& e : events)
        put_event(out, e);
}

// --- The parsed block ---------------------------------------------------------------------------

struct VoiceRecord {
    std::string name;
    Voice voice; // ticks relative to the block's start
};

struct ParsedBlock {
    ClipboardAspect aspect;
    bool all_voices;
    Tick length;
    std::optional<std::vector<TempoPoint>> tempo;
    std::vector<VoiceRecord> records;
};

// The block, or nothing when the bytes are not a well-formed block: every count checked against
// the bytes there are, every record a valid stretch of one voice of the block's length that holds
// only the events its aspect copies.
std::optional<ParsedBlock> parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < HEAD_BYTES) return std::nullopt;
    const uint8_t* at = bytes.data();
    size_t left = bytes.size() - HEAD_BYTES;
    const uint32_t aspect = get_u32(at), all = get_u32(at + 4), count = get_u32(at + 8),
                   length = get_u32(at + 12);
    at += HEAD_BYTES;
    if (aspect > 3 || all > 1 || length == 0 || length > MAX_PATTERN_LENGTH) return std::nullopt;
    ParsedBlock block{ClipboardAspect(aspect), all == 1, length, std::nullopt, {}};
    if (block.aspect == ClipboardAspect::TEMPO ? count != 0 : (!block.all_voices && count != 1))
        return std::nullopt;

    if (has_tempo_section(block.aspect, block.all_voices)) {
        if (left < 4) return std::nullopt;
        const uint32_t points = get_u32(at);
        at += 4;
        left -= 4;
        if (points > left / 8) return std::nullopt;
        std::vector<TempoPoint> tempo(points);
        Tick previous = 0;
        for (TempoPoint& point : tempo) {
            point = TempoPoint{get_u32(at), at[4], {0, 0, 0}};
            at += 8;
            left -= 8;
            if (point.tick < previous || point.tick >= length || point.value > MAX_LEVEL)
                return std::nullopt;
            previous = point.tick;
        }
        block.tempo = std::move(tempo);
    }

    const bool curve_block =
        block.aspect == ClipboardAspect::VOLUME || block.aspect == ClipboardAspect::BALANCE;
    const uint8_t curve_kind = block.aspect == ClipboardAspect::VOLUME ? VOLUME : BALANCE;
    if (count > left / (NAME_FIELD + 4)) return std::nullopt;
    block.records.reserve(count);
    for (uint32_t r = 0; r < count; ++r) {
        if (left < NAME_FIELD + 4) return std::nullopt;
        VoiceRecord record;
        const void* zero = std::memchr(at, 0, NAME_FIELD);
        if (!zero) return std::nullopt;
        record.name.assign(reinterpret_cast<const char*>(at),
                           size_t(static_cast<const uint8_t*>(zero) - at));
        const uint32_t events = get_u32(at + NAME_FIELD);
        at += NAME_FIELD + 4;
        left -= NAME_FIELD + 4;
        if (events > left / EVENT_BYTES) return std::nullopt;
        record.voice.events.resize(events);
        for (Event& e : record.voice.events) {
            e = Event{get_u32(at), at[4], at[5], at[6], at[7]};
            at += EVENT_BYTES;
            left -= EVENT_BYTES;
        }
        if (find_invalid_event(record.voice, length, 1)) return std::nullopt;
        // A curve block carries that curve alone: its paste makes room for nothing else.
        if (curve_block && std::any_of(record.voice.events.begin(), record.voice.events.end(),
                                       [&](const Event& e) { return e.kind != curve_kind; }))
            return std::nullopt;
        block.records.push_back(std::move(record));
    }
    return block;
}

// --- Pasting ------------------------------------------------------------------------------------

// Insert space of n ticks at p in the voice with the aspect: notes move everything from p on
// (notes sounding across p are split there), a curve aspect moves only that curve's events.
void make_room(Voice& voice, Tick p, Tick n, Aspect aspect) {
    if (aspect == Aspect::VOLUME || aspect == Aspect::BALANCE) {
        const uint8_t kind = aspect == Aspect::VOLUME ? VOLUME : BALANCE;
        EditList list;
        for (size_t i = 0; i < voice.events.size(); ++i) {
            const Event& e = voice.events[i];
            if (e.kind == kind && e.tick >= p) {
                list.remove(i);
                list.add(Event{e.tick + n, e.kind, e.param1, e.param2, e.param3});
            }
        }
        if (!list.empty()) list.apply(voice, std::nullopt);
        return;
    }
    // The note offs at p end what sounded before: they stay, everything from p on moves.
    split_at(voice, p);
    for (Event& e : voice.events)
        if (e.tick > p || (e.tick == p && e.kind != NOTE_OFF)) e.tick += n;
}

size_t common_beginning(const std::string& a, const std::string& b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    // Equal names count their terminating zero as well.
    return n == a.size() && n == b.size() ? n + 1 : n;
}

uint32_t instrument_for(const Song& song, const std::string& name) {
    uint32_t best = 0;
    size_t best_length = 0;
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        const size_t length = common_beginning(song.instruments[i].name, name);
        if (length >= best_length) { // a tie goes to the later instrument
            best = uint32_t(i);
            best_length = length;
        }
    }
    return best;
}

// A record holds two volume (or balance) events at its first tick when the copied voice had one
// exactly at the block's start: the value in effect before it, then the voice's own. The later
// one is what the copied voice played, so only it is pasted (added at one tick, the earlier
// would otherwise end up last and win).
bool superseded(const std::vector<Event>& events, size_t index) {
    const Event& e = events[index];
    if (e.kind != VOLUME && e.kind != BALANCE) return false;
    for (size_t next = index + 1; next < events.size() && events[next].tick == e.tick; ++next)
        if (events[next].kind == e.kind) return true;
    return false;
}

void paste_record(Voice& target, const Voice& record, Tick p, Tick n, Tick length) {
    // What follows the pasted stretch keeps its volume and balance.
    EditList list;
    list.add(p + n, VOLUME, curve_before(target, p + n, VOLUME));
    list.add(p + n, BALANCE, curve_before(target, p + n, BALANCE));
    for (size_t index = 0; index < record.events.size(); ++index) {
        if (superseded(record.events, index)) continue;
        const Event& e = record.events[index];
        list.add(Event{e.tick + p, e.kind, e.param1, e.param2, e.param3});
    }
    list.apply(target, length);
}

void put_tempo_point(Pattern& pattern, Tick tick, uint8_t value) {
    auto& points = pattern.tempo_points;
    auto at = std::partition_point(points.begin(), points.end(),
                                   [&](const TempoPoint& q) { return q.tick < tick; });
    if (at != points.end() && at->tick == tick)
        at->value = value;
    else
        points.insert(at, TempoPoint{tick, value, {0, 0, 0}});
}

} // namespace

std::vector<uint8_t> copy_block(const Song& song, size_t pattern_index, const Block& block) {
    if (pattern_index >= song.patterns.size()) return {};
    const Pattern& pattern = song.patterns[pattern_index];
    const Tick from = block.from;
    const Tick to = std::min(block.to, pattern.tick_length());
    if (from >= to) return {};
    const bool all = block.voice == ALL_VOICES || block.aspect == Aspect::TEMPO;
    if (!all && (block.voice < 0 || size_t(block.voice) >= pattern.voices.size())) return {};
    const ClipboardAspect aspect = code_of(block.aspect);

    std::vector<uint8_t> out;
    put_u32(out, uint32_t(aspect));
    put_u32(out, all ? 1 : 0);
    const size_t records = aspect == ClipboardAspect::TEMPO ? 0 : all ? pattern.voices.size() : 1;
    put_u32(out, uint32_t(records));
    put_u32(out, to - from);
    if (has_tempo_section(aspect, all)) {
        std::vector<TempoPoint> points{{0, tempo_value_at(pattern, from), {0, 0, 0}}};
        for (const TempoPoint& p : pattern.tempo_points)
            if (p.tick >= from && p.tick < to)
                points.push_back(TempoPoint{p.tick - from, p.value, {0, 0, 0}});
        put_u32(out, uint32_t(points.size()));
        for (const TempoPoint& p : points) {
            put_u32(out, p.tick);
            put_u32(out, p.value); // the value, then three bytes that carry nothing
        }
    }
    if (aspect != ClipboardAspect::TEMPO) {
        if (all)
            for (const Voice& voice : pattern.voices)
                put_voice_record(out, song, voice, from, to, block.aspect);
        else
            put_voice_record(out, song, pattern.voices[size_t(block.voice)], from, to,
                             block.aspect);
    }
    return out;
}

Tick paste_block(Song& song, size_t pattern_index, int32_t current_voice, Tick p,
                 std::span<const uint8_t> bytes) {
    if (song.instruments.empty() || pattern_index >= song.patterns.size()) return 0;
    const std::optional<ParsedBlock> parsed = parse(bytes);
    if (!parsed) return 0;
    const ParsedBlock& block = *parsed;
    Pattern& pattern = song.patterns[pattern_index];
    const Tick n = block.length;
    const Aspect aspect = aspect_of(block.aspect);
    const bool one_voice = !block.all_voices && block.aspect != ClipboardAspect::TEMPO;
    const bool into_current = one_voice && !pattern.voices.empty();
    if (into_current && (current_voice < 0 || size_t(current_voice) >= pattern.voices.size()))
        return 0;
    if (uint64_t(std::max(p, pattern.tick_length())) + n > MAX_PATTERN_LENGTH) return 0;

    if (pattern.tick_length() < p) pattern.length = int32_t(p);
    // Make room. Tempo points move with a notes or tempo block from all voices even in a pattern
    // without voices, so the pasted curve never lands among points it should have pushed on.
    if (into_current) {
        make_room(pattern.voices[size_t(current_voice)], p, n, aspect);
    } else {
        if (aspect == Aspect::NOTES || aspect == Aspect::TEMPO)
            for (TempoPoint& point : pattern.tempo_points)
                if (point.tick >= p && point.tick != 0) point.tick += n;
        if (aspect != Aspect::TEMPO)
            for (Voice& voice : pattern.voices)
                make_room(voice, p, n, aspect);
    }
    pattern.length += int32_t(n);
    const Tick length = pattern.tick_length();

    if (block.tempo) {
        put_tempo_point(pattern, p + n, tempo_value_at(pattern, p + n));
        auto& points = pattern.tempo_points;
        auto at = std::partition_point(points.begin(), points.end(),
                                       [&](const TempoPoint& q) { return q.tick < p + 1; });
        std::vector<TempoPoint> pasted;
        for (const TempoPoint& q : *block.tempo)
            pasted.push_back(TempoPoint{q.tick + p, q.value, {0, 0, 0}});
        points.insert(at, pasted.begin(), pasted.end());
        normalize_tempo_points(pattern);
    }

    std::vector<bool> chosen(pattern.voices.size(), false);
    for (const VoiceRecord& record : block.records) {
        size_t target = pattern.voices.size();
        if (into_current) {
            target = size_t(current_voice);
        } else {
            for (size_t v = 0; v < pattern.voices.size(); ++v) {
                const uint32_t instrument = pattern.voices[v].instrument;
                if (!chosen[v] && instrument < song.instruments.size() &&
                    song.instruments[instrument].name == record.name) {
                    target = v;
                    break;
                }
            }
            if (target == pattern.voices.size()) {
                add_voice(pattern, instrument_for(song, record.name));
                chosen.push_back(false);
            }
            chosen[target] = true;
        }
        paste_record(pattern.voices[target], record.voice, p, n, length);
    }

    if (one_voice) shorten(pattern, n);
    const Tick final_length = pattern.tick_length();
    if (uint64_t(p) + n <= final_length) return n;
    return p >= final_length ? 0 : final_length - p;
}

} // namespace tunemill
