// The sequencer and render block on songs built in memory: song time per tick (as a readable
// trace), pattern ends, repeat, zero-length patterns, blocks, solo voices, winding, re-seeks with
// frame offsets, previews, the stop rules and the position reports.
#include <gtest/gtest.h>

#include <string>

#include "playback/engine.h"

namespace tunemill {
namespace {

constexpr uint32_t RATE = 8000; // 1000 frames per tick at the default tempo

// A 16-bit ramp (frame i holds i % 20000), so that the output shows the play position.
Instrument ramp_instrument(uint32_t length = 60000, uint32_t loop_start = NO_LOOP) {
    Instrument instrument =
        make_sampled_instrument("ramp", NO_CATEGORY, length, loop_start, 8000, 2, false);
    for (uint32_t i = 0; i < length; ++i)
        instrument.samples16()[i] = int16_t(i % 20000);
    return instrument;
}

struct SongFixture : ::testing::Test {
    Song song;
    PlaybackEngine engine{song};

    SongFixture() {
        song.instruments.push_back(ramp_instrument());
        OutputFormat format;
        format.rate = RATE;
        format.interpolate = false;
        format.amplification = 70; // unity gain at volume 30, balance 15
        engine.set_format(format);
    }

    size_t pattern(int32_t length) {
        add_pattern(song, "P" + std::to_string(song.patterns.size()));
        song.patterns.back().length = length;
        return song.patterns.size() - 1;
    }
    Voice& voice(size_t p) {
        add_voice(song.patterns[p], 0);
        return song.patterns[p].voices.back();
    }
    static void note(Voice& v, Tick on, Tick off, Key key) {
        insert_event(v, on, NOTE_ON, key);
        insert_event(v, off, NOTE_OFF, key);
    }

    // pattern:tick of every tick processed, "end" once the sequence ends.
    std::string trace(int ticks) {
        std::string out;
        for (int i = 0; i < ticks; ++i) {
            const uint32_t frames = engine.tick();
            if (!out.empty()) out += ' ';
            if (frames == 0) return out + "end";
            out += std::to_string(engine.current_pattern()) + ":" +
                   std::to_string(engine.current_tick() - 1);
            if (frames != 1000) out += "/" + std::to_string(frames);
        }
        return out;
    }

    std::vector<int16_t> render(uint32_t frames) {
        std::vector<int16_t> out(size_t(frames) * engine.format().channels());
        EXPECT_TRUE(engine.render_block(out.data(), frames));
        return out;
    }

    size_t sounding() const {
        size_t count = 0;
        for (const MixVoice& v : engine.voices().voices())
            count += v.has(VOICE_IN_USE);
        return count;
    }
};

TEST_F(SongFixture, FramesPerTickFollowTempoAndRate) {
    OutputFormat format;
    format.rate = 44100;
    engine.set_format(format);
    pattern(4);
    song.sequence = {0};
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(engine.frames_per_tick(20), 5513u); // 125 ms
    song.overall_tempo = 0;
    engine.seek(0, 0);
    EXPECT_EQ(engine.frames_per_tick(0), 1378u); // ((40 * 44100 + 640) / 1280)
    EXPECT_EQ(engine.frames_per_tick(30), 5513u);
}

TEST_F(SongFixture, TempoPointsChangeTheTickLength) {
    const size_t p = pattern(4);
    song.patterns[p].tempo_points.push_back({2, 30});
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(5), "0:0 0:1 0:2/2000 0:3/2000 end");
    EXPECT_EQ(engine.frames_between(song.patterns[p], 0, 4), 6000u);
    EXPECT_EQ(engine.song_frames(), 6000u);
}

TEST_F(SongFixture, ZeroLengthPatternTakesNoTime) {
    pattern(2);
    pattern(0);
    pattern(1);
    song.sequence = {0, 1, 2};
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(6), "0:0 0:1 2:0 end");
}

TEST_F(SongFixture, RepeatGoesBackToTheRepeatPosition) {
    pattern(1);
    pattern(2);
    song.sequence = {0, 1};
    song.repeat_position = 1;
    engine.set_repeat(true);
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(7), "0:0 1:0 1:1 1:0 1:1 1:0 1:1");
}

TEST_F(SongFixture, RepeatOntoEmptyPatternsEndsInsteadOfLoopingForever) {
    pattern(2);
    pattern(0);
    song.sequence = {0, 1, 1};
    song.repeat_position = 1;
    engine.set_repeat(true);
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(4), "0:0 0:1 end");

    // A sequence of nothing but empty patterns ends at the first tick.
    song.sequence = {1};
    song.repeat_position = 0;
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(2), "end");
}

TEST_F(SongFixture, PatternModeRepeatsThePatternAndSoloStartsAtTheFirstNote) {
    const size_t p = pattern(4);
    Voice& a = voice(p);
    note(a, 0, 4, 30);
    Voice& b = voice(p);
    note(b, 1, 3, 40);
    engine.set_repeat(true);
    ASSERT_TRUE(engine.start_pattern(uint32_t(p)));
    EXPECT_EQ(trace(6), "0:0 0:1 0:2 0:3 0:0 0:1");

    // Solo voice: from its first note on to its last note off, only its notes.
    ASSERT_TRUE(engine.start_voice(uint32_t(p), 1));
    EXPECT_EQ(engine.solo_voice_id(), b.id);
    EXPECT_EQ(engine.pattern_end(), 3u);
    EXPECT_EQ(trace(5), "0:1 0:2 0:1 0:2 0:1");
    for (const MixVoice& v : engine.voices().voices())
        if (v.has(VOICE_IN_USE)) {
            EXPECT_EQ(v.key, 40u);
        }

    // A voice without notes plays nothing.
    voice(p);
    EXPECT_FALSE(engine.start_voice(uint32_t(p), 2));
    EXPECT_FALSE(engine.running());
}

TEST_F(SongFixture, BlockEndEventsAreProcessedThenNotesRelease) {
    const size_t p = pattern(8);
    Voice& v = voice(p);
    note(v, 1, 6, 30);
    insert_event(v, 4, VOLUME, 12);
    ASSERT_TRUE(engine.start_block(uint32_t(p), 2, 4, 0, true));
    EXPECT_EQ(sounding(), 1u); // the seek found the note begun before the block
    EXPECT_EQ(trace(3), "0:2 0:3 end");
    EXPECT_EQ(engine.voice_states()[0].volume, 12u); // the event at the block end was processed
    EXPECT_EQ(sounding(), 0u);

    engine.set_repeat(true);
    ASSERT_TRUE(engine.start_block(uint32_t(p), 2, 4, 0, true));
    EXPECT_EQ(trace(5), "0:2 0:3 0:2 0:3 0:2");

    // A block holding no tick plays its first tick once, even with repeat.
    ASSERT_TRUE(engine.start_block(uint32_t(p), 5, 5, 0, true));
    EXPECT_EQ(trace(2), "end");
    ASSERT_TRUE(engine.start_block(uint32_t(p), 9, 12, 0, true)); // beyond the pattern
    EXPECT_EQ(trace(2), "end");
}

TEST_F(SongFixture, NoteOffAndOnAtOneTickSoundsTheKeyAgain) {
    const size_t p = pattern(5);
    Voice& v = voice(p);
    note(v, 0, 2, 36);
    note(v, 2, 4, 36);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    const std::vector<int16_t> out = render(4000);
    const uint32_t step = key_step(8000, 36, key_rate_divisor(RATE));
    for (uint32_t frame : {0u, 1999u, 2000u, 2500u, 3999u}) {
        const uint32_t since = frame < 2000 ? frame : frame - 2000;
        EXPECT_EQ(out[frame * 2], int16_t((uint64_t(since) * step >> 16) % 20000)) << frame;
    }
}

TEST_F(SongFixture, NotesStartAtTheirTickInsideABlock) {
    const size_t p = pattern(4);
    Voice& v = voice(p);
    note(v, 1, 3, 36);
    insert_event(v, 2, BALANCE, 30); // all left from tick 2 on
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    const std::vector<int16_t> out = render(3500);
    for (uint32_t frame = 0; frame < 1000; ++frame)
        ASSERT_EQ(out[frame * 2], 0) << frame;
    const uint32_t step = key_step(8000, 36, key_rate_divisor(RATE));
    EXPECT_EQ(out[1000 * 2], 0); // ramp value 0 at the onset
    EXPECT_EQ(out[1500 * 2], int16_t(uint64_t(500) * step >> 16));
    EXPECT_EQ(out[1500 * 2 + 1], out[1500 * 2]); // centre: right as loud as left
    EXPECT_EQ(out[2500 * 2 + 1], 0);             // balance 30: right silent
    EXPECT_GT(out[2500 * 2], 0);
    for (uint32_t frame = 3000; frame < 3500; ++frame)
        ASSERT_EQ(out[frame * 2], 0) << frame;
}

// Rendering in blocks of 700 frames, optionally asking for a re-seek before every block.
// An instrument rate at which the slide from key 36 to 41 over 83 glide steps (5 ticks at tempo
// value 25) divides evenly, so that the running glide ends exactly on its target.
uint32_t even_glide_rate() {
    const uint32_t divisor = key_rate_divisor(RATE);
    for (uint32_t rate = 8000;; ++rate)
        if ((key_step(rate, 41, divisor) - key_step(rate, 36, divisor)) % 83 == 0) return rate;
}

std::vector<int16_t> render_with_reseeks(bool reseek, bool interpolate, bool add_late_note) {
    Song song;
    song.instruments.push_back(ramp_instrument(60000, 30000));
    song.instruments.back().rate = even_glide_rate();
    add_pattern(song, "A");
    Pattern& p = song.patterns[0];
    p.length = 16;
    p.tempo_points.push_back({3, 25});
    p.tempo_points.push_back({9, 14});
    add_voice(p, 0);
    add_voice(p, 0);
    insert_event(p.voices[0], 0, NOTE_ON, 36);
    insert_event(p.voices[0], 2, VOLUME, 20);
    insert_event(p.voices[0], 3, PORTAMENTO, 36, 41, 5);
    insert_event(p.voices[0], 13, NOTE_OFF, 41);
    insert_event(p.voices[1], 1, NOTE_ON, 50);
    insert_event(p.voices[1], 1, NOTE_ON, 43);
    insert_event(p.voices[1], 6, BALANCE, 3);
    insert_event(p.voices[1], 15, NOTE_OFF, 50);
    insert_event(p.voices[1], 15, NOTE_OFF, 43);
    if (!add_late_note) {
        insert_event(p.voices[1], 4, NOTE_ON, 20);
        insert_event(p.voices[1], 12, NOTE_OFF, 20);
    }
    song.sequence = {0};
    PlaybackEngine engine(song);
    OutputFormat format;
    format.rate = RATE;
    format.interpolate = interpolate;
    engine.set_format(format);
    EXPECT_TRUE(engine.start_song(0));
    std::vector<int16_t> all;
    std::vector<int16_t> block(700 * 2);
    for (int i = 0; i < 30; ++i) {
        if (add_late_note && i == 12) {
            // The note is entered while the song plays past its start.
            insert_event(p.voices[1], 4, NOTE_ON, 20);
            insert_event(p.voices[1], 12, NOTE_OFF, 20);
            engine.pattern_changed(0);
        }
        if (reseek) engine.pattern_changed(0);
        if (!engine.render_block(block.data(), 700)) break;
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

TEST(Reseek, LeavesSoundingVoicesWhereTheyAre) {
    for (bool interpolate : {false, true}) {
        const std::vector<int16_t> reseeked = render_with_reseeks(true, interpolate, false);
        const std::vector<int16_t> straight = render_with_reseeks(false, interpolate, false);
        ASSERT_EQ(reseeked.size(), straight.size());
        for (size_t i = 0; i < straight.size(); ++i)
            ASSERT_EQ(reseeked[i], straight[i])
                << "sample " << i << (interpolate ? " interpolating" : "");
    }
}

TEST(Reseek, PlacesANoteEnteredDuringPlaybackAsIfItHadAlwaysBeenThere) {
    const std::vector<int16_t> late = render_with_reseeks(false, false, true);
    const std::vector<int16_t> always = render_with_reseeks(false, false, false);
    ASSERT_EQ(late.size(), always.size());
    // From the block after the edit on, the output is the same.
    for (size_t i = 13 * 700 * 2; i < late.size(); ++i)
        ASSERT_EQ(late[i], always[i]) << i;
}

TEST_F(SongFixture, PortamentoGlidesToTheTargetInTenMillisecondSteps) {
    const size_t p = pattern(6);
    Voice& v = voice(p);
    insert_event(v, 0, NOTE_ON, 30);
    insert_event(v, 1, PORTAMENTO, 30, 42, 2);
    insert_event(v, 5, NOTE_OFF, 42);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    const uint32_t divisor = key_rate_divisor(RATE);
    const uint32_t from = key_step(8000, 30, divisor), to = key_step(8000, 42, divisor);
    render(1000);
    render(1); // tick 1: the slide starts
    const MixVoice& mix = engine.voices().voices()[0];
    EXPECT_TRUE(mix.has(VOICE_GLIDING));
    EXPECT_EQ(mix.key, 42u);
    EXPECT_EQ(mix.glide_target, to);
    // 2000 frames in steps of 80 frames: 25 steps.
    EXPECT_EQ(mix.glide_steps_left, 25u);
    const int32_t delta = (int32_t(to) - int32_t(from)) / 25;
    EXPECT_EQ(mix.glide_delta, delta);
    render(1999);
    EXPECT_FALSE(mix.has(VOICE_GLIDING));
    EXPECT_EQ(mix.step, uint32_t(int32_t(from) + 25 * delta)); // not snapped to the target
    // A re-seek after the slide places the note at the target's step.
    engine.pattern_changed(int32_t(p));
    render(1);
    EXPECT_EQ(engine.voices().voices()[0].step, to);
    EXPECT_FALSE(engine.voices().voices()[0].has(VOICE_GLIDING));
}

TEST_F(SongFixture, MutedVoiceIsSilentButKeepsTime) {
    const size_t p = pattern(4);
    Voice& v = voice(p);
    note(v, 0, 4, 36);
    v.muted = true;
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    const std::vector<int16_t> out = render(2000);
    for (int16_t sample : out)
        ASSERT_EQ(sample, 0);
    EXPECT_GT(engine.voices().voices()[0].position, 1900u);
    // Unmuted and re-seeked, it sounds at its place.
    v.muted = false;
    engine.pattern_changed(uint32_t(p));
    const std::vector<int16_t> later = render(10);
    EXPECT_EQ(later[0], int16_t(uint64_t(2000) * key_step(8000, 36, key_rate_divisor(RATE)) >> 16));
}

TEST_F(SongFixture, WindingBackwardStopsAtTickZeroOfTheFirstEntry) {
    pattern(4);
    pattern(4);
    song.sequence = {0, 1};
    uint64_t now = 0;
    engine.set_clock([&] { return now; });
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(5), "0:0 0:1 0:2 0:3 1:0");
    engine.wind(WIND_BACKWARD); // 3 ticks back per tick: from 1:1 into the first entry
    EXPECT_EQ(trace(1), "0:2");
    engine.wind(WIND_BACKWARD);
    EXPECT_EQ(trace(1), "0:0");
    engine.wind(WIND_BACKWARD); // past tick 0 of the first entry
    EXPECT_EQ(trace(1), "0:0");
    // Forward carries over into the next entry and grows every second held.
    engine.wind(WIND_FORWARD);
    EXPECT_EQ(trace(1), "0:2");
    now = 2500;
    engine.wind(WIND_FORWARD); // 3 ticks per tick now
    EXPECT_EQ(trace(1), "1:2");
    engine.wind(WIND_FORWARD); // past the end of the last entry: stays at its end
    EXPECT_EQ(trace(1), "end");
}

TEST_F(SongFixture, TickNotificationsMoveTheCurrentTick) {
    const size_t p = pattern(20);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    trace(10); // current tick 10
    engine.ticks_inserted(uint32_t(p), 4, 3);
    EXPECT_EQ(engine.current_tick(), 13u);
    engine.ticks_removed(uint32_t(p), 12, 5);
    EXPECT_EQ(engine.current_tick(), 12u);
    engine.ticks_removed(uint32_t(p), 0, 2);
    EXPECT_EQ(engine.current_tick(), 10u);
    engine.ticks_inserted(uint32_t(p + 1), 0, 3); // another pattern
    EXPECT_EQ(engine.current_tick(), 10u);
}

TEST_F(SongFixture, SequenceNotificationsFollowTheEntry) {
    pattern(4);
    pattern(4);
    song.sequence = {0, 1, 0};
    ASSERT_TRUE(engine.start_song(1));
    song.sequence.insert(song.sequence.begin(), 1);
    engine.sequence_entry_inserted(0);
    EXPECT_EQ(engine.sequence_index(), 2u);
    song.sequence.erase(song.sequence.begin());
    engine.sequence_entry_removed(0);
    EXPECT_EQ(engine.sequence_index(), 1u);
    song.sequence.erase(song.sequence.begin() + 1);
    engine.sequence_entry_removed(1);
    EXPECT_EQ(engine.sequence_index(), 1u);
    EXPECT_EQ(engine.current_pattern(), 0u);
    song.sequence.clear();
    engine.sequence_entry_removed(1);
    EXPECT_TRUE(engine.stop_requested());
}

// Patterns inserted or deleted while one plays: the engine goes on with the same pattern under
// its new index (in song play, the one the sequence names at the playing entry).
TEST_F(SongFixture, PatternListMovesKeepThePlayingPattern) {
    for (int i = 0; i < 4; ++i)
        pattern(4);
    song.observers.add(&engine);
    const auto name_playing = [&] { return song.patterns[engine.current_pattern()].name; };

    ASSERT_TRUE(engine.start_pattern(2));
    delete_pattern(song, 0);
    song.observers.pattern_removed(0);
    EXPECT_EQ(name_playing(), "P2");
    add_pattern(song, "new", 0);
    song.observers.pattern_inserted(0);
    EXPECT_EQ(name_playing(), "P2");
    delete_pattern(song, 3);
    song.observers.pattern_removed(3);
    EXPECT_EQ(name_playing(), "P2");
    EXPECT_FALSE(engine.stop_requested());
    delete_pattern(song, engine.current_pattern());
    song.observers.pattern_removed(2);
    EXPECT_TRUE(engine.stop_requested());
    engine.stop();

    // Song play, as the sequence window deletes and inserts patterns: the song renumbers the
    // entries, the engine hears the entries that went, then the pattern.
    song.patterns.clear();
    for (int i = 0; i < 3; ++i)
        pattern(4);
    song.sequence = {0, 2, 1};
    ASSERT_TRUE(engine.start_song(1));
    EXPECT_EQ(name_playing(), "P2");
    delete_pattern(song, 0);
    engine.sequence_entry_removed(0);
    song.observers.pattern_removed(0);
    EXPECT_EQ(engine.sequence_index(), 0u);
    EXPECT_EQ(name_playing(), "P2");
    add_pattern(song, "other", 0);
    for (uint32_t& entry : song.sequence)
        ++entry;
    song.observers.pattern_inserted(0);
    EXPECT_EQ(name_playing(), "P2");
    EXPECT_EQ(trace(1), "2:0");
    song.observers.remove(&engine);
}

TEST_F(SongFixture, SongEndStopsAtOnceWhenNothingSounds) {
    pattern(2);
    song.sequence = {0};
    ASSERT_TRUE(engine.start_song(0));
    render(2500);
    EXPECT_TRUE(engine.sequence_ended());
    EXPECT_TRUE(engine.stop_requested());
    EXPECT_TRUE(engine.drain_requested());
    std::vector<int16_t> out(200);
    EXPECT_FALSE(engine.render_block(out.data(), 100));
}

TEST_F(SongFixture, SongEndingWhileNotesSoundTurnsToPreviewOnly) {
    const size_t p = pattern(2);
    note(voice(p), 0, 2, 36);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    render(3000);
    EXPECT_EQ(engine.mode(), PlayMode::PREVIEW_ONLY);
    EXPECT_FALSE(engine.stop_requested()); // the song is shorter than the preview time-out
    for (int i = 0; i < 5 && !engine.stop_requested(); ++i)
        render(8000);
    EXPECT_TRUE(engine.stop_requested());
    EXPECT_GE(engine.frame_count(), 5u * RATE);
}

TEST_F(SongFixture, PreviewNotesOpenAnIdleEngineAndTimeOut) {
    const uint32_t handle = engine.start_preview_note(0, 36, 30, 15, 100);
    EXPECT_EQ(handle, 1u);
    EXPECT_EQ(engine.mode(), PlayMode::PREVIEW_ONLY);
    EXPECT_TRUE(engine.low_latency());
    EXPECT_TRUE(engine.sounding_keys(0)[36]);
    const std::vector<int16_t> first = render(512);
    EXPECT_EQ(first[2 * 100],
              int16_t(uint64_t(100) * key_step(8000, 36, key_rate_divisor(RATE)) >> 16));
    render(512); // frame count 512 < end frame 800: still sounding
    EXPECT_TRUE(engine.sounding_keys(0)[36]);
    render(512); // reached: mixed, then released
    EXPECT_FALSE(engine.sounding_keys(0)[36]);
    const uint64_t last = engine.last_preview_activity();
    EXPECT_EQ(last, 1024u);
    while (!engine.stop_requested() && engine.frame_count() < 10 * RATE)
        render(512);
    EXPECT_TRUE(engine.stop_requested());
    EXPECT_GE(engine.frame_count() - last, 5u * RATE);
    EXPECT_LT(engine.frame_count() - last, 5u * RATE + 512);

    // Released by handle; the next handle is a new one.
    engine.stop();
    const uint32_t held = engine.start_preview_note(0, 40, 31, 0, 0);
    EXPECT_EQ(held, 2u);
    render(64);
    EXPECT_TRUE(engine.sounding_keys(0)[40]);
    engine.release_preview_note(held);
    EXPECT_FALSE(engine.sounding_keys(0)[40]);
    EXPECT_EQ(engine.start_preview_note(7, 40, 31, 0, 0), 0u); // no such instrument
}

TEST_F(SongFixture, AuditionSoundsDuringPlaybackOfItsPattern) {
    const size_t p = pattern(40);
    voice(p);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    render(500);
    engine.audition_note(uint32_t(p), 0, 50, 250);
    render(500); // the re-seek keeps the audition
    ASSERT_EQ(sounding(), 1u);
    EXPECT_TRUE(engine.voices().voices()[0].has(VOICE_AUDITION));
    render(2000);
    EXPECT_EQ(sounding(), 1u); // 250 ms = 2000 frames: the end is checked at each chunk's start
    render(1000);
    EXPECT_EQ(sounding(), 0u);
    engine.audition_note(uint32_t(p + 1), 0, 50, 250); // not the playing pattern
    EXPECT_EQ(sounding(), 0u);
}

TEST_F(SongFixture, PositionReportsOnePerTickAndALastOne) {
    const size_t p = pattern(3);
    note(voice(p), 0, 1, 36);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    render(1500);
    std::optional<PositionReport> report = engine.take_reports_until(1200);
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, (PositionReport{1000, 0, 1}));
    render(8000);
    EXPECT_EQ(engine.take_reports_until(2500), (PositionReport{2000, 0, 2}));
    EXPECT_EQ(engine.take_reports_until(~uint64_t(0)), (PositionReport{3000, REPORT_LAST, 3}));
    EXPECT_EQ(engine.pending_reports(), 0u);
}

TEST_F(SongFixture, ReportRingNeverOverflows) {
    pattern(500);
    song.sequence = {0};
    ASSERT_TRUE(engine.start_song(0));
    for (int i = 0; i < 300; ++i)
        engine.tick();
    EXPECT_EQ(engine.pending_reports(), PlaybackEngine::REPORT_RING - 1);
    EXPECT_EQ(engine.take_reports_until(~uint64_t(0))->tick, 126);
}

TEST_F(SongFixture, EightBitMonoOutput) {
    OutputFormat format;
    format.rate = RATE;
    format.stereo = false;
    format.sixteen_bit = false;
    format.interpolate = false;
    format.amplification = 70;
    engine.set_format(format);
    const size_t p = pattern(2);
    note(voice(p), 1, 2, 36);
    song.sequence = {uint32_t(p)};
    ASSERT_TRUE(engine.start_song(0));
    std::vector<uint8_t> out(2500);
    ASSERT_TRUE(engine.render_block(out.data(), 2500));
    EXPECT_EQ(out[0], 128);
    EXPECT_EQ(out[1000 + 600],
              uint8_t(((600 * key_step(8000, 36, key_rate_divisor(RATE)) >> 16) >> 8) + 128));
    EXPECT_EQ(out[2400], 128);
}

TEST_F(SongFixture, StartsRefuseWhatIsNotThere) {
    EXPECT_FALSE(engine.start_song(0)); // empty sequence
    pattern(2);
    song.sequence = {0};
    EXPECT_FALSE(engine.start_song(1));
    EXPECT_FALSE(engine.start_pattern(3));
    song.sequence = {7}; // a sequence naming no pattern ends at once
    ASSERT_TRUE(engine.start_song(0));
    EXPECT_EQ(trace(1), "end");
}

} // namespace
} // namespace tunemill
