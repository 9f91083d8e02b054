// Finishing the song: silences at volume 0, voices without notes, leading curves and the
// silence at the end of a song that starts over.
#include "modules/convert/passes.h"

#include <algorithm>
#include <set>

namespace tunemill::converting {

// Stretches at volume 0 in which no note sounds through become plain silence.
void silence_zero_volume(Voice& voice) {
    const std::vector<Event>& events = voice.events;
    // Tick groups: [begin, end) index ranges of events sharing a tick.
    std::vector<std::pair<size_t, size_t>> groups;
    for (size_t i = 0; i < events.size();) {
        size_t j = i;
        while (j < events.size() && events[j].tick == events[i].tick)
            ++j;
        groups.push_back({i, j});
        i = j;
    }
    auto last_volume = [&](size_t g) {
        int value = -1;
        for (size_t k = groups[g].first; k < groups[g].second; ++k)
            if (events[k].kind == VOLUME) value = events[k].param1;
        return value;
    };

    std::vector<Event> out;
    std::set<int> sounding; // keys sounding in out
    auto emit = [&](const Event& event) {
        if (event.kind == NOTE_ON) sounding.insert(event.param1);
        if (event.kind == NOTE_OFF) sounding.erase(event.param1);
        if (event.kind == PORTAMENTO) {
            sounding.erase(event.param1);
            sounding.insert(event.param2);
        }
        out.push_back(event);
    };
    size_t g = 0;
    while (g < groups.size()) {
        if (last_volume(g) != 0) {
            for (size_t k = groups[g].first; k < groups[g].second; ++k)
                emit(events[k]);
            ++g;
            continue;
        }
        const Tick t0 = events[groups[g].first].tick;
        size_t h = g + 1;
        while (h < groups.size() && (last_volume(h) == 0 || last_volume(h) == -1))
            ++h;
        const bool restored = h < groups.size();
        const size_t range_end = restored ? groups[h].second : events.size();
        const size_t at_t1 = restored ? groups[h].first : events.size();
        int count = int(sounding.size());
        for (size_t k = groups[g].first; k < range_end; ++k) {
            if (events[k].kind == NOTE_ON && k < at_t1) ++count;
            if (events[k].kind == NOTE_OFF) --count;
        }
        if (count < 0) internal_error();
        if (count > 0) {
            for (size_t k = groups[g].first; k < range_end; ++k)
                emit(events[k]);
        } else {
            const std::vector<int> ended(sounding.begin(), sounding.end());
            for (int key : ended)
                emit({t0, NOTE_OFF, uint8_t(key), 0, 0});
            for (size_t k = groups[g].first; k < range_end; ++k) {
                const Event& event = events[k];
                const bool at_end = k >= at_t1;
                if (event.kind == BALANCE ||
                    (at_end &&
                     (event.kind == NOTE_ON || event.kind == VOLUME || event.kind == PORTAMENTO)))
                    emit(event);
            }
        }
        g = restored ? h + 1 : groups.size();
    }
    voice.events = std::move(out);
}

// Curve events up to the first note move to tick 0 as the voice's starting values.
void move_leading_curves(Voice& voice) {
    Tick first_note = 0;
    for (const Event& event : voice.events)
        if (event.kind == NOTE_ON) {
            first_note = event.tick;
            break;
        }
    int volume = -1, balance = -1;
    std::vector<Event> out;
    for (const Event& event : voice.events) {
        if (event.tick <= first_note && (event.kind == VOLUME || event.kind == BALANCE)) {
            (event.kind == VOLUME ? volume : balance) = event.param1;
            continue;
        }
        out.push_back(event);
    }
    voice.events = std::move(out);
    if (volume >= 0 && volume != DEFAULT_VOLUME)
        insert_event(voice, {0, VOLUME, uint8_t(volume), 0, 0}, 0);
    if (balance >= 0 && balance != DEFAULT_BALANCE)
        insert_event(voice, {0, BALANCE, uint8_t(balance), 0, 0}, 0);
}

void finish_patterns(Song& song) {
    for (Pattern& pattern : song.patterns) {
        for (Voice& voice : pattern.voices)
            silence_zero_volume(voice);
        for (size_t v = pattern.voices.size(); v-- > 0;)
            if (!voice_has_notes(pattern.voices[v])) remove_voice(pattern, v);
        for (Voice& voice : pattern.voices)
            move_leading_curves(voice);
        normalize_pattern(pattern);
    }
}

// The latest tick at which one of the pattern's voices falls silent.
Tick last_silence(const Pattern& pattern) {
    Tick latest = 0;
    for (const Voice& voice : pattern.voices) {
        int sounding = 0;
        for (const Event& event : voice.events) {
            if (event.kind == NOTE_ON) ++sounding;
            if (event.kind == NOTE_OFF && --sounding == 0) latest = std::max(latest, event.tick);
        }
    }
    return latest;
}

// A song that starts over from its beginning loses the silence at its end.
void trim_end(Song& song) {
    while (song.repeat_position == 0 && !song.sequence.empty()) {
        const uint32_t index = song.sequence.back();
        if (std::find(song.sequence.begin(), song.sequence.end() - 1, index) !=
            song.sequence.end() - 1)
            break;
        Pattern& pattern = song.patterns[index];
        const Tick end = last_silence(pattern);
        if (int64_t(end) < pattern.length) {
            for (Voice& voice : pattern.voices)
                voice.events.erase(std::remove_if(voice.events.begin(), voice.events.end(),
                                                  [&](const Event& e) { return e.tick > end; }),
                                   voice.events.end());
            auto& points = pattern.tempo_points;
            points.erase(std::remove_if(points.begin(), points.end(),
                                        [&](const TempoPoint& p) { return p.tick > end; }),
                         points.end());
            pattern.length = int32_t(end);
            normalize_pattern(pattern);
        }
        if (pattern.length > 0 || song.sequence.size() == 1) break;
        delete_pattern(song, index);
    }
}

} // namespace tunemill::converting
