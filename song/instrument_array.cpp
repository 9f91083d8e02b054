// The song's instrument array and the purge of unused voices and instruments.
#include "song/instrument_array.h"

namespace tunemill {

size_t add_instrument(Song& song, Instrument instrument) {
    song.instruments.push_back(std::move(instrument));
    return song.instruments.size() - 1;
}

size_t add_sampled_instrument(Song& song, std::string name, uint32_t category, uint32_t length,
                              uint32_t loop_start, uint32_t rate, uint32_t bytes_per_sample,
                              bool from_bank) {
    // The record is complete before it joins the array, so a failed allocation leaves the array
    // as it was.
    return add_instrument(song,
                          make_sampled_instrument(std::move(name), category, length, loop_start,
                                                  rate, bytes_per_sample, from_bank));
}

void remove_instrument(Song& song, size_t index) {
    if (index < song.instruments.size()) song.instruments.erase(song.instruments.begin() + index);
}

std::optional<size_t> find_equal(const Song& song, size_t index) {
    if (index >= song.instruments.size()) return std::nullopt;
    for (size_t i = 0; i < song.instruments.size(); ++i)
        if (i != index && equal(song.instruments[index], song.instruments[i])) return i;
    return std::nullopt;
}

bool pattern_uses(const Pattern& pattern, uint32_t index) {
    for (const Voice& voice : pattern.voices)
        if (voice.instrument == index) return true;
    return false;
}

bool is_used(const Song& song, uint32_t index) {
    for (const Pattern& pattern : song.patterns)
        if (pattern_uses(pattern, index)) return true;
    return false;
}

void replace_in_pattern(Pattern& pattern, uint32_t old_index, uint32_t new_index) {
    for (Voice& voice : pattern.voices)
        if (voice.instrument == old_index) voice.instrument = new_index;
}

void rename_instrument(Song& song, size_t index, std::string name) {
    if (index >= song.instruments.size()) return;
    Instrument& instrument = song.instruments[index];
    if (instrument.name == name) return;
    instrument.name = std::move(name);
    instrument.from_bank = false;
}

void set_category(Song& song, size_t index, uint32_t category) {
    if (index >= song.instruments.size()) return;
    Instrument& instrument = song.instruments[index];
    if (instrument.category == category) return;
    instrument.category = category;
    instrument.from_bank = false;
}

bool purge(Song& song, int32_t kept_pattern, int32_t kept_voice) {
    // Voices without notes, pattern by pattern, each pattern under the lock once it changes.
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const SongChange change{int32_t(p), -1, ChangeKind::VOICES, 0, UINT32_MAX};
        bool locked = false;
        size_t v = 0;
        while (v < song.patterns[p].voices.size()) {
            Pattern& pattern = song.patterns[p];
            bool kept = int32_t(p) == kept_pattern && int32_t(v) == kept_voice;
            if (kept || voice_has_notes(pattern.voices[v])) {
                ++v;
                continue;
            }
            if (!locked) {
                song.observers.change_begins(change);
                if (!lock_song(song, true)) {
                    song.observers.change_done(change);
                    return false;
                }
                locked = true;
            }
            remove_voice(pattern, v);
            song.observers.voice_removed(int32_t(p), int32_t(v));
            if (int32_t(p) == kept_pattern && kept_voice > int32_t(v)) --kept_voice;
        }
        if (locked) {
            song.observers.pattern_changed(int32_t(p));
            unlock_song(song, true);
            song.observers.change_done(change);
        }
    }

    // Instruments no voice names; the voices naming later instruments move down with them.
    bool locked = false;
    size_t i = 0;
    while (i < song.instruments.size()) {
        if (is_used(song, uint32_t(i))) {
            ++i;
            continue;
        }
        if (!locked) {
            if (!lock_song(song, true)) return false;
            locked = true;
        }
        remove_instrument(song, i);
        song.observers.instrument_removed(uint32_t(i));
        for (size_t p = 0; p < song.patterns.size(); ++p) {
            bool changed = false;
            for (Voice& voice : song.patterns[p].voices)
                if (voice.instrument > i) {
                    --voice.instrument;
                    changed = true;
                }
            if (changed) song.observers.pattern_changed(int32_t(p));
        }
    }
    if (locked) {
        unlock_song(song, true);
        song.observers.instruments_changed();
    }
    return true;
}

bool replace_voice_instrument(Song& song, size_t pattern, size_t voice, uint32_t instrument) {
    if (pattern >= song.patterns.size() || voice >= song.patterns[pattern].voices.size())
        return true;
    if (!lock_song(song, true)) return false;
    song.patterns[pattern].voices[voice].instrument = instrument;
    song.observers.pattern_changed(int32_t(pattern));
    unlock_song(song, true);
    return purge(song, int32_t(pattern), int32_t(voice));
}

} // namespace tunemill
