// Short loops laid out many times over: a voice mixed through the layout must sound exactly as the
// voice that wraps at every loop end, for every kernel shape of both tables, across glides, loop
// starts at 0, voices placed into their loop, and samples edited between blocks.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "playback/mixer.h"
#include "playback/short_loops.h"

namespace tunemill {
namespace {

Instrument noisy_instrument(uint32_t bytes_per_sample, uint32_t length, uint32_t loop_start,
                            std::mt19937& random) {
    Instrument instrument = make_sampled_instrument("loop", NO_CATEGORY, length, loop_start, 22050,
                                                    bytes_per_sample, false);
    for (uint32_t i = 0; i < length; ++i) {
        // Full-scale values now and then, so that saturation and rounding at the extremes count.
        const uint16_t value =
            (i % 5 == 0) ? uint16_t(i % 10 == 0 ? 0x7FFF : 0x8000) : uint16_t(random());
        if (bytes_per_sample == 1)
            instrument.samples[i] = uint8_t(value >> 8);
        else
            instrument.samples16()[i] = int16_t(value);
    }
    return instrument;
}

MixVoice voice_playing(const Instrument& instrument) {
    MixVoice voice;
    voice.samples = instrument.samples.data();
    voice.bytes_per_sample = instrument.bytes_per_sample;
    voice.loop_start = instrument.loop_start;
    voice.sample_end = instrument.length;
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

// Mixes the voice in the given pieces twice, wrapping and through the layout, and expects the same
// mix, position, step and flags after every piece.
void expect_same_sound(MixVoice voice, const OutputFormat& format, const Kernel* table,
                       const std::vector<uint32_t>& pieces, const std::string& what) {
    ShortLoops loops;
    MixVoice twin = voice;
    const uint32_t channels = format.channels();
    for (size_t piece = 0; piece < pieces.size(); ++piece) {
        std::vector<int16_t> wrapping(size_t(pieces[piece]) * channels, int16_t(piece * 1000));
        std::vector<int16_t> laid_out = wrapping;
        prepare_kernel(voice, format, table);
        prepare_kernel(twin, format, table);
        if (voice.has(VOICE_RUNNING))
            mix_voice(voice, wrapping.data(), pieces[piece], format, table);
        if (twin.has(VOICE_RUNNING))
            mix_voice(twin, laid_out.data(), pieces[piece], format, table, loops.find(twin));
        ASSERT_EQ(wrapping, laid_out) << what << ", piece " << piece;
        ASSERT_EQ(voice.position, twin.position) << what << ", piece " << piece;
        ASSERT_EQ(voice.fraction, twin.fraction) << what << ", piece " << piece;
        ASSERT_EQ(voice.step, twin.step) << what << ", piece " << piece;
        ASSERT_EQ(voice.flags, twin.flags) << what << ", piece " << piece;
    }
}

TEST(ShortLoops, LaidOutLoopsSoundExactlyAsWrappingOnes) {
    std::mt19937 random(29);
    for (const Table& table : tables())
        for (int round = 0; round < 300; ++round) {
            const uint32_t bytes = 1 + random() % 2;
            const uint32_t loop_length = 1 + random() % (ShortLoops::SHORT_LOOP_FRAMES + 20);
            const uint32_t loop_start = random() % 3 == 0 ? 0 : random() % 400;
            const uint32_t length = loop_start + loop_length;
            Instrument instrument = noisy_instrument(bytes, length, loop_start, random);
            OutputFormat format;
            format.stereo = random() % 2;
            format.interpolate = random() % 4 != 0;
            MixVoice voice = voice_playing(instrument);
            // Mostly below step 1.0 (interpolating), some above, a few far above.
            const uint32_t steps[] = {1 + uint32_t(random() % 65535),
                                      65536 + uint32_t(random() % 200000),
                                      uint32_t(random() % 4000000)};
            voice.step = steps[random() % 4 == 0 ? 1 + random() % 2 : 0];
            voice.left_gain = random() % 65537;
            voice.right_gain = random() % 3 == 0 ? 0 : random() % 65537;
            voice.position = random() % length;
            voice.fraction = random() & 0xFFFF;
            if (random() % 4 == 0) voice.flags |= VOICE_LOOPED;
            if (random() % 3 == 0) {
                voice.glide_target = uint32_t(random() % 150000);
                start_glide(voice, 4410, 1 + random() % 600, random() % 800);
            }
            std::vector<uint32_t> pieces;
            for (int piece = 0; piece < 6; ++piece)
                pieces.push_back(1 + random() % (random() % 2 ? 2000 : 40));
            expect_same_sound(voice, format, table.kernels, pieces,
                              std::string(table.name) + " round " + std::to_string(round) +
                                  " loop " + std::to_string(loop_start) + "+" +
                                  std::to_string(loop_length) + " step " +
                                  std::to_string(voice.step));
        }
}

TEST(ShortLoops, SampleEditedBetweenBlocksIsLaidOutAgain) {
    std::mt19937 random(7);
    for (const Table& table : tables())
        for (uint32_t bytes : {1u, 2u}) {
            Instrument instrument = noisy_instrument(bytes, 40, 30, random);
            OutputFormat format;
            MixVoice voice = voice_playing(instrument);
            voice.step = 30000;
            voice.left_gain = voice.right_gain = 40000;
            voice.position = 30;
            ShortLoops loops;
            MixVoice twin = voice;
            for (int block = 0; block < 3; ++block) {
                // The frame before the loop and one inside it change, in place.
                instrument.samples[size_t(29) * bytes] ^= 0x5A;
                instrument.samples[size_t(33) * bytes] ^= 0x33;
                std::vector<int16_t> wrapping(2 * 900), laid_out(2 * 900);
                prepare_kernel(voice, format, table.kernels);
                prepare_kernel(twin, format, table.kernels);
                mix_voice(voice, wrapping.data(), 900, format, table.kernels);
                mix_voice(twin, laid_out.data(), 900, format, table.kernels, loops.find(twin));
                ASSERT_EQ(wrapping, laid_out) << table.name << " " << bytes << " block " << block;
            }
        }
}

TEST(ShortLoops, OnlyShortLoopsOfVoicesNotPlacedIntoThemAreLaidOut) {
    std::mt19937 random(3);
    ShortLoops loops;
    Instrument short_loop = noisy_instrument(2, 100, 90, random);
    Instrument long_loop = noisy_instrument(2, 2000, 100, random);
    Instrument no_loop = noisy_instrument(2, 100, NO_LOOP, random);
    MixVoice voice = voice_playing(short_loop);
    const LaidOutLoop* layout = loops.find(voice);
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->frames % 10, 0u);
    EXPECT_GE(layout->frames, ShortLoops::LAID_OUT_FRAMES);
    voice.flags |= VOICE_LOOPED;
    EXPECT_EQ(loops.find(voice), nullptr);
    EXPECT_EQ(loops.find(voice_playing(long_loop)), nullptr);
    EXPECT_EQ(loops.find(voice_playing(no_loop)), nullptr);
}

} // namespace
} // namespace tunemill
