// Random sequences of editing operations on random songs: after every operation the song must
// validate and every voice and tempo curve must be in normal form. Seeded and reproducible; a
// few seconds by default, a long run with TUNEMILL_LONG_FUZZ=1 (and TUNEMILL_FUZZ_SEED=<n> to
// start elsewhere).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "song/edit_list.h"
#include "song/editing.h"
#include "song/instrument_array.h"
#include "song/song.h"
#include "song_test_util.h"

namespace tunemill {
namespace {

using testing::describe;

struct Fuzzer {
    std::mt19937 random;
    explicit Fuzzer(uint32_t seed) : random(seed) {}

    uint32_t below(uint32_t n) {
        return n ? std::uniform_int_distribution<uint32_t>(0, n - 1)(random) : 0;
    }
    bool chance(int percent) { return int(below(100)) < percent; }
    Key key() { return Key(chance(80) ? 36 + below(12) : below(KEY_COUNT)); } // crowd some keys

    // A random but well-formed song, built with the drawing operations (themselves under test).
    Song make_song() {
        Song song;
        add_sampled_instrument(song, "I", NO_CATEGORY, 0, NO_LOOP, 8000, 1, false);
        add_sampled_instrument(song, "J", NO_CATEGORY, 0, NO_LOOP, 8000, 1, false);
        song.ticks_per_beat = int32_t(1 + below(8));
        int patterns = 1 + int(below(2));
        for (int p = 0; p < patterns; ++p) {
            add_pattern(song, "P");
            Pattern& pattern = song.patterns.back();
            pattern.length = int32_t(below(5) == 0 ? below(4) : 8 + below(60));
            int voices = int(below(4));
            for (int v = 0; v < voices; ++v) {
                add_voice(pattern, below(2));
                int notes = int(below(14));
                for (int n = 0; n < notes && pattern.length > 0; ++n) {
                    Tick from = below(Tick(pattern.length));
                    Tick to = from + 1 + below(std::min<Tick>(8, Tick(pattern.length) - from));
                    add_note(pattern, size_t(v), from, to, key());
                }
                int curves = int(below(5));
                for (int c = 0; c < curves && pattern.length > 0; ++c) {
                    Tick from = below(Tick(pattern.length));
                    set_curve_range(pattern, size_t(v), from, from + 1 + below(8),
                                    chance(50) ? VOLUME : BALANCE, uint8_t(below(31)));
                }
                if (chance(50) && pattern.length > 0)
                    portamento_set(pattern, Block{0, Tick(pattern.length), Aspect::NOTES, v});
            }
            int points = int(below(4));
            for (int t = 0; t < points && pattern.length > 0; ++t)
                set_tempo_point(pattern, below(Tick(pattern.length)), uint8_t(below(31)));
        }
        song.sequence = {0};
        return song;
    }

    Block block(const Pattern& pattern) {
        Tick length = pattern.tick_length();
        Block b;
        b.from = below(length + 1);
        b.to = b.from + 1 + below(std::max<Tick>(1, length - b.from + 2)); // may reach past the end
        b.aspect = Aspect(below(4));
        b.voice = pattern.voices.empty() || chance(35)
                      ? ALL_VOICES
                      : int32_t(below(uint32_t(pattern.voices.size())));
        return b;
    }

    // Runs one random operation and describes it.
    std::string step(Song& song) {
        Pattern& pattern = song.patterns[below(uint32_t(song.patterns.size()))];
        Block b = block(pattern);
        std::ostringstream what;
        what << "pattern length " << pattern.length << " voice " << b.voice << " [" << b.from
             << ", " << b.to << ") aspect " << int(b.aspect) << ": ";
        size_t voice = pattern.voices.empty() ? 0 : below(uint32_t(pattern.voices.size()));
        switch (below(16)) {
        case 0:
            what << "clear";
            clear_block(pattern, b);
            break;
        case 1:
            what << "delete";
            delete_block(pattern, b);
            break;
        case 2:
            what << "insert space";
            if (pattern.length < 400) insert_space(pattern, b);
            break;
        case 3:
            what << "repeat";
            repeat_block(pattern, b);
            break;
        case 4: {
            int amount = int(below(25)) - 12;
            if (chance(10)) amount = chance(50) ? 90 : -90;
            what << "transpose " << amount;
            transpose_block(pattern, b, amount);
            break;
        }
        case 5:
            what << "portamento set";
            portamento_set(pattern, b);
            break;
        case 6:
            what << "portamento clear";
            portamento_clear(pattern, b);
            break;
        case 7: {
            uint8_t kind = chance(50) ? VOLUME : BALANCE, value = uint8_t(below(31));
            what << "curve " << int(kind) << " voice " << voice << " = " << int(value);
            set_curve_range(pattern, voice, b.from, b.to, kind, value);
            break;
        }
        case 8: {
            uint8_t value = uint8_t(below(31));
            what << "tempo range " << int(value);
            set_tempo_range(pattern, b.from, std::min(b.to, pattern.tick_length()), value);
            break;
        }
        case 9: {
            uint8_t value = uint8_t(below(31));
            Tick tick = below(pattern.tick_length() + 1);
            what << "tempo point " << tick << " = " << int(value);
            set_tempo_point(pattern, tick, value);
            break;
        }
        case 10:
        case 11: {
            Key k = key();
            what << "add note voice " << voice << " key " << int(k);
            add_note(pattern, voice, b.from, b.to, k);
            break;
        }
        case 12: {
            Key k = key();
            what << "erase note voice " << voice << " key " << int(k);
            erase_note(pattern, voice, b.from, b.to, k);
            break;
        }
        case 13: {
            Tick cursor = below(pattern.tick_length() + 3);
            what << "remove step voice " << voice << " at " << cursor;
            Tick back = remove_step(pattern, voice, cursor);
            EXPECT_LE(back, cursor);
            break;
        }
        case 14: {
            int32_t tpb = int32_t(1 + below(12));
            what << "align " << song.ticks_per_beat << " -> " << tpb;
            if (pattern.length < 2000 && align_to_ticks_per_beat(song, tpb))
                song.ticks_per_beat = tpb;
            break;
        }
        case 15: {
            Tick n = below(12);
            what << (chance(50) ? "shorten " : "lengthen ") << n;
            if (what.str().find("shorten") != std::string::npos)
                shorten(pattern, n);
            else if (pattern.length < 400)
                lengthen(pattern, n);
            break;
        }
        }
        return what.str();
    }
};

std::string dump(const Song& song) {
    std::ostringstream out;
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const Pattern& pattern = song.patterns[p];
        out << "pattern " << p << " length " << pattern.length << " tempo";
        for (const TempoPoint& t : pattern.tempo_points)
            out << ' ' << int(t.value) << '@' << t.tick;
        out << '\n';
        for (const Voice& voice : pattern.voices)
            out << "  " << describe(voice.events) << '\n';
    }
    return out.str();
}

// Empty when the song is well-formed and normalized, else what is wrong.
std::string problems(const Song& song) {
    if (auto failure = find_invalid(song)) {
        std::ostringstream out;
        out << "invariant " << failure->invariant << " pattern " << failure->pattern << " voice "
            << failure->voice << " item " << failure->item;
        return out.str();
    }
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const Pattern& pattern = song.patterns[p];
        if (!tempo_points_are_normal(pattern))
            return "tempo points not normal in pattern " + std::to_string(p);
        for (size_t v = 0; v < pattern.voices.size(); ++v)
            if (!voice_is_normal(pattern.voices[v], pattern.tick_length()))
                return "voice " + std::to_string(v) + " of pattern " + std::to_string(p) +
                       " not normal";
    }
    return {};
}

TEST(RandomEdits, EveryOperationLeavesTheSongValidAndNormalized) {
    const bool long_run =
        std::getenv("TUNEMILL_LONG_FUZZ") && std::string(std::getenv("TUNEMILL_LONG_FUZZ")) == "1";
    const uint32_t first_seed = std::getenv("TUNEMILL_FUZZ_SEED")
                                    ? uint32_t(std::atol(std::getenv("TUNEMILL_FUZZ_SEED")))
                                    : 1;
    const uint32_t songs = long_run ? 200000 : 2000;
    const int steps = 40;
    for (uint32_t seed = first_seed; seed < first_seed + songs; ++seed) {
        Fuzzer fuzzer(seed);
        Song song = fuzzer.make_song();
        std::string problem = problems(song);
        ASSERT_EQ(problem, "") << "seed " << seed << " (made song)\n" << dump(song);
        for (int step = 0; step < steps; ++step) {
            std::string before = dump(song);
            std::string what = fuzzer.step(song);
            problem = problems(song);
            ASSERT_EQ(problem, "")
                << "seed " << seed << " step " << step << ": " << what << "\nbefore:\n"
                << before << "after:\n"
                << dump(song);
        }
    }
}

} // namespace
} // namespace tunemill
