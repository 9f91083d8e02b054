// The voices of a song pattern: each channel's notes, volumes, balances and pitch changes
// written per instrument, then the voices of one instrument merged where they can play as one.
#include "modules/convert/passes.h"

#include "song/instrument_array.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <optional>

namespace tunemill::converting {

void put_event(Voice& voice, const Event& event) {
    size_t start = voice.events.size();
    while (start > 0 && voice.events[start - 1].tick >= event.tick)
        --start;
    insert_event(voice, event, start);
}

namespace {

class PatternWriter {
  public:
    PatternWriter(Song& song, Pattern& pattern, int channels)
        : song_(song), pattern_(pattern), channels_(size_t(channels)),
          slot_index_(size_t(channels)), channel_slots_(size_t(channels)) {}

    void write(const TimedPattern& timed);

  private:
    void take_event(const ModuleEvent& event, int64_t time);
    // The channel's note, pitch, volume and balance as events of its voice at the tick.
    void sound_channel(size_t c, Tick tick, int64_t time);

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
             ++next_event)
            take_event(timed.events[next_event], time);

        for (size_t c = 0; c < channels_.size(); ++c)
            if (channels_[c].sounding >= 0 && channels_[c].end <= time) end_channel(c, tick);
        if (tick >= last) {
            // Every note ends with its pattern.
            for (size_t c = 0; c < channels_.size(); ++c)
                end_channel(c, tick);
            break;
        }
        for (size_t c = 0; c < channels_.size(); ++c)
            sound_channel(c, tick, time);
        time += base / (40 - value);
    }
    if (int64_t(last) > pattern_.length) pattern_.length = int32_t(last);
    for (size_t v = pattern_.voices.size(); v-- > 0;)
        if (pattern_.voices[v].events.empty()) remove_voice(pattern_, v);
}

void PatternWriter::take_event(const ModuleEvent& event, int64_t time) {
    if (event.channel >= channels_.size()) return;
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

void PatternWriter::sound_channel(size_t c, Tick tick, int64_t time) {
    Channel& ch = channels_[c];
    if (ch.instrument < 0 || size_t(ch.instrument) >= song_.instruments.size()) return;
    const size_t slot = slot_for(int(c), ch.instrument);
    if (ch.pending) {
        ch.pending = false;
        end_channel(c, tick);
        const Instrument& instrument = song_.instruments[size_t(ch.instrument)];
        int64_t end = NEVER;
        if (!instrument.loops()) {
            const double rate = double(instrument.rate) * std::pow(2.0, (ch.key - 36) / 12.0);
            end = time + int64_t(double(instrument.length) * 1000000.0 / rate);
        }
        if (end > time) {
            put_event(voice(slot), {tick, NOTE_ON, uint8_t(ch.key), 0, 0});
            slots_[slot].key = ch.key;
            ch.sounding = int(slot);
            ch.end = end;
        }
    } else if (ch.sounding >= 0 && ch.key >= 0 && slots_[size_t(ch.sounding)].key != ch.key &&
               tick > 0) {
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

} // namespace

void write_pattern(Song& song, Pattern& pattern, int channels, const TimedPattern& timed) {
    PatternWriter(song, pattern, channels).write(timed);
}

namespace {

// Plays voices a and b as one, tick by tick; fails where both sound at once with different
// volumes or balances, or a key would sound twice.
class MergeTrial {
  public:
    MergeTrial(const Voice& a, const Voice& b) : voices_{&a, &b} {}

    // The merged events, or nothing.
    std::optional<std::vector<Event>> run() {
        while (index_[0] < voices_[0]->events.size() || index_[1] < voices_[1]->events.size())
            if (!merge_tick()) return std::nullopt;
        return std::move(merged_.events);
    }

  private:
    bool merge_tick() {
        Tick tick = std::numeric_limits<Tick>::max();
        for (int v = 0; v < 2; ++v)
            if (index_[v] < voices_[v]->events.size())
                tick = std::min(tick, voices_[v]->events[index_[v]].tick);
        // The tick's events in the order the merged voice will hold them: note offs, then note
        // ons and curves, then portamentos; within each, voice i before voice j.
        size_t end[2];
        for (int v = 0; v < 2; ++v) {
            end[v] = index_[v];
            while (end[v] < voices_[v]->events.size() && voices_[v]->events[end[v]].tick == tick)
                ++end[v];
        }
        for (int phase = 0; phase < 3; ++phase)
            for (int v = 0; v < 2; ++v)
                for (size_t k = index_[v]; k < end[v]; ++k) {
                    const Event& event = voices_[v]->events[k];
                    const int rank = event.kind == NOTE_OFF ? 0 : event.kind == PORTAMENTO ? 2 : 1;
                    if (rank == phase && !take(event, v)) return false;
                }
        index_[0] = end[0];
        index_[1] = end[1];
        if (count_[0] > 0 && count_[1] > 0 &&
            (volume_[0] != volume_[1] || balance_[0] != balance_[1]))
            return false;
        put_curves(tick);
        return true;
    }

    bool take(const Event& event, int v) {
        switch (event.kind) {
        case NOTE_ON:
            if (event.param1 >= KEY_COUNT || sounding_.test(event.param1)) return false;
            sounding_.set(event.param1);
            ++count_[v];
            break;
        case NOTE_OFF:
            if (event.param1 < KEY_COUNT) sounding_.reset(event.param1);
            --count_[v];
            break;
        case VOLUME:
            volume_[v] = event.param1;
            return true;
        case BALANCE:
            balance_[v] = event.param1;
            return true;
        case PORTAMENTO:
            if (event.param1 >= KEY_COUNT || event.param2 >= KEY_COUNT ||
                sounding_.test(event.param2))
                return false;
            sounding_.reset(event.param1);
            sounding_.set(event.param2);
            break;
        default:
            break;
        }
        put_event(merged_, event);
        return true;
    }

    // The curves of the voice that sounds, where they differ from the merged voice's.
    void put_curves(Tick tick) {
        for (int v = 0; v < 2; ++v) {
            if (count_[v] <= 0) continue;
            if (volume_[v] != merged_volume_) {
                put_event(merged_, {tick, VOLUME, uint8_t(volume_[v]), 0, 0});
                merged_volume_ = volume_[v];
            }
            if (balance_[v] != merged_balance_) {
                put_event(merged_, {tick, BALANCE, uint8_t(balance_[v]), 0, 0});
                merged_balance_ = balance_[v];
            }
        }
    }

    const Voice* voices_[2];
    size_t index_[2] = {0, 0};
    Voice merged_;
    std::bitset<KEY_COUNT> sounding_;
    int count_[2] = {0, 0};
    int volume_[2] = {DEFAULT_VOLUME, DEFAULT_VOLUME};
    int balance_[2] = {DEFAULT_BALANCE, DEFAULT_BALANCE};
    int merged_volume_ = DEFAULT_VOLUME, merged_balance_ = DEFAULT_BALANCE;
};

} // namespace

void merge_voices(Pattern& pattern) {
    for (size_t i = 0; i < pattern.voices.size(); ++i) {
        size_t j = i + 1;
        while (j < pattern.voices.size()) {
            if (pattern.voices[j].instrument == pattern.voices[i].instrument) {
                if (auto merged = MergeTrial(pattern.voices[i], pattern.voices[j]).run()) {
                    pattern.voices[i].events = std::move(*merged);
                    remove_voice(pattern, j);
                    continue;
                }
            }
            ++j;
        }
    }
}

} // namespace tunemill::converting

namespace tunemill {

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

} // namespace tunemill
