// Exporting songs as MOD and S3M: samples, orders and pieces, tempo, tracks and merges, effects,
// the file layouts, and a round trip through the readers.
#include "fixtures.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/convert.h"
#include "modules/export.h"
#include "modules/module.h"
#include "song/instrument_array.h"
#include "song/song.h"
#include "song/timing.h"

#include <cstring>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

using testing::TempFolder;

Instrument instrument(const std::string& name, uint32_t length = 2000, uint32_t rate = 8363,
                      uint32_t loop = NO_LOOP, uint32_t bytes = 1,
                      uint32_t category = NO_CATEGORY) {
    Instrument made = make_sampled_instrument(name, category, length, loop, rate, bytes, false);
    for (size_t i = 0; i < made.sample_bytes(); ++i)
        made.samples[i] = uint8_t(i * 7);
    return made;
}

// A song of one pattern per entry of lengths, played in that order.
Song song_with(std::vector<int32_t> lengths, size_t instruments = 1) {
    Song song;
    reset(song);
    song.path = "/music/My Song.sn2";
    for (size_t i = 0; i < instruments; ++i)
        add_instrument(song, instrument("ins" + std::to_string(i)));
    for (size_t p = 0; p < lengths.size(); ++p) {
        add_pattern(song, "Pattern " + std::to_string(p + 1));
        song.patterns.back().length = lengths[p];
        song.sequence.push_back(uint32_t(p));
    }
    return song;
}

void note(Voice& voice, Tick on, Tick off, uint8_t key) {
    insert_event(voice, on, NOTE_ON, key);
    insert_event(voice, off, NOTE_OFF, key);
}

const ExportCell& at(const ExportedModule& module, size_t pattern, size_t row, size_t channel) {
    return module.patterns[pattern][row * size_t(module.channels) + channel];
}

size_t starts_in_row(const ExportedModule& module, size_t pattern, size_t row) {
    size_t count = 0;
    for (int c = 0; c < module.channels; ++c)
        count += at(module, pattern, row, size_t(c)).note_start;
    return count;
}

bool has_effect(const ExportedModule& module, size_t pattern, size_t row, ExportEffect effect,
                int parameter = -1) {
    for (int c = 0; c < module.channels; ++c) {
        const ExportCell& cell = at(module, pattern, row, size_t(c));
        if (cell.effect == effect && (parameter < 0 || cell.parameter == parameter)) return true;
    }
    return false;
}

class ExportTest : public ::testing::Test {
  protected:
    void SetUp() override { set_language(Language::ENGLISH); }
    std::vector<uint8_t> file_bytes(const Song& song, ModuleFormat format) {
        const auto path =
            folder_.path() / (std::string("out.") + module_format_info(format).extension);
        export_module_file(song, path, format);
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    TempFolder folder_;
};

TEST_F(ExportTest, ValuesOfTheFormats) {
    EXPECT_EQ(module_volume(30), 64);
    EXPECT_EQ(module_volume(15), 15);
    EXPECT_EQ(module_volume(1), 4);
    EXPECT_EQ(module_volume(0), 0);
    EXPECT_EQ(module_tempo(20, 40), 60); // 125 ms rows at speed 3
    EXPECT_EQ(module_tempo(0, 40), 120);
    EXPECT_EQ(module_tempo(30, 40), 30);
    EXPECT_EQ(module_tempo(20, 0), 120);
    EXPECT_EQ(module_period(36), 428);
    EXPECT_EQ(module_period(0), 3424);
    EXPECT_EQ(module_period(83), 28);
    ModuleFormat format;
    EXPECT_TRUE(module_format_of("a/b.S3M", format));
    EXPECT_EQ(format, ModuleFormat::S3M);
    EXPECT_TRUE(module_format_of("b.mod", format));
    EXPECT_EQ(format, ModuleFormat::MOD);
    EXPECT_FALSE(module_format_of("b.sn2", format));
    EXPECT_TRUE(module_format_named("mod8", format));
    EXPECT_EQ(format, ModuleFormat::MOD8);
}

TEST_F(ExportTest, DescriptionWrapsIntoLines) {
    EXPECT_TRUE(description_lines("", 22).empty());
    EXPECT_EQ(description_lines("\r\n\nfirst\r\n\r\nthird\rfourth\n", 22),
              (std::vector<std::string>{"first", "", "third", "fourth"}));
    EXPECT_EQ(description_lines("a rather long line of words here", 10),
              (std::vector<std::string>{"a rather", "long line", "of words", "here"}));
    EXPECT_EQ(description_lines("abcdefghijklmnop", 6),
              (std::vector<std::string>{"abcdef", "ghijkl", "mnop"}));
}

TEST_F(ExportTest, MostUsedInstrumentsBecomeSamples) {
    Song song = song_with({64}, 40);
    Pattern& pattern = song.patterns[0];
    // Instrument i plays i + 1 notes, except that 0 to 8 play none at all.
    for (uint32_t i = 9; i < 40; ++i) {
        Voice& voice = pattern.voices[add_voice(pattern, i)];
        for (uint32_t n = 0; n <= i % 3; ++n)
            note(voice, n * 4, n * 4 + 2, uint8_t(30 + i % 20));
    }
    for (uint32_t i = 0; i < 9; ++i)
        add_voice(pattern, i); // voices without notes
    const ExportedModule module = build_module(song, ModuleFormat::MOD);
    ASSERT_EQ(module.samples.size(), 31u);
    for (size_t s = 0; s < 31; ++s)
        EXPECT_EQ(module.samples[s].instrument, 9 + s);
    // S3M keeps all 40.
    EXPECT_EQ(build_module(song, ModuleFormat::S3M).samples.size(), 40u);
}

TEST_F(ExportTest, SamplesAreResampledForTheFormat) {
    Song song = song_with({4}, 0);
    add_instrument(song, instrument("fast", 20000, 16726, 5000));
    add_instrument(song, instrument("wide", 1000, 8363, NO_LOOP, 2));
    add_instrument(song, instrument("long", 100000, 44100, 99990));
    add_instrument(song, instrument("slow", 1000, 4000));
    add_instrument(song, instrument("huge", 70000, 8363, 60000));
    Pattern& pattern = song.patterns[0];
    for (uint32_t i = 0; i < 5; ++i)
        note(pattern.voices[add_voice(pattern, i)], 0, 1, 36);

    ExportedModule mod = build_module(song, ModuleFormat::MOD);
    ASSERT_EQ(mod.samples.size(), 5u);
    EXPECT_EQ(mod.samples[0].rate, 8363u);
    EXPECT_EQ(mod.samples[0].length, 10000u);
    EXPECT_EQ(mod.samples[0].loop_start, 2500u);
    EXPECT_EQ(mod.samples[1].length, 1000u);
    EXPECT_EQ(mod.samples[2].length, 18963u);
    EXPECT_EQ(mod.samples[2].loop_start, 18961u);
    EXPECT_EQ(mod.samples[3].length, 2090u);
    EXPECT_EQ(mod.samples[4].length, 65534u); // cut to the largest size, without its loop
    EXPECT_EQ(mod.samples[4].loop_start, NO_LOOP);

    ExportedModule s3m = build_module(song, ModuleFormat::S3M);
    EXPECT_EQ(s3m.samples[0].rate, 16726u);
    EXPECT_EQ(s3m.samples[0].length, 20000u);
    EXPECT_EQ(s3m.samples[2].rate, 28225u); // 44100 / (100000 / 64000) + 1
    EXPECT_LE(s3m.samples[2].length, 64000u);
    EXPECT_EQ(s3m.samples[3].rate, 8000u);

    // Interpolated data: a 16-bit ramp becomes its high bytes; S3M stores unsigned, MOD signed.
    Song ramp = song_with({4}, 0);
    Instrument wide = make_sampled_instrument("ramp", NO_CATEGORY, 4, NO_LOOP, 8363, 2, false);
    const int16_t values[4] = {0, 0x1000, -0x2000, 0x7FFF};
    std::memcpy(wide.samples.data(), values, sizeof values);
    add_instrument(ramp, std::move(wide));
    note(ramp.patterns[0].voices[add_voice(ramp.patterns[0], 0)], 0, 1, 36);
    EXPECT_EQ(build_module(ramp, ModuleFormat::MOD).samples[0].data,
              (std::vector<uint8_t>{0x00, 0x10, 0xE0, 0x7F}));
    EXPECT_EQ(build_module(ramp, ModuleFormat::S3M).samples[0].data,
              (std::vector<uint8_t>{0x80, 0x90, 0x60, 0xFF}));
}

TEST_F(ExportTest, LongPatternsBecomePiecesWithABreak) {
    Song song = song_with({100});
    note(song.patterns[0].voices[add_voice(song.patterns[0], 0)], 0, 90, 36);
    const ExportedModule module = build_module(song, ModuleFormat::S3M);
    ASSERT_EQ(module.patterns.size(), 2u);
    EXPECT_EQ(module.orders, (std::vector<uint8_t>{0, 1}));
    EXPECT_TRUE(has_effect(module, 1, 35, ExportEffect::PATTERN_BREAK));
    EXPECT_FALSE(has_effect(module, 0, 63, ExportEffect::PATTERN_BREAK));
    EXPECT_TRUE(has_effect(module, 1, 26, ExportEffect::NOTE_CUT)); // tick 90
    // Rows beyond the piece are empty.
    for (int c = 0; c < module.channels; ++c)
        EXPECT_EQ(at(module, 1, 40, size_t(c)), ExportCell{});
}

TEST_F(ExportTest, ChordsSpreadOverChannelsAndMergeWhenThereAreTooMany) {
    Song song = song_with({16}, 2);
    Pattern& pattern = song.patterns[0];
    Voice& chord = pattern.voices[add_voice(pattern, 0)];
    note(chord, 0, 8, 36);
    note(chord, 0, 8, 40);
    note(chord, 0, 8, 43);
    ExportedModule module = build_module(song, ModuleFormat::MOD);
    EXPECT_EQ(starts_in_row(module, 0, 0), 3u);

    Voice& bass = pattern.voices[add_voice(pattern, 1)];
    note(bass, 0, 4, 24);
    note(bass, 4, 8, 26);
    module = build_module(song, ModuleFormat::MOD);
    EXPECT_EQ(starts_in_row(module, 0, 0), 4u);
    EXPECT_EQ(starts_in_row(module, 0, 4), 1u);

    // A fifth line: two of them share a channel and one note start is lost.
    Voice& lead = song.patterns[0].voices[add_voice(song.patterns[0], 1)];
    note(lead, 0, 2, 60);
    module = build_module(song, ModuleFormat::MOD);
    EXPECT_EQ(starts_in_row(module, 0, 0), 4u);
    // Sixteen S3M channels hold them all.
    module = build_module(song, ModuleFormat::S3M);
    EXPECT_EQ(starts_in_row(module, 0, 0), 5u);
}

TEST_F(ExportTest, LinesThatNeverClashShareOneChannel) {
    Song song = song_with({32}, 2);
    Pattern& pattern = song.patterns[0];
    add_voice(pattern, 0);
    add_voice(pattern, 1);
    Voice& a = pattern.voices[0];
    Voice& b = pattern.voices[1];
    for (Tick t = 0; t < 32; t += 8) {
        note(a, t, t + 3, 36);
        note(b, t + 4, t + 7, 48);
    }
    const ExportedModule module = build_module(song, ModuleFormat::S3M);
    for (Tick t = 0; t < 32; t += 4) {
        EXPECT_TRUE(at(module, 0, t, 0).note_start) << t;
        EXPECT_EQ(at(module, 0, t, 0).sample, (t / 4) % 2) << t;
    }
    for (int c = 1; c < module.channels; ++c)
        EXPECT_FALSE(at(module, 0, 0, size_t(c)).note_start);
}

TEST_F(ExportTest, TempoAndVolumeBecomeEffectsAndHeaderValues) {
    Song song = song_with({8, 8});
    Pattern& first = song.patterns[0];
    Voice& voice = first.voices[add_voice(first, 0)];
    note(voice, 0, 6, 36);
    insert_event(voice, 2, VOLUME, 15);
    song.patterns[1].tempo_points.push_back({4, 10, {0, 0, 0}});
    note(song.patterns[1].voices[add_voice(song.patterns[1], 0)], 0, 6, 36);

    ExportedModule s3m = build_module(song, ModuleFormat::S3M);
    EXPECT_EQ(s3m.initial_tempo, 60);
    EXPECT_EQ(at(s3m, 0, 2, 0).volume, 15);            // the volume column
    EXPECT_EQ(at(s3m, 0, 3, 0).volume, EXPORT_SILENT); // unchanged: no volume
    EXPECT_TRUE(has_effect(s3m, 1, 4, ExportEffect::SET_TEMPO, module_tempo(10, 40)));
    // The song starts over at 60 BPM: the first pattern sets it when the end is faster.
    EXPECT_TRUE(has_effect(s3m, 0, 0, ExportEffect::SET_TEMPO, 60));

    ExportedModule mod = build_module(song, ModuleFormat::MOD);
    EXPECT_TRUE(has_effect(mod, 0, 0, ExportEffect::SPEED));
    EXPECT_TRUE(has_effect(mod, 0, 0, ExportEffect::SET_TEMPO, 60));
    EXPECT_TRUE(has_effect(mod, 0, 2, ExportEffect::SET_VOLUME));
    EXPECT_TRUE(has_effect(mod, 0, 6, ExportEffect::NOTE_CUT));

    const std::vector<uint8_t> bytes = file_bytes(song, ModuleFormat::S3M);
    EXPECT_EQ(bytes[49], 3);  // speed
    EXPECT_EQ(bytes[50], 60); // tempo
    EXPECT_EQ(std::string(bytes.begin() + 54, bytes.begin() + 62), "TMILL2.0");
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "My Song");
}

TEST_F(ExportTest, RepeatPositionBecomesAJumpOnTheLastOrder) {
    Song song = song_with({16, 16, 70, 16});
    for (Pattern& pattern : song.patterns)
        note(pattern.voices[add_voice(pattern, 0)], 0, 4, 36);
    song.repeat_position = 2;
    ExportedModule module = build_module(song, ModuleFormat::MOD);
    // Orders: pieces 0, 1, 2 and 3 (the 70 ticks), 4.
    EXPECT_EQ(module.orders, (std::vector<uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(has_effect(module, 4, 15, ExportEffect::POSITION_JUMP, 2));
    EXPECT_FALSE(has_effect(module, 4, 15, ExportEffect::PATTERN_BREAK)); // the jump took its place
    EXPECT_TRUE(has_effect(module, 3, 5, ExportEffect::PATTERN_BREAK));

    // When the last pattern also plays earlier, the last order gets a copy to jump from.
    song.sequence.push_back(1);
    module = build_module(song, ModuleFormat::MOD);
    ASSERT_EQ(module.orders.size(), 6u);
    EXPECT_EQ(module.orders.back(), 5);
    EXPECT_TRUE(has_effect(module, 5, 15, ExportEffect::POSITION_JUMP, 2));
    EXPECT_FALSE(has_effect(module, 1, 15, ExportEffect::POSITION_JUMP));
}

TEST_F(ExportTest, ModLayoutWithTagSampleAndDescription) {
    Song song = song_with({4}, 2);
    note(song.patterns[0].voices[add_voice(song.patterns[0], 0)], 0, 2, 36);
    note(song.patterns[0].voices[add_voice(song.patterns[0], 1)], 0, 2, 36);
    song.description = "A song written for the tests\r\nsecond line";
    std::vector<uint8_t> bytes = file_bytes(song, ModuleFormat::MOD8);
    EXPECT_EQ(std::string(bytes.begin() + 1080, bytes.begin() + 1084), "8CHN");
    EXPECT_EQ(std::string(bytes.begin() + bytes.size() - 8, bytes.end()), "TMILL2.0");
    auto name = [&](int slot) {
        return std::string(reinterpret_cast<const char*>(&bytes[20 + size_t(slot) * 30]));
    };
    EXPECT_EQ(name(0), "ins0");
    // Slot 3 is the tag sample: 4 words; the description lines name it and the slots after it.
    EXPECT_EQ(bytes[20 + 2 * 30 + 22], 0);
    EXPECT_EQ(bytes[20 + 2 * 30 + 23], 4);
    EXPECT_EQ(name(2).substr(0, 22), "A song written for the");
    EXPECT_EQ(name(3), "tests");
    EXPECT_EQ(name(4), "second line");
    EXPECT_EQ(name(5), "");
    EXPECT_EQ(bytes[950], 1); // song length
    EXPECT_EQ(bytes[951], 127);
    // Without a description only the tag sample follows the samples.
    song.description.clear();
    bytes = file_bytes(song, ModuleFormat::MOD);
    EXPECT_EQ(name(2), "");
    EXPECT_EQ(bytes[20 + 2 * 30 + 23], 4);
    EXPECT_EQ(bytes.size(), 1084u + 1024 + 2 * 2000 + 8);
}

TEST_F(ExportTest, InvalidSongsAreNotExported) {
    Song song = song_with({4});
    insert_event(song.patterns[0].voices[add_voice(song.patterns[0], 0)], 0, NOTE_ON,
                 36); // never ends
    try {
        build_module(song, ModuleFormat::S3M);
        FAIL();
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), uint32_t(S_INTERNAL_ERROR));
    }
}

TEST_F(ExportTest, SlidesBecomePitchSlidesEndingInATonePortamento) {
    Song song = song_with({16});
    Voice& voice = song.patterns[0].voices[add_voice(song.patterns[0], 0)];
    insert_event(voice, 0, NOTE_ON, 36);
    insert_event(voice, 2, PORTAMENTO, 36, 48, 4);
    insert_event(voice, 10, NOTE_OFF, 48);
    for (ModuleFormat format : {ModuleFormat::MOD, ModuleFormat::S3M}) {
        const ExportedModule module = build_module(song, format);
        int slide = 0;
        for (Tick t = 3; t < 6; ++t) {
            EXPECT_EQ(at(module, 0, t, 0).effect, ExportEffect::PITCH_SLIDE) << t;
            slide += at(module, 0, t, 0).speed;
            EXPECT_LT(at(module, 0, t, 0).speed, 0); // upwards
        }
        const ExportCell& last = at(module, 0, 6, 0);
        EXPECT_EQ(last.effect, ExportEffect::TONE_PORTAMENTO);
        EXPECT_EQ(last.key, 48);
        // Two slide ticks per row: from period 428 to that of three quarters of the way up
        // in frequency (244), the tone portamento going the rest.
        EXPECT_NEAR(-2 * slide, 428 - 244, 4);
    }
}

TEST_F(ExportTest, ExportedModulesReadBackAsWritten) {
    Song song = song_with({100, 16}, 2);
    for (Pattern& pattern : song.patterns) {
        add_voice(pattern, 0);
        add_voice(pattern, 1);
        Voice& a = pattern.voices[0];
        Voice& b = pattern.voices[1];
        for (Tick t = 0; t + 4 <= Tick(pattern.length); t += 4) {
            note(a, t, t + 2, uint8_t(36 + t % 12));
            note(b, t + 2, t + 4, 24);
        }
    }
    for (ModuleFormat format : {ModuleFormat::S3M, ModuleFormat::MOD, ModuleFormat::MOD6}) {
        SCOPED_TRACE(int(format));
        const auto path =
            folder_.path() / (std::string("round.") + module_format_info(format).extension);
        export_module_file(song, path, format);
        File file = File::open_for_reading(path);
        auto reader = read_module(file);
        EXPECT_EQ(reader->orders().size(), 3u);
        EXPECT_EQ(reader->channel_count(), module_format_parameters(format).channels);
        EXPECT_EQ(reader->rows(0), 64);
        // The first note: sample 1 at key 36.
        reader->start();
        ModuleCell first;
        for (int c = 0; c < reader->channel_count(); ++c) {
            const ModuleCell cell = reader->cell(reader->orders()[0], 0, c);
            if (cell.sample == 0) first = cell;
        }
        EXPECT_EQ(first.sample, 0);
        EXPECT_EQ(reader->pitch(first.period, first.sample), 44100u);
        Song back;
        convert_module(*reader, file, back);
        EXPECT_TRUE(validate(back));
        EXPECT_NEAR(double(song_length(back)), double(song_length(song)),
                    double(song_length(song)) * 0.05);
        EXPECT_EQ(back.instruments.size(), 2u);
    }
}

} // namespace
} // namespace tunemill

namespace tunemill {
namespace {

// ---- What the module cannot hold ----

std::vector<ExportWarningKind> kinds(const std::vector<ExportWarning>& warnings) {
    std::vector<ExportWarningKind> out;
    for (const ExportWarning& warning : warnings)
        out.push_back(warning.kind);
    return out;
}

TEST_F(ExportTest, MoreVoicesThanAnEightChannelModHoldsAreReported) {
    Song song = song_with({16}, 1);
    rename_pattern(song, 0, "Chorus");
    Pattern& pattern = song.patterns[0];
    // Ten voices sounding at once, keys inside ProTracker's octaves.
    for (uint8_t v = 0; v < 10; ++v)
        note(pattern.voices[add_voice(pattern, 0)], 0, 8, uint8_t(30 + v));
    const ExportedModule module = build_module(song, ModuleFormat::MOD8);
    ASSERT_EQ(module.warnings.size(), 1u);
    EXPECT_EQ(module.warnings[0], (ExportWarning{ExportWarningKind::VOICES_MERGED, "Chorus", 2}));
    EXPECT_EQ(export_warning_text(module.warnings[0]),
              "Pattern \"Chorus\" plays more notes at once than the module has channels; 2 voices "
              "were merged and "
              "notes cut");
    set_language(Language::GERMAN);
    EXPECT_EQ(
        export_warning_text(module.warnings[0]),
        "Pattern \"Chorus\" spielt mehr Noten zugleich, als das Modul Kanäle hat; 2 Stimmen wurden "
        "zusammengelegt und Noten gekürzt");
    set_language(Language::ENGLISH);
    // Sixteen S3M channels hold them, as eight do when two voices are gone.
    EXPECT_TRUE(build_module(song, ModuleFormat::S3M).warnings.empty());
    pattern.voices.resize(8);
    EXPECT_TRUE(build_module(song, ModuleFormat::MOD8).warnings.empty());

    // The file export returns the same list.
    TempFolder folder;
    pattern.voices.resize(0);
    for (uint8_t v = 0; v < 10; ++v)
        note(pattern.voices[add_voice(pattern, 0)], 0, 8, uint8_t(30 + v));
    EXPECT_EQ(export_module_file(song, folder.path() / "chorus.mod", ModuleFormat::MOD8),
              module.warnings);
}

TEST_F(ExportTest, EveryKindOfLossIsReportedOnce) {
    Song song = song_with({16}, 0);
    add_instrument(song,
                   instrument("looped long", 400000, 44100, 300000)); // too long: cut, loop lost
    for (int i = 1; i <= 30; ++i)
        add_instrument(song, instrument("filler" + std::to_string(i)));
    add_instrument(song, instrument("rare")); // the 32nd, with the fewest notes: dropped
    Pattern& pattern = song.patterns[0];
    Voice& low = pattern.voices[add_voice(pattern, 0)];
    note(low, 0, 2, 12);              // below ProTracker's octaves
    note(low, 4, 6, 70);              // above them
    insert_event(low, 5, BALANCE, 3); // while the second note sounds
    for (uint32_t i = 1; i <= 30; ++i) {
        Voice& voice = pattern.voices[add_voice(pattern, i)];
        note(voice, 8, 9, 36);
        note(voice, 10, 11, 36);
    }
    note(pattern.voices[add_voice(pattern, 31)], 12, 13, 36);
    // 129 entries: one more than a MOD's orders.
    song.sequence.assign(129, 0);

    const ExportedModule module = build_module(song, ModuleFormat::MOD);
    const std::vector<ExportWarningKind> expected = {
        ExportWarningKind::SAMPLE_SHORTENED,   ExportWarningKind::LOOP_DROPPED,
        ExportWarningKind::INSTRUMENT_DROPPED, ExportWarningKind::SEQUENCE_CUT,
        ExportWarningKind::KEYS_OUT_OF_RANGE,  ExportWarningKind::BALANCE_LOST,
        ExportWarningKind::VOICES_MERGED};
    EXPECT_EQ(kinds(module.warnings), expected);
    for (const ExportWarning& warning : module.warnings) {
        SCOPED_TRACE(export_warning_name(warning.kind));
        switch (warning.kind) {
        case ExportWarningKind::INSTRUMENT_DROPPED:
            EXPECT_EQ(warning, (ExportWarning{warning.kind, "rare", 1}));
            break;
        case ExportWarningKind::SAMPLE_SHORTENED:
        case ExportWarningKind::LOOP_DROPPED:
            EXPECT_EQ(warning.subject, "looped long");
            break;
        case ExportWarningKind::SEQUENCE_CUT:
            EXPECT_EQ(warning.count, 1u);
            break;
        case ExportWarningKind::KEYS_OUT_OF_RANGE:
            EXPECT_EQ(warning.count, 2u);
            break;
        case ExportWarningKind::BALANCE_LOST:
            EXPECT_EQ(warning.count, 1u);
            break;
        default:
            break;
        }
        EXPECT_FALSE(export_warning_text(warning).empty());
    }
    // S3M holds the keys, the instruments, the orders and the voices; the sample is still too long.
    EXPECT_EQ(kinds(build_module(song, ModuleFormat::S3M).warnings),
              (std::vector<ExportWarningKind>{
                  ExportWarningKind::SAMPLE_SHORTENED, ExportWarningKind::LOOP_DROPPED,
                  ExportWarningKind::BALANCE_LOST, ExportWarningKind::VOICES_MERGED}));
}

} // namespace
} // namespace tunemill
