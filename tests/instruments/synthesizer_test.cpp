// The synthesizer against a reference model written separately from the description of the
// algorithm, plus hand-derived lengths and loops and the validation rules.
#include "instruments/instrument.h"
#include "instruments/synthesizer.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace tunemill {
namespace {

// ---- Reference model: plain integers, waveforms by formula, no shared code. ----

int16_t ref_sine(int k) {
    static const std::vector<int> table = [] {
        std::vector<int> t(2048);
        long c = 32760, d = 0;
        for (int step = 0; step < 2048; ++step) {
            t[(step + 512) & 2047] = int(c);
            long q = c / 350; // c / 350 truncated; the step is its negation
            d -= q;
            c += d / 300;
        }
        return t;
    }();
    return int16_t(table[size_t(k & 2047)]);
}

int ref_wave(int w, int k) {
    k &= 2047;
    const int j = k % 512, quarter = k / 512;
    switch (w) {
    case 0:
        return ref_sine(k);
    case 1:
        return k < 1024 ? ref_sine(k) : 0;
    case 2:
        return ref_sine(k % 1024);
    case 3:
        return quarter % 2 == 0 ? ref_sine(j) : 0;
    case 4:
        return k < 1024 ? 32767 : -32768;
    case 5:
        return k < 512 ? 32767 : -32768;
    case 6:
        return k * 32 < 32768 ? k * 32 : k * 32 - 65536;
    case 7: {
        const int values[4] = {j * 64, 32767 - j * 64, -j * 64, j * 64 - 32767};
        return values[quarter];
    }
    case 8: {
        const int a = j * 128 > 32767 ? 32767 : j * 128;
        const int b = 2 * (32767 - j * 64) > 32767 ? 32767 : 2 * (32767 - j * 64);
        const int values[4] = {a, b, -a, -b};
        return values[quarter];
    }
    default:
        return synth_waveform(uint32_t(w))[k];
    }
}

long ref_attenuation(int i) {
    return i == 63 ? 65535 : long(std::floor(256.0L * std::pow(2.0L, i / 8.0L)));
}

struct RefOp {
    int wave, mult, vib, trem, fb;
    long n;
    bool silent;
    long level = 0, amp = 0, tremv = 32;
    bool attack = true;
    long astep, dec, rel, sus, thresh;
    unsigned acc = 0, step;
    int lfo = 0, tph = 0;
};

struct RefResult {
    std::vector<int16_t> frames;
    long length;
    long loop;
};

RefResult reference(const SynthParameters& p, long limit) {
    const bool fm = p[0] == 1;
    RefOp op[2];
    for (int o = 0; o < 2; ++o) {
        const uint8_t* b = &p[size_t(1 + 5 * o)];
        RefOp& x = op[o];
        const int i = b[0] & 63;
        x.vib = (b[0] >> 6) == 0 ? 0 : 12 << (b[0] >> 6);
        x.trem = (b[1] >> 6) == 0 ? 0 : 1 << ((b[1] >> 6) - 1);
        x.wave = b[1] & 63;
        x.mult = b[2] & 31;
        x.n = ref_attenuation(i) / 2 * (o == 0 && fm ? 4 : 1);
        x.silent = x.n >= 65535;
        const int A = b[3] >> 4, D = b[3] & 15, S = b[4] >> 4, R = b[4] & 15;
        x.astep = i == 63 ? 49152 : 24L * (1L << A);
        x.dec = i == 63 ? 1 : D == 0 ? 0 : (9848 >> D) + 1;
        x.rel = i == 63 ? 1 : R == 0 ? 0 : (9848 >> R) + 1;
        x.sus = long(std::floor(65535.0 * std::pow(2.0, -S / 2.0)));
        const long q = (o == 0 && fm) ? 6554 : 4915;
        x.thresh = x.silent ? 65536 : ((q * x.n - 1) | 0xF80) >> 7;
        x.step = unsigned(8 * (x.mult + 1)) * 65536u;
    }
    const int f = p[3] >> 5;
    const int F = f == 0 ? 16 : (fm ? 8 - f : 10 - f);
    unsigned seed = 0;
    long last = 0;
    long mark = -1;
    unsigned snap_acc[2] = {}, snap_lfo[2] = {}, snap_tph[2] = {}, snap_seed = 0;
    long snap_last = 0;
    RefResult r;
    auto amp = [](RefOp& x) { x.amp = x.silent ? 0 : ((x.level / 32 * 32) * x.tremv * 2) / x.n; };
    for (long t = 0; t < limit; ++t) {
        if (t % 16 == 0) {
            if (mark < 0 && !op[0].attack && !op[1].attack && op[0].dec == 0 && op[1].dec == 0) {
                mark = t;
                for (int o = 0; o < 2; ++o) {
                    snap_acc[o] = op[o].acc;
                    snap_lfo[o] = unsigned(op[o].lfo);
                    snap_tph[o] = unsigned(op[o].tph);
                }
                snap_last = last;
                snap_seed = seed;
            }
            for (RefOp& x : op) {
                if (t % 128 == 0 && x.vib) {
                    x.lfo = (x.lfo + x.vib) % 2048;
                    x.step = unsigned((65536 + ref_sine(x.lfo) / 62) * 8 * (x.mult + 1));
                }
                if (t % 128 == 0 && x.trem) {
                    x.tph = (x.tph + x.trem) % 128;
                    x.tremv = 32 - (ref_sine(16 * x.tph) + 32768) / 6553;
                    amp(x);
                }
                if (x.attack) {
                    x.level += x.astep;
                    if (x.level > 65535) x.level = 65535, x.attack = false;
                } else {
                    if (x.dec) {
                        if (x.level > x.dec)
                            x.level -= x.level / x.dec;
                        else
                            x.level -= 2;
                        if (x.level < 0) x.level = 0, x.dec = 0;
                    }
                    if (x.level < x.sus) x.level = x.sus, x.dec = x.rel, x.sus = 0;
                }
                amp(x);
            }
        }
        if (mark >= 0 && t > mark) {
            const long d = t - mark;
            bool close = ((unsigned(snap_last - last) >> 9) & 0x7F) == 0 && snap_seed == seed;
            for (int o = 0; o < 2; ++o) {
                close = close && ((snap_acc[o] - op[o].acc) % (1u << 27)) <= unsigned(16 * d);
                close = close && std::labs(long(snap_lfo[o]) - op[o].lfo) <= d / 1024;
                close = close && std::labs(long(snap_tph[o]) - op[o].tph) <= d / 65536;
            }
            if (close) return r.length = t, r.loop = mark, r;
        }
        if (mark < 0 && t % 256 == 0) {
            bool quiet = !op[1].attack && op[1].level <= op[1].thresh;
            if (!fm) quiet = quiet && !op[0].attack && op[0].level <= op[0].thresh;
            if (quiet) return r.length = t, r.loop = -1, r;
        }
        auto sample = [&](RefOp& x, long index) -> long {
            long s;
            if (x.wave == 9) {
                seed = (seed * 805 + 1) % 65536;
                s = seed >= 32768 ? long(seed) - 65536 : long(seed);
            } else {
                s = ref_wave(x.wave, int(index & 2047));
            }
            return (x.amp * s) >> 15;
        };
        long i1 = op[0].acc >> 16;
        if (F < 16) i1 += (last >> F) + ((last >> (F - 1)) & 1);
        const long o1 = sample(op[0], i1);
        const long i2 = long(op[1].acc >> 16) + (fm ? o1 : 0);
        const long o2 = sample(op[1], i2);
        long v = fm ? o2 : o1 + o2;
        v = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
        r.frames.push_back(int16_t(v));
        op[0].acc += op[0].step;
        op[1].acc += op[1].step;
        last = o1;
    }
    r.length = limit;
    r.loop = -1;
    return r;
}

SynthParameters block(std::initializer_list<uint8_t> bytes) {
    SynthParameters p{};
    size_t i = 0;
    for (uint8_t b : bytes)
        p[i++] = b;
    return p;
}

// ---- Tests ----

TEST(SynthTables, MatchTheirDefinitions) {
    const auto& sine = synth_sine_table();
    EXPECT_EQ(sine[512], 32760);
    for (int k = 0; k < 2048; ++k)
        ASSERT_EQ(sine[size_t(k)], ref_sine(k)) << k;
    const auto& tremolo = synth_tremolo_table();
    for (int j = 0; j < 128; ++j) {
        ASSERT_EQ(tremolo[size_t(j)], 32 - (ref_sine(16 * j) + 32768) / 6553);
        ASSERT_GE(tremolo[size_t(j)], 22);
        ASSERT_LE(tremolo[size_t(j)], 32);
    }
    const auto& attenuation = synth_attenuation_table();
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(long(attenuation[size_t(i)]), ref_attenuation(i)) << i;
    const uint32_t sustain[16] = {65535, 46340, 32767, 23170, 16383, 11585, 8191, 5792,
                                  4095,  2896,  2047,  1448,  1023,  724,   511,  362};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(synth_sustain_table()[size_t(i)], sustain[i]);
}

TEST(SynthTables, FixedWaveformsHaveTheirShapes) {
    for (uint32_t w = 0; w <= 8; ++w)
        for (int k = 0; k < 2048; ++k)
            ASSERT_EQ(synth_waveform(w)[k], ref_wave(int(w), k)) << w << " " << k;
    EXPECT_EQ(synth_waveform(6)[1023], 32736);
    EXPECT_EQ(synth_waveform(6)[1024], -32768);
    EXPECT_EQ(synth_waveform(6)[2047], -32);
    EXPECT_EQ(synth_waveform(NOISE_WAVEFORM), nullptr);
}

TEST(SynthTables, BankWaveformsArePeakNormalisedSingleCycles) {
    for (uint32_t w = FIRST_BANK_WAVEFORM; w < WAVEFORM_COUNT; ++w) {
        const int16_t* wave = synth_waveform(w);
        ASSERT_NE(wave, nullptr);
        int high = -32768, low = 32767;
        long long sum = 0;
        for (int k = 0; k < 2048; ++k)
            high = std::max<int>(high, wave[k]), low = std::min<int>(low, wave[k]), sum += wave[k];
        EXPECT_EQ(high, 32767) << w;
        EXPECT_EQ(low, -32766) << w;
        EXPECT_LT(std::llabs(sum / 2048), 2) << "no DC offset in waveform " << w;
    }
    // Waveform 24: odd harmonics 1, 3, 5, 7, each a quarter of the one before. The third
    // harmonic's share shows in the correlation with sin(3x) against sin(x).
    auto harmonic = [](const int16_t* wave, int h) {
        double sum = 0;
        for (int k = 0; k < 2048; ++k)
            sum += wave[k] * std::sin(2 * std::acos(-1.0) * h * k / 2048);
        return sum;
    };
    const int16_t* w24 = synth_waveform(24);
    EXPECT_NEAR(harmonic(w24, 3) / harmonic(w24, 1), 0.25, 0.001);
    EXPECT_NEAR(harmonic(w24, 2) / harmonic(w24, 1), 0.0, 0.001);
    const int16_t* w25 = synth_waveform(25);
    EXPECT_NEAR(harmonic(w25, 5) / harmonic(w25, 3), std::sqrt(0.5), 0.001);
    const int16_t* w17 = synth_waveform(17);
    EXPECT_NEAR(harmonic(w17, 2) / harmonic(w17, 1), 0.5, 0.001);
    EXPECT_NEAR(harmonic(w17, 4) / harmonic(w17, 2), 0.25, 0.001);
    EXPECT_NEAR(harmonic(w17, 3) / harmonic(w17, 1), 0.0, 0.001);
}

TEST(SynthValidation, RefusesEveryOutOfRangeField) {
    const SynthParameters good =
        block({1, 0x00, 0x00, 0x21, 0xB3, 0x24, 0x00, 0x00, 0x00, 0xB3, 0x24});
    EXPECT_TRUE(valid_synth_parameters(good));
    struct Case {
        size_t byte;
        uint8_t value;
    };
    const Case bad[] = {
        {0, 2},    {3, 0x1F}, {8, 0x1F}, {8, 0x20}, {2, 32},   {7, 32},
        {4, 0xC0}, {9, 0xC0}, {4, 0x0E}, {9, 0x0E}, {5, 0x0E}, {10, 0x0E},
    };
    for (const Case& c : bad) {
        SynthParameters p = good;
        p[c.byte] = c.value;
        EXPECT_FALSE(valid_synth_parameters(p)) << c.byte << "=" << int(c.value);
    }
    SynthParameters feedback = good;
    feedback[3] = 0xE0; // feedback 7 on operator 1 is allowed
    EXPECT_TRUE(valid_synth_parameters(feedback));
    SynthParameters rates = good;
    rates[2] = 0xC0 | 31; // vibrato and tremolo bits do not count as the waveform
    rates[1] = 0xC0;
    EXPECT_TRUE(valid_synth_parameters(rates));
}

TEST(Synthesizer, SustainedSineLoopsAfterTheEnvelopeSettles) {
    // Operator 1 silenced with attenuation 63; operator 2 a sine, full attack, no decay. Both
    // envelopes settle by frame 64, the mark falls at 80, and one 256-frame cycle later the
    // phases meet again.
    const SynthParameters p = block({0, 63, 0, 0, 0xB0, 0x00, 0, 0, 0, 0xB0, 0x00});
    const Instrument instrument = make_synthesized_instrument("Sine", 11, p, false);
    EXPECT_EQ(instrument.length, 336u);
    EXPECT_EQ(instrument.loop_start, 80u);
    EXPECT_EQ(instrument.rate, SYNTH_RATE);
    EXPECT_EQ(instrument.bytes_per_sample, 2u);
    EXPECT_EQ(instrument.samples.size(), 336u * 2 + SAMPLE_PADDING);
    // Inside the loop the sample is the sine at full amplitude 32752, one cycle per 256 frames.
    const int16_t* s = instrument.samples16();
    for (Frame t = 80; t < 336; ++t)
        ASSERT_EQ(s[t], (32752 * ref_sine(int(8 * t))) >> 15) << t;
}

struct ExactCase {
    const char* what;
    SynthParameters p;
};

class SynthesizerExact : public testing::TestWithParam<ExactCase> {};

TEST_P(SynthesizerExact, MatchesTheReferenceFrames) {
    const ExactCase& c = GetParam();
    ASSERT_TRUE(valid_synth_parameters(c.p));
    const RefResult expected = reference(c.p, 65536);
    const Instrument instrument = make_synthesized_instrument(c.what, 11, c.p, false);
    EXPECT_EQ(long(instrument.length), expected.length);
    EXPECT_EQ(instrument.loop_start, expected.loop < 0 ? NO_LOOP : uint32_t(expected.loop));
    const size_t compared = std::min<size_t>(instrument.length, 640);
    ASSERT_GE(expected.frames.size(), compared);
    for (size_t t = 0; t < compared; ++t)
        ASSERT_EQ(instrument.samples16()[t], expected.frames[t]) << "frame " << t;
    // Beyond the first frames the whole sample still matches.
    for (size_t t = compared; t < instrument.length; ++t)
        ASSERT_EQ(instrument.samples16()[t], expected.frames[t]) << "frame " << t;
    bool any_sound = false;
    for (size_t t = 0; t < compared; ++t)
        any_sound = any_sound || instrument.samples16()[t] != 0;
    EXPECT_TRUE(any_sound);
}

// Each waveform 0 to 9 appears as the carrier of at least one block; the blocks also cover
// frequency modulation, feedback in both modes, vibrato, tremolo, sustain and release.
const ExactCase EXACT_CASES[] = {
    {"sine_fm", block({1, 0x10, 0x00, 0x01, 0xA5, 0x42, 0x00, 0x00, 0x00, 0xB2, 0x33})},
    {"halfsine_add", block({0, 0x04, 0x01, 0x00, 0xA3, 0x21, 0x02, 0x01, 0x00, 0xB3, 0x44})},
    {"twohump_vib", block({0, 63, 0x00, 0x00, 0xB0, 0x00, 0x42, 0x02, 0x01, 0xB1, 0x12})},
    {"quarter_fb", block({1, 0x08, 0x03, 0x41, 0x96, 0x15, 0x00, 0x03, 0x00, 0xA4, 0x26})},
    {"square_trem", block({0, 63, 0x00, 0x00, 0xB0, 0x00, 0x06, 0xC4, 0x00, 0x92, 0x35})},
    {"pulse_fm_fb", block({1, 0x12, 0x00, 0xA0, 0xB4, 0x24, 0x02, 0x05, 0x01, 0xB3, 0x17})},
    {"saw_decay", block({0, 0x0A, 0x06, 0x02, 0xB5, 0x38, 0x01, 0x06, 0x00, 0xB6, 0x7D})},
    {"triangle_lead", block({0, 0x03, 0x07, 0x60, 0xA2, 0x03, 0x44, 0x07, 0x00, 0xA1, 0x0A})},
    {"clipped_fm", block({1, 0x14, 0x08, 0x02, 0xB1, 0x55, 0x00, 0x08, 0x00, 0xB2, 0x43})},
    {"noise_hit", block({0, 63, 0x00, 0x00, 0xB0, 0x00, 0x00, 0x09, 0x00, 0xB8, 0x8A})},
    {"noise_fm", block({1, 0x1C, 0x09, 0x00, 0xB4, 0x33, 0x00, 0x00, 0x00, 0xB5, 0x56})},
    {"organ_loop", block({0, 0x00, 0x0A, 0x01, 0xB0, 0x00, 0x04, 0x0C, 0x00, 0xA0, 0x00})},
    {"fm_loop", block({1, 0x10, 0x00, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0x00})},
    {"fm_sustain_loop", block({1, 0x0C, 0x06, 0x02, 0xB4, 0x30, 0x00, 0x00, 0x00, 0xB3, 0x50})},
    {"bank_wave", block({0, 0x06, 0x18, 0x03, 0x93, 0x22, 0x00, 0x11, 0x00, 0x93, 0x22})},
};

INSTANTIATE_TEST_SUITE_P(Blocks, SynthesizerExact, testing::ValuesIn(EXACT_CASES),
                         [](const testing::TestParamInfo<ExactCase>& info) {
                             return std::string(info.param.what);
                         });

TEST(Synthesizer, DecayWithoutSustainEndsWithoutLoop) {
    // Decay to the lowest sustain level, then a slow release: the carrier falls under its
    // silence threshold while still decaying, so the sound ends rather than loops.
    const SynthParameters p = block({0, 63, 0, 0, 0xB0, 0x00, 0, 0, 0, 0xB4, 0xF4});
    const Instrument instrument = make_synthesized_instrument("Decay", 11, p, false);
    EXPECT_EQ(instrument.loop_start, NO_LOOP);
    EXPECT_LT(instrument.length, 65536u);
    EXPECT_EQ(instrument.length % 256, 0u);
    const RefResult expected = reference(p, 65536);
    EXPECT_EQ(long(instrument.length), expected.length);
}

TEST(Synthesizer, EndlessVibratoStopsAtTheLimit) {
    // An ever-changing vibrato on a sustained tone never repeats within 65536 frames.
    const SynthParameters p = block({0, 63, 0, 0, 0xB0, 0x00, 0xC0, 0x86, 0x02, 0xB0, 0x00});
    const Instrument instrument = make_synthesized_instrument("Vibrato", 11, p, false);
    const RefResult expected = reference(p, 65536);
    EXPECT_EQ(long(instrument.length), expected.length);
    EXPECT_EQ(instrument.loop_start, expected.loop < 0 ? NO_LOOP : uint32_t(expected.loop));
    if (expected.loop < 0) {
        EXPECT_EQ(instrument.length, 65536u);
    }
}

TEST(Synthesizer, NoiseIsTheSameEveryTime) {
    const SynthParameters p = block({0, 63, 0, 0, 0xB0, 0x00, 0x00, 0x09, 0x00, 0xB3, 0x33});
    const Instrument a = make_synthesized_instrument("Noise", 28, p, false);
    const Instrument b = make_synthesized_instrument("Noise", 28, p, false);
    EXPECT_TRUE(equal(a, b));
    ASSERT_EQ(a.length, b.length);
    EXPECT_EQ(std::memcmp(a.samples.data(), b.samples.data(), a.sample_bytes()), 0);
    EXPECT_NE(a.id, b.id);
}

TEST(Synthesizer, RenderingContinuesAcrossCapacities) {
    const SynthParameters p =
        block({1, 0x10, 0x00, 0x41, 0xA5, 0x42, 0x40, 0x00, 0x00, 0xB0, 0x00});
    std::vector<int16_t> whole(65536), pieces(65536);
    Synthesizer one(p), two(p);
    const auto outcome_whole = one.render(whole.data(), 65536);
    Synthesizer::Outcome outcome = Synthesizer::Outcome::CAPACITY_REACHED;
    for (Frame capacity = 1000;
         outcome == Synthesizer::Outcome::CAPACITY_REACHED && two.frame() < 65536; capacity += 1000)
        outcome = two.render(pieces.data(), std::min<Frame>(capacity, 65536));
    EXPECT_EQ(outcome, outcome_whole);
    ASSERT_EQ(one.frame(), two.frame());
    EXPECT_EQ(std::memcmp(whole.data(), pieces.data(), one.frame() * 2), 0);
}

} // namespace
} // namespace tunemill
