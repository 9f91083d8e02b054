// The song-to-MIDI export.
#include "midi/export.h"

#include <algorithm>
#include <array>
#include <map>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "instruments/category.h"
#include "midi/general_midi.h"
#include "midi/levels.h"
#include "modules/export.h"
#include "song/timing.h"

namespace tunemill {

namespace {

constexpr uint8_t NOTE_OFF_VELOCITY = 64;
constexpr size_t MELODIC_CHANNELS = 15;

// A track of the file: the voices that hold the same place in every pattern (the n-th voice of
// an instrument).
struct Lane {
    uint32_t instrument;
    uint32_t ordinal;
    bool drum = false;
    uint8_t channel = 0;
    std::vector<std::pair<Tick, const Voice*>>
        voices; // song tick where each voice's pattern starts
};

MidiEvent channel_event(uint64_t tick, uint8_t status, uint8_t channel, uint8_t a, uint8_t b = 0) {
    return {tick, uint8_t(status | channel), a, b, {}};
}

MidiEvent meta_event(uint64_t tick, uint8_t type, std::string data) {
    return {tick, MIDI_META, type, 0, std::move(data)};
}

class Exporter {
  public:
    Exporter(const Song& song, std::vector<MidiWarning>& warnings)
        : song_(song), warnings_(warnings) {}

    MidiFile build() {
        collect_lanes();
        assign_channels();
        MidiFile file;
        file.format = 1;
        scale_ = std::max<uint32_t>(1, MIDI_EXPORT_DIVISION / uint32_t(song_.ticks_per_beat));
        file.division.ticks_per_quarter = uint16_t(scale_ * uint32_t(song_.ticks_per_beat));
        file.tracks.push_back(tempo_track());
        for (const Lane& lane : lanes_)
            file.tracks.push_back(lane_track(lane));
        const uint64_t end = uint64_t(song_end_) * scale_;
        for (MidiTrack& track : file.tracks)
            track.end_tick = end;
        add_midi_warning(warnings_, MidiWarningKind::PORTAMENTO, slides_);
        return file;
    }

  private:
    void collect_lanes() {
        std::map<std::pair<uint32_t, uint32_t>, size_t> index;
        Tick at = 0;
        for (uint32_t entry : song_.sequence) {
            const Pattern& pattern = song_.patterns[entry];
            std::map<uint32_t, uint32_t> ordinals;
            for (const Voice& voice : pattern.voices) {
                if (!voice_has_notes(voice)) continue;
                const std::pair key{voice.instrument, ordinals[voice.instrument]++};
                auto found = index.find(key);
                if (found == index.end()) {
                    found = index.emplace(key, lanes_.size()).first;
                    lanes_.push_back({key.first, key.second});
                }
                lanes_[found->second].voices.push_back({at, &voice});
            }
            at += pattern.tick_length();
        }
        song_end_ = at;
        if (lanes_.empty()) throw MISC_ERROR(S_MIDI_NOTHING_TO_PLAY);
        for (Lane& lane : lanes_)
            lane.drum = plays_as_drums(lane);
    }

    // A voice of a drum category whose keys are all drum sounds of its instrument.
    bool plays_as_drums(const Lane& lane) const {
        const Instrument& instrument = song_.instruments[lane.instrument];
        if (!is_drum_category(instrument.category)) return false;
        for (const auto& [start, voice] : lane.voices)
            for (const Event& event : voice->events)
                if ((event.kind == NOTE_ON || event.kind == PORTAMENTO) &&
                    !gm_drum_note_for(instrument.name,
                                      event.kind == NOTE_ON ? event.param1 : event.param2))
                    return false;
        return true;
    }

    // Channel 10 for drums; one of the other 15 per voice while they last, then voices share
    // the channel of their program, or the least used one.
    void assign_channels() {
        std::array<int, 16> users{};
        std::array<int, 16> programs;
        programs.fill(-1);
        size_t shared = 0, next = 0;
        for (Lane& lane : lanes_) {
            if (lane.drum) {
                lane.channel = MIDI_DRUM_CHANNEL;
                continue;
            }
            const int program = program_of(lane);
            if (next < MELODIC_CHANNELS) {
                lane.channel = uint8_t(next < MIDI_DRUM_CHANNEL ? next : next + 1);
                ++next;
            } else {
                ++shared;
                uint8_t best = 0;
                for (uint8_t c = 0; c < 16; ++c) {
                    if (c == MIDI_DRUM_CHANNEL) continue;
                    if (programs[c] == program) {
                        best = c;
                        break;
                    }
                    if (best == MIDI_DRUM_CHANNEL || users[c] < users[best]) best = c;
                }
                lane.channel = best;
            }
            ++users[lane.channel];
            programs[lane.channel] = program;
        }
        add_midi_warning(warnings_, MidiWarningKind::CHANNELS_SHARED, shared);
    }

    int program_of(const Lane& lane) const {
        const Instrument& instrument = song_.instruments[lane.instrument];
        return gm_program_for(instrument.name, instrument.category);
    }

    MidiTrack tempo_track() const {
        MidiTrack track;
        const uint8_t beats = uint8_t(song_.beats_per_measure);
        track.events.push_back(
            meta_event(0, META_TIME_SIGNATURE, std::string{char(beats), 2, 24, 8}));
        if (!song_.description.empty())
            track.events.push_back(meta_event(0, META_TEXT, song_.description));
        const TickDurations durations = tick_durations(song_.overall_tempo);
        uint32_t current = 0;
        Tick at = 0;
        for (uint32_t entry : song_.sequence) {
            const Pattern& pattern = song_.patterns[entry];
            size_t point = 0;
            uint8_t value = DEFAULT_TEMPO_VALUE;
            for (Tick tick = 0; tick < pattern.tick_length(); ++tick) {
                while (point < pattern.tempo_points.size() &&
                       pattern.tempo_points[point].tick <= tick)
                    value = pattern.tempo_points[point++].value;
                // One song tick lasts durations[value] ms: a quarter is ticks_per_beat of them.
                const uint32_t micros = durations[value] * 1000 * uint32_t(song_.ticks_per_beat);
                if (micros != current) {
                    current = micros;
                    track.events.push_back(meta_event(
                        uint64_t(at + tick) * scale_, META_TEMPO,
                        std::string{char(micros >> 16), char(micros >> 8), char(micros)}));
                }
            }
            at += pattern.tick_length();
        }
        return track;
    }

    MidiTrack lane_track(const Lane& lane) {
        const Instrument& instrument = song_.instruments[lane.instrument];
        MidiTrack track;
        const uint8_t channel = lane.channel;
        track.events.push_back(meta_event(0, META_TRACK_NAME, instrument.name));
        if (!lane.drum)
            track.events.push_back(channel_event(0, 0xC0, channel, uint8_t(program_of(lane))));
        track.events.push_back(channel_event(0, 0xB0, channel, 7, 127));
        int pan = -1;
        uint8_t channel_volume = 127;
        for (const auto& [start, voice] : lane.voices) {
            uint8_t volume = DEFAULT_VOLUME, balance = DEFAULT_BALANCE, struck = DEFAULT_VOLUME;
            int sounding = 0;
            const auto note_of = [&](Key key) {
                return lane.drum ? *gm_drum_note_for(instrument.name, key)
                                 : uint8_t(key + LOWEST_KEY_NOTE);
            };
            const auto set_pan = [&](uint64_t tick) {
                if (pan == pan_of(balance)) return;
                pan = pan_of(balance);
                track.events.push_back(channel_event(tick, 0xB0, channel, 10, uint8_t(pan)));
            };
            const auto strike = [&](uint64_t tick, Key key) {
                if (sounding == 0 && channel_volume != 127) {
                    channel_volume = 127;
                    track.events.push_back(channel_event(tick, 0xB0, channel, 7, 127));
                }
                set_pan(tick);
                struck = volume;
                ++sounding;
                track.events.push_back(
                    channel_event(tick, 0x90, channel, note_of(key), velocity_of(volume)));
            };
            const auto release = [&](uint64_t tick, Key key) {
                --sounding;
                track.events.push_back(
                    channel_event(tick, 0x80, channel, note_of(key), NOTE_OFF_VELOCITY));
            };
            for (const Event& event : voice->events) {
                const uint64_t tick = uint64_t(start + event.tick) * scale_;
                switch (event.kind) {
                case NOTE_ON:
                    strike(tick, event.param1);
                    break;
                case NOTE_OFF:
                    release(tick, event.param1);
                    break;
                case VOLUME:
                    volume = event.param1;
                    if (sounding > 0) {
                        const uint8_t scaled = channel_volume_between(struck, volume);
                        if (scaled != channel_volume) {
                            channel_volume = scaled;
                            track.events.push_back(channel_event(tick, 0xB0, channel, 7, scaled));
                        }
                    }
                    break;
                case BALANCE:
                    balance = event.param1;
                    if (sounding > 0) set_pan(tick);
                    break;
                case PORTAMENTO:
                    // The slide's two keys as two notes: the second starts where the slide does.
                    release(tick, event.param1);
                    strike(tick, event.param2);
                    ++slides_;
                    break;
                default:
                    break;
                }
            }
        }
        return track;
    }

    const Song& song_;
    std::vector<MidiWarning>& warnings_;
    std::vector<Lane> lanes_;
    Tick song_end_ = 0;
    uint32_t scale_ = 1;
    uint64_t slides_ = 0;
};

} // namespace

bool is_drum_category(uint32_t category) {
    using enum InstrumentCategory;
    switch (InstrumentCategory(category)) {
    case HIGH_HATS:
    case CYMBALS:
    case BASS_DRUMS:
    case SNARE_DRUMS:
    case OTHER_PERCUSSIONS:
    case ELECTRONIC_DRUMS:
    case MALLETS:
    case CLAPS:
    case SOUND_FX:
        return true;
    default:
        return false;
    }
}

MidiFile build_midi(const Song& song, std::vector<MidiWarning>& warnings) {
    Song copy;
    copy.description = song.description;
    copy.ticks_per_beat = song.ticks_per_beat;
    copy.beats_per_measure = song.beats_per_measure;
    copy.overall_tempo = song.overall_tempo;
    copy.repeat_position = song.repeat_position;
    copy.sequence = song.sequence;
    copy.patterns = song.patterns;
    copy.instruments = song.instruments;
    for (Pattern& pattern : copy.patterns)
        normalize_pattern(pattern);
    if (!validate(copy)) throw MISC_ERROR(S_INTERNAL_ERROR);
    return Exporter(copy, warnings).build();
}

std::vector<MidiWarning> export_midi_file(const Song& song, const std::filesystem::path& path) {
    std::vector<MidiWarning> warnings;
    const MidiFile file = build_midi(song, warnings);
    write_file_replacing(path, write_smf(file));
    return warnings;
}

bool is_midi_path(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return extension == ".mid" || extension == ".midi" || extension == ".smf";
}

} // namespace tunemill
