// The engine half around the sequencer: opening, the play starts, render block with its chunking
// at tick boundaries and its stop rules, previews and auditions, the editor notifications and the
// position report ring.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "playback/engine.h"

namespace tunemill {

namespace {
constexpr uint64_t PREVIEW_TIMEOUT_SECONDS = 5;
constexpr uint64_t LOW_LATENCY_SECONDS = 10;
} // namespace

PlaybackEngine::PlaybackEngine(Song& song) : song_(song) {
    pool_.reserve(VoicePool::GROWTH);
    states_.reserve(64);
    key_rate_divisor_ = key_rate_divisor(format_.rate);
    build_frames_per_tick();
    (void)eight_bit_levels(); // built with the engine, not in the first block
}

PlaybackEngine::~PlaybackEngine() = default;

uint64_t PlaybackEngine::now_ms() const {
    if (clock_) return clock_();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

void PlaybackEngine::set_format(const OutputFormat& format) {
    format_ = format;
    format_.amplification = std::min(format_.amplification, 90u);
    format_.rate = std::max(format_.rate, 1u);
    key_rate_divisor_ = key_rate_divisor(format_.rate);
    // Every gain depends on the channel count and the amplification.
    for (MixVoice& voice : pool_.voices())
        voice.flags |= VOICE_GAINS_STALE;
}

void PlaybackEngine::reserve_block(uint32_t frames) {
    if (!format_.sixteen_bit)
        mix_buffer_.resize(std::max(mix_buffer_.size(), size_t(frames) * format_.channels()));
}

void PlaybackEngine::open(bool keep_voices) {
    frame_count_ = 0;
    last_preview_activity_ = 0;
    wind_end_frame_ = 0;
    report_write_ = report_read_ = 0;
    sequence_ended_ = false;
    stop_ = false;
    drain_ = false;
    lock_timed_out_ = false;
    key_rate_divisor_ = key_rate_divisor(format_.rate);
    if (!keep_voices) {
        pool_.clear();
        frames_until_next_tick_ = 0;
    }
}

void PlaybackEngine::stop() {
    running_ = false;
    stop_ = false;
    drain_ = false;
    for (MixVoice& voice : pool_.voices())
        voice.flags &= ~VOICE_IN_USE;
}

void PlaybackEngine::request_stop(bool drain) {
    drain_ = drain;
    stop_ = true;
}

void PlaybackEngine::make_room(const Pattern& pattern) {
    // A voice sounds at most one mixer voice per key, and no more than it has notes.
    size_t notes = 0;
    for (const Voice& voice : pattern.voices) {
        const size_t starts =
            size_t(std::count_if(voice.events.begin(), voice.events.end(), [](const Event& event) {
                return event.kind == NOTE_ON || event.kind == PORTAMENTO;
            }));
        notes += std::min<size_t>(starts, KEY_COUNT);
    }
    states_.reserve(pattern.voices.size());
    // Room for the previews and auditions on top.
    pool_.reserve(notes + VoicePool::GROWTH);
}

void PlaybackEngine::make_room_for_song() {
    for (const Pattern& pattern : song_.patterns)
        make_room(pattern);
}

void PlaybackEngine::prepare_start() {
    make_room_for_song();
    stop();
    open(false);
    solo_voice_id_ = 0;
    recording_ = false;
    owner_ = nullptr;
    lead_ = 3 * buffers_;
}

bool PlaybackEngine::start_song(uint32_t sequence_index) {
    QuietSongLock lock(song_.lock);
    if (!lock || sequence_index >= song_.sequence.size()) return false;
    prepare_start();
    mode_ = PlayMode::SONG;
    sequence_index_ = sequence_index;
    current_pattern_ = song_.sequence[sequence_index];
    seek(0, 0);
    running_ = true;
    return true;
}

bool PlaybackEngine::start_pattern(uint32_t pattern) {
    QuietSongLock lock(song_.lock);
    if (!lock || !pattern_at(pattern)) return false;
    prepare_start();
    mode_ = PlayMode::PATTERN;
    current_pattern_ = pattern;
    seek(0, 0);
    running_ = true;
    return true;
}

bool PlaybackEngine::start_block(uint32_t pattern, Tick start, Tick end, uint32_t voice_index,
                                 bool all_voices) {
    QuietSongLock lock(song_.lock);
    const Pattern* p = pattern_at(pattern);
    if (!lock || !p) return false;
    prepare_start();
    mode_ = PlayMode::BLOCK;
    current_pattern_ = pattern;
    block_start_ = start;
    block_end_ = end;
    solo_voice_id_ =
        (!all_voices && voice_index < p->voices.size()) ? p->voices[voice_index].id : 0;
    seek(start, 0);
    running_ = true;
    return true;
}

bool PlaybackEngine::start_voice(uint32_t pattern, uint32_t voice_index) {
    QuietSongLock lock(song_.lock);
    const Pattern* p = pattern_at(pattern);
    stop(); // a running playback stops even when this voice has nothing to play
    if (!lock || !p || voice_index >= p->voices.size()) return false;
    const Voice& voice = p->voices[voice_index];
    Tick first = 0;
    bool has_note = false;
    for (const Event& event : voice.events)
        if (event.kind == NOTE_ON) {
            first = event.tick;
            has_note = true;
            break;
        }
    if (!has_note) return false;
    prepare_start();
    mode_ = PlayMode::PATTERN;
    current_pattern_ = pattern;
    solo_voice_id_ = voice.id;
    seek(first, 0);
    running_ = true;
    return true;
}

bool PlaybackEngine::start_recording(uint32_t pattern, Tick start, Tick end, uint32_t voice_index,
                                     bool block, bool all_voices) {
    QuietSongLock lock(song_.lock);
    const Pattern* p = pattern_at(pattern);
    if (!lock || !p) return false;
    prepare_start();
    mode_ = block ? PlayMode::BLOCK : PlayMode::PATTERN;
    recording_ = true;
    current_pattern_ = pattern;
    block_start_ = start;
    block_end_ = end;
    solo_voice_id_ =
        (!all_voices && voice_index < p->voices.size()) ? p->voices[voice_index].id : 0;
    seek(block ? start : 0, 0);
    lead_ = buffers_;
    running_ = true;
    return true;
}

bool PlaybackEngine::render_block(void* output, uint32_t frames) {
    return run_block(output, frames, nullptr);
}

bool PlaybackEngine::plan_block(uint32_t frames, BlockPlan& plan) {
    plan.frames = frames;
    plan.used = 0;
    const bool rendered = run_block(nullptr, frames, &plan);
    plan.sequence_ended = sequence_ended_;
    return rendered;
}

void PlaybackEngine::plan_chunk(BlockPlan& plan, uint32_t frames) const {
    if (plan.used == plan.chunks.size()) plan.chunks.emplace_back();
    PlannedChunk& chunk = plan.chunks[plan.used++];
    chunk.frames = frames;
    chunk.frame_count = frame_count_;
    std::vector<MixVoice>& voices = chunk.voices.voices();
    voices.clear();
    for (const MixVoice& voice : pool_.voices())
        if (voice.has(VOICE_RUNNING) && voice.has(VOICE_IN_USE)) voices.push_back(voice);
}

bool PlaybackEngine::run_block(void* output, uint32_t frames, BlockPlan* plan) {
    QuietSongLock lock(song_.lock);
    if (!lock) {
        lock_timed_out_ = true;
        return false;
    }
    if (stop_) return false;
    if (mode_ == PlayMode::PREVIEW_ONLY) sequence_ended_ = true;
    if (reseek_) {
        if (sequence_ended_)
            release_pattern_voices();
        else
            seek(current_tick_, -int64_t(frames_until_next_tick_));
        reseek_ = false;
    }

    const uint32_t channels = format_.channels();
    int16_t* mix = static_cast<int16_t*>(output);
    if (plan) {
        // The silent kernels write nothing; the mix position only has to point somewhere real.
        plan_buffer_.resize(std::max(plan_buffer_.size(), size_t(frames) * channels));
        mix = plan_buffer_.data();
    } else if (!format_.sixteen_bit) {
        reserve_block(frames);
        mix = mix_buffer_.data();
    }
    if (!plan) std::memset(mix, 0, size_t(frames) * channels * sizeof(int16_t));

    bool audible = false;
    uint32_t remaining = frames;
    int16_t* position = mix;
    while (remaining > 0) {
        if (!sequence_ended_ && frames_until_next_tick_ == 0) {
            frames_until_next_tick_ = tick();
            if (frames_until_next_tick_ == 0) sequence_ended_ = true;
        }
        const uint32_t chunk =
            sequence_ended_ ? remaining : std::min(frames_until_next_tick_, remaining);
        // A plan records the voices as they stand, then only moves them on.
        if (plan) plan_chunk(*plan, chunk);
        const ChunkReport report =
            plan ? mix_chunk(pool_, song_.instruments, format_, position, chunk, frame_count_,
                             silent_kernels(), short_loops_ ? &*short_loops_ : nullptr)
                 : mix_chunk(pool_, song_.instruments, format_, position, chunk, frame_count_,
                             kernels(), short_loops_ ? &*short_loops_ : nullptr);
        if (report.audible > 0) audible = true;
        if (report.preview_mixed) {
            last_preview_activity_ = frame_count_;
            lead_ = buffers_;
        }
        if (!sequence_ended_) frames_until_next_tick_ -= chunk;
        remaining -= chunk;
        position += size_t(chunk) * channels;
        frame_count_ += chunk;
    }
    finish_block(audible);

    if (!format_.sixteen_bit && !plan)
        convert_to_8_bits(static_cast<uint8_t*>(output), mix, size_t(frames) * channels);
    return true;
}

void PlaybackEngine::finish_block(bool audible) {
    const uint64_t idle_seconds =
        (frame_count_ - std::min(last_preview_activity_, frame_count_)) / format_.rate;
    if (sequence_ended_) {
        if (audible) mode_ = PlayMode::PREVIEW_ONLY;
        if (mode_ != PlayMode::PREVIEW_ONLY || idle_seconds >= PREVIEW_TIMEOUT_SECONDS)
            request_stop(true);
    }
    if (lead_ == buffers_ && idle_seconds >= LOW_LATENCY_SECONDS && !recording_)
        lead_ = 3 * buffers_;
}

// --- Previews and auditions ----------------------------------------------------------------------

uint32_t PlaybackEngine::start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                            uint32_t balance, uint32_t length_ms) {
    if (!lock_song(song_, false)) return 0;
    uint32_t handle = 0;
    {
        std::unique_lock<std::mutex> engine_lock(engine_mutex_, std::defer_lock);
        if (running_) engine_lock.lock();
        if (instrument < song_.instruments.size() && key < KEY_COUNT) {
            if (!running_) {
                open(false);
                mode_ = PlayMode::PREVIEW_ONLY;
                sequence_ended_ = true;
                lead_ = buffers_;
                running_ = true;
            }
            if (MixVoice* voice = pool_.allocate()) {
                voice->flags |= VOICE_PREVIEW;
                voice->pattern_voice_id = PREVIEW_VOICE_ID;
                voice->instrument = instrument;
                voice->key = key;
                voice->position = 0;
                voice->fraction = 0;
                voice->step = step_of(instrument, key);
                voice->volume = std::min(volume, PREVIEW_VOLUME);
                voice->balance = std::min(balance, 30u);
                voice->end_frame = length_ms == 0
                                       ? HELD_UNTIL_RELEASED
                                       : frame_count_ + uint64_t(length_ms) * format_.rate / 1000;
                if (++preview_handles_ == 0) preview_handles_ = 1; // never 0
                voice->preview_handle = preview_handles_;
                handle = preview_handles_;
                last_preview_activity_ = frame_count_;
            }
        }
    }
    unlock_song(song_, false);
    return handle;
}

void PlaybackEngine::release_preview_note(uint32_t handle) {
    if (handle == 0 || !lock_song(song_, false)) return;
    for (MixVoice& voice : pool_.voices())
        if (voice.has(VOICE_PREVIEW) && voice.preview_handle == handle)
            voice.flags &= ~VOICE_IN_USE;
    unlock_song(song_, false);
}

std::array<bool, KEY_COUNT> PlaybackEngine::sounding_keys(uint32_t instrument) {
    std::array<bool, KEY_COUNT> keys{};
    if (!running_ || !lock_song(song_, false)) return keys;
    for (const MixVoice& voice : pool_.voices())
        if (voice.instrument == instrument && voice.key < KEY_COUNT && voice.has(VOICE_PREVIEW) &&
            voice.has(VOICE_IN_USE) && voice.has(VOICE_RUNNING))
            keys[voice.key] = true;
    unlock_song(song_, false);
    return keys;
}

void PlaybackEngine::audition_note(uint32_t pattern, uint32_t voice_index, uint32_t key,
                                   uint32_t length_ms) {
    if (!running_ || pattern != current_pattern_ || mode_ == PlayMode::PREVIEW_ONLY) return;
    const Pattern* p = pattern_at(pattern);
    if (!p || voice_index >= p->voices.size() || key >= KEY_COUNT) return;
    const Voice& owner = p->voices[voice_index];
    if (owner.instrument >= song_.instruments.size()) return;
    std::lock_guard<std::mutex> engine_lock(engine_mutex_);
    for (MixVoice& voice : pool_.voices())
        if (voice.has(VOICE_IN_USE) && voice.pattern_voice_id == owner.id && voice.key == key)
            voice.flags &= ~(VOICE_IN_USE | VOICE_AUDITION);
    MixVoice* voice = pool_.allocate();
    if (!voice) return;
    voice->flags |= VOICE_AUDITION;
    voice->pattern_voice_id = owner.id;
    voice->instrument = owner.instrument;
    voice->key = key;
    voice->position = 0;
    voice->fraction = 0;
    voice->step = step_of(owner.instrument, key);
    voice->volume = DEFAULT_VOLUME;
    voice->balance = DEFAULT_BALANCE;
    voice->end_frame = frame_count_ + uint64_t(length_ms) * format_.rate / 1000;
    reseek_ = true;
    last_preview_activity_ = frame_count_;
    lead_ = buffers_;
}

// --- Editor notifications ------------------------------------------------------------------------

void PlaybackEngine::pattern_changed(int32_t pattern) {
    if (pattern < 0)
        make_room_for_song();
    else if (const Pattern* changed = pattern_at(uint32_t(pattern)))
        make_room(*changed);
    if (pattern < 0 || uint32_t(pattern) == current_pattern_) reseek_ = true;
}

void PlaybackEngine::instrument_removed(uint32_t index) {
    for (MixVoice& voice : pool_.voices()) {
        if (!voice.has(VOICE_PREVIEW)) continue;
        if (voice.instrument == index)
            voice.flags &= ~VOICE_IN_USE;
        else if (voice.instrument > index)
            --voice.instrument;
    }
    // Pattern voices name instruments by index too; the seek takes the new indices.
    reseek_ = true;
}

void PlaybackEngine::ticks_inserted(uint32_t pattern, Tick tick, Tick count) {
    if (pattern != current_pattern_) return;
    if (current_tick_ >= tick) current_tick_ += count;
    reseek_ = true;
}

void PlaybackEngine::ticks_removed(uint32_t pattern, Tick tick, Tick count) {
    if (pattern != current_pattern_) return;
    const uint64_t end = uint64_t(tick) + count;
    if (current_tick_ >= tick && current_tick_ < end)
        current_tick_ = tick;
    else if (current_tick_ >= end)
        current_tick_ -= count;
    reseek_ = true;
}

void PlaybackEngine::pattern_removed(uint32_t pattern) {
    if (mode_ == PlayMode::SONG) {
        follow_sequence();
    } else if (pattern == current_pattern_) {
        if (mode_ == PlayMode::PATTERN || mode_ == PlayMode::BLOCK) request_stop();
    } else if (pattern < current_pattern_) {
        --current_pattern_;
    }
}

void PlaybackEngine::pattern_inserted(uint32_t index) {
    if (mode_ == PlayMode::SONG)
        follow_sequence();
    else if (current_pattern_ >= index)
        ++current_pattern_;
}

void PlaybackEngine::follow_sequence() {
    if (sequence_index_ >= song_.sequence.size()) return;
    if (song_.sequence[sequence_index_] == current_pattern_) return;
    current_pattern_ = song_.sequence[sequence_index_];
    reseek_ = true;
}

void PlaybackEngine::sequence_entry_inserted(uint32_t index) {
    if (mode_ == PlayMode::SONG && sequence_index_ >= index) ++sequence_index_;
}

void PlaybackEngine::sequence_entry_removed(uint32_t index) {
    if (mode_ != PlayMode::SONG) return;
    if (index == sequence_index_) {
        if (song_.sequence.empty()) {
            request_stop();
            return;
        }
        sequence_index_ = std::min<uint32_t>(sequence_index_, uint32_t(song_.sequence.size() - 1));
        current_pattern_ = song_.sequence[sequence_index_];
        current_tick_ = 0;
        reseek_ = true;
    } else if (index < sequence_index_) {
        --sequence_index_;
    }
}

// --- Position reports ----------------------------------------------------------------------------

std::optional<PositionReport> PlaybackEngine::take_reports_until(uint64_t frame) {
    std::optional<PositionReport> taken;
    while (report_read_ < report_write_ && reports_[report_read_ % REPORT_RING].frame <= frame) {
        taken = reports_[report_read_ % REPORT_RING];
        ++report_read_;
    }
    return taken;
}

std::optional<PositionReport> PlaybackEngine::newest_report() const {
    if (report_write_ == 0) return std::nullopt;
    return reports_[(report_write_ - 1) % REPORT_RING];
}

void mix_planned_block(BlockPlan& plan, std::span<const Instrument> instruments,
                       const OutputFormat& format, uint8_t* output, PlannedMixing& mixing) {
    const size_t samples = size_t(plan.frames) * format.channels();
    int16_t* mix = reinterpret_cast<int16_t*>(output);
    if (!format.sixteen_bit) {
        mixing.mix.resize(samples);
        mix = mixing.mix.data();
    }
    std::memset(mix, 0, samples * sizeof(int16_t));
    int16_t* position = mix;
    for (size_t i = 0; i < plan.used; ++i) {
        PlannedChunk& planned = plan.chunks[i]; // mixing moves its voices on: used up
        mix_chunk(planned.voices, instruments, format, position, planned.frames,
                  planned.frame_count, kernels(), &mixing.short_loops);
        position += size_t(planned.frames) * format.channels();
    }
    if (!format.sixteen_bit) convert_to_8_bits(output, mix, samples);
}

} // namespace tunemill
