// Diffs of patterns and of the song.
#include "app/document/song_diff.h"

#include <map>

namespace tunemill {

namespace {

bool same_voice_ids(const std::vector<Voice>& a, const std::vector<Voice>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id) return false;
    return true;
}

// Voice lists put back whole keep the mute flags the voices have now: muting is no change.
void assign_keeping_mutes(std::vector<Voice>& voices, const std::vector<Voice>& wanted) {
    std::map<uint32_t, bool> muted;
    for (const Voice& voice : voices)
        muted[voice.id] = voice.muted;
    voices = wanted;
    for (Voice& voice : voices) {
        auto found = muted.find(voice.id);
        voice.muted = found != muted.end() && found->second;
    }
}

} // namespace

std::optional<PatternDiff> PatternDiff::make(size_t index, const Pattern& before,
                                             const Pattern& after) {
    PatternDiff diff;
    diff.index = index;
    diff.length_before = before.length;
    diff.length_after = after.length;
    if (before.name != after.name)
        diff.name = std::make_unique<std::pair<std::string, std::string>>(before.name, after.name);
    diff.tempo = SliceDiff<TempoPoint>::make(before.tempo_points, after.tempo_points);
    if (!same_voice_ids(before.voices, after.voices)) {
        diff.voice_lists = std::make_unique<std::pair<std::vector<Voice>, std::vector<Voice>>>(
            before.voices, after.voices);
    } else {
        for (size_t v = 0; v < before.voices.size(); ++v) {
            const Voice& old_voice = before.voices[v];
            const Voice& new_voice = after.voices[v];
            if (old_voice.events == new_voice.events &&
                old_voice.instrument == new_voice.instrument)
                continue;
            VoiceDiff voice;
            voice.index = v;
            voice.events = SliceDiff<Event>::make(old_voice.events, new_voice.events);
            voice.instrument_before = old_voice.instrument;
            voice.instrument_after = new_voice.instrument;
            diff.voices.push_back(std::move(voice));
        }
    }
    const bool changed = diff.length_before != diff.length_after || diff.name ||
                         !diff.tempo.empty() || diff.voice_lists || !diff.voices.empty();
    if (!changed) return std::nullopt;
    diff.voices.shrink_to_fit();
    return diff;
}

void PatternDiff::apply(Pattern& pattern, bool forward) const {
    pattern.length = forward ? length_after : length_before;
    if (name) pattern.name = forward ? name->second : name->first;
    tempo.apply(pattern.tempo_points, forward);
    if (voice_lists) {
        assign_keeping_mutes(pattern.voices, forward ? voice_lists->second : voice_lists->first);
        return;
    }
    for (const VoiceDiff& voice : voices) {
        Voice& target = pattern.voices[voice.index];
        voice.events.apply(target.events, forward);
        target.instrument = forward ? voice.instrument_after : voice.instrument_before;
    }
}

SongFields SongFields::of(const Song& song) {
    SongFields fields;
    fields.description = song.description;
    fields.ticks_per_beat = song.ticks_per_beat;
    fields.beats_per_measure = song.beats_per_measure;
    fields.overall_tempo = song.overall_tempo;
    fields.repeat_position = song.repeat_position;
    fields.sequence = song.sequence;
    for (const Instrument& instrument : song.instruments)
        fields.instruments.push_back({instrument.name, instrument.category, instrument.from_bank});
    return fields;
}

void SongFields::store_into(Song& song) const {
    song.description = description;
    song.ticks_per_beat = ticks_per_beat;
    song.beats_per_measure = beats_per_measure;
    song.overall_tempo = overall_tempo;
    song.repeat_position = repeat_position;
    song.sequence = sequence;
    for (size_t i = 0; i < instruments.size() && i < song.instruments.size(); ++i) {
        song.instruments[i].name = instruments[i].name;
        song.instruments[i].category = instruments[i].category;
        song.instruments[i].from_bank = instruments[i].from_bank;
    }
}

void SongDiff::apply(Song& song, bool forward) const {
    if (fields) (forward ? fields->second : fields->first).store_into(song);
    if (pattern_lists) {
        std::vector<Pattern> wanted = forward ? pattern_lists->second : pattern_lists->first;
        // Mute flags stay as they are for the voices that remain.
        std::map<uint32_t, bool> muted;
        for (const Pattern& pattern : song.patterns)
            for (const Voice& voice : pattern.voices)
                muted[voice.id] = voice.muted;
        for (Pattern& pattern : wanted)
            for (Voice& voice : pattern.voices)
                voice.muted = muted.count(voice.id) && muted[voice.id];
        song.patterns = std::move(wanted);
    }
    for (const PatternDiff& pattern : patterns)
        pattern.apply(song.patterns[pattern.index], forward);
}

std::vector<int32_t> SongDiff::touched_patterns() const {
    if (pattern_lists || fields) return {-1};
    std::vector<int32_t> touched;
    for (const PatternDiff& pattern : patterns)
        touched.push_back(int32_t(pattern.index));
    return touched;
}

SongSnapshot::SongSnapshot(const Song& song, int32_t pattern) : pattern_(pattern) {
    if (pattern >= 0) {
        if (size_t(pattern) < song.patterns.size())
            patterns_.push_back(song.patterns[size_t(pattern)]);
        return;
    }
    fields_ = SongFields::of(song);
    patterns_ = song.patterns;
}

SongDiff SongSnapshot::diff(const Song& song) const {
    SongDiff diff;
    if (pattern_ >= 0) {
        if (patterns_.empty() || size_t(pattern_) >= song.patterns.size()) return diff;
        if (auto pattern = PatternDiff::make(size_t(pattern_), patterns_.front(),
                                             song.patterns[size_t(pattern_)]))
            diff.patterns.push_back(std::move(*pattern));
        return diff;
    }
    SongFields now = SongFields::of(song);
    // Instruments added or removed during the change are recorded on their own; the labels
    // compare over the instruments both versions have.
    SongFields before = *fields_;
    const size_t common = std::min(before.instruments.size(), now.instruments.size());
    before.instruments.resize(common);
    now.instruments.resize(common);
    if (!(before == now))
        diff.fields =
            std::make_unique<std::pair<SongFields, SongFields>>(std::move(before), std::move(now));
    if (patterns_.size() != song.patterns.size()) {
        diff.pattern_lists =
            std::make_unique<std::pair<std::vector<Pattern>, std::vector<Pattern>>>(patterns_,
                                                                                    song.patterns);
        return diff;
    }
    for (size_t p = 0; p < patterns_.size(); ++p)
        if (auto pattern = PatternDiff::make(p, patterns_[p], song.patterns[p]))
            diff.patterns.push_back(std::move(*pattern));
    return diff;
}

} // namespace tunemill
