// The sequencer half of the playback engine: song time in frames, seek (rebuilding the voices of
// the current pattern at a tick), tick (events, tempo points, pattern ends, repeat, winding) and
// the position reports.
#include <algorithm>

#include "playback/engine.h"
#include "song/voice_cursor.h"

namespace tunemill {

const Pattern* PlaybackEngine::pattern_at(uint32_t index) const {
    return index < song_.patterns.size() ? &song_.patterns[index] : nullptr;
}

void PlaybackEngine::build_frames_per_tick() {
    const uint64_t tempo = uint64_t(std::clamp(song_.overall_tempo, 0, MAX_OVERALL_TEMPO)) + 40;
    for (uint32_t v = 0; v <= MAX_LEVEL; ++v) {
        const uint64_t d = 1280 - 32 * v;
        frames_per_tick_[v] = uint32_t((tempo * format_.rate + d / 2) / d);
    }
}

uint32_t PlaybackEngine::step_of(uint32_t instrument, uint32_t key) const {
    if (instrument >= song_.instruments.size()) return 0;
    return key_step(song_.instruments[instrument].rate, key, key_rate_divisor_);
}

uint64_t PlaybackEngine::frames_between(const Pattern& pattern, Tick from, Tick to) const {
    if (to <= from) return 0;
    std::array<uint32_t, 31> table;
    const uint64_t tempo = uint64_t(std::clamp(song_.overall_tempo, 0, MAX_OVERALL_TEMPO)) + 40;
    for (uint32_t v = 0; v <= MAX_LEVEL; ++v) {
        const uint64_t d = 1280 - 32 * v;
        table[v] = uint32_t((tempo * format_.rate + d / 2) / d);
    }
    uint8_t value = DEFAULT_TEMPO_VALUE;
    uint64_t total = 0;
    Tick at = from;
    for (const TempoPoint& point : pattern.tempo_points) {
        if (point.tick <= from) {
            value = point.value;
            continue;
        }
        if (point.tick >= to) break;
        total += uint64_t(point.tick - at) * table[std::min(value, MAX_LEVEL)];
        at = point.tick;
        value = point.value;
    }
    return total + uint64_t(to - at) * table[std::min(value, MAX_LEVEL)];
}

uint64_t PlaybackEngine::song_frames() const {
    uint64_t total = 0;
    for (uint32_t entry : song_.sequence)
        if (const Pattern* pattern = pattern_at(entry))
            total += frames_between(*pattern, 0, pattern->tick_length());
    return total;
}

uint32_t PlaybackEngine::tempo_value_in_effect() const {
    const Pattern* pattern = pattern_at(current_pattern_);
    if (!pattern || tempo_point_index_ < 0 ||
        size_t(tempo_point_index_) >= pattern->tempo_points.size())
        return DEFAULT_TEMPO_VALUE;
    return std::min(pattern->tempo_points[size_t(tempo_point_index_)].value, MAX_LEVEL);
}

Tick PlaybackEngine::block_limit() const {
    return mode_ == PlayMode::BLOCK || mode_ == PlayMode::PREVIEW_ONLY
               ? std::min(block_end_, pattern_end_)
               : pattern_end_;
}

MixVoice* PlaybackEngine::sounding_voice(uint32_t voice_id, uint32_t key) {
    for (MixVoice& voice : pool_.voices())
        if (voice.has(VOICE_IN_USE) && voice.pattern_voice_id == voice_id && voice.key == key)
            return &voice;
    return nullptr;
}

void PlaybackEngine::update_curves(uint32_t voice_id, const EngineVoiceState& state) {
    for (MixVoice& voice : pool_.voices())
        if (voice.pattern_voice_id == voice_id && !voice.has(VOICE_PREVIEW) &&
            (voice.volume != state.volume || voice.balance != state.balance)) {
            voice.volume = state.volume;
            voice.balance = state.balance;
            voice.flags |= VOICE_GAINS_STALE;
        }
}

namespace {
// The tick of the voice's first note on, or none.
std::optional<Tick> first_note_on(const Voice& voice) {
    for (const Event& event : voice.events)
        if (event.kind == NOTE_ON) return event.tick;
    return std::nullopt;
}

Tick last_note_off(const Voice& voice) {
    for (auto it = voice.events.rbegin(); it != voice.events.rend(); ++it)
        if (it->kind == NOTE_OFF) return it->tick;
    return 0;
}

const Voice* voice_with_id(const Pattern& pattern, uint32_t id) {
    for (const Voice& voice : pattern.voices)
        if (voice.id == id) return &voice;
    return nullptr;
}
} // namespace

void PlaybackEngine::seek(Tick t, int64_t offset) {
    build_frames_per_tick();
    const Pattern* pattern = pattern_at(current_pattern_);
    current_tick_ = t;
    pattern_end_ = pattern ? pattern->tick_length() : 0;
    tempo_point_index_ = -1;
    if (pattern) {
        for (size_t i = 0; i < pattern->tempo_points.size() && pattern->tempo_points[i].tick < t;
             ++i)
            tempo_point_index_ = int64_t(i);
        if (states_.size() < pattern->voices.size()) states_.resize(pattern->voices.size());
        for (size_t v = 0; v < pattern->voices.size(); ++v)
            if (!skips(pattern->voices[v])) seek_voice(*pattern, v, t, offset);
    }
    settle_voices(pattern);
}

// The voice's volume, balance and next event at t, and every note it holds there sounding.
void PlaybackEngine::seek_voice(const Pattern& pattern, size_t index, Tick t, int64_t offset) {
    const Voice& voice = pattern.voices[index];
    if (solo_in_pattern_mode()) pattern_end_ = last_note_off(voice);
    EngineVoiceState& state = states_[index];
    VoiceCursor cursor(voice);
    cursor.seek(t);
    state.volume = (voice.muted && !soloing()) ? 0 : cursor.volume();
    state.balance = cursor.balance();
    state.next_event = cursor.next_index();
    const bool playable = voice.instrument < song_.instruments.size();
    for (uint32_t key = 0; key < KEY_COUNT && playable; ++key) {
        const size_t holding = cursor.sounding(Key(key));
        if (holding != VoiceCursor::NONE)
            resume_note(pattern, voice, voice.events[holding], key, t, offset);
    }
    update_curves(voice.id, state);
}

// A note that began at event and still sounds at t: its mixer voice (the one already playing it
// when there is one), its pitch or glide, and its place in the sample.
void PlaybackEngine::resume_note(const Pattern& pattern, const Voice& voice, const Event& event,
                                 uint32_t key, Tick t, int64_t offset) {
    MixVoice* mix = sounding_voice(voice.id, key);
    const bool found = mix != nullptr;
    if (!mix) {
        mix = pool_.allocate();
        if (!mix) return;
        mix->pattern_voice_id = voice.id;
        mix->key = key;
        mix->position = 0;
        mix->fraction = 0;
    }
    mix->flags |= VOICE_TOUCHED;
    mix->instrument = voice.instrument;
    const Instrument& instrument = song_.instruments[voice.instrument];
    // Elapsed time may come out negative when the tempo changes at t; it starts then.
    const int64_t elapsed =
        std::max<int64_t>(int64_t(frames_between(pattern, event.tick, t)) + offset, 0);
    if (event.kind == PORTAMENTO) {
        mix->step = step_of(voice.instrument, event.param1);
        mix->glide_target = step_of(voice.instrument, key);
        const uint64_t length = frames_between(pattern, event.tick, event.tick + event.param3);
        start_glide(*mix, uint32_t(std::min<uint64_t>(length, 0xFFFFFFFF)), format_.rate / 100,
                    uint64_t(elapsed));
    } else {
        mix->flags &= ~VOICE_GLIDING;
        mix->step = step_of(voice.instrument, key);
    }
    const bool keeps = found && mix->has(VOICE_RUNNING) && mix->position < instrument.length;
    if (keeps) return;
    if (instrument.length > 0)
        place_voice(*mix, uint64_t(elapsed), instrument.loop_start, instrument.length);
    else
        mix->flags &= ~VOICE_RUNNING;
}

// After a seek: the voices it touched stay in use, auditions follow their voice's instrument,
// and every other pattern voice is freed; previews are left alone.
void PlaybackEngine::settle_voices(const Pattern* pattern) {
    for (MixVoice& voice : pool_.voices()) {
        if (voice.has(VOICE_PREVIEW)) continue;
        if (voice.has(VOICE_AUDITION)) {
            const Voice* owner =
                pattern ? voice_with_id(*pattern, voice.pattern_voice_id) : nullptr;
            if (owner && voice.has(VOICE_IN_USE) && owner->instrument < song_.instruments.size()) {
                voice.instrument = owner->instrument;
                voice.step = step_of(owner->instrument, voice.key);
            } else {
                voice.flags &= ~(VOICE_IN_USE | VOICE_TOUCHED | VOICE_AUDITION);
            }
        }
        if (voice.has(VOICE_TOUCHED) || voice.has(VOICE_AUDITION))
            voice.flags = (voice.flags | VOICE_IN_USE) & ~VOICE_TOUCHED;
        else
            voice.flags &= ~(VOICE_IN_USE | VOICE_TOUCHED);
    }
}

void PlaybackEngine::process_events(const Voice& voice, EngineVoiceState& state) {
    const uint32_t glide_interval = format_.rate / 100;
    const Pattern* pattern = pattern_at(current_pattern_);
    while (state.next_event < voice.events.size() &&
           voice.events[state.next_event].tick == current_tick_) {
        const Event& event = voice.events[state.next_event++];
        switch (event.kind) {
        case NOTE_ON: {
            if (event.param1 >= KEY_COUNT || voice.instrument >= song_.instruments.size()) break;
            MixVoice* mix = pool_.allocate();
            if (!mix) break; // no voice, no note
            mix->pattern_voice_id = voice.id;
            mix->instrument = voice.instrument;
            mix->position = 0;
            mix->fraction = 0;
            mix->key = event.param1;
            mix->step = step_of(voice.instrument, event.param1);
            mix->volume = state.volume;
            mix->balance = state.balance;
            break;
        }
        case NOTE_OFF:
            for (MixVoice& mix : pool_.voices())
                if (mix.has(VOICE_IN_USE) && mix.pattern_voice_id == voice.id &&
                    mix.key == event.param1) {
                    if (!mix.has(VOICE_AUDITION)) mix.flags &= ~VOICE_IN_USE;
                    break;
                }
            break;
        case VOLUME:
            if (voice.muted && !soloing()) break;
            state.volume = std::min(event.param1, MAX_LEVEL);
            update_curves(voice.id, state);
            break;
        case BALANCE:
            state.balance = std::min(event.param1, MAX_LEVEL);
            update_curves(voice.id, state);
            break;
        case PORTAMENTO: {
            if (event.param2 >= KEY_COUNT) break;
            MixVoice* mix = sounding_voice(voice.id, event.param1);
            if (!mix) break;
            mix->key = event.param2;
            mix->glide_target = step_of(mix->instrument, event.param2);
            const uint64_t length =
                pattern ? frames_between(*pattern, current_tick_, current_tick_ + event.param3) : 0;
            start_glide(*mix, uint32_t(std::min<uint64_t>(length, 0xFFFFFFFF)), glide_interval, 0);
            break;
        }
        default:
            break; // release marks and unknown kinds carry nothing for playback
        }
    }
}

void PlaybackEngine::release_pattern_voices() {
    for (MixVoice& voice : pool_.voices())
        if (!voice.has(VOICE_PREVIEW)) voice.flags &= ~(VOICE_IN_USE | VOICE_AUDITION);
}

void PlaybackEngine::write_report(uint32_t pattern_word, int32_t tick, bool last) {
    if (last && pending_reports() >= REPORT_RING - 1) {
        // The ring is full: the last report replaces the newest entry.
        reports_[(report_write_ - 1) % REPORT_RING] = {frame_count_, pattern_word, tick};
        return;
    }
    reports_[report_write_ % REPORT_RING] = {frame_count_, pattern_word, tick};
    ++report_write_;
}

void PlaybackEngine::wind_position() {
    int64_t t = int64_t(current_tick_) + wind_step_;
    const Pattern* pattern = pattern_at(current_pattern_);
    if (mode_ == PlayMode::PATTERN) {
        int64_t low = 0;
        if (solo_in_pattern_mode() && pattern)
            if (const Voice* solo = voice_with_id(*pattern, solo_voice_id_))
                low = first_note_on(*solo).value_or(0);
        t = std::clamp<int64_t>(t, low, std::max<int64_t>(low, pattern_end_));
    } else if (mode_ == PlayMode::BLOCK || mode_ == PlayMode::PREVIEW_ONLY) {
        const int64_t low = block_start_;
        t = std::clamp<int64_t>(t, low, std::max<int64_t>(low, block_limit()));
    } else {
        auto length_of = [&](uint32_t index) -> int64_t {
            const Pattern* p =
                index < song_.sequence.size() ? pattern_at(song_.sequence[index]) : nullptr;
            return p ? p->tick_length() : 0;
        };
        while (t > length_of(sequence_index_)) {
            if (sequence_index_ + 1 >= song_.sequence.size()) {
                t = length_of(sequence_index_); // past the last entry: stay at its end
                break;
            }
            t -= length_of(sequence_index_);
            ++sequence_index_;
        }
        while (t < 0) {
            if (sequence_index_ == 0) {
                t = 0; // before the first entry: its tick 0
                break;
            }
            --sequence_index_;
            t += length_of(sequence_index_);
        }
        if (sequence_index_ < song_.sequence.size())
            current_pattern_ = song_.sequence[sequence_index_];
    }
    seek(Tick(std::max<int64_t>(t, 0)), 0);
}

uint32_t PlaybackEngine::tick() {
    if (frame_count_ < wind_end_frame_) wind_position();
    int wraps = 0;
    for (;;) {
        const Pattern* pattern = pattern_at(current_pattern_);
        if (!pattern) break; // a sequence naming no pattern ends here
        const uint32_t word = current_pattern_ | (recording_ ? REPORT_RECORDING : 0);
        if (pending_reports() < REPORT_RING - 1 && current_tick_ < pattern->tick_length())
            write_report(word, int32_t(current_tick_), false);
        const size_t next_point = size_t(tempo_point_index_ + 1);
        if (next_point < pattern->tempo_points.size() &&
            pattern->tempo_points[next_point].tick <= current_tick_)
            ++tempo_point_index_;
        if (states_.size() < pattern->voices.size()) states_.resize(pattern->voices.size());
        for (size_t v = 0; v < pattern->voices.size(); ++v)
            if (!skips(pattern->voices[v])) process_events(pattern->voices[v], states_[v]);

        last_processed_tick_ = current_tick_;
        ++current_tick_;
        if (last_processed_tick_ < block_limit()) return frames_per_tick_[tempo_value_in_effect()];

        // The end of the pattern or block: the boundary takes no time.
        release_pattern_voices();
        bool again = false;
        Tick start = 0;
        if (mode_ == PlayMode::BLOCK) {
            // A block that holds no tick (its start not below its end) plays its first tick once.
            again = repeat_ && block_start_ < block_limit();
            start = block_start_;
            ++wraps;
        } else if (mode_ == PlayMode::PATTERN) {
            again = repeat_;
            ++wraps;
            if (again && solo_in_pattern_mode()) {
                const Voice* solo = voice_with_id(*pattern, solo_voice_id_);
                const std::optional<Tick> first = solo ? first_note_on(*solo) : std::nullopt;
                again = first.has_value();
                start = first.value_or(0);
            }
        } else if (mode_ == PlayMode::SONG) {
            if (sequence_index_ + 1 < song_.sequence.size()) {
                ++sequence_index_;
                again = true;
            } else if (repeat_ && !song_.sequence.empty()) {
                sequence_index_ = uint32_t(std::clamp<int64_t>(song_.repeat_position, 0,
                                                               int64_t(song_.sequence.size()) - 1));
                again = true;
                ++wraps;
            }
            if (again) current_pattern_ = song_.sequence[sequence_index_];
        }
        // A second wrap within one tick means nothing between the wraps takes time.
        if (!again || wraps > 1) break;
        seek(start, 0);
    }
    sequence_ended_ = true;
    const uint32_t word = (current_pattern_ | (recording_ ? REPORT_RECORDING : 0)) | REPORT_LAST;
    write_report(word, int32_t(last_processed_tick_), true);
    return 0;
}

void PlaybackEngine::wind(int direction) {
    const int64_t step = direction - 1;
    const bool same_direction = (wind_step_ > 0) == (step > 0);
    if (frame_count_ < wind_end_frame_ && same_direction) {
        wind_step_ = int64_t((now_ms() - wind_start_ms_) / 1000 + 1) * step;
    } else {
        wind_step_ = step;
        wind_start_ms_ = now_ms();
    }
    wind_end_frame_ = frame_count_ + format_.rate / 3;
    last_preview_activity_ = frame_count_;
    lead_ = buffers_;
}

} // namespace tunemill
