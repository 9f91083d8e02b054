// The pattern clipboard block: its bytes, pasting into voices found by instrument name, tempo and
// curve blocks, and copy-then-paste round trips over random patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "song/instrument_array.h"
#include "song/timing.h"
#include "song/voice_cursor.h"
#include "storage/byte_order.h"
#include "storage/clipboard.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;

Song song_of(const std::vector<std::string>& instruments) {
    Song song;
    reset(song);
    for (const std::string& name : instruments)
        add_instrument(song, sampled(name, 1, 10));
    add_pattern(song, "P");
    return song;
}

// The clipboard bytes read back by the test itself, field by field.
struct Decoded {
    uint32_t aspect, all, records, length;
    std::vector<TempoPoint> tempo;
    std::vector<std::pair<std::string, std::vector<Event>>> voices;
};

Decoded decode(const std::vector<uint8_t>& bytes) {
    Decoded d{
        get_u32(&bytes[0]), get_u32(&bytes[4]), get_u32(&bytes[8]), get_u32(&bytes[12]), {}, {}};
    size_t at = 16;
    if (d.aspect == 1 || (d.aspect == 0 && d.all == 1)) {
        const uint32_t n = get_u32(&bytes[at]);
        at += 4;
        for (uint32_t i = 0; i < n; ++i, at += 8) {
            d.tempo.push_back(TempoPoint{get_u32(&bytes[at]), bytes[at + 4], {0, 0, 0}});
            EXPECT_EQ(bytes[at + 5] | bytes[at + 6] | bytes[at + 7], 0);
        }
    }
    for (uint32_t r = 0; r < d.records; ++r) {
        std::string name(reinterpret_cast<const char*>(&bytes[at]));
        for (size_t i = name.size(); i < 17; ++i)
            EXPECT_EQ(bytes[at + i], 0) << "the rest of the name field is 0";
        at += 17;
        const uint32_t m = get_u32(&bytes[at]);
        at += 4;
        std::vector<Event> events;
        for (uint32_t i = 0; i < m; ++i, at += 8)
            events.push_back(Event{get_u32(&bytes[at]), bytes[at + 4], bytes[at + 5], bytes[at + 6],
                                   bytes[at + 7]});
        d.voices.emplace_back(name, events);
    }
    EXPECT_EQ(at, bytes.size());
    return d;
}

TEST(Clipboard, ANoteAcrossTheBlockIsCutAtItsEdges) {
    Song song = song_of({"Lead"});
    Pattern& pattern = song.patterns[0];
    pattern.length = 16;
    add_voice(pattern, 0);
    pattern.voices[0].events = events("vol20@1 on40@2 off40@12");
    const std::vector<Event> before = pattern.voices[0].events;
    const std::vector<uint8_t> bytes = copy_block(song, 0, Block{4, 8, Aspect::NOTES, 0});
    EXPECT_EQ(pattern.voices[0].events, before) << "copy leaves the pattern as it was";
    const Decoded d = decode(bytes);
    EXPECT_EQ(d.aspect, 0u);
    EXPECT_EQ(d.all, 0u);
    EXPECT_EQ(d.records, 1u);
    EXPECT_EQ(d.length, 4u);
    ASSERT_EQ(d.voices.size(), 1u);
    EXPECT_EQ(d.voices[0].first, "Lead");
    EXPECT_EQ(describe(d.voices[0].second), "vol20@0 bal15@0 on40@0 off40@4");
    EXPECT_EQ(bytes.size(), 16u + 21 + 4 * 8);
}

TEST(Clipboard, RecordsFindTheirInstrumentByName) {
    Song source = song_of({"Lead"});
    source.patterns[0].length = 8;
    add_voice(source.patterns[0], 0);
    source.patterns[0].voices[0].events = events("on40@0 off40@8");
    const std::vector<uint8_t> bytes = copy_block(source, 0, Block{0, 4, Aspect::NOTES, 0});
    struct Case {
        std::vector<std::string> instruments;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {{"Bass", "Lead 2", "Lead"}, 2}, // the same name
        {{"Lead", "Lead"}, 1},           // equal matches: the later one
        {{"Le", "Lead 2", "Lea"}, 1},    // the longest common beginning
        {{"Lx", "Ly"}, 1},               // a tie goes to the later one
        {{"Organ"}, 0},
    };
    for (const Case& c : cases) {
        Song song = song_of(c.instruments);
        EXPECT_EQ(paste_block(song, 0, -1, 0, bytes), 4u);
        ASSERT_EQ(song.patterns[0].voices.size(), 1u);
        EXPECT_EQ(song.patterns[0].voices[0].instrument, c.expected) << c.instruments[0];
        EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on40@0 off40@4");
        EXPECT_EQ(song.patterns[0].length, 4);
        EXPECT_TRUE(validate(song));
    }
    // A song without instruments takes nothing.
    Song empty;
    reset(empty);
    add_pattern(empty, "P");
    EXPECT_EQ(paste_block(empty, 0, -1, 0, bytes), 0u);
    EXPECT_TRUE(empty.patterns[0].voices.empty());
}

TEST(Clipboard, ATempoBlockPushesTheLaterPointsOnAndKeepsTheirValue) {
    Song song = song_of({"Lead"});
    Pattern& pattern = song.patterns[0];
    pattern.length = 32;
    pattern.tempo_points = {{2, 10, {0, 0, 0}}, {6, 25, {0, 0, 0}}, {20, 5, {0, 0, 0}}};
    const std::vector<uint8_t> bytes = copy_block(song, 0, Block{4, 12, Aspect::TEMPO, ALL_VOICES});
    const Decoded d = decode(bytes);
    EXPECT_EQ(d.aspect, 1u);
    EXPECT_EQ(d.records, 0u);
    EXPECT_EQ(d.tempo, (std::vector<TempoPoint>{{0, 10, {0, 0, 0}}, {2, 25, {0, 0, 0}}}));

    EXPECT_EQ(paste_block(song, 0, 0, 4, bytes), 8u);
    EXPECT_EQ(pattern.length, 40);
    // Before 4 as it was; the pasted 10 then 25; from 12 on the old curve from 4 on (10 at 4 and
    // 5, then 25 from 6), pushed right by 8.
    for (Tick t = 0; t < 40; ++t) {
        const uint8_t expected = t < 2    ? 20
                                 : t < 6  ? 10
                                 : t < 12 ? 25
                                 : t < 14 ? 10
                                 : t < 28 ? 25
                                          : 5;
        EXPECT_EQ(tempo_value_at(pattern, t), expected) << t;
    }
    EXPECT_TRUE(tempo_points_are_normal(pattern));
}

TEST(Clipboard, AVolumeBlockChangesOnlyTheVolumeCurve) {
    Song song = song_of({"Lead"});
    Pattern& pattern = song.patterns[0];
    pattern.length = 16;
    add_voice(pattern, 0);
    pattern.voices[0].events =
        events("on40@0 vol10@2 bal3@3 vol20@5 off40@8 on41@10 vol25@12 off41@16");
    const std::vector<uint8_t> bytes = copy_block(song, 0, Block{1, 4, Aspect::VOLUME, 0});
    EXPECT_EQ(describe(decode(bytes).voices[0].second), "vol30@0 vol10@1");
    EXPECT_EQ(paste_block(song, 0, 0, 10, bytes), 3u);
    // At 10 the volume drops to 30, then to 10 at 12; from 13 on the old curve from 10: 20, then
    // the old 25 at 12 moved to 15. Notes and balance are untouched.
    EXPECT_EQ(describe(pattern.voices[0].events), "on40@0 vol10@2 bal3@3 vol20@5 off40@8 vol30@10 "
                                                  "on41@10 vol10@11 vol20@13 vol25@15 off41@16");
    EXPECT_EQ(pattern.length, 16);
    EXPECT_TRUE(validate(song));
}

// A volume and a balance event exactly at the block's start travel with the block: the pasted
// stretch starts at the copied values, for every aspect that carries them, from one voice or all.
TEST(Clipboard, CurveEventsAtTheBlockStartArePastedWithTheirValues) {
    struct Case {
        const char* name;
        Aspect aspect;
        int32_t voice;
        bool volume, balance; // which curves the block carries
    };
    const std::vector<Case> cases = {
        {"notes of one voice", Aspect::NOTES, 0, true, true},
        {"notes of all voices", Aspect::NOTES, ALL_VOICES, true, true},
        {"volume", Aspect::VOLUME, 0, true, false},
        {"balance", Aspect::BALANCE, 0, false, true},
    };
    for (const Case& c : cases) {
        Song song = song_of({"Lead"});
        Pattern& pattern = song.patterns[0];
        pattern.length = 16;
        add_voice(pattern, 0);
        pattern.voices[0].events = events("on40@0 off40@2 vol10@4 bal5@4 on41@4 off41@8");
        const std::vector<uint8_t> bytes = copy_block(song, 0, Block{4, 8, c.aspect, c.voice});
        ASSERT_EQ(paste_block(song, 0, 0, 12, bytes), 4u) << c.name;
        VoiceCursor cursor(pattern.voices[0]);
        cursor.seek(13);
        if (c.volume) {
            EXPECT_EQ(cursor.volume(), 10) << c.name;
        }
        if (c.balance) {
            EXPECT_EQ(cursor.balance(), 5) << c.name;
        }
        EXPECT_TRUE(validate(song)) << c.name;
    }
}

TEST(Clipboard, MalformedBytesChangeNothing) {
    Song song = song_of({"Lead"});
    song.patterns[0].length = 8;
    add_voice(song.patterns[0], 0);
    song.patterns[0].voices[0].events = events("on40@0 off40@8");
    const std::vector<uint8_t> good = copy_block(song, 0, Block{0, 8, Aspect::NOTES, 0});
    std::vector<std::vector<uint8_t>> bad;
    for (size_t cut : {size_t(0), size_t(15), good.size() - 1})
        bad.emplace_back(good.begin(), good.begin() + ptrdiff_t(cut));
    auto with = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[offset] = value;
        return b;
    };
    bad.push_back(with(0, 9));                    // aspect
    bad.push_back(with(0, 2));                    // notes in a volume block
    bad.push_back(with(0, 3));                    // notes in a balance block
    bad.push_back(with(8, 2));                    // two records from one voice
    bad.push_back(with(16 + 17, 200));            // event count beyond the bytes
    bad.push_back(with(16 + 21 + 8 * 2 + 4, 3));  // a note on turned into a note off
    bad.push_back(with(16 + 21 + 8 * 2 + 5, 90)); // key 90
    std::vector<uint8_t> unterminated = good;
    std::fill(unterminated.begin() + 16, unterminated.begin() + 33, 'x');
    bad.push_back(unterminated);
    for (size_t i = 0; i < bad.size(); ++i) {
        Song copy = song;
        EXPECT_EQ(paste_block(copy, 0, 0, 2, bad[i]), 0u) << i;
        EXPECT_EQ(describe(copy.patterns[0].voices[0].events), "on40@0 off40@8") << i;
        EXPECT_EQ(copy.patterns[0].length, 8) << i;
    }
}

// The record's events as a voice in normal form, so that two copies of the same music compare
// equal whatever redundant curve events they carry.
std::string normalized(std::vector<Event> record, Tick length) {
    Voice voice;
    for (const Event& e : record)
        insert_event(voice, e);
    normalize_voice(voice, length);
    // Events of one rank within a tick may stand in any order.
    auto rank = [](const Event& e) {
        return e.kind == NOTE_OFF ? 0 : e.kind == PORTAMENTO ? 2 : 1;
    };
    std::stable_sort(voice.events.begin(), voice.events.end(), [&](const Event& x, const Event& y) {
        return std::tuple(x.tick, rank(x), x.kind, x.param1) <
               std::tuple(y.tick, rank(y), y.kind, y.param1);
    });
    return describe(voice.events);
}

TEST(Clipboard, CopyThenPasteRoundTripsOverRandomPatterns) {
    std::mt19937 rng(11);
    int pasted = 0;
    for (uint32_t seed = 1; seed <= 120; ++seed) {
        TestBank bank;
        Song song = random_song(seed, bank);
        // Names must tell the instruments apart for the match by name.
        for (size_t i = 0; i < song.instruments.size(); ++i)
            song.instruments[i].name = "Instrument " + std::to_string(i);
        const size_t p = rng() % song.patterns.size();
        normalize_pattern(song.patterns[p]);
        Pattern& source = song.patterns[p];
        if (source.length < 2 || source.voices.empty()) continue;
        const Tick from = rng() % Tick(source.length - 1);
        const Tick to = from + 1 + rng() % Tick(source.length - from);
        const bool all = rng() % 2 == 0;
        const int32_t voice = all ? ALL_VOICES : int32_t(rng() % source.voices.size());
        const std::vector<uint8_t> a = copy_block(song, p, Block{from, to, Aspect::NOTES, voice});
        ASSERT_FALSE(a.empty());

        Song result = song;
        SCOPED_TRACE("seed " + std::to_string(seed) + (all ? " all voices" : " one voice"));
        EXPECT_EQ(paste_block(result, p, all ? 0 : voice, from, a), to - from);
        if (auto failure = find_invalid(result)) {
            const auto& bad = result.patterns[size_t(failure->pattern < 0 ? 0 : failure->pattern)];
            FAIL() << "invariant " << failure->invariant << " voice " << failure->voice << " item "
                   << failure->item << " from " << from << " to " << to << ": "
                   << (failure->voice >= 0 ? describe(bad.voices[size_t(failure->voice)].events)
                                           : "")
                   << "\nwas: "
                   << (failure->voice >= 0
                           ? describe(song.patterns[p].voices[size_t(failure->voice)].events)
                           : "");
        }
        EXPECT_EQ(result.patterns[p].voices.size(), song.patterns[p].voices.size());
        const std::vector<uint8_t> b = copy_block(result, p, Block{from, to, Aspect::NOTES, voice});
        const Decoded da = decode(a), db = decode(b);
        ASSERT_EQ(da.voices.size(), db.voices.size());
        for (size_t v = 0; v < da.voices.size(); ++v) {
            EXPECT_EQ(da.voices[v].first, db.voices[v].first);
            EXPECT_EQ(normalized(da.voices[v].second, to - from),
                      normalized(db.voices[v].second, to - from))
                << v;
        }
        if (all) {
            Pattern ta, tb;
            ta.tempo_points = da.tempo;
            tb.tempo_points = db.tempo;
            for (Tick t = 0; t < to - from; ++t)
                EXPECT_EQ(tempo_value_at(ta, t), tempo_value_at(tb, t)) << t;
        }
        // What lay before the paste is untouched (a slide still gliding at the paste's tick is
        // dissolved into two notes there, as every splitting does).
        for (size_t v = 0; v < source.voices.size(); ++v) {
            const auto& old = song.patterns[p].voices[v].events;
            if (std::any_of(old.begin(), old.end(), [&](const Event& e) {
                    return e.kind == PORTAMENTO && e.tick < from &&
                           uint64_t(e.tick) + e.param3 >= from;
                }))
                continue;
            const auto& now = result.patterns[p].voices[v].events;
            std::vector<Event> old_before, now_before;
            for (const Event& e : old)
                if (e.tick < from) old_before.push_back(e);
            for (const Event& e : now)
                if (e.tick < from) now_before.push_back(e);
            EXPECT_EQ(describe(old_before), describe(now_before)) << v;
        }
        ++pasted;
    }
    EXPECT_GT(pasted, 30);
}

} // namespace
} // namespace tunemill
