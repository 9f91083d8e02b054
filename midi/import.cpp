// The MIDI-to-song conversion.
#include "midi/import.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "midi/file_content.h"
#include "midi/general_midi.h"
#include "midi/levels.h"
#include "midi/song_timing.h"
#include "modules/convert.h"
#include "song/instrument_array.h"
#include "song/timing.h"

namespace tunemill {

namespace {

// A voice of the song across all its patterns: one track, channel and program (or drum sound),
// and a layer for strikes of a key that is still sounding in the layers before.
struct Lane {
    uint32_t track;
    uint16_t channel;
    uint32_t instrument; // index in the song
};

struct SongNote {
    uint32_t lane;
    Tick start, end;
    Key key;
    uint8_t volume, balance, velocity;
};

// A volume or balance change under a held note.
struct CurveChange {
    uint32_t lane;
    Tick tick;
    uint8_t kind; // VOLUME or BALANCE
    uint8_t value;
};

struct Counts {
    uint64_t keys_moved = 0, split = 0, short_notes = 0;
    double worst_error_ms = 0;
};

struct LaneGroupKey {
    uint32_t track;
    uint16_t channel;
    uint8_t sound; // program, or drum note
    bool drum;
    bool operator<(const LaneGroupKey& o) const {
        return std::tie(track, channel, sound, drum) <
               std::tie(o.track, o.channel, o.sound, o.drum);
    }
};

// The layers of one group: per layer, the tick up to which each key is busy.
struct LaneGroup {
    std::vector<uint32_t> lanes;
    std::vector<std::array<Tick, KEY_COUNT>> busy;
};

Key key_in_range(uint8_t note, Counts& counts) {
    int key = int(note) - LOWEST_KEY_NOTE;
    if (key < 0 || key >= KEY_COUNT) ++counts.keys_moved;
    while (key < 0)
        key += 12;
    while (key >= KEY_COUNT)
        key -= 12;
    return Key(key);
}

class Builder {
  public:
    Builder(const FileContent& content, const FileClock& clock, SongTiming& timing, Song& song,
            const BankLookup& bank)
        : content_(content), clock_(clock), timing_(timing), song_(song), bank_(bank) {}

    void place_notes() {
        for (const FileNote& file_note : content_.notes) {
            const double start_ms = clock_.ms_at(double(file_note.start));
            const Tick start = timing_.tick_at_ms(start_ms);
            Tick end = timing_.tick_at_ms(clock_.ms_at(double(file_note.end)));
            const double tolerance = std::max(
                20.0,
                double(timing_.ms[std::min(start + 1, timing_.length)] - timing_.ms[start]) / 2);
            const double error = std::abs(double(timing_.ms[start]) - start_ms);
            if (error > tolerance) counts_.worst_error_ms = std::max(counts_.worst_error_ms, error);
            if (end <= start) {
                end = start + 1;
                ++counts_.short_notes;
            }
            Key key;
            std::string instrument;
            if (file_note.drum) {
                const GmDrum& drum = gm_drum(file_note.note);
                key = drum.key;
                instrument = drum.instrument;
            } else {
                key = key_in_range(file_note.note, counts_);
                instrument = gm_program(file_note.program).instrument;
            }
            const uint8_t sound = file_note.drum ? file_note.note : file_note.program;
            LaneGroup& group = groups_[{file_note.track, file_note.channel, sound, file_note.drum}];
            size_t layer = 0;
            while (layer < group.lanes.size() && group.busy[layer][key] > start)
                ++layer;
            if (layer == group.lanes.size()) {
                group.lanes.push_back(new_lane(file_note, instrument));
                group.busy.emplace_back().fill(0);
            }
            group.busy[layer][key] = end;
            notes_.push_back({group.lanes[layer], start, end, key,
                              volume_of(file_note.velocity, file_note.volume),
                              balance_of(file_note.pan), file_note.velocity});
        }
        for (const SongNote& note : notes_)
            timing_grow(note.end);
    }

    // Controller 7 and 10 changes while a lane's notes sound become curve points of that lane.
    void place_controls() {
        std::vector<std::vector<size_t>> lane_notes(lanes_.size());
        for (size_t i = 0; i < notes_.size(); ++i)
            lane_notes[notes_[i].lane].push_back(i);
        std::vector<std::vector<Tick>> reach(lanes_.size()); // running maximum of note ends
        for (size_t lane = 0; lane < lanes_.size(); ++lane) {
            Tick most = 0;
            for (size_t i : lane_notes[lane])
                reach[lane].push_back(most = std::max(most, notes_[i].end));
        }
        std::map<std::pair<uint32_t, uint16_t>, std::vector<uint32_t>> by_channel;
        for (uint32_t lane = 0; lane < lanes_.size(); ++lane)
            by_channel[{lanes_[lane].track, lanes_[lane].channel}].push_back(lane);
        for (const FileControl& control : content_.controls) {
            auto found = by_channel.find({control.track, control.channel});
            if (found == by_channel.end()) continue;
            const Tick tick = timing_.tick_at_ms(clock_.ms_at(double(control.tick)));
            for (uint32_t lane : found->second) {
                const auto& list = lane_notes[lane];
                // The last note of the lane that starts before the tick.
                auto it = std::lower_bound(list.begin(), list.end(), tick,
                                           [&](size_t i, Tick t) { return notes_[i].start < t; });
                if (it == list.begin()) continue;
                const size_t at = size_t(it - list.begin()) - 1;
                if (reach[lane][at] <= tick) continue;
                const SongNote& note = notes_[list[at]];
                if (control.controller == 7)
                    curves_.push_back(
                        {lane, tick, VOLUME, volume_of(note.velocity, control.value)});
                else
                    curves_.push_back({lane, tick, BALANCE, balance_of(control.value)});
            }
        }
    }

    // Cuts the song into patterns of each size of PATTERN_MEASURES and keeps the cut whose
    // distinct patterns are shortest together (the most repetition), each sequence entry
    // counting as long as a measure, without cutting more notes; the first size wins ties.
    void build_patterns() {
        std::optional<Arrangement> best;
        for (uint32_t measures : PATTERN_MEASURES) {
            Arrangement arrangement = arrange(measures);
            // Cutting more notes in two (each one struck again) is never worth it.
            if (!best || (arrangement.cost < best->cost && arrangement.split <= best->split))
                best = std::move(arrangement);
        }
        counts_.split = best->split;
        for (size_t index = 0; index < best->patterns.size(); ++index) {
            Pattern& pattern = best->patterns[index];
            pattern.name = pattern_name(uint32_t(index), best->starts[index],
                                        best->starts[index] + pattern.tick_length());
            song_.patterns.push_back(std::move(pattern));
        }
        song_.sequence = std::move(best->sequence);
    }

    const Counts& counts() const { return counts_; }

  private:
    struct Arrangement {
        std::vector<Pattern> patterns;
        std::vector<Tick> starts; // where each pattern first plays
        std::vector<uint32_t> sequence;
        uint64_t cost = 0; // ticks of the distinct patterns, and a measure per entry
        uint64_t split = 0;
    };

    Arrangement arrange(uint32_t measures) const {
        Arrangement arrangement;
        const std::vector<Tick> bounds = pattern_bounds(measures);
        const size_t count = bounds.size() - 1;
        const auto pattern_at = [&](Tick tick) {
            return size_t(std::upper_bound(bounds.begin(), bounds.end(), tick) - bounds.begin()) -
                   1;
        };
        std::vector<std::vector<SongNote>> pieces(count);
        for (const SongNote& note : notes_) {
            size_t p = pattern_at(note.start);
            for (Tick from = note.start; from < note.end; ++p) {
                if (from > note.start) ++arrangement.split; // one more piece
                const Tick to = std::min(note.end, bounds[p + 1]);
                SongNote piece = note;
                piece.start = from - bounds[p];
                piece.end = to - bounds[p];
                pieces[p].push_back(piece);
                from = to;
            }
        }
        std::vector<std::vector<CurveChange>> curves(count);
        for (CurveChange change : curves_) {
            const size_t p = pattern_at(change.tick);
            if (p >= count) continue;
            change.tick -= bounds[p];
            curves[p].push_back(change);
        }
        std::unordered_map<uint64_t, std::vector<uint32_t>> seen;
        const uint64_t entry_cost = std::max<uint64_t>(1, timing_.length / timing_.measures.size());
        for (size_t p = 0; p < count; ++p) {
            Pattern pattern = make_pattern(bounds[p], bounds[p + 1], pieces[p], curves[p]);
            auto& same = seen[pattern_hash(pattern)];
            auto match = std::find_if(same.begin(), same.end(), [&](uint32_t index) {
                return same_content(arrangement.patterns[index], pattern);
            });
            arrangement.cost += entry_cost;
            if (match != same.end()) {
                arrangement.sequence.push_back(*match);
                continue;
            }
            const uint32_t index = uint32_t(arrangement.patterns.size());
            arrangement.cost += pattern.tick_length();
            arrangement.patterns.push_back(std::move(pattern));
            arrangement.starts.push_back(bounds[p]);
            arrangement.sequence.push_back(index);
            same.push_back(index);
        }
        return arrangement;
    }
    uint32_t new_lane(const FileNote& note, const std::string& instrument) {
        auto found = instrument_index_.find(instrument);
        if (found == instrument_index_.end()) {
            const uint32_t index = uint32_t(add_instrument(song_, bank_(instrument)));
            found = instrument_index_.emplace(instrument, index).first;
        }
        lanes_.push_back({note.track, note.channel, found->second});
        return uint32_t(lanes_.size() - 1);
    }

    // A note that reaches past the file's end lengthens the song.
    void timing_grow(Tick end) {
        const TickDurations durations = tick_durations(timing_.overall_tempo);
        while (timing_.length < end) {
            const uint8_t value =
                timing_.values.empty() ? DEFAULT_TEMPO_VALUE : timing_.values.back();
            timing_.values.push_back(value);
            timing_.ms.push_back(timing_.ms.back() + durations[value]);
            ++timing_.length;
        }
    }

    // Pattern boundaries on measure lines: every so many measures, moved to the nearest
    // measure line within reach (up to twice as many) that no note is held over.
    std::vector<Tick> pattern_bounds(size_t size) const {
        std::vector<int32_t> held(size_t(timing_.length) + 2, 0);
        for (const SongNote& note : notes_) {
            ++held[note.start + 1];
            --held[note.end];
        }
        for (size_t i = 1; i < held.size(); ++i)
            held[i] += held[i - 1];
        const std::vector<uint32_t>& measures = timing_.measures;
        const auto line = [&](size_t m) {
            return m < measures.size() ? measures[m] : timing_.length;
        };
        std::vector<Tick> bounds = {0};
        size_t m = 0;
        while (line(m) < timing_.length) {
            size_t next = m + size;
            for (size_t reach = 0; reach < size; ++reach) {
                const size_t later = m + size + reach;
                const size_t earlier = m + size - reach;
                if (later <= m + 2 * size &&
                    (line(later) >= timing_.length || held[line(later)] == 0)) {
                    next = later;
                    break;
                }
                if (earlier > m && earlier < m + size && held[line(earlier)] == 0) {
                    next = earlier;
                    break;
                }
            }
            m = std::min(next, measures.size());
            bounds.push_back(line(m));
        }
        if (bounds.size() == 1) bounds.push_back(timing_.length);
        return bounds;
    }

    Pattern make_pattern(Tick from, Tick to, std::vector<SongNote>& notes,
                         const std::vector<CurveChange>& curves) const {
        Pattern pattern;
        pattern.length = int32_t(to - from);
        uint8_t value = DEFAULT_TEMPO_VALUE;
        for (Tick t = from; t < to; ++t)
            if (timing_.values[t] != value) {
                value = timing_.values[t];
                pattern.tempo_points.push_back({t - from, value});
            }
        // Events of each lane, ordered as the song wants them: note offs first at a tick, then
        // note ons and curve points (the loudest volume of a tick last, so that it stays).
        std::map<uint32_t, std::vector<Event>> lanes;
        for (const SongNote& note : notes) {
            auto& events = lanes[note.lane];
            events.push_back({note.start, VOLUME, note.volume});
            events.push_back({note.start, BALANCE, note.balance});
            events.push_back({note.start, NOTE_ON, note.key});
            events.push_back({note.end, NOTE_OFF, note.key});
        }
        for (const CurveChange& change : curves) {
            auto found = lanes.find(change.lane);
            if (found != lanes.end())
                found->second.push_back({change.tick, change.kind, change.value});
        }
        for (auto& [lane, events] : lanes) {
            std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
                const auto rank = [](const Event& e) { return e.kind == NOTE_OFF ? 0 : e.kind; };
                return std::tuple(a.tick, rank(a), a.param1) <
                       std::tuple(b.tick, rank(b), b.param1);
            });
            Voice& voice = pattern.voices[add_voice(pattern, lanes_[lane].instrument)];
            voice.events = std::move(events);
        }
        normalize_pattern(pattern);
        return pattern;
    }

    static uint64_t pattern_hash(const Pattern& pattern) {
        uint64_t hash = 1469598103934665603ull;
        const auto mix = [&](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
        mix(uint64_t(pattern.length));
        for (const TempoPoint& point : pattern.tempo_points)
            mix(uint64_t(point.tick) << 8 | point.value);
        for (const Voice& voice : pattern.voices) {
            mix(voice.instrument);
            for (const Event& e : voice.events)
                mix(uint64_t(e.tick) << 32 | uint64_t(e.kind) << 24 | uint64_t(e.param1) << 16 |
                    uint64_t(e.param2) << 8 | e.param3);
        }
        return hash;
    }

    static bool same_content(const Pattern& a, const Pattern& b) {
        if (a.length != b.length || a.tempo_points != b.tempo_points ||
            a.voices.size() != b.voices.size())
            return false;
        for (size_t v = 0; v < a.voices.size(); ++v)
            if (a.voices[v].instrument != b.voices[v].instrument ||
                a.voices[v].events != b.voices[v].events)
                return false;
        return true;
    }

    // The first marker inside the pattern names it; otherwise "Pattern" and a numeral.
    std::string pattern_name(uint32_t index, Tick from, Tick to) const {
        for (const FileMarker& marker : content_.markers) {
            const Tick tick = timing_.tick_at_ms(clock_.ms_at(double(marker.tick)));
            if (tick < from || tick >= to) continue;
            std::string name = midi_text(marker.text, MAX_PATTERN_NAME);
            if (!name.empty()) return name;
        }
        return load_string(S_PATTERN) + " " + pattern_numeral(int(index) + 1);
    }

    const FileContent& content_;
    const FileClock& clock_;
    SongTiming& timing_;
    Song& song_;
    const BankLookup& bank_;
    std::map<LaneGroupKey, LaneGroup> groups_;
    std::vector<Lane> lanes_;
    std::map<std::string, uint32_t> instrument_index_;
    std::vector<SongNote> notes_;
    std::vector<CurveChange> curves_;
    Counts counts_;
};

std::string description_of(const FileContent& content) {
    std::string description;
    for (const std::string& text : content.texts) {
        const std::string line = midi_text(text, LONGEST_MIDI_DESCRIPTION, true);
        if (line.empty()) continue;
        if (!description.empty()) description += "\r\n";
        description += line;
        if (description.size() >= LONGEST_MIDI_DESCRIPTION) break;
    }
    return description.substr(0, LONGEST_MIDI_DESCRIPTION);
}

bool valid_utf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = uint8_t(text[i]);
        const size_t extra = lead < 0x80             ? 0
                             : (lead & 0xE0) == 0xC0 ? 1
                             : (lead & 0xF0) == 0xE0 ? 2
                             : (lead & 0xF8) == 0xF0 ? 3
                                                     : 9;
        if (extra == 9 || (extra && lead < 0xC2) || i + extra >= text.size() + (extra ? 0 : 1))
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((uint8_t(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

std::string midi_text(std::string_view bytes, size_t longest, bool lines) {
    std::string text;
    const bool has_high =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return uint8_t(c) >= 0x80; });
    if (!has_high) {
        text = std::string(bytes);
    } else if (valid_utf8(bytes)) {
        text = utf8_to_windows1252(bytes);
    } else if (std::none_of(bytes.begin(), bytes.end(),
                            [](char c) { return uint8_t(c) >= 0x80 && uint8_t(c) < 0xA0; })) {
        text = std::string(bytes); // Latin-1 letters: Windows-1252 holds them
    } else {
        // Another encoding: each run of its bytes becomes one '?'.
        for (char c : bytes) {
            if (uint8_t(c) < 0x80)
                text += c;
            else if (text.empty() || text.back() != '?')
                text += '?';
        }
    }
    for (char& c : text)
        if ((uint8_t(c) < 32 || c == 127) && !(lines && (c == '\r' || c == '\n'))) c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    return text.substr(0, longest);
}

void convert_midi(const MidiFile& file, Song& song, const BankLookup& bank,
                  std::vector<MidiWarning>& warnings) {
    const FileContent content = gather_file_content(file);
    const FileClock clock(file.division, content.tempos);
    if (clock.ms_at(double(content.end_tick)) > LONGEST_MIDI_MS) throw MISC_ERROR(S_MIDI_TOO_LONG);
    SongTiming timing = fit_song_timing(file, content, clock);

    reset(song, description_of(content));
    song.ticks_per_beat = timing.ticks_per_beat;
    song.beats_per_measure = timing.beats_per_measure;
    song.overall_tempo = timing.overall_tempo;
    Builder builder(content, clock, timing, song, bank);
    builder.place_notes();
    builder.place_controls();
    builder.build_patterns();
    if (!validate(song)) throw LOAD_ERROR(1);

    const Counts& counts = builder.counts();
    add_midi_warning(warnings, MidiWarningKind::KEYS_MOVED, counts.keys_moved);
    add_midi_warning(warnings, MidiWarningKind::TIMING, uint64_t(std::ceil(counts.worst_error_ms)));
    add_midi_warning(warnings, MidiWarningKind::NOTES_SPLIT, counts.split);
    add_midi_warning(warnings, MidiWarningKind::SHORT_NOTES, counts.short_notes);
}

void read_midi_song(File& file, Song& song, const BankLookup& bank,
                    std::vector<MidiWarning>& warnings) {
    const uint64_t size = file.size();
    if (size > LARGEST_MIDI_FILE) throw MISC_ERROR(S_MIDI_DAMAGED);
    std::vector<uint8_t> bytes(size);
    file.seek(0);
    file.read_exact(bytes.data(), bytes.size());
    convert_midi(read_smf(bytes), song, bank, warnings);
}

} // namespace tunemill
