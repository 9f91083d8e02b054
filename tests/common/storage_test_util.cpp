// Helpers of the song storage tests.
#include "storage_test_util.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "song/instrument_array.h"

namespace tunemill::storage_testing {

Instrument sampled(const std::string& name, uint32_t bytes_per_sample, uint32_t length,
                   uint32_t loop_start, uint32_t rate, uint32_t seed) {
    Instrument instrument =
        make_sampled_instrument(name, 3, length, loop_start, rate, bytes_per_sample, false);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < instrument.sample_bytes(); ++i)
        instrument.samples[i] = uint8_t(rng());
    return instrument;
}

Instrument synthesized(const std::string& name) {
    const SynthParameters parameters{1, 0x00, 0x00, 0x21, 0xB3, 0x24, 0x00, 0x00, 0x00, 0xB3, 0x24};
    return make_synthesized_instrument(name, 7, parameters, false);
}

BankLookup TestBank::lookup() const {
    return [this](const std::string& name) {
        auto found = instruments.find(name);
        if (found == instruments.end()) throw INS_BANK_ERROR(INS_BANK_ERROR::MISSING_INSTRUMENT);
        Instrument copy = found->second;
        copy.from_bank = true;
        copy.id = next_instrument_id();
        return copy;
    };
}

namespace {

std::string random_text(std::mt19937& rng, size_t min, size_t max) {
    std::string text(std::uniform_int_distribution<size_t>(min, max)(rng), ' ');
    for (char& c : text)
        c = char(std::uniform_int_distribution<int>(1, 255)(rng));
    return text;
}

void random_voice(std::mt19937& rng, Voice& voice, Tick length) {
    auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::vector<bool> sounding(KEY_COUNT, false);
    Tick t = 0;
    std::set<int> touched; // keys with an event at tick t
    while (true) {
        const int step = pick(20);
        const Tick before = t;
        t += step < 14 ? Tick(pick(4)) : step < 16 ? 254 : step < 18 ? 255 : Tick(256 + pick(400));
        if (t >= length) break;
        if (t != before) touched.clear();
        const int actions = 1 + pick(3);
        for (int a = 0; a < actions; ++a) {
            const int key = pick(KEY_COUNT);
            if (touched.count(key)) continue;
            const int what = pick(10);
            if (what < 4 && !sounding[key]) {
                insert_event(voice, t, NOTE_ON, uint8_t(key));
                sounding[key] = true;
            } else if (what < 7 && sounding[key]) {
                insert_event(voice, t, NOTE_OFF, uint8_t(key));
                sounding[key] = false;
            } else if (what == 7 && sounding[key]) {
                const int target = pick(KEY_COUNT);
                if (sounding[target] || touched.count(target)) continue;
                insert_event(voice, t, PORTAMENTO, uint8_t(key), uint8_t(target),
                             uint8_t(1 + pick(255)));
                sounding[key] = false;
                sounding[target] = true;
                touched.insert(target);
            } else if (what == 8) {
                insert_event(voice, t, VOLUME, uint8_t(pick(31)));
            } else if (what == 9) {
                insert_event(voice, t, BALANCE, uint8_t(pick(31)));
            }
            touched.insert(key);
        }
    }
    for (int key = 0; key < KEY_COUNT; ++key)
        if (sounding[key]) insert_event(voice, length, NOTE_OFF, uint8_t(key));
    (void)chance;
}

} // namespace

Song random_song(uint32_t seed, TestBank& bank) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Song song;
    reset(song, random_text(rng, 0, 60));
    song.ticks_per_beat = 1 + pick(30);
    song.beats_per_measure = 1 + pick(30);
    song.overall_tempo = pick(121);

    const int instrument_count = 1 + pick(4);
    for (int i = 0; i < instrument_count; ++i) {
        const std::string name = random_text(rng, 1, 16);
        Instrument instrument;
        switch (pick(5)) {
        case 0:
            instrument = sampled(name, 1, uint32_t(pick(300)), NO_LOOP,
                                 8000 + uint32_t(pick(30000)), seed + uint32_t(i));
            break;
        case 1: {
            const uint32_t length = 1 + uint32_t(pick(300));
            instrument =
                sampled(name, 2, length, uint32_t(pick(int(length))), 44100, seed + uint32_t(i));
            break;
        }
        case 2:
            instrument = sampled(name, 2, 0, NO_LOOP, 11025, seed);
            break;
        case 3:
            instrument = synthesized(name);
            break;
        default: {
            const std::string bank_name = "Bank " + std::to_string(seed) + "/" + std::to_string(i);
            Instrument stock = sampled(bank_name, 1, 100, 10, 16000, seed + uint32_t(i));
            bank.instruments[bank_name] = stock;
            instrument = stock;
            instrument.from_bank = true;
            break;
        }
        }
        if (!instrument.from_bank) instrument.category = uint32_t(pick(30));
        add_instrument(song, std::move(instrument));
    }

    const int pattern_count = 1 + pick(4);
    for (int p = 0; p < pattern_count; ++p) {
        add_pattern(song, random_text(rng, 0, 20));
        Pattern& pattern = song.patterns.back();
        pattern.length = pick(8) == 0 ? 0 : pick(10) == 0 ? 5000 + pick(5000) : pick(600);
        Tick tick = 0;
        while (pattern.length > 0 && pick(3) != 0) {
            tick += Tick(pick(300));
            if (tick > Tick(pattern.length)) break;
            pattern.tempo_points.push_back(TempoPoint{tick, uint8_t(pick(31)), {0, 0, 0}});
        }
        const int voices = pick(5);
        for (int v = 0; v < voices; ++v) {
            const size_t index = add_voice(pattern, uint32_t(pick(instrument_count)));
            random_voice(rng, pattern.voices[index], Tick(pattern.length));
        }
    }
    const int entries = pick(7);
    for (int e = 0; e < entries; ++e)
        song.sequence.push_back(uint32_t(pick(pattern_count)));
    song.repeat_position = entries > 0 ? pick(entries) : 0;
    if (auto failure = find_invalid(song))
        throw std::logic_error(
            "random song is not valid: invariant " + std::to_string(failure->invariant) +
            " pattern " + std::to_string(failure->pattern) + " voice " +
            std::to_string(failure->voice) + " item " + std::to_string(failure->item));
    return song;
}

void expect_same_song(const Song& expected, const Song& actual) {
    EXPECT_EQ(expected.description, actual.description);
    EXPECT_EQ(expected.ticks_per_beat, actual.ticks_per_beat);
    EXPECT_EQ(expected.beats_per_measure, actual.beats_per_measure);
    EXPECT_EQ(expected.overall_tempo, actual.overall_tempo);
    EXPECT_EQ(expected.repeat_position, actual.repeat_position);
    EXPECT_EQ(expected.sequence, actual.sequence);
    ASSERT_EQ(expected.patterns.size(), actual.patterns.size());
    for (size_t p = 0; p < expected.patterns.size(); ++p) {
        const Pattern& a = expected.patterns[p];
        const Pattern& b = actual.patterns[p];
        EXPECT_EQ(a.name, b.name) << "pattern " << p;
        EXPECT_EQ(a.length, b.length) << "pattern " << p;
        EXPECT_EQ(a.tempo_points, b.tempo_points) << "pattern " << p;
        ASSERT_EQ(a.voices.size(), b.voices.size()) << "pattern " << p;
        for (size_t v = 0; v < a.voices.size(); ++v) {
            EXPECT_EQ(a.voices[v].instrument, b.voices[v].instrument)
                << "pattern " << p << " voice " << v;
            EXPECT_EQ(describe(a.voices[v].events), describe(b.voices[v].events))
                << "pattern " << p << " voice " << v;
        }
    }
    ASSERT_EQ(expected.instruments.size(), actual.instruments.size());
    for (size_t i = 0; i < expected.instruments.size(); ++i) {
        const Instrument& a = expected.instruments[i];
        const Instrument& b = actual.instruments[i];
        EXPECT_EQ(a.name, b.name) << "instrument " << i;
        EXPECT_EQ(a.category, b.category) << "instrument " << i;
        EXPECT_EQ(a.from_bank, b.from_bank) << "instrument " << i;
        EXPECT_EQ(a.synthesized(), b.synthesized()) << "instrument " << i;
        if (a.synthesized() && b.synthesized()) {
            EXPECT_EQ(*a.synth_parameters, *b.synth_parameters);
        }
        EXPECT_EQ(a.bytes_per_sample, b.bytes_per_sample) << "instrument " << i;
        EXPECT_EQ(a.length, b.length) << "instrument " << i;
        EXPECT_EQ(a.rate, b.rate) << "instrument " << i;
        EXPECT_EQ(a.loop_start, b.loop_start) << "instrument " << i;
        EXPECT_TRUE(std::equal(a.samples.begin(), a.samples.begin() + ptrdiff_t(a.sample_bytes()),
                               b.samples.begin(), b.samples.begin() + ptrdiff_t(b.sample_bytes())))
            << "instrument " << i;
    }
}

void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(uint8_t(value >> (8 * k)));
}

std::vector<uint8_t> chunk(const char* tag, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(tag, tag + 3);
    put_le(out, uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> text_bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> song_file(uint32_t patterns, uint32_t instruments,
                               const std::vector<uint8_t>& chunks, uint32_t repeat, uint32_t tempo,
                               uint32_t ticks_per_beat, uint32_t beats_per_measure) {
    std::vector<uint8_t> payload;
    for (uint32_t value : {patterns, instruments, repeat, tempo, ticks_per_beat, beats_per_measure})
        put_le(payload, value);
    return chunk("SN2", payload + chunks);
}

std::vector<uint8_t> pattern_chunk(uint32_t length, const std::vector<uint8_t>& subchunks) {
    std::vector<uint8_t> payload;
    put_le(payload, length);
    return chunk("PAT", payload + subchunks);
}

std::vector<uint8_t> voice_chunk(uint32_t instrument, const std::vector<uint8_t>& records) {
    std::vector<uint8_t> payload;
    put_le(payload, instrument);
    return chunk("voi", payload + records);
}

bool read_song_bytes(const std::vector<uint8_t>& bytes, Song& song, const BankLookup& bank) {
    static int counter = 0;
    const auto path = write_scratch_file("read-" + std::to_string(counter++) + ".sn2", bytes);
    File file = File::open_for_reading(path);
    static const TestBank empty;
    return read_song(file, song, bank ? bank : empty.lookup());
}

} // namespace tunemill::storage_testing
