// The MOD and S3M readers: recognition, headers, sample slots, cell decoding, pitch, sample data.
#include "fixtures.h"
#include "loading/song_loader.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/import.h"
#include "modules/mod.h"
#include "modules/module.h"
#include "modules/s3m.h"

#include <gtest/gtest.h>

namespace tunemill {
namespace {

using testing::ModBuilder;
using testing::ModSample;
using testing::S3mBuilder;
using testing::S3mCell;
using testing::S3mInstrumentSpec;
using testing::TempFolder;

class ReaderTest : public ::testing::Test {
  protected:
    void SetUp() override { set_language(Language::ENGLISH); }

    std::unique_ptr<ModuleReader> read(const std::string& bytes) {
        file_ = File::open_for_reading(folder_.write("module", bytes));
        return read_module(file_);
    }
    // Whether any reader recognises the bytes (without reading them).
    bool recognised(const std::string& bytes) {
        File file = File::open_for_reading(folder_.write("probe", bytes));
        return recognise_module(file) != nullptr;
    }
    std::vector<uint8_t> sample_data(const ModuleReader& reader, int slot) {
        const SampleSlot& s = reader.slots()[size_t(slot)];
        std::vector<uint8_t> data(size_t(s.data_bytes()));
        read_sample_data(file_, s, data.data());
        return data;
    }

    TempFolder folder_;
    File file_;
};

ModBuilder one_pattern_mod() {
    ModBuilder mod;
    mod.song = {0};
    mod.samples.push_back({"piano", 4, 0, 64, 0, 1, {0x00, 0x7F, 0x80, 0xFF, 1, 2, 3, 4}});
    return mod;
}

// ---- MOD ----

TEST_F(ReaderTest, ModTagsGiveChannelsAndPatternLimits) {
    struct Case {
        const char* tag;
        int channels;
        int max_patterns;
    };
    const Case cases[] = {
        {"M.K.", 4, 64},  {"M!K!", 4, 128},  {"FLT4", 4, 64},   {"FLT8", 8, 64},   {"6CHN", 6, 128},
        {"8CHN", 8, 128}, {"10CH", 10, 128}, {"12CH", 12, 128}, {"32CH", 32, 128}, {"09CH", 0, 0},
        {"40CH", 0, 0},   {"33CH", 0, 0},    {"1ACH", 0, 0},    {"12CN", 0, 0},    {"FEST", 0, 0},
        {"EXO4", 0, 0},   {"m.k.", 0, 0},
    };
    for (const Case& c : cases) {
        const ModTagInfo info = mod_tag_info(c.tag);
        EXPECT_EQ(info.channels, c.channels) << c.tag;
        EXPECT_EQ(info.max_patterns, c.max_patterns) << c.tag;
    }
}

TEST_F(ReaderTest, TwelveChannelTagIsReadWithTwelveChannels) {
    ModBuilder mod = one_pattern_mod();
    mod.tag = "12CH";
    mod.channels = 12;
    mod.cell(0, 5, 11, 428, 1, 0xC, 40);
    auto reader = read(mod.bytes());
    EXPECT_STREQ(reader->format(), "MOD");
    EXPECT_EQ(reader->tag(), "12CH");
    EXPECT_EQ(reader->channel_count(), 12);
    const ModuleCell cell = reader->cell(0, 5, 11);
    EXPECT_EQ(cell.period, 428);
    EXPECT_EQ(cell.sample, 0);
    EXPECT_EQ(cell.command, CMD_SET_VOLUME);
    EXPECT_EQ(cell.parameter, 40);
    // The sample data lies after the twelve-channel pattern.
    EXPECT_EQ(reader->slots()[0].data_offset, 1084u + 12 * 4 * 64);
}

TEST_F(ReaderTest, UnknownTagsAreNotModules) {
    for (const char* tag : {"09CH", "40CH", "FEST", "\0\0\0\0"}) {
        ModBuilder mod = one_pattern_mod();
        mod.tag = std::string(tag, 4);
        EXPECT_FALSE(recognised(mod.bytes())) << tag;
    }
    // And the loader's message for them.
    ModBuilder mod = one_pattern_mod();
    mod.tag = "FEST";
    try {
        read(mod.bytes());
        FAIL();
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), uint32_t(S_UNKNOWN_SONG_FILE));
        EXPECT_EQ(error.compose_message(), "Unknown or damaged song file");
    }
}

TEST_F(ReaderTest, OrderTableBeyondSongLengthCountsForPatterns) {
    ModBuilder mod = one_pattern_mod();
    mod.extra_orders[5] = 70; // beyond the song length of 1
    mod.pattern_count = 71;
    try {
        read(mod.bytes());
        FAIL() << "M.K. allows 64 patterns";
    } catch (const LOAD_ERROR& error) {
        EXPECT_FALSE(error.internal());
    }
    mod.tag = "M!K!";
    auto reader = read(mod.bytes());
    EXPECT_EQ(reader->pattern_count(), 71);
    EXPECT_EQ(reader->orders(), std::vector<int>{0});
    EXPECT_EQ(reader->slots()[0].data_offset, 1084u + 71 * 1024);
}

TEST_F(ReaderTest, SongLengthEndsTheOrderList) {
    ModBuilder mod = one_pattern_mod();
    mod.song = {0, 1, 0, 2};
    mod.song_length = 3;
    mod.extra_orders[3] = 2;
    auto reader = read(mod.bytes());
    EXPECT_EQ(reader->orders(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(reader->pattern_count(), 3);
}

TEST_F(ReaderTest, ModSampleHeadersGiveSlots) {
    struct Case {
        uint16_t words, loop_start, loop_length;
        uint32_t length, loop;
    };
    const Case cases[] = {
        {120, 100, 50, 240, 100},     // start + length beyond the sample: start taken in frames
        {100, 10, 20, 60, 20},        // loop in words; the sample is cut at the loop's end
        {100, 10, 90, 200, 20},       // loop to the very end
        {100, 10, 1, 200, NO_LOOP},   // loop length 1: no loop
        {100, 0, 0, 200, NO_LOOP},    // loop length 0: no loop
        {100, 250, 10, 200, NO_LOOP}, // start (in frames) beyond the sample
        {0, 0, 1, 0, NO_LOOP},
    };
    for (const Case& c : cases) {
        ModSampleHeader header{};
        header.length_words = c.words;
        header.loop_start_words = c.loop_start;
        header.loop_length_words = c.loop_length;
        header.volume = 64;
        const SampleSlot slot = ModReader::decode_sample(header);
        EXPECT_EQ(slot.length, c.length) << c.words << " " << c.loop_start << " " << c.loop_length;
        EXPECT_EQ(slot.loop_start, c.loop)
            << c.words << " " << c.loop_start << " " << c.loop_length;
        EXPECT_TRUE(slot.is_signed);
        EXPECT_FALSE(slot.is_16bit);
    }
}

TEST_F(ReaderTest, FinetuneGivesRateAndDiskNamesLoseTheirPrefix) {
    ModSampleHeader header{};
    std::memcpy(header.name, "st-01:bassdrum", 14);
    header.finetune = 0x08; // -8
    header.volume = 40;
    SampleSlot slot = ModReader::decode_sample(header);
    EXPECT_EQ(slot.name, "bassdrum");
    EXPECT_EQ(slot.rate, 30929u * 8363 / 32768);
    EXPECT_EQ(slot.default_volume, 40);
    header.finetune = 0xF0; // only the low nibble counts
    std::memcpy(header.name, "xx-01:bassdrum", 14);
    slot = ModReader::decode_sample(header);
    EXPECT_EQ(slot.rate, 8363u);
    EXPECT_EQ(slot.name, "xx-01:bassdrum");
}

TEST_F(ReaderTest, ModVolumeAbove64IsDamage) {
    ModBuilder mod = one_pattern_mod();
    mod.samples[0].volume = 65;
    EXPECT_THROW(read(mod.bytes()), LOAD_ERROR);
}

TEST_F(ReaderTest, ModCellsDecodeIntoModuleCells) {
    struct Case {
        uint8_t effect, parameter;
        uint8_t command, value;
        bool keeps_note;
    };
    const Case cases[] = {
        {0x0, 0x37, CMD_NONE, 0, true},
        {0x1, 0x12, CMD_SLIDE_UP, 0x12, true},
        {0x2, 0x34, CMD_SLIDE_DOWN, 0x34, true},
        {0x3, 0x08, CMD_TONE_PORTAMENTO, 8, true},
        {0x4, 0x44, CMD_NONE, 0, true},
        {0x5, 0x30, CMD_VOLUME_UP, 3, false},
        {0x5, 0x04, CMD_VOLUME_DOWN, 4, false},
        {0x6, 0x21, CMD_VOLUME_UP, 1, true},
        {0x7, 0x11, CMD_NONE, 0, true},
        {0x8, 0x80, CMD_SET_PAN, 0x80, true},
        {0x9, 0x10, CMD_NONE, 0, true},
        {0xA, 0x00, CMD_VOLUME_UP, 0, true},
        {0xA, 0x0F, CMD_VOLUME_DOWN, 15, true},
        {0xB, 0x05, CMD_JUMP, 5, true},
        {0xC, 0x20, CMD_SET_VOLUME, 0x20, true},
        {0xD, 0x10, CMD_BREAK, 0x10, true},
        {0xE, 0x13, CMD_FINE_SLIDE_UP, 3, true},
        {0xE, 0x24, CMD_FINE_SLIDE_DOWN, 4, true},
        {0xE, 0x8F, CMD_SET_PAN, 128, true},
        {0xE, 0x80, CMD_SET_PAN, 0, true},
        {0xE, 0x87, CMD_SET_PAN, 60, true},
        {0xE, 0xA2, CMD_FINE_VOLUME_UP, 2, true},
        {0xE, 0xB3, CMD_FINE_VOLUME_DOWN, 3, true},
        {0xE, 0xC3, CMD_NONE, 0, true},
        {0xF, 0x00, CMD_SET_SPEED, 0, true},
        {0xF, 0x20, CMD_SET_SPEED, 32, true},
        {0xF, 0x21, CMD_SET_TEMPO, 33, true},
        {0xF, 0x7D, CMD_SET_TEMPO, 125, true},
    };
    for (const Case& c : cases) {
        const uint8_t bytes[4] = {0x11, 0xAC, uint8_t(0x30 | c.effect), c.parameter}; // sample 19
        const ModuleCell cell = ModReader::decode_cell(bytes);
        EXPECT_EQ(cell.command, c.command) << int(c.effect) << " " << int(c.parameter);
        EXPECT_EQ(cell.parameter, c.value) << int(c.effect) << " " << int(c.parameter);
        EXPECT_EQ(cell.period, c.keeps_note ? 0x1AC : NO_PERIOD) << int(c.effect);
        EXPECT_EQ(cell.sample, 18);
        EXPECT_EQ(cell.volume, NO_VOLUME);
    }
    const uint8_t empty[4] = {0, 0, 0, 0};
    EXPECT_EQ(ModReader::decode_cell(empty), ModuleCell{});
}

TEST_F(ReaderTest, ModInitialStateAndPitch) {
    ModBuilder mod = one_pattern_mod();
    mod.tag = "6CHN";
    mod.channels = 6;
    auto reader = read(mod.bytes());
    const InitialState state = reader->initial_state();
    EXPECT_EQ(state.tempo, 125);
    EXPECT_EQ(state.speed, 6);
    ASSERT_EQ(state.channels.size(), 6u);
    const int pans[] = {53, 75, 96, 32, 53, 75};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(state.channels[i].pan, pans[i]);
        EXPECT_EQ(state.channels[i].volume, 64);
    }
    EXPECT_EQ(reader->pitch(428, 0), 44100u);
    EXPECT_EQ(reader->pitch(856, 0), 22050u);
    EXPECT_EQ(reader->pitch(113, 0), 18874800u / 113);
}

TEST_F(ReaderTest, ModSampleDataFollowsPatternsAndBecomesUnsigned) {
    ModBuilder mod = one_pattern_mod();
    mod.samples.push_back({"second", 2, 0, 64, 0, 1, {0x80, 0x00, 0x7F, 0x01}});
    auto reader = read(mod.bytes());
    EXPECT_EQ(reader->slots()[0].data_offset, 1084u + 1024);
    EXPECT_EQ(reader->slots()[1].data_offset, 1084u + 1024 + 8);
    EXPECT_EQ(sample_data(*reader, 0),
              (std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x7F, 0x81, 0x82, 0x83, 0x84}));
    EXPECT_EQ(sample_data(*reader, 1), (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0x81}));
    // Empty slots have no data and no name.
    EXPECT_EQ(reader->slots()[2].length, 0u);
    EXPECT_EQ(reader->slots()[2].name, "");
}

TEST_F(ReaderTest, TruncatedModIsDamaged) {
    ModBuilder mod = one_pattern_mod();
    mod.cut_bytes = 8 + 100; // into the pattern
    try {
        read(mod.bytes());
        FAIL();
    } catch (const LOAD_ERROR& error) {
        EXPECT_EQ(error.compose_message(), "Damaged song file");
    }
    // Sample data that is cut short fails when it is read.
    mod.cut_bytes = 2;
    auto reader = read(mod.bytes());
    try {
        sample_data(*reader, 0);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_TRUE(error.is_end_of_file());
    }
}

TEST_F(ReaderTest, Flt8PatternsAreTwoFourChannelHalves) {
    ModBuilder mod = one_pattern_mod();
    mod.tag = "FLT8";
    mod.channels = 4;      // stored as 4-channel patterns
    mod.song = {0, 2, 0};  // orders name the first half of each pair
    mod.pattern_count = 4; // two 8-channel patterns
    mod.cell(0, 0, 0, 428, 1, 0, 0);
    mod.cell(1, 0, 0, 214, 1, 0, 0);  // channel 4 of the first pattern
    mod.cell(1, 63, 3, 113, 1, 0, 0); // channel 7, last row
    mod.cell(3, 10, 2, 856, 1, 0, 0); // channel 6 of the second pattern
    auto reader = read(mod.bytes());
    EXPECT_EQ(reader->channel_count(), 8);
    EXPECT_EQ(reader->pattern_count(), 2);
    EXPECT_EQ(reader->orders(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(reader->cell(0, 0, 0).period, 428);
    EXPECT_EQ(reader->cell(0, 0, 4).period, 214);
    EXPECT_EQ(reader->cell(0, 63, 7).period, 113);
    EXPECT_EQ(reader->cell(1, 10, 6).period, 856);
    EXPECT_EQ(reader->cell(1, 10, 2).period, NO_PERIOD);
    EXPECT_EQ(reader->slots()[0].data_offset, 1084u + 4 * 1024);
}

ModBuilder old_mod() {
    ModBuilder mod;
    mod.old_format = true;
    mod.song = {0, 1};
    mod.samples.push_back({"drum", 100, 0, 64, 0, 1, {}});
    return mod;
}

TEST_F(ReaderTest, OldModIsRecognisedBySizeAndCounts) {
    auto reader = read(old_mod().bytes());
    EXPECT_EQ(reader->tag(), "");
    EXPECT_EQ(reader->channel_count(), 4);
    EXPECT_EQ(reader->pattern_count(), 2);
    EXPECT_EQ(reader->slots()[0].data_offset, 600u + 2048);
    EXPECT_EQ(reader->slots()[0].length, 200u);
    EXPECT_EQ(reader->slots()[15].length, 0u);

    // Up to 5% trailing bytes are accepted; more, or fewer bytes than expected, are not.
    const size_t expected = 600 + 2048 + 200;
    EXPECT_TRUE(recognised(old_mod().bytes() + std::string(expected * 5 / 100, '\0')));
    EXPECT_FALSE(recognised(old_mod().bytes() + std::string(expected * 5 / 100 + 1, '\0')));
    std::string short_file = old_mod().bytes();
    short_file.pop_back();
    EXPECT_FALSE(recognised(short_file));

    ModBuilder no_length = old_mod();
    no_length.song_length = 0;
    EXPECT_FALSE(recognised(no_length.bytes()));
    ModBuilder loud = old_mod();
    loud.samples[0].volume = 65;
    EXPECT_FALSE(recognised(loud.bytes()));
    ModBuilder silent = old_mod();
    silent.samples[0].length_words = 0;
    EXPECT_FALSE(recognised(silent.bytes()));
    ModBuilder many = old_mod();
    many.song = {0, 64};
    EXPECT_FALSE(recognised(many.bytes()));
    EXPECT_FALSE(recognised(std::string(599, '\0')));
}

// ---- S3M ----

S3mBuilder simple_s3m() {
    S3mBuilder s3m;
    s3m.settings[0] = 0; // L1
    s3m.settings[1] = 8; // R1
    s3m.orders = {0};
    S3mInstrumentSpec piano;
    piano.name = "piano";
    piano.data = {0x80, 0xFF, 0x00, 0x7F};
    s3m.instruments.push_back(piano);
    return s3m;
}

TEST_F(ReaderTest, S3mChannelGroups) {
    S3mBuilder s3m = simple_s3m();
    auto reader = read(s3m.bytes());
    EXPECT_STREQ(reader->format(), "S3M");
    EXPECT_EQ(reader->channel_count(), 2);

    // Two channels set to L1 form one output channel; disabled and AdLib channels are ignored.
    s3m.settings[1] = 0;
    s3m.settings[2] = 0x80 | 3; // disabled
    s3m.settings[3] = 16;       // AdLib melody channel
    s3m.settings[4] = 9;        // R2
    s3m.settings[5] = 1;        // L2
    reader = read(s3m.bytes());
    auto* s3m_reader = dynamic_cast<S3mReader*>(reader.get());
    ASSERT_NE(s3m_reader, nullptr);
    EXPECT_EQ(s3m_reader->channel_groups(), (std::vector<std::vector<int>>{{0, 1}, {5}, {4}}));

    // No channel at all: not an S3M.
    s3m.settings.fill(255);
    s3m.settings[0] = 16;
    EXPECT_FALSE(recognised(s3m.bytes()));
}

TEST_F(ReaderTest, S3mOrderListSkipsMarkersAndEndsAt255) {
    S3mBuilder s3m = simple_s3m();
    s3m.orders = {0, 254, 1, 255, 2, 255};
    s3m.pattern_count = 3;
    auto reader = read(s3m.bytes());
    EXPECT_EQ(reader->orders(), (std::vector<int>{0, 1}));
    // Orders naming patterns that do not exist are left out.
    s3m.orders = {0, 7, 1, 2};
    reader = read(s3m.bytes());
    EXPECT_EQ(reader->orders(), (std::vector<int>{0, 1, 2}));
}

TEST_F(ReaderTest, S3mOddOrderCountsAreNoDamage) {
    // Other trackers save odd order counts. The parapointers then begin at an odd offset: the
    // instrument and both patterns are found there.
    S3mBuilder odd = simple_s3m();
    odd.orders = {0, 1, 0};
    odd.odd_order_count = true;
    odd.cells[{0, 0, 0}] = {0x40, 1, 255, 255, 0};
    odd.cells[{1, 5, 0}] = {0x47, 1, 255, 255, 0};
    const std::string bytes = odd.bytes();
    ASSERT_EQ(bytes[32], 3);
    auto reader = read(bytes);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->orders(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(reader->slots()[0].name, "piano");
    EXPECT_NE(reader->cell(0, 0, 0).period, NO_PERIOD);
    EXPECT_NE(reader->cell(1, 5, 0).period, NO_PERIOD);
    EXPECT_EQ(reader->cell(1, 0, 0).period, NO_PERIOD);
    // And the file opens as a song, through the module import and through the loader that
    // every program uses.
    Song song;
    const auto path = folder_.write("odd.s3m", bytes);
    load_module(path, song);
    EXPECT_FALSE(song.sequence.empty());
    std::string format;
    const Song loaded = read_any_song(
        path, [](const std::string&) { return Instrument{}; }, &format);
    EXPECT_EQ(format, "s3m");
    EXPECT_EQ(loaded.sequence, song.sequence);
}

TEST_F(ReaderTest, S3mHeaderChecks) {
    EXPECT_TRUE(recognised(simple_s3m().bytes()));
    S3mBuilder signed_samples = simple_s3m();
    signed_samples.format_version = 1;
    EXPECT_FALSE(recognised(signed_samples.bytes()));
    S3mBuilder adlib = simple_s3m();
    S3mInstrumentSpec melody;
    melody.type = 2;
    melody.name = "organ";
    adlib.instruments.push_back(melody);
    EXPECT_FALSE(recognised(adlib.bytes()));
    S3mBuilder packed = simple_s3m();
    packed.instruments[0].packing = 1;
    EXPECT_FALSE(recognised(packed.bytes()));
    S3mBuilder no_magic = simple_s3m();
    no_magic.instruments[0].scrs = false;
    EXPECT_FALSE(recognised(no_magic.bytes()));
    S3mBuilder many = simple_s3m();
    many.orders.assign(256, 0);
    EXPECT_TRUE(recognised(many.bytes()));
    many.orders.push_back(0);
    many.odd_order_count = true;
    EXPECT_FALSE(recognised(many.bytes())) << "more orders than a module holds";
    EXPECT_FALSE(recognised(simple_s3m().bytes().substr(0, 95)));
}

TEST_F(ReaderTest, S3mInstrumentsGiveSlots) {
    S3mBuilder s3m = simple_s3m();
    S3mInstrumentSpec loop;
    loop.name = "strings";
    loop.data.assign(100, 0x80);
    loop.loop_begin = 20;
    loop.loop_end = 60;
    loop.flags = 1;
    loop.volume = 48;
    loop.c2_speed = 0x10000 + 22050; // only the low 16 bits count
    s3m.instruments.push_back(loop);
    S3mInstrumentSpec slow;
    slow.name = "slow";
    slow.data.assign(10, 0x80);
    slow.c2_speed = 100;
    slow.flags = 1; // loop flag with an empty loop: no loop
    slow.loop_begin = 5;
    slow.loop_end = 5;
    s3m.instruments.push_back(slow);
    S3mInstrumentSpec empty;
    empty.type = 0;
    empty.name = "just a message";
    empty.volume = 99;
    s3m.instruments.push_back(empty);
    auto reader = read(s3m.bytes());
    const SampleSlot& a = reader->slots()[1];
    EXPECT_EQ(a.name, "strings");
    EXPECT_EQ(a.length, 60u);
    EXPECT_EQ(a.loop_start, 20u);
    EXPECT_EQ(a.rate, 22050u);
    EXPECT_EQ(a.default_volume, 48);
    EXPECT_FALSE(a.is_signed);
    const SampleSlot& b = reader->slots()[2];
    EXPECT_EQ(b.rate, 600u);
    EXPECT_EQ(b.loop_start, NO_LOOP);
    EXPECT_EQ(b.length, 10u);
    const SampleSlot& c = reader->slots()[3];
    EXPECT_EQ(c.name, "just a message");
    EXPECT_EQ(c.length, 0u);
    EXPECT_EQ(c.rate, 8363u);

    S3mBuilder loud = simple_s3m();
    loud.instruments[0].volume = 65;
    EXPECT_THROW(read(loud.bytes()), LOAD_ERROR);
}

TEST_F(ReaderTest, S3mLongSamplesAreCut) {
    S3mBuilder s3m = simple_s3m();
    s3m.instruments[0].data.assign(70000, 0x80);
    S3mInstrumentSpec wide;
    wide.flags = 4;
    wide.data.assign(2 * 33000, 0);
    s3m.instruments.push_back(wide);
    auto reader = read(s3m.bytes());
    EXPECT_EQ(reader->slots()[0].length, 64000u);
    EXPECT_EQ(reader->slots()[1].length, 32000u);
    EXPECT_TRUE(reader->slots()[1].is_16bit);
}

TEST_F(ReaderTest, S3mSampleDataBecomesInstrumentEncoding) {
    S3mBuilder s3m = simple_s3m();
    S3mInstrumentSpec wide;
    wide.flags = 4;
    wide.data = {0x00, 0x80, 0xFF, 0xFF, 0x34, 0x12}; // 0x8000, 0xFFFF, 0x1234 unsigned
    s3m.instruments.push_back(wide);
    auto reader = read(s3m.bytes());
    EXPECT_EQ(sample_data(*reader, 0), (std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x7F}));
    // 0, 0x7FFF, 0x1234 - 0x8000 as signed little-endian
    EXPECT_EQ(sample_data(*reader, 1), (std::vector<uint8_t>{0x00, 0x00, 0xFF, 0x7F, 0x34, 0x92}));
}

TEST_F(ReaderTest, S3mNotesBecomePeriodsAtTheChannelRate) {
    EXPECT_EQ(S3mReader::note_period(0x40, 8363), 428); // C-4
    EXPECT_EQ(S3mReader::note_period(0x50, 8363), 214);
    EXPECT_EQ(S3mReader::note_period(0x49, 8363), 254);
    EXPECT_EQ(S3mReader::note_period(0x4C, 8363), S3mReader::note_period(0x4B, 8363));
    EXPECT_EQ(S3mReader::note_period(0x40, 16726), 214);
    EXPECT_EQ(S3mReader::note_period(0xFB, 65535), 1); // rounds to 0: at least 1

    S3mBuilder s3m = simple_s3m();
    S3mInstrumentSpec fast;
    fast.data = {0x80, 0x80};
    fast.c2_speed = 16726;
    s3m.instruments.push_back(fast);
    s3m.cells[{0, 0, 0}] = {0x40, 2, 255, 255, 0};
    s3m.cells[{0, 1, 0}] = {0x40, 0, 255, 255, 0}; // the channel keeps the rate of sample 2
    s3m.cells[{0, 2, 0}] = {0x40, 1, 32, 255, 0};
    s3m.cells[{0, 3, 0}] = {254, 0, 255, 255, 0};
    s3m.cells[{0, 4, 0}] = {0x40, 9, 70, 255, 0}; // instrument beyond the count: none
    auto reader = read(s3m.bytes());
    reader->start();
    ModuleCell cell = reader->cell(0, 0, 0);
    EXPECT_EQ(cell.period, 214);
    EXPECT_EQ(cell.sample, 1);
    EXPECT_EQ(reader->pitch(cell.period, cell.sample), 44100u);
    EXPECT_EQ(reader->cell(0, 1, 0).period, 214);
    cell = reader->cell(0, 2, 0);
    EXPECT_EQ(cell.period, 428);
    EXPECT_EQ(cell.volume, 32);
    EXPECT_EQ(reader->pitch(428, 0), 44100u);
    cell = reader->cell(0, 3, 0);
    EXPECT_EQ(cell.command, CMD_NOTE_CUT);
    EXPECT_EQ(cell.period, NO_PERIOD);
    cell = reader->cell(0, 4, 0);
    EXPECT_EQ(cell.sample, NO_SAMPLE);
    EXPECT_EQ(cell.volume, 64);
}

TEST_F(ReaderTest, S3mCommandsDecode) {
    struct Case {
        char letter;
        uint8_t info;
        uint8_t command, value;
    };
    const Case cases[] = {
        {'A', 3, CMD_SET_SPEED, 3},
        {'B', 2, CMD_JUMP, 2},
        {'C', 0x10, CMD_BREAK, 0x10},
        {'D', 0x30, CMD_VOLUME_UP, 3},
        {'D', 0x03, CMD_VOLUME_DOWN, 3},
        {'D', 0x3F, CMD_FINE_VOLUME_UP, 3},
        {'D', 0xF3, CMD_FINE_VOLUME_DOWN, 3},
        {'D', 0x0F, CMD_VOLUME_DOWN, 15},
        {'D', 0xF0, CMD_VOLUME_UP, 15},
        {'E', 0x20, CMD_SLIDE_DOWN, 0x20},
        {'E', 0xF4, CMD_FINE_SLIDE_DOWN, 4},
        {'E', 0xE5, CMD_FINE_SLIDE_DOWN, 1},
        {'E', 0xE6, CMD_FINE_SLIDE_DOWN, 2},
        {'F', 0xDF, CMD_SLIDE_UP, 0xDF},
        {'F', 0xF2, CMD_FINE_SLIDE_UP, 2},
        {'F', 0xE2, CMD_FINE_SLIDE_UP, 1},
        {'G', 0x10, CMD_TONE_PORTAMENTO, 0x10},
        {'H', 0x44, CMD_NONE, 0},
        {'K', 0x20, CMD_VOLUME_UP, 2},
        {'S', 0x8F, CMD_SET_PAN, 128},
        {'S', 0x84, CMD_SET_PAN, 34},
        {'S', 0x34, CMD_NONE, 0},
        {'T', 0x80, CMD_SET_TEMPO, 0x80},
    };
    S3mBuilder s3m = simple_s3m();
    for (size_t i = 0; i < std::size(cases); ++i)
        s3m.cells[{0, int(i), 0}] = {0x40, 1, 255, uint8_t(cases[i].letter - 'A' + 1),
                                     cases[i].info};
    s3m.cells[{0, 40, 0}] = {0x40, 1, 255, uint8_t('L' - 'A' + 1), 0x02};
    auto reader = read(s3m.bytes());
    reader->start();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const ModuleCell cell = reader->cell(0, int(i), 0);
        EXPECT_EQ(cell.command, cases[i].command)
            << cases[i].letter << std::hex << int(cases[i].info);
        EXPECT_EQ(cell.parameter, cases[i].value)
            << cases[i].letter << std::hex << int(cases[i].info);
        EXPECT_EQ(cell.period, 428);
    }
    const ModuleCell tone_slide = reader->cell(0, 40, 0);
    EXPECT_EQ(tone_slide.command, CMD_VOLUME_DOWN);
    EXPECT_EQ(tone_slide.parameter, 2);
    EXPECT_EQ(tone_slide.period, NO_PERIOD);
}

TEST_F(ReaderTest, S3mInfoMemoryFillsZeroInfo) {
    S3mBuilder s3m = simple_s3m();
    const uint8_t D = 'D' - 'A' + 1, E = 'E' - 'A' + 1, F = 'F' - 'A' + 1, A = 1;
    s3m.cells[{0, 0, 0}] = {255, 0, 255, D, 0x04};
    s3m.cells[{0, 1, 0}] = {255, 0, 255, D, 0x00}; // D04 again
    s3m.cells[{0, 2, 0}] = {255, 0, 255, E, 0x00}; // E04
    s3m.cells[{0, 3, 0}] = {255, 0, 255, A, 0x05}; // remembered as well
    s3m.cells[{0, 4, 0}] = {255, 0, 255, F, 0x00}; // F05
    s3m.cells[{0, 5, 0}] = {255, 0, 255, A, 0x00}; // A00 is not filled
    s3m.cells[{0, 0, 1}] = {255, 0, 255, D, 0x00}; // another channel has its own memory
    auto reader = read(s3m.bytes());
    reader->start();
    EXPECT_EQ(reader->cell(0, 0, 1).command, CMD_VOLUME_UP);
    EXPECT_EQ(reader->cell(0, 0, 1).parameter, 0);
    EXPECT_EQ(reader->cell(0, 0, 0).parameter, 4);
    EXPECT_EQ(reader->cell(0, 1, 0).command, CMD_VOLUME_DOWN);
    EXPECT_EQ(reader->cell(0, 1, 0).parameter, 4);
    EXPECT_EQ(reader->cell(0, 2, 0).command, CMD_SLIDE_DOWN);
    EXPECT_EQ(reader->cell(0, 2, 0).parameter, 4);
    EXPECT_EQ(reader->cell(0, 3, 0).parameter, 5);
    EXPECT_EQ(reader->cell(0, 4, 0).command, CMD_SLIDE_UP);
    EXPECT_EQ(reader->cell(0, 4, 0).parameter, 5);
    EXPECT_EQ(reader->cell(0, 5, 0).command, CMD_SET_SPEED);
    EXPECT_EQ(reader->cell(0, 5, 0).parameter, 0);
    // start() forgets the memory.
    reader->start();
    EXPECT_EQ(reader->cell(0, 1, 0).parameter, 0);
}

TEST_F(ReaderTest, S3mGroupedChannelsMerge) {
    S3mBuilder s3m = simple_s3m();
    s3m.settings[1] = 0;                             // channels 0 and 1 both L1
    s3m.cells[{0, 0, 0}] = {0x40, 1, 20, 1, 3};      // A03
    s3m.cells[{0, 0, 1}] = {255, 0, 40, 255, 0};     // a later volume replaces the earlier one
    s3m.cells[{0, 1, 0}] = {0x40, 1, 255, 20, 0x90}; // T90
    s3m.cells[{0, 1, 1}] = {0x50, 0, 255, 2, 1};     // later note and command win
    auto reader = read(s3m.bytes());
    reader->start();
    ModuleCell cell = reader->cell(0, 0, 0);
    EXPECT_EQ(cell.period, 428);
    EXPECT_EQ(cell.volume, 40);
    EXPECT_EQ(cell.command, CMD_SET_SPEED);
    cell = reader->cell(0, 1, 0);
    EXPECT_EQ(cell.period, 214);
    EXPECT_EQ(cell.sample, 0);
    EXPECT_EQ(cell.command, CMD_JUMP);
}

TEST_F(ReaderTest, S3mInitialState) {
    S3mBuilder s3m = simple_s3m();
    s3m.speed = 0;
    s3m.tempo = 20;
    s3m.settings[2] = 3;  // L4
    s3m.settings[3] = 15; // R8
    auto reader = read(s3m.bytes());
    InitialState state = reader->initial_state();
    EXPECT_EQ(state.speed, 1);
    EXPECT_EQ(state.tempo, 32);
    ASSERT_EQ(state.channels.size(), 4u);
    EXPECT_EQ(state.channels[0].pan, 53); // L1
    EXPECT_EQ(state.channels[1].pan, 37); // L4
    EXPECT_EQ(state.channels[2].pan, 96); // R1
    EXPECT_EQ(state.channels[3].pan, 67); // R8

    s3m.speed = 4;
    s3m.tempo = 140;
    s3m.pan_flag = 252;
    s3m.pans[0] = 0x20 | 15; // hard right
    s3m.pans[1] = 0x00 | 0;  // bit 5 clear: the setting's pan stays
    s3m.pans[2] = 0x20 | 0;  // hard left
    reader = read(s3m.bytes());
    state = reader->initial_state();
    EXPECT_EQ(state.speed, 4);
    EXPECT_EQ(state.tempo, 140);
    EXPECT_EQ(state.channels[0].pan, 128);
    EXPECT_EQ(state.channels[1].pan, 0);
    EXPECT_EQ(state.channels[2].pan, 96);
}

TEST_F(ReaderTest, S3mPackedPatterns) {
    uint8_t cells[64 * 32 * 5];
    // Row 0: channel 3 with everything; row 1 empty; row 2: channel 31 volume only; then a cell
    // cut off by the end of the data.
    const uint8_t packed[] = {0xE3, 0x41, 0x02, 0x30, 0x04, 0x05, 0x00,
                              0x00, 0x5F, 0x10, 0x00, 0xA0, 0x40};
    S3mReader::unpack_pattern(packed, sizeof packed, cells);
    auto at = [&](int row, int channel) { return cells + (row * 32 + channel) * 5; };
    EXPECT_EQ(std::vector<uint8_t>(at(0, 3), at(0, 3) + 5),
              (std::vector<uint8_t>{0x41, 2, 0x30, 4, 5}));
    EXPECT_EQ(std::vector<uint8_t>(at(2, 31), at(2, 31) + 5),
              (std::vector<uint8_t>{255, 0, 0x10, 255, 0}));
    EXPECT_EQ(std::vector<uint8_t>(at(3, 0), at(3, 0) + 5),
              (std::vector<uint8_t>{255, 0, 255, 255, 0}));
    EXPECT_EQ(std::vector<uint8_t>(at(1, 3), at(1, 3) + 5),
              (std::vector<uint8_t>{255, 0, 255, 255, 0}));
}

TEST_F(ReaderTest, S3mDamage) {
    // A pattern whose packed size is below 2.
    {
        S3mBuilder s3m = simple_s3m();
        std::string bytes = s3m.bytes();
        const size_t pointer_at = 96 + 2 + 2;
        const size_t pattern_at =
            size_t(uint8_t(bytes[pointer_at]) | uint8_t(bytes[pointer_at + 1]) << 8) * 16;
        bytes[pattern_at] = 1;
        bytes[pattern_at + 1] = 0;
        EXPECT_THROW(read(bytes), LOAD_ERROR);
    }
    // Parapointers beyond the end.
    {
        S3mBuilder s3m = simple_s3m();
        s3m.pattern_pointer_override[0] = 0x7000;
        EXPECT_THROW(read(s3m.bytes()), LOAD_ERROR);
        s3m = simple_s3m();
        s3m.instrument_pointer_override[0] = 0x7000;
        EXPECT_THROW(read(s3m.bytes()), LOAD_ERROR);
    }
    // A zero pattern parapointer is an empty pattern.
    {
        S3mBuilder s3m = simple_s3m();
        s3m.cells[{0, 0, 0}] = {0x40, 1, 255, 255, 0};
        s3m.pattern_pointer_override[0] = 0;
        auto reader = read(s3m.bytes());
        reader->start();
        EXPECT_EQ(reader->cell(0, 0, 0), ModuleCell{});
    }
    // Tables cut off.
    EXPECT_THROW(read(simple_s3m().bytes().substr(0, 97)), LOAD_ERROR);
}

TEST_F(ReaderTest, LoaderProbesAgreeWithTheReaders) {
    auto head_says = [](const std::string& bytes, bool s3m) {
        const std::span<const uint8_t> head(reinterpret_cast<const uint8_t*>(bytes.data()),
                                            std::min<size_t>(bytes.size(), 2048));
        return s3m ? probe_s3m_head(head, bytes.size()) : probe_mod_head(head, bytes.size());
    };
    ModBuilder flt = one_pattern_mod();
    flt.tag = "FLT4";
    ModBuilder unknown = one_pattern_mod();
    unknown.tag = "FEST";
    const std::pair<std::string, bool> mods[] = {
        {one_pattern_mod().bytes(), true}, {flt.bytes(), true},
        {old_mod().bytes(), true},         {unknown.bytes(), false},
        {simple_s3m().bytes(), false},     {std::string(700, 'x'), false}};
    for (const auto& [bytes, is_mod] : mods) {
        EXPECT_EQ(head_says(bytes, false), is_mod);
        EXPECT_FALSE(head_says(bytes, true) && is_mod);
    }
    EXPECT_TRUE(head_says(simple_s3m().bytes(), true));

    // The loader's read: a file the head probe let through but the readers refuse.
    S3mBuilder adlib = simple_s3m();
    S3mInstrumentSpec melody;
    melody.type = 2;
    adlib.instruments.push_back(melody);
    EXPECT_TRUE(head_says(adlib.bytes(), true));
    File file = File::open_for_reading(folder_.write("adlib.s3m", adlib.bytes()));
    Song song;
    try {
        read_module_song(file, song);
        FAIL();
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), uint32_t(S_UNKNOWN_SONG_FILE));
    }
    const ModuleSummary summary = describe_module(folder_.write("flt.mod", flt.bytes()));
    EXPECT_EQ(summary.format, "MOD");
    EXPECT_EQ(summary.tag, "FLT4");
    EXPECT_EQ(summary.channels, 4);
    EXPECT_EQ(summary.orders, 1);
}

} // namespace
} // namespace tunemill
