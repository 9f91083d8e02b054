// The module-to-song conversion. The structure pass finds the order positions that sound alike
// and where song patterns begin; the recording pass collects each song pattern's events in
// microseconds; a tick grid is fitted to their times; the events then become voices, which are
// merged per instrument and finished into a valid song.
#include "modules/convert.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "instruments/category.h"
#include "modules/player.h"
#include "song/instrument_array.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <set>

namespace tunemill {

namespace {

constexpr int64_t NEVER = std::numeric_limits<int64_t>::max();
constexpr int64_t SNAP_TIME = 31250;    // events closer than this share a time
constexpr int64_t FIT_TOLERANCE = 5000; // a length fits a grid within this
constexpr int64_t LONG_GRID = 125000;   // finer grids are tried only down from here
constexpr int MAX_SONG_PATTERN_ROWS = 512;
constexpr int MAX_CONVERSION_CHANNELS = 256;

// round(a / b) in integer arithmetic.
int64_t rounded(int64_t a, int64_t b) {
    return (a + b / 2) / b;
}

[[noreturn]] void internal_error() {
    throw LOAD_ERROR(1);
}

// ---- Structure pass ---------------------------------------------------------------------------

struct Structure {
    std::vector<int> ids;     // per played position
    std::vector<int> numbers; // song pattern number per played position, -1: continues
    int repeat_entry = 0;
    int next_instrument = 0;
};

class StructureSink : public PlayerSink {
  public:
    StructureSink(ModuleReader& reader, Structure& structure)
        : reader_(reader), structure_(structure) {}

    void position(int order_index, const EntryState& state, int64_t) override {
        size_t id = 0;
        while (id < states_.size() && !(states_[id] == state))
            ++id;
        if (id == states_.size()) states_.push_back(state);
        structure_.ids.push_back(int(id));
        orders_.push_back(order_index);
    }
    void event(const ModuleEvent& event) override {
        if (event.kind != MODULE_INSTRUMENT) return;
        SampleSlot& slot = reader_.slots()[event.value];
        if (slot.instrument < 0) slot.instrument = int16_t(structure_.next_instrument++);
    }
    const std::vector<int>& orders() const { return orders_; }

  private:
    ModuleReader& reader_;
    Structure& structure_;
    std::vector<EntryState> states_;
    std::vector<int> orders_;
};

Structure structure_pass(ModuleReader& reader) {
    for (SampleSlot& slot : reader.slots())
        slot.instrument = -1;
    Structure structure;
    StructureSink sink(reader, structure);
    ModulePlayer player(reader);
    player.start();
    while (player.play_row(sink)) {
    }

    const std::vector<int>& ids = structure.ids;
    const size_t n = ids.size();
    if (n == 0) return structure;

    // The repeat entry: the position whose order index the music wanted to play again.
    structure.repeat_entry = 0;
    if (player.end() == ModulePlayer::End::REVISITED) {
        const int order = player.end_order();
        if (reader.rows(reader.orders()[size_t(order)]) > 0)
            for (size_t i = 0; i < n; ++i)
                if (sink.orders()[i] == order) structure.repeat_entry = int(i);
    }

    // Which ids begin song patterns: the first, the repeat entry's, and every id that does not
    // always follow one and the same id.
    const int id_count = *std::max_element(ids.begin(), ids.end()) + 1;
    std::vector<bool> begins(size_t(id_count), false);
    begins[size_t(ids[0])] = true;
    begins[size_t(ids[size_t(structure.repeat_entry)])] = true;
    for (int d = 0; d < id_count; ++d) {
        if (begins[size_t(d)]) continue;
        const size_t first = size_t(std::find(ids.begin(), ids.end(), d) - ids.begin());
        const int p = ids[first - 1];
        bool paired = true;
        for (size_t j = 0; j < n && paired; ++j) {
            if (ids[j] == p && (j + 1 >= n || ids[j + 1] != d)) paired = false;
            if (ids[j] == d && (j == 0 || ids[j - 1] != p)) paired = false;
        }
        begins[size_t(d)] = !paired;
    }
    // No song pattern grows beyond 512 rows.
    int sum = 0;
    for (size_t j = 0; j < n; ++j) {
        const int rows = reader.rows(reader.orders()[size_t(sink.orders()[j])]);
        if (begins[size_t(ids[j])]) {
            sum = rows;
        } else if (sum + rows > MAX_SONG_PATTERN_ROWS) {
            begins[size_t(ids[j])] = true;
            sum = rows;
        } else {
            sum += rows;
        }
    }
    std::vector<int> number_of_id(size_t(id_count), -1);
    int next = 0;
    for (int d = 0; d < id_count; ++d)
        if (begins[size_t(d)]) number_of_id[size_t(d)] = next++;
    for (int id : ids)
        structure.numbers.push_back(number_of_id[size_t(id)]);
    return structure;
}

// ---- Recording pass ---------------------------------------------------------------------------

struct Recording {
    std::vector<std::vector<ModuleEvent>> patterns; // events with times relative to the start
    std::vector<uint32_t> sequence;
    int32_t repeat_position = 0;
};

class RecordingSink : public PlayerSink {
  public:
    RecordingSink(const ModuleReader& reader, const Structure& structure, Recording& recording)
        : reader_(reader), structure_(structure), recording_(recording),
          channels_(size_t(reader.channel_count())) {}

    void position(int, const EntryState&, int64_t time) override {
        if (recording_now_) append({time, MODULE_POSITION, 0, 0});
        const size_t index = position_++;
        if (index >= structure_.numbers.size()) internal_error();
        const int number = structure_.numbers[index];
        if (number >= 0) {
            if (number <= last_number_) {
                recording_now_ = false; // the music repeats an earlier song pattern
            } else {
                if (number != last_number_ + 1) internal_error();
                last_number_ = number;
                recording_now_ = true;
                start_ = time;
                recording_.patterns.emplace_back();
                for (size_t c = 0; c < channels_.size(); ++c) {
                    const Known& known = channels_[c];
                    if (known.instrument >= 0)
                        append({time, MODULE_INSTRUMENT, uint16_t(c), uint32_t(known.instrument)});
                    if (known.volume >= 0)
                        append({time, MODULE_VOLUME, uint16_t(c), uint32_t(known.volume)});
                    if (known.pan >= 0)
                        append({time, MODULE_PAN, uint16_t(c), uint32_t(known.pan)});
                }
            }
            if (int(index) == structure_.repeat_entry)
                recording_.repeat_position = int32_t(recording_.sequence.size());
            recording_.sequence.push_back(uint32_t(number));
        }
    }

    void event(const ModuleEvent& event) override {
        ModuleEvent stored = event;
        if (event.kind == MODULE_INSTRUMENT) {
            const int instrument = reader_.slots()[event.value].instrument;
            if (instrument < 0) internal_error();
            stored.value = uint32_t(instrument);
        }
        if (event.channel < channels_.size()) {
            Known& known = channels_[event.channel];
            if (stored.kind == MODULE_INSTRUMENT) known.instrument = int64_t(stored.value);
            if (stored.kind == MODULE_VOLUME) known.volume = int64_t(stored.value);
            if (stored.kind == MODULE_PAN) known.pan = int64_t(stored.value);
        }
        if (recording_now_) append(stored);
    }

    size_t positions() const { return position_; }

  private:
    struct Known {
        int64_t instrument = -1, volume = -1, pan = -1;
    };
    void append(ModuleEvent event) {
        event.time -= start_;
        recording_.patterns.back().push_back(event);
    }

    const ModuleReader& reader_;
    const Structure& structure_;
    Recording& recording_;
    std::vector<Known> channels_;
    size_t position_ = 0;
    int last_number_ = -1;
    bool recording_now_ = false;
    int64_t start_ = 0;
};

// ---- Ticks ------------------------------------------------------------------------------------

struct Candidate {
    int64_t length = 0;
    int count = 0;
    TempoChoice tempo;
};

struct TimedPattern {
    std::vector<ModuleEvent> events;
    std::vector<int64_t> times;             // distinct times, ascending
    std::vector<size_t> interval_candidate; // per interval between successive times
    std::vector<Candidate> candidates;
    std::vector<Tick> event_ticks; // per event
    std::vector<TempoPoint> tempo_points;
    Tick length = 0;
};

void find_candidates(TimedPattern& pattern) {
    // Events that follow closely share the earlier time.
    bool have = false;
    int64_t last = 0;
    for (ModuleEvent& event : pattern.events) {
        if (have && event.time - last < SNAP_TIME)
            event.time = last;
        else {
            last = event.time;
            have = true;
            pattern.times.push_back(event.time);
        }
    }
    std::vector<Candidate>& candidates = pattern.candidates;
    size_t previous = SIZE_MAX;
    for (size_t k = 0; k + 1 < pattern.times.size(); ++k) {
        const int64_t interval = pattern.times[k + 1] - pattern.times[k];
        int64_t common = 0;
        size_t found = SIZE_MAX;
        if (previous != SIZE_MAX && tick_lengths_fit(candidates[previous].length, interval, common))
            found = previous;
        for (size_t i = 0; found == SIZE_MAX && i < candidates.size(); ++i)
            if (tick_lengths_fit(candidates[i].length, interval, common)) found = i;
        if (found != SIZE_MAX) {
            candidates[found].length = common;
            ++candidates[found].count;
        } else {
            candidates.push_back({interval, 1, {}});
            found = candidates.size() - 1;
        }
        pattern.interval_candidate.push_back(found);
        previous = found;
    }
    for (size_t i = 0; i < candidates.size(); ++i)
        for (size_t j = i + 1; j < candidates.size(); ++j) {
            int64_t common = 0;
            if (tick_lengths_fit(candidates[i].length, candidates[j].length, common)) {
                candidates[i].length = candidates[j].length = common;
                candidates[j].count += candidates[i].count;
                candidates[i].count = 0;
            }
        }
}

int choose_overall_tempo(const std::vector<TimedPattern>& patterns) {
    int64_t shortest = 0;
    const Candidate* most = nullptr;
    for (const TimedPattern& pattern : patterns)
        for (const Candidate& candidate : pattern.candidates) {
            if (shortest == 0 || candidate.length < shortest) shortest = candidate.length;
            if (!most || candidate.count > most->count) most = &candidate;
        }
    if (!most) return DEFAULT_OVERALL_TEMPO;
    int start =
        int(std::clamp<int64_t>(rounded(shortest * 40, SNAP_TIME) - 40, 0, MAX_OVERALL_TEMPO));
    if (start >= 40) start = 40;
    const TempoChoice choice = tempo_for_length(most->length, start);
    return int(std::clamp<int64_t>(
        rounded(int64_t(40 - choice.value) * choice.tick_length, SNAP_TIME) - 40, 0,
        MAX_OVERALL_TEMPO));
}

void assign_ticks(TimedPattern& pattern, int overall_tempo) {
    for (Candidate& candidate : pattern.candidates)
        candidate.tempo = tempo_for_length(candidate.length, overall_tempo);
    std::vector<Tick> time_ticks(pattern.times.size(), 0);
    Tick tick = 0;
    int value = DEFAULT_TEMPO_VALUE;
    for (size_t k = 0; k + 1 < pattern.times.size(); ++k) {
        const Candidate& candidate = pattern.candidates[pattern.interval_candidate[k]];
        if (candidate.tempo.value != value) {
            value = candidate.tempo.value;
            pattern.tempo_points.push_back({tick, uint8_t(value), {0, 0, 0}});
        }
        // Distinct times stay distinct ticks.
        const int64_t interval = pattern.times[k + 1] - pattern.times[k];
        tick += Tick(std::max<int64_t>(1, rounded(interval, candidate.tempo.tick_length)));
        time_ticks[k + 1] = tick;
    }
    size_t k = 0;
    for (const ModuleEvent& event : pattern.events) {
        while (k + 1 < pattern.times.size() && pattern.times[k] < event.time)
            ++k;
        pattern.event_ticks.push_back(time_ticks.empty() ? 0 : time_ticks[k]);
    }
    pattern.length = time_ticks.empty() ? 0 : time_ticks.back();
}

// ---- Writing the voices -----------------------------------------------------------------------

// An event placed by the order rules, searching back from the end (writers append in order).
void put_event(Voice& voice, const Event& event) {
    size_t start = voice.events.size();
    while (start > 0 && voice.events[start - 1].tick >= event.tick)
        --start;
    insert_event(voice, event, start);
}

class PatternWriter {
  public:
    PatternWriter(Song& song, Pattern& pattern, int channels)
        : song_(song), pattern_(pattern), channels_(size_t(channels)),
          slot_index_(size_t(channels)), channel_slots_(size_t(channels)) {}

    void write(const TimedPattern& timed);

  private:
    struct Channel {
        int instrument = -1;
        int key = -1;
        bool pending = false;
        int64_t end = NEVER;
        int volume = DEFAULT_VOLUME;
        int balance = DEFAULT_BALANCE;
        int sounding = -1; // the voice slot that sounds the channel's note
    };
    struct VoiceSlot {
        int channel;
        size_t voice;
        int key = -1;
        int volume = -1;
        int balance = -1;
    };

    size_t slot_for(int channel, int instrument) {
        std::vector<int>& of_channel = slot_index_[size_t(channel)];
        if (of_channel.empty()) of_channel.assign(song_.instruments.size(), -1);
        int& slot = of_channel[size_t(instrument)];
        if (slot >= 0) return size_t(slot);
        const size_t voice = add_voice(pattern_, uint32_t(instrument));
        slots_.push_back({channel, voice});
        slot = int(slots_.size() - 1);
        channel_slots_[size_t(channel)].push_back(size_t(slot));
        return size_t(slot);
    }
    Voice& voice(size_t slot) { return pattern_.voices[slots_[slot].voice]; }
    void note_off(size_t slot, Tick tick) {
        VoiceSlot& s = slots_[slot];
        if (s.key < 0) return;
        put_event(voice(slot), {tick, NOTE_OFF, uint8_t(s.key), 0, 0});
        s.key = -1;
    }
    // Ends every note the channel sounds, on any of its voices.
    void end_channel(size_t c, Tick tick) {
        for (size_t slot : channel_slots_[c])
            note_off(slot, tick);
        channels_[c].sounding = -1;
        channels_[c].end = NEVER;
    }

    Song& song_;
    Pattern& pattern_;
    std::vector<Channel> channels_;
    std::vector<VoiceSlot> slots_;
    std::vector<std::vector<int>> slot_index_;       // per channel, per instrument: slot or -1
    std::vector<std::vector<size_t>> channel_slots_; // per channel: its slots
};

void PatternWriter::write(const TimedPattern& timed) {
    pattern_.tempo_points = timed.tempo_points;
    const Tick last = timed.length;
    const int64_t base = int64_t(song_.overall_tempo + 40) * 31250;
    size_t next_event = 0, next_point = 0;
    int value = DEFAULT_TEMPO_VALUE;
    int64_t time = 0;
    for (Tick tick = 0;; ++tick) {
        while (next_point < timed.tempo_points.size() &&
               timed.tempo_points[next_point].tick <= tick)
            value = timed.tempo_points[next_point++].value;

        for (; next_event < timed.events.size() && timed.event_ticks[next_event] == tick;
             ++next_event) {
            const ModuleEvent& event = timed.events[next_event];
            if (event.channel >= channels_.size()) continue;
            Channel& ch = channels_[event.channel];
            switch (event.kind) {
            case MODULE_NOTE_ON:
                ch.key = key_of_pitch(event.value);
                ch.pending = true;
                break;
            case MODULE_NOTE_OFF:
                if (ch.sounding >= 0) ch.end = time;
                break;
            case MODULE_INSTRUMENT:
                ch.instrument = int(event.value);
                break;
            case MODULE_VOLUME:
                ch.volume = song_volume(event.value);
                break;
            case MODULE_PAN:
                ch.balance = song_balance(event.value);
                break;
            case MODULE_PITCH:
                ch.key = key_of_pitch(event.value);
                break;
            default:
                break;
            }
        }

        for (size_t c = 0; c < channels_.size(); ++c)
            if (channels_[c].sounding >= 0 && channels_[c].end <= time) end_channel(c, tick);
        if (tick >= last) {
            // Every note ends with its pattern.
            for (size_t c = 0; c < channels_.size(); ++c)
                end_channel(c, tick);
            break;
        }

        for (size_t c = 0; c < channels_.size(); ++c) {
            Channel& ch = channels_[c];
            if (ch.instrument < 0 || size_t(ch.instrument) >= song_.instruments.size()) continue;
            const size_t slot = slot_for(int(c), ch.instrument);
            if (ch.pending) {
                ch.pending = false;
                end_channel(c, tick);
                const Instrument& instrument = song_.instruments[size_t(ch.instrument)];
                int64_t end = NEVER;
                if (!instrument.loops()) {
                    const double rate =
                        double(instrument.rate) * std::pow(2.0, (ch.key - 36) / 12.0);
                    end = time + int64_t(double(instrument.length) * 1000000.0 / rate);
                }
                if (end > time) {
                    put_event(voice(slot), {tick, NOTE_ON, uint8_t(ch.key), 0, 0});
                    slots_[slot].key = ch.key;
                    ch.sounding = int(slot);
                    ch.end = end;
                }
            } else if (ch.sounding >= 0 && ch.key >= 0 &&
                       slots_[size_t(ch.sounding)].key != ch.key && tick > 0) {
                // A pitch change is a one-tick slide that ends at this tick.
                VoiceSlot& s = slots_[size_t(ch.sounding)];
                put_event(pattern_.voices[s.voice],
                          {tick - 1, PORTAMENTO, uint8_t(s.key), uint8_t(ch.key), 1});
                s.key = ch.key;
                ch.end = NEVER;
            }
            VoiceSlot& s = slots_[slot];
            if (ch.volume != s.volume) {
                put_event(voice(slot), {tick, VOLUME, uint8_t(ch.volume), 0, 0});
                s.volume = ch.volume;
            }
            if (ch.balance != s.balance) {
                put_event(voice(slot), {tick, BALANCE, uint8_t(ch.balance), 0, 0});
                s.balance = ch.balance;
            }
        }
        time += base / (40 - value);
    }
    if (int64_t(last) > pattern_.length) pattern_.length = int32_t(last);
    for (size_t v = pattern_.voices.size(); v-- > 0;)
        if (pattern_.voices[v].events.empty()) remove_voice(pattern_, v);
}

// ---- Merging voices ---------------------------------------------------------------------------

// Tries to play voices a and b as one; returns the merged events, or nothing.
std::optional<std::vector<Event>> merge_trial(const Voice& a, const Voice& b) {
    Voice merged;
    std::bitset<KEY_COUNT> sounding;
    int count[2] = {0, 0};
    int volume[2] = {DEFAULT_VOLUME, DEFAULT_VOLUME},
        balance[2] = {DEFAULT_BALANCE, DEFAULT_BALANCE};
    int merged_volume = DEFAULT_VOLUME, merged_balance = DEFAULT_BALANCE;
    const Voice* voices[2] = {&a, &b};
    size_t index[2] = {0, 0};
    while (index[0] < a.events.size() || index[1] < b.events.size()) {
        Tick tick = std::numeric_limits<Tick>::max();
        for (int v = 0; v < 2; ++v)
            if (index[v] < voices[v]->events.size())
                tick = std::min(tick, voices[v]->events[index[v]].tick);
        // The tick's events in the order the merged voice will hold them: note offs, then note
        // ons and curves, then portamentos; within each, voice i before voice j.
        size_t end[2];
        for (int v = 0; v < 2; ++v) {
            end[v] = index[v];
            while (end[v] < voices[v]->events.size() && voices[v]->events[end[v]].tick == tick)
                ++end[v];
        }
        for (int phase = 0; phase < 3; ++phase)
            for (int v = 0; v < 2; ++v) {
                const std::vector<Event>& events = voices[v]->events;
                for (size_t k = index[v]; k < end[v]; ++k) {
                    const Event& event = events[k];
                    const int rank = event.kind == NOTE_OFF ? 0 : event.kind == PORTAMENTO ? 2 : 1;
                    if (rank != phase) continue;
                    switch (event.kind) {
                    case NOTE_ON:
                        if (event.param1 >= KEY_COUNT || sounding.test(event.param1))
                            return std::nullopt;
                        sounding.set(event.param1);
                        ++count[v];
                        put_event(merged, event);
                        break;
                    case NOTE_OFF:
                        if (event.param1 < KEY_COUNT) sounding.reset(event.param1);
                        --count[v];
                        put_event(merged, event);
                        break;
                    case VOLUME:
                        volume[v] = event.param1;
                        break;
                    case BALANCE:
                        balance[v] = event.param1;
                        break;
                    case PORTAMENTO:
                        if (event.param1 >= KEY_COUNT || event.param2 >= KEY_COUNT ||
                            sounding.test(event.param2))
                            return std::nullopt;
                        sounding.reset(event.param1);
                        sounding.set(event.param2);
                        put_event(merged, event);
                        break;
                    default:
                        put_event(merged, event);
                        break;
                    }
                }
            }
        index[0] = end[0];
        index[1] = end[1];
        if (count[0] > 0 && count[1] > 0 && (volume[0] != volume[1] || balance[0] != balance[1]))
            return std::nullopt;
        for (int v = 0; v < 2; ++v) {
            if (count[v] <= 0) continue;
            if (volume[v] != merged_volume) {
                put_event(merged, {tick, VOLUME, uint8_t(volume[v]), 0, 0});
                merged_volume = volume[v];
            }
            if (balance[v] != merged_balance) {
                put_event(merged, {tick, BALANCE, uint8_t(balance[v]), 0, 0});
                merged_balance = balance[v];
            }
        }
    }
    return std::move(merged.events);
}

void merge_voices(Pattern& pattern) {
    for (size_t i = 0; i < pattern.voices.size(); ++i) {
        size_t j = i + 1;
        while (j < pattern.voices.size()) {
            if (pattern.voices[j].instrument == pattern.voices[i].instrument) {
                if (auto merged = merge_trial(pattern.voices[i], pattern.voices[j])) {
                    pattern.voices[i].events = std::move(*merged);
                    remove_voice(pattern, j);
                    continue;
                }
            }
            ++j;
        }
    }
}

// ---- Finishing --------------------------------------------------------------------------------

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

// ---- Names ------------------------------------------------------------------------------------

std::string table_text(uint32_t id) {
    return utf8_to_windows1252(load_string(id));
}

std::string clean_title(const std::string& raw) {
    std::string text = raw;
    for (char& c : text)
        if (uint8_t(c) < 32) c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

std::string description_of(const ModuleReader& reader) {
    std::string description = "\"" + clean_title(reader.title()) + "\"\r\n\r\n";
    int last_named = -1;
    for (int i = 0; i < 99; ++i)
        if (!reader.slots()[size_t(i)].name.empty()) last_named = i;
    for (int i = 0; i <= last_named; ++i)
        description += reader.slots()[size_t(i)].name + "\r\n";
    return description;
}

} // namespace

// ---- Public pieces ----------------------------------------------------------------------------

std::string pattern_numeral(int number) {
    static const std::pair<int, const char*> numerals[] = {
        {100, "C"}, {99, "IC"}, {95, "VC"}, {90, "XC"}, {50, "L"}, {49, "IL"}, {45, "VL"},
        {40, "XL"}, {10, "X"},  {9, "IX"},  {5, "V"},   {4, "IV"}, {1, "I"},
    };
    std::string text;
    for (const auto& [value, numeral] : numerals)
        while (number >= value) {
            text += numeral;
            number -= value;
        }
    return text;
}

int key_of_pitch(uint32_t pitch) {
    if (pitch == 0) return 0;
    const double key = std::trunc(36.5 + 12.0 * std::log2(double(pitch) / 44100.0));
    return int(std::clamp(key, 0.0, double(KEY_COUNT - 1)));
}

int song_volume(uint32_t value) {
    if (value == 0) return 0;
    const double volume = std::trunc(30.5 + 29.0 * std::log2(double(value) / 65536.0) / 4.0);
    return int(std::clamp(volume, 1.0, double(MAX_LEVEL)));
}

int song_balance(uint32_t value) {
    return std::clamp(30 - int(value / 2115), 0, int(MAX_LEVEL));
}

std::string clean_instrument_name(const std::string& raw) {
    std::string name = clean_title(raw);
    if (name.empty()) name = table_text(S_UNTITLED);
    if (name.size() > MAX_INSTRUMENT_NAME) name.resize(MAX_INSTRUMENT_NAME);
    return name;
}

bool tick_lengths_fit(int64_t a, int64_t b, int64_t& common) {
    if (a > b) std::swap(a, b);
    if (a == b) {
        common = a;
        return true;
    }
    for (int64_t k = 1;; ++k) {
        const int64_t q = a / k;
        if (q < SNAP_TIME) return false;
        if ((b - FIT_TOLERANCE) / q != (b + FIT_TOLERANCE) / q) {
            common = q;
            return true;
        }
        if (q < LONG_GRID) return false;
    }
}

TempoChoice tempo_for_length(int64_t length, int overall_tempo) {
    const int64_t base = int64_t(overall_tempo + 40) * 31250;
    if (length <= 0) return {DEFAULT_TEMPO_VALUE, base / 20};
    int value = int(std::max<int64_t>(0, 40 - rounded(base, length)));
    auto ticks_of = [&](int v) { return std::max<int64_t>(1, rounded(length, base / (40 - v))); };
    if (value > 20) {
        // Shorter ticks than the tempo values allow: several ticks of a slower value.
        auto error = [&](int v) {
            const int64_t tick = base / (40 - v);
            return std::llabs(length - ticks_of(v) * tick);
        };
        int best = 20;
        int64_t best_error = error(20);
        for (int v = 19; v >= 11; --v)
            if (error(v) < best_error) {
                best = v;
                best_error = error(v);
            }
        value = best;
    }
    return {value, length / ticks_of(value)};
}

void rename_duplicate_instruments(Song& song) {
    std::map<std::string, std::vector<size_t>> occurrences;
    for (size_t i = 0; i < song.instruments.size(); ++i)
        occurrences[song.instruments[i].name].push_back(i);
    for (const auto& [name, indices] : occurrences) {
        if (indices.size() < 2) continue;
        for (size_t n = indices.size(); n-- > 0;) {
            const std::string suffix = " " + std::to_string(n + 1);
            std::string base = name;
            if (base.size() + suffix.size() > MAX_INSTRUMENT_NAME)
                base.resize(
                    MAX_INSTRUMENT_NAME > suffix.size() ? MAX_INSTRUMENT_NAME - suffix.size() : 0);
            while (!base.empty() && base.back() == ' ')
                base.pop_back();
            song.instruments[indices[n]].name = base + suffix;
        }
    }
}

// ---- The conversion ---------------------------------------------------------------------------

void convert_module(ModuleReader& reader, File& file, Song& song) {
    if (reader.channel_count() > MAX_CONVERSION_CHANNELS) internal_error();
    for (SampleSlot& slot : reader.slots())
        slot.category = uint16_t(guess_category(slot.name));

    Structure structure = structure_pass(reader);

    // Reset, names, and the instruments in the order of category and name.
    reset(song, description_of(reader));
    std::vector<size_t> used;
    std::vector<std::string> names(MODULE_SAMPLE_SLOTS);
    for (size_t i = 0; i < MODULE_SAMPLE_SLOTS; ++i) {
        names[i] = clean_instrument_name(reader.slots()[i].name);
        if (reader.slots()[i].instrument >= 0) used.push_back(i);
    }
    std::vector<std::string> lowered(MODULE_SAMPLE_SLOTS);
    for (size_t i : used)
        lowered[i] = lower(names[i]);
    std::stable_sort(used.begin(), used.end(), [&](size_t a, size_t b) {
        const SampleSlot &sa = reader.slots()[a], &sb = reader.slots()[b];
        if (sa.category != sb.category) return sa.category < sb.category;
        return lowered[a] < lowered[b];
    });
    for (size_t number = 0; number < used.size(); ++number)
        reader.slots()[used[number]].instrument = int16_t(number);
    for (size_t slot_index : used) {
        const SampleSlot& slot = reader.slots()[slot_index];
        Instrument instrument = make_sampled_instrument(
            names[slot_index], slot.category, slot.length, slot.loop_start,
            std::clamp<uint32_t>(slot.rate, 1, 65535), slot.is_16bit ? 2 : 1, false);
        read_sample_data(file, slot, instrument.samples.data());
        add_instrument(song, std::move(instrument));
    }

    // Recording.
    Recording recording;
    {
        RecordingSink sink(reader, structure, recording);
        ModulePlayer player(reader);
        player.start();
        while (player.play_row(sink)) {
        }
        if (sink.positions() != structure.numbers.size()) internal_error();
    }

    std::vector<TimedPattern> timed(recording.patterns.size());
    for (size_t p = 0; p < timed.size(); ++p) {
        timed[p].events = std::move(recording.patterns[p]);
        find_candidates(timed[p]);
    }
    song.overall_tempo = choose_overall_tempo(timed);
    for (TimedPattern& pattern : timed)
        assign_ticks(pattern, song.overall_tempo);

    const std::string pattern_word = table_text(S_PATTERN);
    for (size_t p = 0; p < timed.size(); ++p) {
        std::string name = pattern_word + " " + pattern_numeral(int(p) + 1);
        if (name.size() > MAX_PATTERN_NAME) name.resize(MAX_PATTERN_NAME);
        add_pattern(song, name);
        PatternWriter(song, song.patterns.back(), reader.channel_count()).write(timed[p]);
        merge_voices(song.patterns.back());
    }
    song.sequence = recording.sequence;
    song.repeat_position = recording.repeat_position;

    finish_patterns(song);
    trim_end(song);
    if (song.patterns.empty()) {
        // Nothing plays: the song still has its one empty pattern, as a new song does.
        add_pattern(song, table_text(S_FIRST_PATTERN_NAME));
        song.sequence.assign(1, 0);
        song.repeat_position = 0;
    }
    rename_duplicate_instruments(song);
    if (!validate(song)) internal_error();
}

} // namespace tunemill
