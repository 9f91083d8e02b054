// Tracks: each voice cut into monophonic lines, merged into the channels, with the song-wide
// effects (tempo, breaks, speed) placed where they do the least harm.
#include "modules/export/exporter.h"

#include "instruments/category.h"
#include "song/timing.h"

#include <algorithm>
#include <span>

namespace tunemill::exporting {

// How much a track's instrument category weighs when two notes start together: the lighter
// percussion gives way.
int category_weight(uint32_t category) {
    switch (InstrumentCategory(category)) {
    case InstrumentCategory::HIGH_HATS:
        return 7;
    case InstrumentCategory::CYMBALS:
        return 6;
    case InstrumentCategory::CLAPS:
        return 5;
    case InstrumentCategory::OTHER_PERCUSSIONS:
        return 4;
    case InstrumentCategory::BASS_DRUMS:
        return 3;
    case InstrumentCategory::ELECTRONIC_DRUMS:
        return 2;
    case InstrumentCategory::SNARE_DRUMS:
        return 1;
    default:
        return 0;
    }
}

namespace {

// The most notes the voice sounds at once: the number of tracks it needs.
int most_notes_at_once(const Voice& voice) {
    int sounding = 0, most = 0;
    for (const Event& event : voice.events) {
        if (event.kind == NOTE_ON) most = std::max(most, ++sounding);
        if (event.kind == NOTE_OFF) --sounding;
    }
    return most;
}

// Cuts one voice into its own tracks: each holds at most one of the voice's notes at a time.
class VoiceCut {
  public:
    VoiceCut(std::span<Track> tracks, uint8_t sample)
        : tracks_(tracks), held_(tracks.size(), -1), sample_(sample) {}

    // Held notes sound on at tick t.
    void carry(size_t t) {
        for (size_t k = 0; k < tracks_.size(); ++k)
            if (held_[k] >= 0) {
                TrackCell& cell = tracks_[k].cells[t];
                cell.key = uint8_t(held_[k]);
                cell.sample = sample_;
            }
    }

    void apply(const Event& event, size_t t) {
        switch (event.kind) {
        case NOTE_OFF: {
            const int k = holding(event.param1);
            if (k < 0) break;
            held_[size_t(k)] = -1;
            TrackCell& cell = tracks_[size_t(k)].cells[t];
            cell.key = cell.sample = EXPORT_SILENT;
            break;
        }
        case NOTE_ON: {
            const int k = holding(-1);
            if (k < 0) internal_error();
            held_[size_t(k)] = event.param1;
            TrackCell& cell = tracks_[size_t(k)].cells[t];
            cell.key = event.param1;
            cell.sample = sample_;
            cell.note_start = true;
            break;
        }
        case VOLUME:
            volume_ = event.param1;
            break;
        case BALANCE:
            balance_ = event.param1;
            break;
        case PORTAMENTO: {
            const int k = holding(event.param1);
            if (k < 0) break;
            held_[size_t(k)] = event.param2;
            TrackCell& cell = tracks_[size_t(k)].cells[t];
            cell.slide_target = event.param2;
            cell.slide_length = event.param3;
            break;
        }
        default:
            break;
        }
    }

    // Every track of the voice carries the voice's volume and balance.
    void set_curves(size_t t) {
        for (Track& track : tracks_) {
            track.cells[t].volume = uint8_t(volume_);
            track.cells[t].balance = uint8_t(balance_);
        }
    }

  private:
    // The track that holds the key (-1: a free one), or -1.
    int holding(int key) const {
        for (size_t k = 0; k < held_.size(); ++k)
            if (held_[k] == key) return int(k);
        return -1;
    }

    std::span<Track> tracks_;
    std::vector<int> held_; // key per track, -1 free
    uint8_t sample_;
    int volume_ = DEFAULT_VOLUME, balance_ = DEFAULT_BALANCE;
};

} // namespace

std::vector<Track> Exporter::make_tracks(size_t index) {
    const Pattern& pattern = patterns_[index];
    std::vector<Track> tracks;
    for (const Voice& voice : pattern.voices)
        add_voice_tracks(voice, pattern.tick_length(), tracks);
    if (const size_t forced = merge_tracks(tracks))
        warn(ExportWarningKind::VOICES_MERGED, pattern.name, uint32_t(forced));
    for (Track& track : tracks)
        place_effects(track);
    add_global_effects(index, tracks);
    return tracks;
}

void Exporter::add_voice_tracks(const Voice& voice, size_t length,
                                std::vector<Track>& tracks) const {
    if (voice.instrument >= sample_of_.size() || sample_of_[voice.instrument] < 0) return;
    const int most = most_notes_at_once(voice);
    if (most == 0) return;
    const size_t base = tracks.size();
    const int weight = category_weight(song_.instruments[voice.instrument].category);
    for (int k = 0; k < most; ++k) {
        Track track;
        track.cells.resize(length);
        track.weight = weight;
        tracks.push_back(std::move(track));
    }
    VoiceCut cut(std::span<Track>(tracks).subspan(base), uint8_t(sample_of_[voice.instrument]));
    size_t next = 0;
    for (size_t t = 0; t < length; ++t) {
        cut.carry(t);
        for (; next < voice.events.size() && voice.events[next].tick == t; ++next)
            cut.apply(voice.events[next], t);
        cut.set_curves(t);
    }
}

// Song-wide effects: tempo, the break of a short last piece, the MOD's speed.
void Exporter::add_global_effects(size_t index, std::vector<Track>& tracks) const {
    const Pattern& pattern = patterns_[index];
    const size_t length = pattern.tick_length();
    const int overall = song_.overall_tempo;
    for (size_t t = 0; t < length; ++t) {
        const int value = tempo_value_at(pattern, Tick(t));
        const int before = t == 0 ? recorded_[index] : tempo_value_at(pattern, Tick(t - 1));
        if (value != before || (t == 0 && marked_[index]))
            add_global(tracks, length, t, ExportEffect::SET_TEMPO,
                       uint8_t(module_tempo(value, overall)));
    }
    if (length % ROWS != 0) add_global(tracks, length, length - 1, ExportEffect::PATTERN_BREAK, 0);
    if (!params_.tempo_in_header && int(index) == first_pattern_ && length > 0)
        add_global(tracks, length, 0, ExportEffect::SPEED, 3);
}

void Exporter::add_global(std::vector<Track>& tracks, size_t length, size_t tick,
                          ExportEffect effect, uint8_t parameter) const {
    auto empty_track = [&]() {
        Track track;
        track.cells.resize(length);
        tracks.push_back(std::move(track));
        return tracks.size() - 1;
    };
    size_t chosen = tracks.size();
    if (effect == ExportEffect::POSITION_JUMP)
        for (size_t c = 0; c < tracks.size(); ++c)
            if (tracks[c].cells[tick].effect == ExportEffect::PATTERN_BREAK) {
                chosen = c;
                break;
            }
    if (chosen == tracks.size())
        for (size_t c = 0; c < tracks.size(); ++c)
            if (chosen == tracks.size() || effect_rank(tracks[c].cells[tick].effect) <
                                               effect_rank(tracks[chosen].cells[tick].effect))
                chosen = c;
    if (chosen == tracks.size())
        chosen = empty_track();
    else if (tracks[chosen].cells[tick].effect != ExportEffect::NONE &&
             tracks.size() < size_t(params_.channels) &&
             !(effect == ExportEffect::POSITION_JUMP &&
               tracks[chosen].cells[tick].effect == ExportEffect::PATTERN_BREAK))
        chosen = empty_track();

    TrackCell& cell = tracks[chosen].cells[tick];
    const TrackCell displaced = cell;
    cell.effect = effect;
    cell.parameter = parameter;
    cell.speed = 0;
    if (displaced.effect == ExportEffect::NONE || displaced.effect == ExportEffect::PATTERN_BREAK)
        return;
    if (tick + 1 >= tracks[chosen].cells.size()) return;
    TrackCell& next = tracks[chosen].cells[tick + 1];
    switch (displaced.effect) {
    case ExportEffect::SET_VOLUME:
    case ExportEffect::SET_BALANCE:
    case ExportEffect::NOTE_CUT:
        if (next.effect == ExportEffect::NONE) {
            next.effect = displaced.effect;
            next.parameter = displaced.parameter;
            if (displaced.effect == ExportEffect::SET_VOLUME) next.volume = displaced.volume;
        }
        break;
    case ExportEffect::PITCH_SLIDE:
    case ExportEffect::TONE_PORTAMENTO:
        if (next.key == EXPORT_SILENT) break;
        if (next.effect == ExportEffect::PITCH_SLIDE &&
            displaced.effect == ExportEffect::PITCH_SLIDE) {
            next.speed = int16_t(std::clamp<int>(next.speed + displaced.speed,
                                                 -params_.largest_slide, params_.largest_slide));
        } else if (next.effect == ExportEffect::NONE) {
            next.effect = displaced.effect;
            next.speed = displaced.speed;
        }
        break;
    default:
        break;
    }
}

} // namespace tunemill::exporting
