// The kernels and the voice loop against the mixer's formulas: every kernel of both tables
// (portable and vector), direct and interpolating, 8 and 16 bit, mono and stereo, with loops,
// glides, saturation and the looped placement, compared sample for sample with an independent
// frame-by-frame model.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "playback/mixer.h"
#include "reference_mixer.h"

namespace tunemill {
namespace {

using testing::ReferenceVoice;

Instrument make_instrument(uint32_t bytes_per_sample, uint32_t length, uint32_t loop_start,
                           std::mt19937& random) {
    Instrument instrument = make_sampled_instrument("test", NO_CATEGORY, length, loop_start, 22050,
                                                    bytes_per_sample, false);
    std::uniform_int_distribution<int> any(0, 65535);
    for (uint32_t i = 0; i < length; ++i) {
        int value = any(random);
        // Plenty of extremes, so that saturation and the rounding of full scale are exercised.
        if (i % 7 == 0) value = (i % 14 == 0) ? 0x7FFF : 0x8000;
        if (bytes_per_sample == 1)
            instrument.samples[i] = uint8_t(value >> 8);
        else
            instrument.samples16()[i] = int16_t(uint16_t(value));
    }
    // Garbage in the padding must never reach the output.
    for (size_t i = instrument.sample_bytes(); i < instrument.samples.size(); ++i)
        instrument.samples[i] = uint8_t(0xA5 + i);
    return instrument;
}

ReferenceVoice reference_of(const Instrument& instrument, const MixVoice& voice, bool interpolate) {
    ReferenceVoice r;
    for (uint32_t i = 0; i < instrument.length; ++i)
        r.samples16.push_back(instrument.bytes_per_sample == 1
                                  ? (int(instrument.samples[i]) - 128) * 256
                                  : instrument.samples16()[i]);
    r.bytes.assign(instrument.samples.begin(), instrument.samples.begin() + instrument.length);
    r.loop_start = instrument.loop_start;
    r.position = (uint64_t(voice.position) << 16) | voice.fraction;
    r.step = voice.step;
    r.left_gain = voice.left_gain;
    r.right_gain = voice.right_gain;
    r.interpolate = interpolate;
    r.eight_bit = instrument.bytes_per_sample == 1;
    r.looped = voice.has(VOICE_LOOPED);
    r.gliding = voice.has(VOICE_GLIDING);
    r.glide_delta = voice.glide_delta;
    r.glide_steps_left = voice.glide_steps_left;
    r.frames_to_glide_step = voice.frames_to_glide_step;
    r.frames_per_glide_step = voice.frames_per_glide_step;
    return r;
}

MixVoice voice_for(const Instrument& instrument, uint32_t step, uint32_t left, uint32_t right) {
    MixVoice voice;
    voice.samples = instrument.samples.data();
    voice.bytes_per_sample = instrument.bytes_per_sample;
    voice.loop_start = instrument.loop_start;
    voice.sample_end = instrument.length;
    voice.step = step;
    voice.left_gain = left;
    voice.right_gain = right;
    voice.flags = VOICE_IN_USE | VOICE_RUNNING | VOICE_WEIGHTS_STALE | VOICE_DIRECT_STALE;
    return voice;
}

struct Table {
    const char* name;
    const Kernel* kernels;
};

std::vector<Table> tables() {
    std::vector<Table> result{{"portable", portable_kernels()}};
    if (vector_kernels()) result.push_back({"vector", vector_kernels()});
    return result;
}

// Mixes the voice with the real loop in pieces of the given sizes and with the model in one go,
// over a mix buffer pre-filled with noise, and compares buffer, position and flags.
void expect_same_as_reference(const Instrument& instrument, MixVoice voice,
                              const OutputFormat& format, const Kernel* table,
                              const std::vector<uint32_t>& pieces, std::mt19937& random,
                              const std::string& what) {
    ReferenceVoice reference = reference_of(instrument, voice, format.interpolate);
    uint32_t total = 0;
    for (uint32_t piece : pieces)
        total += piece;
    const int channels = int(format.channels());
    std::vector<int16_t> mix(size_t(total) * channels);
    std::uniform_int_distribution<int> noise(-32768, 32767);
    for (int16_t& sample : mix)
        sample = int16_t(noise(random) / ((random() & 3) == 0 ? 1 : 64));
    std::vector<int16_t> expected = mix;

    uint32_t offset = 0;
    for (uint32_t piece : pieces) {
        prepare_kernel(voice, format, table);
        if (voice.has(VOICE_RUNNING))
            mix_voice(voice, mix.data() + size_t(offset) * channels, piece, format, table);
        reference_mix(reference, expected, offset, piece, channels);
        offset += piece;
    }
    ASSERT_EQ(mix.size(), expected.size());
    for (size_t i = 0; i < mix.size(); ++i)
        ASSERT_EQ(mix[i], expected[i])
            << what << " at sample " << i << " (frame " << i / channels << ")";
    EXPECT_EQ(voice.has(VOICE_RUNNING), reference.running) << what;
    EXPECT_EQ(voice.has(VOICE_GLIDING), reference.gliding) << what;
    if (reference.running) {
        EXPECT_EQ((uint64_t(voice.position) << 16) | voice.fraction, reference.position) << what;
        EXPECT_EQ(voice.step, reference.step) << what;
    }
}

std::string describe(const Table& table, const OutputFormat& format, uint32_t bytes, uint32_t step,
                     uint32_t left, uint32_t right) {
    return std::string(table.name) + (format.stereo ? " stereo" : " mono") + " " +
           std::to_string(bytes * 8) + "-bit" + (format.interpolate ? " interpolate" : " direct") +
           " step " + std::to_string(step) + " gains " + std::to_string(left) + "/" +
           std::to_string(right);
}

TEST(Kernels, EveryKernelMatchesTheFormulas) {
    std::mt19937 random(1234);
    const uint32_t steps[] = {1, 655, 32768, 45000, 65535, 65536, 98304, 250000, 3000000};
    const uint32_t gains[][2] = {{65536, 65536}, {16384, 16384}, {65535, 1}, {1, 0},
                                 {0, 40001},     {28672, 3},     {257, 255}, {12345, 54321}};
    for (const Table& table : tables())
        for (uint32_t bytes : {1u, 2u})
            for (bool stereo : {false, true})
                for (bool interpolate : {false, true})
                    for (uint32_t step : steps)
                        for (const auto& gain : gains) {
                            Instrument instrument = make_instrument(bytes, 3000, NO_LOOP, random);
                            OutputFormat format;
                            format.stereo = stereo;
                            format.interpolate = interpolate;
                            MixVoice voice =
                                voice_for(instrument, step, gain[0], stereo ? gain[1] : gain[0]);
                            voice.flags &= ~VOICE_GAINS_STALE;
                            voice.position = uint32_t(random() % 40);
                            voice.fraction = uint32_t(random() & 0xFFFF);
                            expect_same_as_reference(
                                instrument, voice, format, table.kernels,
                                {1, 7, 8, 9, 100, 333, 1000}, random,
                                describe(table, format, bytes, step, gain[0], gain[1]));
                        }
}

TEST(Kernels, InterpolationStartsFromSilenceAtPositionZero) {
    // The very first frame of a note blends the first sample frame with silence.
    std::mt19937 random(7);
    for (const Table& table : tables())
        for (uint32_t bytes : {1u, 2u}) {
            Instrument instrument = make_instrument(bytes, 200, NO_LOOP, random);
            OutputFormat format;
            MixVoice voice = voice_for(instrument, 4000, 30000, 20001);
            expect_same_as_reference(instrument, voice, format, table.kernels, {64, 64}, random,
                                     std::string(table.name) + " from zero");
        }
}

TEST(Kernels, LoopsWrapWithoutGapAndTheLoopedFlagBlendsTheLastFrame) {
    std::mt19937 random(99);
    for (const Table& table : tables())
        for (uint32_t bytes : {1u, 2u})
            for (bool interpolate : {false, true})
                for (bool looped : {false, true})
                    for (uint32_t loop_start : {0u, 50u, 299u}) {
                        Instrument instrument = make_instrument(bytes, 300, loop_start, random);
                        OutputFormat format;
                        format.interpolate = interpolate;
                        MixVoice voice = voice_for(instrument, 47000, 40000, 39999);
                        voice.flags &= ~VOICE_GAINS_STALE;
                        voice.position = loop_start;
                        if (looped) voice.flags |= VOICE_LOOPED;
                        expect_same_as_reference(
                            instrument, voice, format, table.kernels, {896, 896, 1000, 5}, random,
                            std::string(table.name) + " loop " + std::to_string(loop_start) +
                                (looped ? " looped" : ""));
                    }
}

TEST(Kernels, TinyLoopAtAHighStepStaysInsideTheLoop) {
    std::mt19937 random(5);
    for (const Table& table : tables()) {
        Instrument instrument = make_instrument(2, 100, 98, random); // a loop of two frames
        OutputFormat format;
        MixVoice voice = voice_for(instrument, 11 * 65536 + 1234, 65536, 65536);
        voice.flags &= ~VOICE_GAINS_STALE;
        expect_same_as_reference(instrument, voice, format, table.kernels, {500, 17, 3}, random,
                                 std::string(table.name) + " tiny loop");
        ASSERT_GE(voice.position, 0u);
    }
}

TEST(Kernels, NonLoopingSampleEndsMidBlockAndLeavesTheRestUntouched) {
    std::mt19937 random(3);
    for (const Table& table : tables()) {
        Instrument instrument = make_instrument(2, 100, NO_LOOP, random);
        OutputFormat format;
        MixVoice voice = voice_for(instrument, 65536, 30000, 30000);
        voice.flags &= ~VOICE_GAINS_STALE;
        prepare_kernel(voice, format, table.kernels);
        std::vector<int16_t> mix(2 * 256, 77);
        mix_voice(voice, mix.data(), 256, format, table.kernels);
        EXPECT_FALSE(voice.has(VOICE_RUNNING));
        for (size_t i = 200; i < mix.size(); ++i)
            ASSERT_EQ(mix[i], 77) << table.name << " sample " << i;
        // The frames before the end were mixed.
        EXPECT_NE(mix[198], 77 + 0 * mix[0]);
    }
}

TEST(Kernels, GlidesStepEveryIntervalAndMatchTheModel) {
    std::mt19937 random(11);
    for (const Table& table : tables())
        for (bool interpolate : {false, true})
            for (uint32_t target : {20000u, 90000u}) {
                Instrument instrument = make_instrument(2, 20000, 1000, random);
                OutputFormat format;
                format.interpolate = interpolate;
                MixVoice voice = voice_for(instrument, 50000, 20000, 20000);
                voice.flags &= ~VOICE_GAINS_STALE;
                voice.glide_target = target;
                start_glide(voice, 4410, 441, 0);
                ASSERT_TRUE(voice.has(VOICE_GLIDING));
                // Chunks that do not line up with the glide steps: a glide that crosses step 1.0
                // changes the resampling at the glide step that crosses it, wherever chunks begin.
                for (const std::vector<uint32_t>& pieces :
                     {std::vector<uint32_t>{300, 896, 896, 2000, 1500},
                      std::vector<uint32_t>{5592}})
                    expect_same_as_reference(
                        instrument, voice, format, table.kernels, pieces, random,
                        std::string(table.name) + " glide to " + std::to_string(target) + " in " +
                            std::to_string(pieces.size()) + " pieces");
            }
}

TEST(Kernels, FullScaleVoicesSaturateInsteadOfWrapping) {
    for (const Table& table : tables())
        for (bool interpolate : {false, true}) {
            Instrument instrument =
                make_sampled_instrument("max", NO_CATEGORY, 64, NO_LOOP, 22050, 2, false);
            for (uint32_t i = 0; i < 64; ++i)
                instrument.samples16()[i] = 32767;
            Instrument low =
                make_sampled_instrument("min", NO_CATEGORY, 64, NO_LOOP, 22050, 2, false);
            for (uint32_t i = 0; i < 64; ++i)
                low.samples16()[i] = -32768;
            OutputFormat format;
            format.interpolate = interpolate;
            std::vector<int16_t> mix(2 * 32, 0), negative(2 * 32, 0);
            for (int copy = 0; copy < 2; ++copy) {
                MixVoice voice = voice_for(instrument, 32768, UNITY_GAIN, UNITY_GAIN);
                voice.position = 10;
                voice.flags &= ~VOICE_GAINS_STALE;
                prepare_kernel(voice, format, table.kernels);
                mix_voice(voice, mix.data(), 32, format, table.kernels);
                MixVoice down = voice_for(low, 32768, UNITY_GAIN, UNITY_GAIN);
                down.position = 10;
                down.flags &= ~VOICE_GAINS_STALE;
                prepare_kernel(down, format, table.kernels);
                mix_voice(down, negative.data(), 32, format, table.kernels);
                if (copy == 0) {
                    EXPECT_EQ(mix[0], 32767) << table.name; // one voice at unity adds 32767
                    EXPECT_EQ(negative[0], -32768) << table.name;
                }
            }
            for (int16_t sample : mix)
                ASSERT_EQ(sample, 32767) << table.name;
            for (int16_t sample : negative)
                ASSERT_EQ(sample, -32768) << table.name;
        }
}

TEST(Kernels, SilentKernelAdvancesExactlyLikeAnAudibleOne) {
    std::mt19937 random(17);
    Instrument instrument = make_instrument(2, 5000, 2000, random);
    OutputFormat format;
    MixVoice audible = voice_for(instrument, 77777, 100, 100);
    MixVoice silent = voice_for(instrument, 77777, 0, 0);
    audible.flags &= ~VOICE_GAINS_STALE;
    silent.flags &= ~VOICE_GAINS_STALE;
    std::vector<int16_t> mix(2 * 10000, 0), untouched(2 * 10000, 5);
    for (int block = 0; block < 10; ++block) {
        prepare_kernel(audible, format);
        prepare_kernel(silent, format);
        EXPECT_EQ(silent.kernel, &silent_kernel);
        mix_voice(audible, mix.data(), 1000, format);
        mix_voice(silent, untouched.data(), 1000, format);
        ASSERT_EQ(audible.position, silent.position);
        ASSERT_EQ(audible.fraction, silent.fraction);
    }
    for (int16_t sample : untouched)
        ASSERT_EQ(sample, 5);
}

TEST(Kernels, InterpolationOnlyBelowStepOne) {
    std::mt19937 random(1);
    Instrument instrument = make_instrument(2, 100, NO_LOOP, random);
    OutputFormat format;                                     // stereo, 16-bit, interpolating
    MixVoice voice = voice_for(instrument, 98304, 100, 100); // 1.5
    prepare_kernel(voice, format);
    EXPECT_EQ(voice.kernel, kernels()[kernel_index(true, 2, false)]);
    voice.step = 32768; // 0.5
    prepare_kernel(voice, format);
    EXPECT_EQ(voice.kernel, kernels()[kernel_index(true, 2, true)]);
    voice.step = 65536; // exactly 1.0 is direct
    prepare_kernel(voice, format);
    EXPECT_EQ(voice.kernel, kernels()[kernel_index(true, 2, false)]);
    format.interpolate = false;
    voice.step = 32768;
    prepare_kernel(voice, format);
    EXPECT_EQ(voice.kernel, kernels()[kernel_index(true, 2, false)]);
    format.stereo = false;
    instrument.bytes_per_sample = 1;
    voice.bytes_per_sample = 1;
    prepare_kernel(voice, format);
    EXPECT_EQ(voice.kernel, kernels()[kernel_index(false, 1, false)]);
}

TEST(Kernels, VectorAndPortableKernelsAgreeOnRandomVoices) {
    if (!vector_kernels()) GTEST_SKIP() << "no vector kernels on this processor";
    std::mt19937 random(2024);
    for (int round = 0; round < 400; ++round) {
        const uint32_t bytes = 1 + random() % 2;
        const uint32_t length = 1 + random() % 3000;
        const uint32_t loop = (random() % 3 == 0) ? NO_LOOP : uint32_t(random() % length);
        Instrument instrument = make_instrument(bytes, length, loop, random);
        OutputFormat format;
        format.stereo = random() % 2;
        format.interpolate = random() % 2;
        MixVoice voice =
            voice_for(instrument, 1 + random() % 200000, random() % 65537, random() % 65537);
        voice.flags &= ~VOICE_GAINS_STALE;
        voice.position = uint32_t(random() % length);
        voice.fraction = uint32_t(random() & 0xFFFF);
        if (loop != NO_LOOP && random() % 2) voice.flags |= VOICE_LOOPED;
        MixVoice twin = voice;
        const uint32_t frames = 1 + random() % 2000;
        std::vector<int16_t> a(size_t(frames) * format.channels());
        for (int16_t& s : a)
            s = int16_t(random());
        std::vector<int16_t> b = a;
        prepare_kernel(voice, format, vector_kernels());
        prepare_kernel(twin, format, portable_kernels());
        mix_voice(voice, a.data(), frames, format, vector_kernels());
        mix_voice(twin, b.data(), frames, format, portable_kernels());
        ASSERT_EQ(a, b) << "round " << round;
        ASSERT_EQ(voice.position, twin.position);
        ASSERT_EQ(voice.fraction, twin.fraction);
        ASSERT_EQ(voice.flags, twin.flags);
    }
}

} // namespace
} // namespace tunemill
