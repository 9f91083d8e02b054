// The song file: exact bytes of small songs, the round trip of random songs, what the reader
// tolerates from later versions and every kind of damage it must refuse.
#include <gtest/gtest.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "instruments/instrument_file.h"
#include "song/instrument_array.h"
#include "storage/byte_order.h"
#include "storage/chunk_reader.h"
#include "storage/song_file.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(uint8_t(v));
    return out;
}

std::vector<uint8_t> u32(uint32_t value) {
    std::vector<uint8_t> out;
    put_le(out, value);
    return out;
}

// A bank with one instrument, "Piano", that loops.
const TestBank& piano_bank() {
    static const TestBank bank = [] {
        TestBank b;
        b.instruments["Piano"] = sampled("Piano", 1, 200, 50, 22050);
        return b;
    }();
    return bank;
}

const std::vector<uint8_t> NOTE_0_TO_8 = bytes({0x00, 0x11, 40, 0x08, 0x13, 40});
const std::vector<uint8_t> PIANO = chunk("INS", bytes({1}) + text_bytes("Piano"));

// A valid file around the given pattern sub-chunks: one pattern of 8 ticks, the piano.
std::vector<uint8_t> one_pattern_file(const std::vector<uint8_t>& subchunks, uint32_t length = 8) {
    return song_file(1, 1, chunk("SEQ", u32(0)) + pattern_chunk(length, subchunks) + PIANO);
}

TEST(SongFileWriter, EmptyPatternSongHasTheDocumentedBytes) {
    Song song;
    reset(song);
    add_pattern(song, "Main");
    song.sequence = {0};
    const std::vector<uint8_t> expected =
        song_file(1, 0,
                  chunk("NAM", {}) + chunk("SEQ", u32(0)) +
                      pattern_chunk(0, chunk("pna", text_bytes("Main")) + chunk("tem", {})));
    const std::vector<uint8_t> written = encode_song(song);
    EXPECT_EQ(expected, written);
    // 24 + NAM 7 + SEQ 11 + PAT (7 + 4 + 7 + 4 + 7).
    EXPECT_EQ(get_u32(written.data() + 3), 24u + 7 + 11 + (7 + 4 + 7 + 4 + 7));
}

// Records of one voice as written for the event ticks given.
std::vector<uint8_t> written_records(const std::vector<Event>& events) {
    Song song;
    reset(song);
    add_instrument(song, sampled("x", 1, 10));
    add_pattern(song, "");
    song.patterns[0].length = 100000;
    add_voice(song.patterns[0], 0);
    song.patterns[0].voices[0].events = events;
    const std::vector<uint8_t> file = encode_song(song);
    // The voice chunk is the only "voi"; its records follow the instrument index.
    for (size_t i = 0; i + 3 < file.size(); ++i)
        if (file[i] == 'v' && file[i + 1] == 'o' && file[i + 2] == 'i') {
            const uint32_t length = uint32_t(file[i + 3]) | uint32_t(file[i + 4]) << 8 |
                                    uint32_t(file[i + 5]) << 16 | uint32_t(file[i + 6]) << 24;
            return std::vector<uint8_t>(file.begin() + ptrdiff_t(i + 11),
                                        file.begin() + ptrdiff_t(i + 7 + length));
        }
    return {};
}

TEST(SongFileWriter, EventRecordsTakeTheShortFormWheneverTheyFit) {
    struct Case {
        const char* events;
        std::vector<uint8_t> records;
    };
    const std::vector<Case> cases = {
        {"on40@0", bytes({0x00, 0x11, 0x28})},
        {"on40@254", bytes({0xFE, 0x11, 0x28})},
        {"on40@255", bytes({0xFF, 0xFF, 0, 0, 0, 1, 1, 0, 0, 0, 0x28})},
        {"on40@300", bytes({0xFF, 0x2C, 1, 0, 0, 1, 1, 0, 0, 0, 0x28})},
        {"on40@10 off40@310 on41@564",
         bytes({10, 0x11, 40, 0xFF, 0x2C, 1, 0, 0, 3, 1, 0, 0, 0, 40, 254, 0x11, 41})},
        {"on40@0 port40>45:7@3 vol12@3 bal3@4",
         bytes({0, 0x11, 40, 3, 0x36, 40, 45, 7, 0, 0x14, 12, 1, 0x15, 3})},
        // Release marks are never written and do not advance the previous tick.
        {"on40@0 rel40@5 off40@9", bytes({0, 0x11, 40, 9, 0x13, 40})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.records, written_records(events(c.events))) << c.events;
}

TEST(SongFileRoundTrip, RandomSongsReadBackUnchanged) {
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        TestBank bank;
        const Song song = random_song(seed, bank);
        Song read;
        ASSERT_TRUE(read_song_bytes(encode_song(song), read, bank.lookup())) << "seed " << seed;
        SCOPED_TRACE("seed " + std::to_string(seed));
        expect_same_song(song, read);
        // Writing what was read gives the same bytes again.
        EXPECT_EQ(encode_song(song), encode_song(read));
    }
}

TEST(SongFileRoundTrip, BankInstrumentsTravelByNameAndRenamedOnesWhole) {
    TestBank bank;
    bank.instruments["Strings"] = sampled("Strings", 2, 64, 0, 32000, 9);
    Song song;
    reset(song);
    add_instrument(song, bank.lookup()("Strings"));
    add_instrument(song, bank.lookup()("Strings"));
    rename_instrument(song, 1, "My strings");
    add_pattern(song, "A");
    const std::vector<uint8_t> file = encode_song(song);
    const std::string text(file.begin(), file.end());
    EXPECT_NE(text.find(std::string("INS\x08\0\0\0\x01Strings", 15)), std::string::npos);

    // The renamed one loads without the bank; the bank one needs it.
    Song read;
    ASSERT_TRUE(read_song_bytes(file, read, bank.lookup()));
    EXPECT_TRUE(read.instruments[0].from_bank);
    EXPECT_FALSE(read.instruments[1].from_bank);
    EXPECT_EQ(read.instruments[1].name, "My strings");
    EXPECT_EQ(read.instruments[1].length, 64u);
    try {
        Song again;
        read_song_bytes(file, again, TestBank{}.lookup());
        FAIL() << "a missing bank instrument must fail";
    } catch (const INS_BANK_ERROR& error) {
        EXPECT_EQ(error.kind(), INS_BANK_ERROR::MISSING_INSTRUMENT);
        set_language(Language::ENGLISH);
        EXPECT_EQ(error_text(error),
                  "This song uses instrument(s) that are not present in bank file");
    }
}

TEST(SongFileReader, OtherFilesAreNotThisFormat) {
    for (const auto& head : {text_bytes("SNGs....."), text_bytes("SN"), std::vector<uint8_t>{},
                             text_bytes("sn2xxxxxxxxxxxx")}) {
        const auto path = write_scratch_file("other", head);
        File file = File::open_for_reading(path);
        Song song;
        song.overall_tempo = 99;
        EXPECT_FALSE(read_song(file, song, piano_bank().lookup()));
        EXPECT_EQ(file.position(), 0u);
        EXPECT_EQ(song.overall_tempo, DEFAULT_OVERALL_TEMPO) << "the song is reset";
    }
}

TEST(SongFileReader, ReadsWhatLaterVersionsAddAndSkipsWhatItDoesNotKnow) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* expected_events;
    };
    const std::vector<Case> cases = {
        {"plain", one_pattern_file(voice_chunk(0, NOTE_0_TO_8)), "on40@0 off40@8"},
        {"unknown top-level and pattern chunks",
         song_file(1, 1,
                   chunk("XYZ", bytes({1, 2, 3})) + chunk("SEQ", u32(0)) +
                       pattern_chunk(8, chunk("abc", bytes({9})) + voice_chunk(0, NOTE_0_TO_8) +
                                            chunk("pnb", {})) +
                       PIANO + chunk("nam", text_bytes("x"))),
         "on40@0 off40@8"},
        {"events of unknown kinds are skipped but keep their ticks",
         one_pattern_file(
             voice_chunk(0, bytes({0x00, 0x11, 40,  0x02, 0x07, 0x03, 0x10, 0x03, 0xFF, 0x02, 0,
                                   0,    0,    200, 0,    0,    0,    0,    0x01, 0x13, 40}))),
         "on40@0 off40@8"},
        {"portamento with five data bytes",
         one_pattern_file(voice_chunk(
             0, bytes({0x00, 0x11, 40, 0x02, 0x56, 40, 42, 3, 77, 88, 0x06, 0x13, 42}))),
         "on40@0 port40>42:3@2 off42@8"},
        {"note on with 20 data bytes in the long form",
         one_pattern_file(voice_chunk(
             0, bytes({0xFF, 0, 0, 0,  0,  1,  20, 0,  0,  0,  40, 1,  2,  3,    4,    5, 6,
                       7,    8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0x08, 0x13, 40}))),
         "on40@0 off40@8"},
        {"a tick group stored out of order is reordered",
         one_pattern_file(voice_chunk(
             0, bytes({0x00, 0x11, 40,   0x00, 0x11, 41,   0x04, 0x36, 40,   42,   2, 0x00,
                       0x11, 50,   0x00, 0x13, 41,   0x04, 0x13, 42,   0x00, 0x13, 50}))),
         "on40@0 on41@0 off41@4 on50@4 port40>42:2@4 off42@8 off50@8"},
        {"no NAM, pna or tem at all", one_pattern_file(voice_chunk(0, NOTE_0_TO_8)),
         "on40@0 off40@8"},
    };
    for (const Case& c : cases) {
        Song song;
        try {
            ASSERT_TRUE(read_song_bytes(c.file, song, piano_bank().lookup())) << c.name;
        } catch (const std::exception& error) {
            FAIL() << c.name << ": " << error_text(error);
        }
        ASSERT_EQ(song.patterns.size(), 1u) << c.name;
        ASSERT_EQ(song.patterns[0].voices.size(), 1u) << c.name;
        EXPECT_EQ(describe(song.patterns[0].voices[0].events), c.expected_events) << c.name;
    }
}

TEST(SongFileReader, TrailingBytesAfterTheSongChunkAreIgnored) {
    Song song;
    EXPECT_TRUE(
        read_song_bytes(one_pattern_file(voice_chunk(0, NOTE_0_TO_8)) + text_bytes("trailing"),
                        song, piano_bank().lookup()));
}

TEST(SongFileReader, EveryKindOfDamageIsReportedAsADamagedSongFile) {
    const std::vector<uint8_t> seq = chunk("SEQ", u32(0));
    const std::vector<uint8_t> good_voice = voice_chunk(0, NOTE_0_TO_8);
    std::vector<uint8_t> short_head = song_file(0, 0, {});
    short_head.resize(7 + 23);
    short_head[3] = 23;
    std::vector<uint8_t> stored_too_long =
        chunk("INS", bytes({0}) + encode_instrument(sampled("s", 1, 10)));
    stored_too_long[3] -= 4; // the samples run past the chunk's end

    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    const std::vector<Case> cases = {
        {"payload of 23 bytes", short_head},
        {"pattern count above 0x7FFFFFFF", song_file(0x80000000u, 0, {})},
        {"instrument count above 0x7FFFFFFF", song_file(0, 0x80000000u, {})},
        {"second SEQ", song_file(1, 1, seq + seq + pattern_chunk(8, good_voice) + PIANO)},
        {"second NAM", song_file(1, 1,
                                 chunk("NAM", {}) + chunk("NAM", {}) + seq +
                                     pattern_chunk(8, good_voice) + PIANO)},
        {"NAM with a zero byte", song_file(1, 1,
                                           chunk("NAM", bytes({'a', 0, 'b'})) + seq +
                                               pattern_chunk(8, good_voice) + PIANO)},
        {"SEQ of 6 bytes",
         song_file(1, 1,
                   chunk("SEQ", bytes({0, 0, 0, 0, 0, 0})) + pattern_chunk(8, good_voice) + PIANO)},
        {"tem of 12 bytes",
         one_pattern_file(chunk("tem", std::vector<uint8_t>(12, 0)) + good_voice)},
        {"second tem", one_pattern_file(chunk("tem", {}) + chunk("tem", {}) + good_voice)},
        {"second pna", one_pattern_file(chunk("pna", {}) + chunk("pna", {}) + good_voice)},
        {"pna with a zero byte", one_pattern_file(chunk("pna", bytes({'x', 0})) + good_voice)},
        {"pattern length above 0x7FFFFFFF", one_pattern_file(good_voice, 0x80000000u)},
        {"PAT shorter than its fixed part",
         song_file(1, 1, seq + chunk("PAT", bytes({8, 0})) + PIANO)},
        {"chunk head cut off by its parent", song_file(0, 0, bytes({'N', 'A', 'M', 0}))},
        {"payload longer than its parent",
         song_file(1, 1,
                   seq + chunk("PAT", u32(8) + text_bytes("pna") + u32(10) + text_bytes("ab")) +
                       PIANO)},
        {"voice instrument above 0x7FFFFFFF",
         one_pattern_file(voice_chunk(0x80000000u, NOTE_0_TO_8))},
        {"a lone byte after the last record",
         one_pattern_file(voice_chunk(0, NOTE_0_TO_8 + bytes({0})))},
        {"long record cut short",
         one_pattern_file(voice_chunk(0, NOTE_0_TO_8 + bytes({0xFF, 0, 0, 0, 0, 1})))},
        {"data longer than the chunk",
         one_pattern_file(voice_chunk(0, NOTE_0_TO_8 + bytes({0, 0x31, 40})))},
        {"portamento with two data bytes",
         one_pattern_file(voice_chunk(0, bytes({0, 0x11, 40, 2, 0x26, 40, 41, 6, 0x13, 41})))},
        {"note on without data", one_pattern_file(voice_chunk(0, bytes({0, 0x01})))},
        {"tick beyond any pattern",
         one_pattern_file(voice_chunk(0, bytes({0xFF, 0, 0, 0, 0x80, 1, 1, 0, 0, 0, 40})))},
        {"note on without note off", one_pattern_file(voice_chunk(0, bytes({0, 0x11, 40})))},
        {"event beyond the pattern's length", one_pattern_file(voice_chunk(0, NOTE_0_TO_8), 7)},
        {"sequence entry naming no pattern",
         song_file(1, 1, chunk("SEQ", u32(1)) + pattern_chunk(8, good_voice) + PIANO)},
        {"fewer patterns than counted",
         song_file(2, 1, seq + pattern_chunk(8, good_voice) + PIANO)},
        {"more instruments than counted",
         song_file(1, 0, seq + pattern_chunk(8, good_voice) + PIANO)},
        {"INS of kind 2", song_file(1, 1,
                                    seq + pattern_chunk(8, good_voice) +
                                        chunk("INS", bytes({2}) + text_bytes("Piano")))},
        {"bank name empty",
         song_file(1, 1, seq + pattern_chunk(8, good_voice) + chunk("INS", bytes({1})))},
        {"bank name of 17 characters",
         song_file(1, 1,
                   seq + pattern_chunk(8, good_voice) +
                       chunk("INS", bytes({1}) + text_bytes("Piano56789abcdefg")))},
        {"bank name with a zero byte",
         song_file(1, 1, seq + pattern_chunk(8, good_voice) + chunk("INS", bytes({1, 'P', 0})))},
        {"stored instrument running past its chunk",
         song_file(1, 1, seq + pattern_chunk(8, good_voice) + stored_too_long)},
        {"stored instrument with a bad magic",
         song_file(1, 1,
                   seq + pattern_chunk(8, good_voice) +
                       chunk("INS", bytes({0}) + text_bytes("XYZ")))},
        {"tempo above 120", song_file(1, 1, seq + pattern_chunk(8, good_voice) + PIANO, 0, 121)},
        {"ticks per beat 0", song_file(1, 1, seq + pattern_chunk(8, good_voice) + PIANO, 0, 40, 0)},
    };
    set_language(Language::ENGLISH);
    for (const Case& c : cases) {
        Song song;
        try {
            read_song_bytes(c.file, song, piano_bank().lookup());
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const LOAD_ERROR& error) {
            EXPECT_FALSE(error.internal()) << c.name;
            EXPECT_EQ(error_text(error), "Damaged song file") << c.name;
        } catch (const FILE_ERROR& error) {
            // Only what the file's own end cuts short may surface as the end of the file.
            EXPECT_TRUE(error.is_end_of_file()) << c.name;
        } catch (const std::exception& error) {
            ADD_FAILURE() << c.name << ": " << error_text(error);
        }
    }
}

TEST(SongFileReader, AFileCutShortEndsWithTheEndOfFileError) {
    TestBank bank;
    const Song song = random_song(7, bank);
    const std::vector<uint8_t> whole = encode_song(song);
    for (size_t cut : {size_t(5), size_t(7), size_t(20), whole.size() / 2, whole.size() - 1}) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + ptrdiff_t(cut));
        Song read;
        try {
            read_song_bytes(part, read, bank.lookup());
            ADD_FAILURE() << "cut at " << cut << " accepted";
        } catch (const FILE_ERROR& error) {
            EXPECT_TRUE(error.is_end_of_file()) << cut;
        }
    }
}

TEST(ChunkList, AFixedPartBeyond128BytesIsAnInternalError) {
    const auto path = write_scratch_file("chunks", chunk("abc", std::vector<uint8_t>(200, 0)));
    File file = File::open_for_reading(path);
    ChunkInput input(file);
    const ChunkKind kinds[] = {{{'a', 'b', 'c'}, 129, [](const uint8_t*, uint64_t) {}}};
    try {
        read_chunk_list(input, 207, kinds);
        FAIL();
    } catch (const LOAD_ERROR& error) {
        EXPECT_TRUE(error.internal());
        set_language(Language::ENGLISH);
        EXPECT_EQ(error_text(error), "Internal load error");
    }
}

TEST(ChunkList, TheInputGoesOnAtTheChunksEndWhateverTheHandlerRead) {
    const auto path =
        write_scratch_file("chunks2", chunk("one", bytes({1, 2, 3, 4})) + chunk("two", bytes({5})));
    File file = File::open_for_reading(path);
    ChunkInput input(file);
    std::vector<int> seen;
    const ChunkKind kinds[] = {
        {{'o', 'n', 'e'},
         1,
         [&](const uint8_t* fixed, uint64_t rest) {
             seen.push_back(fixed[0]);
             EXPECT_EQ(rest, 3u);
         }},
        {{'t', 'w', 'o'},
         0,
         [&](const uint8_t*, uint64_t rest) {
             seen.push_back(input.byte());
             EXPECT_EQ(rest, 1u);
         }},
    };
    read_chunk_list(input, 7 + 4 + 7 + 1, kinds);
    EXPECT_EQ(seen, (std::vector<int>{1, 5}));
}

} // namespace
} // namespace tunemill

#include "instruments/bank.h"

namespace tunemill {
namespace {

// The demo songs beside the program, read through the stock bank, write back byte for byte.
TEST(SongFileRoundTrip, DemoSongsWithTheStockBankWriteBackUnchanged) {
    namespace fs = std::filesystem;
    const fs::path bank_path = fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk";
    const fs::path demos = fs::path(TUNEMILL_SOURCE_DIR) / "data" / "demos";
    if (!fs::exists(bank_path) || !fs::exists(demos))
        GTEST_SKIP() << "the stock bank or the demo songs are missing";
    InstrumentBank bank(bank_path);
    int read = 0;
    for (const auto& entry : fs::directory_iterator(demos)) {
        if (entry.path().extension() != ".sn2") continue;
        Song song;
        File file = File::open_for_reading(entry.path());
        ASSERT_TRUE(read_song(file, song, [&](const std::string& name) { return bank.load(name); }))
            << entry.path();
        EXPECT_EQ(encode_song(song), storage_testing::read_whole_file(entry.path()))
            << entry.path();
        ++read;
    }
    EXPECT_GT(read, 0);
}

} // namespace
} // namespace tunemill
