// The block commands: clear, delete, insert space, repeat, transpose and portamento over a block
// of one voice or of all voices, each voice operation working on the voice's event array through
// the edit list and ending with the voice normalized.
#include "song/editing.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "song/edit_list.h"
#include "song/event_edits.h"
#include "song/timing.h"
#include "song/voice_cursor.h"

namespace tunemill {

using namespace event_edits;

namespace {

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

} // namespace tunemill
