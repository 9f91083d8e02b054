// The playback engine: the sequencer that walks song time (play starts, tick, seek, tempo,
// pattern ends, repeat, solo, winding, previews and auditions, editor notifications, position
// reports) and render block, which drives it and the mixer one output block at a time. The engine
// renders for whoever asks: the output thread, or the WAV writer on a private engine.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "playback/mixer.h"
#include "song/observer.h"
#include "song/song.h"

namespace tunemill {

enum class PlayMode : uint8_t { SONG = 0, PATTERN = 1, BLOCK = 2, PREVIEW_ONLY = 3 };

// Per voice of the current pattern: the next event to process and the curves in effect.
struct EngineVoiceState {
    size_t next_event = 0;
    uint32_t volume = DEFAULT_VOLUME;
    uint32_t balance = DEFAULT_BALANCE;
};

// Pattern words of position reports.
constexpr uint32_t REPORT_RECORDING = 0x40000000;
constexpr uint32_t REPORT_LAST = 0x80000000;

struct PositionReport {
    uint64_t frame = 0;        // frame count at which the tick starts
    uint32_t pattern_word = 0; // pattern index | REPORT_RECORDING | REPORT_LAST
    int32_t tick = 0;

    bool operator==(const PositionReport&) const = default;
};

constexpr int WIND_FORWARD = 2;
constexpr int WIND_BACKWARD = -2;

// One stretch of a block between two ticks, planned ahead of its mixing: the voices to mix as
// they stand at its start.
struct PlannedChunk {
    uint32_t frames = 0;
    uint64_t frame_count = 0; // the engine's frame count at the stretch's start
    VoicePool voices;
};

// A block planned by the sequencer and the voices' bookkeeping, to be mixed later (on another
// thread) with exactly the sound render_block would have given. The storage is reused.
struct BlockPlan {
    uint32_t frames = 0;
    bool sequence_ended = false; // the song ended in this block
    std::vector<PlannedChunk> chunks;
    size_t used = 0; // chunks of this block; the rest keep their storage for the next
};

// What one mixing thread keeps from one planned block to the next.
struct PlannedMixing {
    ShortLoops short_loops;
    std::vector<int16_t> mix; // for 8-bit output
};

// Mixes a planned block into output in the format, using up the plan's voices. The song's
// instruments must not change meanwhile.
void mix_planned_block(BlockPlan& plan, std::span<const Instrument> instruments,
                       const OutputFormat& format, uint8_t* output, PlannedMixing& mixing);

class PlaybackEngine : public SongObserver {
  public:
    static constexpr size_t REPORT_RING = 128;
    static constexpr uint32_t DEFAULT_BUFFERS = 4;

    explicit PlaybackEngine(Song& song);
    ~PlaybackEngine() override;
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // --- Configuration ---
    void set_format(const OutputFormat& format);
    const OutputFormat& format() const { return format_; }
    // Takes effect for voices whose gains are recomputed next.
    void set_amplification(uint32_t amplification) {
        format_.amplification = std::min(amplification, 90u);
    }
    void set_repeat(bool repeat) { repeat_ = repeat; }
    // Offline rendering only: voices in short loops mix through loops laid out on first use
    // (which allocates), with the same sound. The device's engine never does.
    void lay_out_short_loops(bool on) {
        if (on)
            short_loops_.emplace();
        else
            short_loops_.reset();
    }
    bool repeat() const { return repeat_; }
    // Output blocks kept queued ahead in low-latency use; the lead is this or three times it.
    void set_buffers(uint32_t buffers) { buffers_ = std::max(buffers, 1u); }
    uint32_t lead() const { return lead_; }
    bool low_latency() const { return lead_ == buffers_; }
    // The clock of winding, in milliseconds (a steady clock unless a test sets another).
    void set_clock(std::function<uint64_t()> clock) { clock_ = std::move(clock); }

    // --- Opening and the play starts ---
    // Resets the counters, the report ring and the end and stop flags and recomputes the key rate
    // divisor; unless voices are kept, the pool is emptied and the next tick is due at once.
    void open(bool keep_voices);
    // Each start sets the engine up to play from its place (mode, solo, seek) and returns whether
    // there is anything to play; the output thread, or the WAV writer, then renders blocks.
    bool start_song(uint32_t sequence_index);
    bool start_pattern(uint32_t pattern);
    bool start_block(uint32_t pattern, Tick start, Tick end, uint32_t voice_index, bool all_voices);
    bool start_voice(uint32_t pattern, uint32_t voice_index);
    bool start_recording(uint32_t pattern, Tick start, Tick end, uint32_t voice_index, bool block,
                         bool all_voices);
    // Ends the playback: the voices stop at once (the output thread lets queued blocks play out
    // when asked to drain).
    void stop();
    // Asks for the stop without waiting; the next render returns 0.
    void request_stop(bool drain = false);
    bool stop_requested() const { return stop_.load(); }
    bool drain_requested() const { return drain_.load(); }
    bool running() const { return running_; }
    // The window that started the current block or recording playback (Parts 6.1, 7.2): set by
    // whoever starts one, cleared by every start.
    void set_owner(const void* owner) { owner_ = owner; }
    const void* owner() const { return owner_; }

    // --- Rendering ---
    // Renders frames frames into output in the output format under the song lock; false when
    // nothing was rendered (the lock was not obtained, or the engine is stopping).
    bool render_block(void* output, uint32_t frames);
    // All render_block does but the mixing: the sequencer runs, the voices move on exactly as
    // mixing moves them, and the plan records what each stretch between ticks is to mix.
    bool plan_block(uint32_t frames, BlockPlan& plan);
    // Makes the 8-bit conversion buffer big enough for blocks of this many frames ahead of time.
    void reserve_block(uint32_t frames);
    bool lock_timed_out() const { return lock_timed_out_; }

    // --- Previews and auditions ---
    // A preview note (keyboard window, MIDI): returns its handle, 0 when no voice was free. An
    // idle engine is opened in preview-only mode.
    uint32_t start_preview_note(uint32_t instrument, uint32_t key, uint32_t volume,
                                uint32_t balance, uint32_t length_ms);
    void release_preview_note(uint32_t handle);
    // Keys of the instrument sounding as preview notes.
    std::array<bool, KEY_COUNT> sounding_keys(uint32_t instrument);
    // A note auditioned from the pattern editor while its pattern plays.
    void audition_note(uint32_t pattern, uint32_t voice_index, uint32_t key, uint32_t length_ms);

    // --- Winding (direction WIND_FORWARD or WIND_BACKWARD, repeated while held) ---
    void wind(int direction);

    // --- Editor notifications (called under the song lock after the change) ---
    void pattern_changed(int32_t pattern) override;
    void instrument_removed(uint32_t index) override;
    void ticks_inserted(uint32_t pattern, Tick tick, Tick count);
    void ticks_removed(uint32_t pattern, Tick tick, Tick count);
    void pattern_removed(uint32_t pattern) override;
    void pattern_inserted(uint32_t index) override;
    void sequence_entry_inserted(uint32_t index);
    void sequence_entry_removed(uint32_t index);
    void tempo_changed() { reseek_ = true; }

    // --- Position reports (read by whoever renders, outside the song lock) ---
    // The newest report at or before the frame, consuming every report up to it.
    std::optional<PositionReport> take_reports_until(uint64_t frame);
    size_t pending_reports() const { return report_write_ - report_read_; }
    // The newest report written (after the end, the last one), if any.
    std::optional<PositionReport> newest_report() const;

    // --- State, for the output thread, the windows and tests ---
    PlayMode mode() const { return mode_; }
    bool recording() const { return recording_; }
    bool sequence_ended() const { return sequence_ended_; }
    uint32_t sequence_index() const { return sequence_index_; }
    uint32_t current_pattern() const { return current_pattern_; }
    Tick current_tick() const { return current_tick_; }
    Tick pattern_end() const { return pattern_end_; }
    uint64_t frame_count() const { return frame_count_; }
    uint32_t frames_until_next_tick() const { return frames_until_next_tick_; }
    uint32_t frames_per_tick(uint32_t value) const {
        return frames_per_tick_[std::min(value, 30u)];
    }
    uint32_t solo_voice_id() const { return solo_voice_id_; }
    uint64_t last_preview_activity() const { return last_preview_activity_; }
    const VoicePool& voices() const { return pool_; }
    VoicePool& voices() { return pool_; }
    const std::vector<EngineVoiceState>& voice_states() const { return states_; }
    Song& song() { return song_; }
    // The engine's own lock (registrations, previews, the end of the thread); taken after the
    // song lock.
    std::mutex& engine_mutex() { return engine_mutex_; }

    // Frames from tick `from` to tick `to` of the pattern with this engine's rate and the song's
    // tempo; and the frames of the whole sequence played once.
    uint64_t frames_between(const Pattern& pattern, Tick from, Tick to) const;
    uint64_t song_frames() const;

    // The sequencer's operations, called by render block (and by the starts); public for the
    // WAV writer and tests, always under the song lock.
    uint32_t tick();
    void seek(Tick tick, int64_t frame_offset);
    void seek_voice(const Pattern& pattern, size_t index, Tick tick, int64_t frame_offset);
    void resume_note(const Pattern& pattern, const Voice& voice, const Event& event, uint32_t key,
                     Tick tick, int64_t frame_offset);
    void settle_voices(const Pattern* pattern);
    void set_mode(PlayMode mode) { mode_ = mode; }

  private:
    const Pattern* pattern_at(uint32_t index) const;
    bool soloing() const { return solo_voice_id_ != 0; }
    bool skips(const Voice& voice) const { return soloing() && voice.id != solo_voice_id_; }
    bool solo_in_pattern_mode() const {
        return soloing() && mode_ == PlayMode::PATTERN && !recording_;
    }
    void build_frames_per_tick();
    // Song play: the pattern is the one the sequence names at the playing entry (after the
    // pattern list moved under it).
    void follow_sequence();
    uint32_t step_of(uint32_t instrument, uint32_t key) const;
    uint32_t tempo_value_in_effect() const;
    Tick block_limit() const;
    void wind_position();
    void process_events(const Voice& voice, EngineVoiceState& state);
    void release_pattern_voices();
    void update_curves(uint32_t voice_id, const EngineVoiceState& state);
    MixVoice* sounding_voice(uint32_t voice_id, uint32_t key);
    void write_report(uint32_t pattern_word, int32_t tick, bool last);
    void prepare_start();
    // Makes room, on the caller's side of the song lock, for every voice state and mixer voice
    // the pattern (or every pattern of the song) can need at once, so that rendering a block never
    // has to grow them.
    void make_room(const Pattern& pattern);
    void make_room_for_song();
    void finish_block(bool audible);
    bool run_block(void* output, uint32_t frames, BlockPlan* plan);
    void plan_chunk(BlockPlan& plan, uint32_t frames) const;
    uint64_t now_ms() const;

    Song& song_;
    OutputFormat format_;
    VoicePool pool_;
    bool repeat_ = false;
    uint32_t buffers_ = DEFAULT_BUFFERS;
    uint32_t lead_ = 3 * DEFAULT_BUFFERS;
    std::function<uint64_t()> clock_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> drain_{false};
    bool running_ = false;
    bool lock_timed_out_ = false;

    PlayMode mode_ = PlayMode::SONG;
    bool recording_ = false;
    const void* owner_ = nullptr;
    uint32_t solo_voice_id_ = 0;
    uint32_t sequence_index_ = 0;
    uint32_t current_pattern_ = 0;
    Tick current_tick_ = 0;
    Tick last_processed_tick_ = 0;
    Tick pattern_end_ = 0;
    Tick block_start_ = 0;
    Tick block_end_ = 0;
    int64_t tempo_point_index_ = -1;
    std::array<uint32_t, 31> frames_per_tick_{};
    uint32_t frames_until_next_tick_ = 0;
    uint64_t frame_count_ = 0;
    bool sequence_ended_ = false;
    bool reseek_ = false;
    int64_t wind_step_ = 0;
    uint64_t wind_end_frame_ = 0;
    uint64_t wind_start_ms_ = 0;
    uint64_t last_preview_activity_ = 0;
    uint32_t preview_handles_ = 0;
    uint32_t key_rate_divisor_ = 0;
    std::vector<EngineVoiceState> states_;
    std::array<PositionReport, REPORT_RING> reports_{};
    size_t report_write_ = 0; // monotonically counting; the slot is the index mod REPORT_RING
    size_t report_read_ = 0;
    std::vector<int16_t> mix_buffer_;  // for 8-bit output
    std::vector<int16_t> plan_buffer_; // the mix position of planned blocks, never written
    std::optional<ShortLoops> short_loops_;
    std::mutex engine_mutex_;
};

} // namespace tunemill
