// The mixer around the kernels: tables, gains, placement, glides, the voice pool, 8-bit
// conversion and the mixing of a chunk with preview notes.
#include <gtest/gtest.h>

#include "playback/mixer.h"

namespace tunemill {
namespace {

TEST(MixerTables, PitchTableHasEqualSemitonesAroundA440) {
    EXPECT_EQ(PITCH_TABLE[0], 2143237u);
    EXPECT_EQ(PITCH_TABLE[36], 17145893u);
    EXPECT_EQ(PITCH_TABLE[45], 440u * 65536u);
    EXPECT_EQ(PITCH_TABLE[83], 258937088u);
    for (uint32_t key = 12; key < PITCH_KEYS; ++key)
        EXPECT_NEAR(double(PITCH_TABLE[key]) / PITCH_TABLE[key - 12], 2.0, 1e-6) << key;
}

TEST(MixerTables, ScaleRoundsToNearest) {
    EXPECT_EQ(scale(10, 3, 4), 8u);                                    // 7.5 rounds up
    EXPECT_EQ(scale(10, 1, 4), 3u);                                    // 2.5 rounds up
    EXPECT_EQ(scale(9, 1, 4), 2u);                                     // 2.25
    EXPECT_EQ(scale(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), 0xFFFFFFFFu); // 64-bit intermediate
    EXPECT_EQ(scale(5, 5, 0), 0u);
}

TEST(MixerTables, KeyThirtySixPlaysTheSampleAtItsRecordedSpeed) {
    const uint32_t divisor = key_rate_divisor(44100);
    EXPECT_EQ(divisor, 11537883u);
    // 44100 Hz sample at key 36 into 44100 Hz output: step 1.0 (within rounding of 261.63 Hz).
    EXPECT_NEAR(double(key_step(44100, 36, divisor)), 65536.0, 2.0);
    EXPECT_NEAR(double(key_step(22050, 48, divisor)), 65536.0, 2.0);
    EXPECT_NEAR(double(key_step(44100, 24, divisor)), 32768.0, 2.0);
}

TEST(MixerTables, EightBitLevelTable) {
    const EightBitLevels& levels = eight_bit_levels();
    EXPECT_EQ(levels[0][0], 128);
    EXPECT_EQ(levels[256][0], -32640);
    EXPECT_EQ(levels[256][255], 32640);
    EXPECT_EQ(levels[100][128], 128);
    EXPECT_EQ(levels[3][130], 134);
}

struct GainCase {
    uint32_t volume, balance, amplification;
    bool stereo;
    uint32_t left, right;
};

TEST(Gains, FollowVolumeBalanceAmplificationAndTheCap) {
    const GainCase cases[] = {
        {30, 15, 10, true, 16384, 16384}, // a quarter of unity at amplification 10
        {30, 15, 70, true, 65536, 65536}, // unity at amplification 70
        {30, 30, 10, true, 16384, 0},     // all left, and the louder side stays at the centre gain
        {30, 0, 10, true, 0, 16384},      // all right
        {30, 15, 90, true, 65536, 65536}, // limited to unity
        {31, 30, 90, true, 65536, 0},
        {20, 15, 25, true, 98 * 256 * 35 / 80, 98 * 256 * 35 / 80},
        // below full volume the cap is 256: balance 30 doubles the left side
        {20, 30, 25, true, 2 * 98 * 256 * 35 / 80, 0},
        // d = ((30 - 20) * 98 + 7) / 15 = 65
        {20, 20, 25, true, (2 * 98 - 65) * 256 * 35 / 80, 65 * 256 * 35 / 80},
        {0, 15, 25, true, 0, 0},
        {1, 29, 0, true, (2 * 16 - 1) * 256 * 10 / 80, 1 * 256 * 10 / 80}, // V 16, d = 23 / 15 = 1
        {30, 3, 25, false, 256 * 256 * 35 / 80, 256 * 256 * 35 / 80},
        {31, 15, 90, false, 65536, 65536},
    };
    for (const GainCase& c : cases) {
        const Gains gains = voice_gains(c.volume, c.balance, c.amplification, c.stereo);
        EXPECT_EQ(gains.left, c.left) << c.volume << "/" << c.balance << "/" << c.amplification;
        EXPECT_EQ(gains.right, c.right) << c.volume << "/" << c.balance << "/" << c.amplification;
    }
}

TEST(Gains, RefreshMarksKernelConstantsStaleOnlyWhenAGainChanges) {
    MixVoice voice;
    voice.volume = 30;
    voice.balance = 15;
    voice.flags = VOICE_GAINS_STALE;
    refresh_gains(voice, 10, true);
    EXPECT_EQ(voice.left_gain, 16384u);
    EXPECT_EQ(voice.flags, VOICE_DIRECT_STALE | VOICE_WEIGHTS_STALE);
    voice.flags = VOICE_GAINS_STALE;
    refresh_gains(voice, 10, true);
    EXPECT_EQ(voice.flags, 0u); // same gains: the tables stay valid
    refresh_gains(voice, 70, true);
    EXPECT_EQ(voice.left_gain, 16384u); // not stale: nothing recomputed
}

TEST(Gains, WeightTablesSplitTheGainByPhase) {
    MixVoice voice;
    voice.left_gain = 65536;
    voice.right_gain = 12345;
    build_weights(voice);
    for (int phase = 0; phase < PHASES; ++phase) {
        const int32_t newer_left = (voice.weights[0][phase] >> 16) + 32768;
        const int32_t older_left = int16_t(voice.weights[0][phase] & 0xFFFF) + 32768;
        EXPECT_EQ(newer_left, (32768 + phase * 65536) / 16);
        EXPECT_EQ(newer_left + older_left, 65536);
        const int32_t newer_right = (voice.weights[1][phase] >> 16) + 32768;
        const int32_t older_right = int16_t(voice.weights[1][phase] & 0xFFFF) + 32768;
        EXPECT_EQ(newer_right, (6172 + phase * 12345) / 16);
        EXPECT_EQ(newer_right + older_right, 12345);
    }
}

TEST(PlaceVoice, FarPositionsWrapIntoTheLoopWithoutOverflow) {
    // elapsed * step passes 64 bits for the last cases; the position is still the true one.
    struct Case {
        uint64_t elapsed;
        uint32_t step;
        uint32_t loop_start;
        uint32_t sample_end;
    };
    const Case cases[] = {
        {1000, 65536, 600, 1000},
        {(uint64_t(1) << 40) + 7, 65536, 3, 1000},
        {(uint64_t(1) << 48) - 1, 0xFFFFFFFF, 0, 0xFFFFFFFF},
        {~uint64_t(0), 0xFFFFFFFF, 12345, 70001},
        {~uint64_t(0) / 3, 98307, 65535, 65536},
        {uint64_t(1) << 63, 1, 1, 0xFFFFFFFE},
        {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFF0, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        // The exact whole part: elapsed * step >> 16 in 128 bits, as the sum of two 64-bit
        // products.
        const uint64_t low_product = (c.elapsed & 0xFFFFFFFF) * c.step;
        const uint64_t high_product = (c.elapsed >> 32) * c.step;
        const uint64_t length = c.sample_end - c.loop_start;
        // whole = high_product * 2^16 + (low_product >> 16); its distance past the loop start
        // modulo the loop length, computed by repeated doubling.
        uint64_t remainder = high_product % length;
        for (int bit = 0; bit < 16; ++bit)
            remainder = remainder * 2 % length;
        remainder = (remainder + (low_product >> 16) % length) % length;
        const uint64_t expected =
            c.loop_start + (remainder + length - c.loop_start % length) % length;

        MixVoice voice;
        voice.step = c.step;
        place_voice(voice, c.elapsed, c.loop_start, c.sample_end);
        EXPECT_EQ(voice.position, expected) << c.elapsed << " x " << c.step;
        EXPECT_EQ(voice.fraction, low_product & 0xFFFF) << c.elapsed << " x " << c.step;
        EXPECT_TRUE(voice.has(VOICE_LOOPED) && voice.has(VOICE_RUNNING)) << c.elapsed;
    }
}

TEST(PlaceVoice, LandsInsideTheSampleOrTheLoop) {
    MixVoice voice;
    voice.step = 65536; // one frame per frame
    place_voice(voice, 100, NO_LOOP, 1000);
    EXPECT_EQ(voice.position, 100u);
    EXPECT_TRUE(voice.has(VOICE_RUNNING));
    EXPECT_FALSE(voice.has(VOICE_LOOPED));

    place_voice(voice, 1000, NO_LOOP, 1000);
    EXPECT_FALSE(voice.has(VOICE_RUNNING));

    // r frames past the end of a loop 600..1000 land r frames after the loop start ...
    for (uint64_t r : {0u, 1u, 399u}) {
        place_voice(voice, 1000 + r, 600, 1000);
        EXPECT_EQ(voice.position, 600 + r);
        EXPECT_TRUE(voice.has(VOICE_LOOPED) && voice.has(VOICE_RUNNING));
        // ... and so do ten loop lengths further.
        place_voice(voice, 1000 + r + 10 * 400, 600, 1000);
        EXPECT_EQ(voice.position, 600 + r);
        EXPECT_TRUE(voice.has(VOICE_LOOPED));
    }
    // Inside the sample the looped flag is cleared again.
    place_voice(voice, 10, 600, 1000);
    EXPECT_FALSE(voice.has(VOICE_LOOPED));

    // The fraction is the lower 16 bits of elapsed * step.
    voice.step = 98304 + 3; // 1.5 and a little
    place_voice(voice, 3, NO_LOOP, 1000);
    EXPECT_EQ((uint64_t(voice.position) << 16) | voice.fraction, 3u * (98304 + 3));

    // A gliding voice without a loop cannot be resumed.
    voice.flags |= VOICE_GLIDING | VOICE_RUNNING;
    place_voice(voice, 3, NO_LOOP, 1000);
    EXPECT_FALSE(voice.has(VOICE_RUNNING));
    voice.flags |= VOICE_GLIDING;
    place_voice(voice, 3, 10, 1000);
    EXPECT_TRUE(voice.has(VOICE_RUNNING));

    // An elapsed time far beyond 32 bits of frames does not wrap back into the sample.
    voice.flags = 0;
    voice.step = 65536;
    place_voice(voice, (uint64_t(1) << 48) + 5, NO_LOOP, 1000);
    EXPECT_FALSE(voice.has(VOICE_RUNNING));
}

TEST(StartGlide, OneSecondAt44100HasOneHundredStepsOf441Frames) {
    MixVoice voice;
    voice.step = 60000;
    voice.glide_target = 70000;
    start_glide(voice, 44100, 441, 0);
    EXPECT_TRUE(voice.has(VOICE_GLIDING));
    EXPECT_EQ(voice.glide_steps_left, 100u);
    EXPECT_EQ(voice.frames_per_glide_step, 441u);
    EXPECT_EQ(voice.frames_to_glide_step, 441u);
    EXPECT_EQ(voice.glide_delta, 100);
    EXPECT_EQ(voice.step, 60000u);
}

TEST(StartGlide, ElapsedFramesSkipStepsAndTruncateTowardZero) {
    MixVoice voice;
    voice.step = 70000;
    voice.glide_target = 60001; // D = -9999, delta = -99 (toward zero)
    start_glide(voice, 44100, 441, 441 * 30 + 7);
    EXPECT_EQ(voice.glide_delta, -99);
    EXPECT_EQ(voice.glide_steps_left, 70u);
    EXPECT_EQ(voice.frames_to_glide_step, 441u - 7);
    EXPECT_EQ(voice.step, uint32_t(70000 - 30 * 99));

    // Past its end the glide is over and the step is the target.
    voice.step = 70000;
    start_glide(voice, 44100, 441, 44100);
    EXPECT_FALSE(voice.has(VOICE_GLIDING));
    EXPECT_EQ(voice.step, 60001u);

    // Too short for one step, or nowhere to go: no glide.
    voice.step = 70000;
    start_glide(voice, 200, 441, 0);
    EXPECT_FALSE(voice.has(VOICE_GLIDING));
    voice.glide_target = 70000;
    start_glide(voice, 44100, 441, 0);
    EXPECT_FALSE(voice.has(VOICE_GLIDING));
    // A zero interval (a rate below 100 Hz) does not divide by zero.
    voice.glide_target = 80000;
    start_glide(voice, 10, 0, 0);
    EXPECT_TRUE(voice.has(VOICE_GLIDING));
}

TEST(EightBitOutput, UpperByteWithTheTopBitInverted) {
    const int16_t source[] = {-32768, -1, 0, 255, 256, 32767};
    uint8_t out[6];
    convert_to_8_bits(out, source, 6);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 127);
    EXPECT_EQ(out[2], 128);
    EXPECT_EQ(out[3], 128);
    EXPECT_EQ(out[4], 129);
    EXPECT_EQ(out[5], 255);
}

TEST(VoicePool, AllocatesTheFirstFreeVoiceAndGrowsBy64) {
    VoicePool pool;
    MixVoice* first = pool.allocate();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_GE(pool.voices().capacity(), 64u);
    EXPECT_EQ(first->flags, VOICE_IN_USE | VOICE_RUNNING | VOICE_GAINS_STALE | VOICE_DIRECT_STALE |
                                VOICE_WEIGHTS_STALE);
    EXPECT_EQ(first->end_frame, HELD_UNTIL_RELEASED);
    first->left_gain = 1234;
    first->flags = VOICE_GLIDING | VOICE_LOOPED | VOICE_PREVIEW | VOICE_AUDITION; // released
    MixVoice* second = pool.allocate();
    ASSERT_EQ(second, &pool.voices()[0]); // reused
    EXPECT_EQ(second->flags, VOICE_IN_USE | VOICE_RUNNING | VOICE_GAINS_STALE);
    EXPECT_EQ(second->left_gain, 1234u); // a reused voice keeps its gains and tables
    // A touched voice is not free.
    pool.voices()[0].flags = VOICE_TOUCHED;
    EXPECT_EQ(pool.allocate(), &pool.voices()[1]);
    for (int i = 0; i < 70; ++i)
        ASSERT_NE(pool.allocate(), nullptr);
    EXPECT_EQ(pool.size(), 72u);
    EXPECT_EQ(pool.voices().capacity(), 128u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pool.voices().data()) % 32, 0u);
    pool.clear();
    EXPECT_EQ(pool.size(), 0u);
}

Instrument ramp(uint32_t length, uint32_t loop_start = NO_LOOP) {
    Instrument instrument =
        make_sampled_instrument("ramp", NO_CATEGORY, length, loop_start, 44100, 2, false);
    for (uint32_t i = 0; i < length; ++i)
        instrument.samples16()[i] = int16_t(100 + i);
    return instrument;
}

TEST(MixChunk, MixesRunningVoicesInUseAndEndsPreviewNotes) {
    std::vector<Instrument> instruments;
    instruments.push_back(ramp(1000));
    VoicePool pool;
    OutputFormat format;
    format.interpolate = false;
    format.amplification = 70; // unity at volume 30, balance 15
    auto add = [&](uint32_t flags) {
        MixVoice* voice = pool.allocate();
        voice->step = 65536;
        voice->volume = 30;
        voice->balance = 15;
        voice->flags |= flags;
        return voice;
    };
    add(0);
    add(VOICE_PREVIEW)->end_frame = 100;
    MixVoice* stopped = add(VOICE_PREVIEW);
    stopped->flags &= ~VOICE_RUNNING; // a finished preview is freed
    add(0)->flags &= ~VOICE_IN_USE;   // released: not mixed
    add(0)->instrument = 5;           // no such instrument: skipped
    std::vector<int16_t> mix(2 * 10, 0);
    ChunkReport report = mix_chunk(pool, instruments, format, mix.data(), 10, 50);
    EXPECT_EQ(report.audible, 2u);
    EXPECT_TRUE(report.preview_mixed);
    EXPECT_EQ(mix[0], 2 * 100);
    EXPECT_EQ(mix[19], 2 * 109);
    EXPECT_TRUE(pool.voices()[1].has(VOICE_IN_USE)); // end frame 100 not reached at 50
    EXPECT_FALSE(pool.voices()[2].has(VOICE_IN_USE));
    report = mix_chunk(pool, instruments, format, mix.data(), 10, 100);
    EXPECT_FALSE(pool.voices()[1].has(VOICE_IN_USE)); // reached: released after this chunk
    EXPECT_EQ(pool.voices()[1].position, 20u);        // but mixed in it
}

TEST(MixChunk, VolumeZeroKeepsTimeAndComesBackInPlace) {
    std::vector<Instrument> instruments;
    instruments.push_back(ramp(10000));
    VoicePool pool;
    OutputFormat format;
    format.interpolate = false;
    format.amplification = 70;
    MixVoice* voice = pool.allocate();
    voice->step = 65536;
    voice->volume = 0;
    std::vector<int16_t> mix(2 * 100, 0);
    mix_chunk(pool, instruments, format, mix.data(), 100, 0);
    for (int16_t sample : mix)
        EXPECT_EQ(sample, 0);
    voice->volume = 30;
    voice->flags |= VOICE_GAINS_STALE;
    mix_chunk(pool, instruments, format, mix.data(), 100, 100);
    EXPECT_EQ(mix[0], 100 + 100); // frame 100 of the ramp
}

TEST(MixChunk, SampleWithoutFramesIsNotMixedButCounts) {
    std::vector<Instrument> instruments;
    instruments.push_back(
        make_sampled_instrument("empty", NO_CATEGORY, 0, NO_LOOP, 44100, 2, false));
    VoicePool pool;
    MixVoice* voice = pool.allocate();
    voice->step = 65536;
    voice->volume = 30;
    std::vector<int16_t> mix(2 * 16, 3);
    OutputFormat format;
    EXPECT_EQ(mix_chunk(pool, instruments, format, mix.data(), 16, 0).audible, 1u);
    for (int16_t sample : mix)
        EXPECT_EQ(sample, 3);
}

} // namespace
} // namespace tunemill
