// Sample import (the WAV walk, raw data, stereo to the left channel), the category guess by
// keyword, and the library build from a bank and a folder.
#include "instruments/bank.h"
#include "instruments/category.h"
#include "instruments/instrument_file.h"
#include "instruments/library.h"
#include "instruments/sample_import.h"
#include "tests/instruments/test_files.h"
#include "tools/sample_packer.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <gtest/gtest.h>

namespace tunemill {
namespace {

using namespace testing_files;

// ---- Category guess ----

TEST(CategoryGuess, KeywordExamples) {
    EXPECT_EQ(category_keyword_count(), 148u);
    struct Case {
        const char* name;
        const char* key;
        uint32_t category;
    } cases[] = {
        {"Bass Drum 1", "bassdrum@", 17},  {"BD_01.WAV", "bd.wav@", 17},
        {"nice synth", "nicesynth@", 11},  {"Str", "str@", 8},
        {"Piano", "piano@", 10},           {"12345", "@", 29},
        {"Hi-Hat open", "hihatopen@", 15}, {"TELEPHONE", "telephone@", 28},
        {"syn.wav", "syn.wav@", 11},       {"Synthesis", "synthesis@", 11},
        {"Strings.", "strings.@", 8},      {"", "@", 29},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(category_key(c.name), c.key) << c.name;
        EXPECT_EQ(guess_category(c.name), c.category) << c.name;
    }
    // "syn@" only at the end of a name: "synonym" has neither "syn@" nor "syn.".
    EXPECT_EQ(guess_category("synonym"), 29u);
    // Table order decides: "telephone" (28) comes before "pho..." anything, "fantasia" is 29.
    EXPECT_EQ(guess_category("Fantasia Bass"), 29u);
}

// ---- WAV and raw import ----

struct Chunk {
    std::string tag;
    std::vector<uint8_t> content;
    bool pad = true;
};

std::vector<uint8_t> wav(uint32_t channels, uint32_t bits, uint32_t rate,
                         const std::vector<uint8_t>& data, uint32_t format_size = 16,
                         const std::vector<Chunk>& before_data = {},
                         uint32_t data_size_field = 0xFFFFFFFE, uint32_t format_tag = 1) {
    std::vector<uint8_t> out;
    append_text(out, "RIFF");
    put_le(out, 0, 4);
    append_text(out, "WAVEfmt ");
    put_le(out, format_size, 4);
    put_le(out, format_tag, 2);
    put_le(out, channels, 2);
    put_le(out, rate, 4);
    put_le(out, rate * channels * bits / 8, 4);
    put_le(out, channels * bits / 8, 2);
    put_le(out, bits, 2);
    for (uint32_t i = 16; i < format_size; ++i)
        out.push_back(0);
    if (format_size % 2 == 1) out.push_back(0);
    for (const Chunk& chunk : before_data) {
        append_text(out, chunk.tag);
        put_le(out, uint32_t(chunk.content.size()), 4);
        append(out, chunk.content);
        if (chunk.pad && chunk.content.size() % 2 == 1) out.push_back(0);
    }
    append_text(out, "data");
    put_le(out, data_size_field == 0xFFFFFFFE ? uint32_t(data.size()) : data_size_field, 4);
    append(out, data);
    return out;
}

std::vector<uint8_t> ramp8(size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(i * 3 + 1);
    return out;
}

const RawImportPrompt NEVER_RAW = [](RawImportSettings&) -> bool {
    ADD_FAILURE() << "taken as raw";
    return false;
};

Instrument import_wav(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::optional<Instrument> instrument =
        import_sample_file(write_scratch_file(name, bytes), NEVER_RAW);
    EXPECT_TRUE(instrument.has_value()) << name;
    return instrument ? std::move(*instrument) : Instrument{};
}

std::vector<uint8_t> samples_of(const Instrument& instrument) {
    return {instrument.samples.begin(),
            instrument.samples.begin() + ptrdiff_t(instrument.sample_bytes())};
}

TEST(SampleImport, WalksPastOtherChunksAndOddFormatSizes) {
    const std::vector<uint8_t> data = ramp8(301);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"plain", wav(1, 8, 11025, data)},
        {"list chunk", wav(1, 8, 11025, data, 16, {{"LIST", std::vector<uint8_t>(26, 'x')}})},
        {"format chunk of 18 bytes", wav(1, 8, 11025, data, 18)},
        {"format chunk of 17 bytes, padded", wav(1, 8, 11025, data, 17)},
        {"odd chunk with its pad byte",
         wav(1, 8, 11025, data, 16, {{"note", {'a', 'b', 'c'}}, {"fact", {1, 2, 3, 4}}})},
        {"odd chunk without a pad byte",
         wav(1, 8, 11025, data, 16, {{"note", {'a', 'b', 'c'}, false}})},
        {"data size beyond the end", wav(1, 8, 11025, data, 16, {}, 0xFFFFFFFF)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Instrument instrument = import_wav("walk.wav", c.bytes);
        EXPECT_EQ(instrument.length, 301u) << c.what;
        EXPECT_EQ(instrument.bytes_per_sample, 1u) << c.what;
        EXPECT_EQ(instrument.rate, 11025u) << c.what;
        EXPECT_EQ(samples_of(instrument), data) << c.what;
        EXPECT_EQ(instrument.name, "walk");
        EXPECT_EQ(instrument.category, NO_CATEGORY);
        EXPECT_EQ(instrument.loop_start, NO_LOOP);
        EXPECT_FALSE(instrument.from_bank);
    }
}

TEST(SampleImport, StereoKeepsTheLeftChannel) {
    std::vector<uint8_t> data16, left16, data8, left8;
    for (int i = 0; i < 1000; ++i) {
        put_le(data16, uint32_t(i * 31 - 9000) & 0xFFFF, 2);
        put_le(left16, uint32_t(i * 31 - 9000) & 0xFFFF, 2);
        put_le(data16, uint32_t(-i) & 0xFFFF, 2);
        data8.push_back(uint8_t(i));
        left8.push_back(uint8_t(i));
        data8.push_back(0xEE);
    }
    const Instrument sixteen = import_wav("stereo16.wav", wav(2, 16, 44100, data16));
    EXPECT_EQ(sixteen.length, 1000u);
    EXPECT_EQ(sixteen.bytes_per_sample, 2u);
    EXPECT_EQ(samples_of(sixteen), left16);
    const Instrument eight = import_wav("stereo8.wav", wav(2, 8, 22050, data8));
    EXPECT_EQ(eight.length, 1000u);
    EXPECT_EQ(samples_of(eight), left8);
}

// A "smpl" chunk with one loop (or none): the loop's first and last frame.
Chunk sampler_chunk(uint32_t loops, uint32_t start, uint32_t last) {
    std::vector<uint8_t> content(28, 0);
    put_le(content, loops, 4);
    put_le(content, 0, 4);
    for (uint32_t value : {0u, 0u, start, last, 0u, 0u})
        put_le(content, value, 4);
    return {"smpl", content};
}

TEST(SampleImport, SamplerChunkGivesOurWavFilesTheirLoop) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 1000; ++i)
        put_le(data, uint32_t(i * 13) & 0xFFFF, 2);
    auto after_data = [&](const Chunk& chunk) {
        std::vector<uint8_t> out = wav(1, 16, 22050, data);
        append_text(out, chunk.tag);
        put_le(out, uint32_t(chunk.content.size()), 4);
        append(out, chunk.content);
        return out;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t loop_start, length;
    } cases[] = {
        {"before the data", wav(1, 16, 22050, data, 16, {sampler_chunk(1, 100, 599)}), 100, 600},
        {"after the data", after_data(sampler_chunk(1, 250, 999)), 250, 1000},
        {"no loops", after_data(sampler_chunk(0, 100, 599)), NO_LOOP, 1000},
        {"end beyond the sound", after_data(sampler_chunk(1, 10, 5000)), 10, 1000},
        {"start beyond the sound", after_data(sampler_chunk(1, 1000, 1200)), NO_LOOP, 1000},
        {"chunk cut short",
         [&] {
             std::vector<uint8_t> out = after_data(sampler_chunk(1, 100, 599));
             out.resize(out.size() - 10);
             return out;
         }(),
         NO_LOOP, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Instrument instrument = import_wav("looped.wav", c.bytes);
        EXPECT_EQ(instrument.loop_start, c.loop_start);
        EXPECT_EQ(instrument.length, c.length);
        EXPECT_EQ(samples_of(instrument),
                  std::vector<uint8_t>(data.begin(), data.begin() + 2 * c.length));
    }
}

TEST(SampleImport, HighRatesAreClampedAndNamesCut) {
    EXPECT_EQ(import_wav("fast.wav", wav(1, 16, 96000, {1, 2, 3, 4})).rate, 65535u);
    EXPECT_EQ(import_wav("A rather long sample name.wav", wav(1, 8, 8000, {1})).name,
              "A rather long sa");
    EXPECT_EQ(import_wav("two.dots.wav", wav(1, 8, 8000, {1})).name, "two.dots");
}

TEST(SampleImport, WavFilesOurReaderRefusesGoToTheSoundFileReader) {
    // Never offered as raw data any more: libsndfile reads them, or they give a sample file's
    // message.
    const std::vector<uint8_t> data = ramp8(100);
    const std::vector<uint8_t> empty_wav =
        wav(1, 8, 8000, {}, 16, {{"LIST", std::vector<uint8_t>(10, 'y')}});
    const std::vector<uint8_t> full_wav = wav(1, 8, 8000, data);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t frames; // 0: refused
    } cases[] = {
        {"float format", wav(1, 32, 8000, data, 16, {}, 0xFFFFFFFE, 3), 25},
        {"three channels", wav(3, 8, 8000, data), 33},
        {"rate 0", wav(1, 8, 0, data), 0},
        {"12 bits in 16-bit containers", wav(1, 12, 8000, data), 50},
        {"format chunk of 14 bytes", wav(1, 8, 8000, data, 14), 0},
        {"no data chunk", std::vector<uint8_t>(empty_wav.begin(), empty_wav.end() - 8), 0},
        {"36 bytes only", std::vector<uint8_t>(full_wav.begin(), full_wav.begin() + 36), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            const auto result =
                import_sample_file(write_scratch_file("variant.wav", c.bytes), NEVER_RAW);
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(result->length, c.frames);
            EXPECT_NE(c.frames, 0u) << "imported " << result->length << " frames";
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(c.frames, 0u) << "refused";
            EXPECT_TRUE(error.string_id() == S_UNKNOWN_SAMPLE_FILE ||
                        error.string_id() == S_SAMPLE_RATE_OUT_OF_RANGE)
                << error.string_id();
        }
    }
}

TEST(SampleImport, OtherFilesAreOfferedAsRaw) {
    for (const auto& bytes : {ramp8(500), ramp8(20)}) {
        int asked = 0;
        const auto result =
            import_sample_file(write_scratch_file("raw.bin", bytes), [&](RawImportSettings&) {
                ++asked;
                return false;
            });
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(result.has_value());
    }
}

TEST(SampleImport, RawDataFollowsTheSettings) {
    struct Case {
        const char* what;
        size_t file_size;
        RawImportSettings settings;
        uint32_t frames, rate, bytes_per_sample;
        size_t first_byte;
    } cases[] = {
        {"8-bit stereo, 1001 bytes", 1001, {22050, false, true, 0}, 500, 22050, 1, 0},
        {"16-bit mono with a header", 1001, {44100, true, false, 101}, 450, 44100, 2, 101},
        {"16-bit stereo", 1001, {8000, true, true, 0}, 250, 8000, 2, 0},
        {"header as large as the file", 64, {8000, false, false, 64}, 64, 8000, 1, 0},
        {"rate 0 becomes 1", 10, {0, false, false, 0}, 10, 1, 1, 0},
        {"rate above 65535", 10, {100000, false, false, 0}, 10, 65535, 1, 0},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = ramp8(c.file_size);
        RawImportSettings settings = c.settings;
        const auto result = import_sample_file(
            write_scratch_file("sample.raw", bytes),
            [&](RawImportSettings& shown) {
                EXPECT_EQ(&shown, &settings);
                return true;
            },
            settings);
        ASSERT_TRUE(result.has_value()) << c.what;
        EXPECT_EQ(result->length, c.frames) << c.what;
        EXPECT_EQ(result->rate, c.rate) << c.what;
        EXPECT_EQ(result->bytes_per_sample, c.bytes_per_sample) << c.what;
        EXPECT_EQ(result->samples[0], bytes[c.first_byte]) << c.what;
        EXPECT_EQ(result->name, "sample");
    }
    // The run's settings start at 8000 Hz, 8-bit mono, no header.
    EXPECT_EQ(raw_import_settings().rate, 8000u);
    EXPECT_FALSE(raw_import_settings().sixteen_bit);
}

TEST(SampleImport, MissingFileIsAFileError) {
    EXPECT_THROW(import_sample_file(scratch_folder() / "absent.wav", NEVER_RAW), FILE_ERROR);
}

// ---- Library ----

std::vector<uint8_t> instrument_file_head(const char* magic, const std::string& name,
                                          uint8_t category) {
    std::vector<uint8_t> out;
    append_text(out, magic);
    append_text(out, name);
    out.push_back(0);
    out.push_back(category);
    append(out, packer::sample_body({1, 2, 3}, 0, NO_LOOP, 8000));
    return out;
}

std::vector<uint8_t> small_bank() {
    std::vector<uint8_t> out{'B', 'N', 'K', 2, 0};
    out.resize(67, 0);
    const std::vector<uint8_t> body = [] {
        std::vector<uint8_t> b{1};
        append(b, packer::sample_body({4, 5}, 0, NO_LOOP, 8000));
        return b;
    }();
    uint32_t offset = 67 + 2 * 21;
    for (auto [name, category] : {std::pair<std::string, uint8_t>{"Beta", 3}, {"Gamma", 29}}) {
        name.resize(16, ' ');
        append_text(out, name);
        out.push_back(category);
        put_le(out, offset, 4);
        offset += uint32_t(body.size());
    }
    append(out, body);
    append(out, body);
    return out;
}

TEST(Library, ListsBankAndFilesSortedByName) {
    const auto folder = scratch_folder() / "library";
    std::filesystem::remove_all(folder);
    write_scratch_file("library/Zeta.sa2", instrument_file_head("SMP", "Zeta", 3));
    write_scratch_file("library/sub/deeper/alpha.SY", instrument_file_head("SYN", "alpha", 3));
    write_scratch_file("library/none.sa", instrument_file_head("SMP", "Loose", 0xFF));
    write_scratch_file("library/readme.txt", instrument_file_head("SMP", "Text", 3));
    write_scratch_file("library/noext", instrument_file_head("SMP", "NoExt", 3));
    write_scratch_file("library/long.sa2", instrument_file_head("SMP", "Seventeen chars!!", 3));
    write_scratch_file("library/magic.sa2", instrument_file_head("SMX", "Magic", 3));
    write_scratch_file("library/cat40.sa2", instrument_file_head("SMP", "Cat", 40));
    write_scratch_file("library/tiny.sa2", {'S', 'M', 'P'});
    write_scratch_file("library/short.sa2", {'S', 'M', 'P', 'a', 0, 2});
    std::filesystem::create_directory_symlink(folder, folder / "sub" / "loop");

    InstrumentBank bank(write_scratch_file("library.bnk", small_bank()));
    InstrumentLibrary library;
    int reports = 0;
    library.build(folder, bank, [&](const ERROR&) { ++reports; });
    EXPECT_EQ(reports, 0);
    EXPECT_TRUE(library.valid());
    EXPECT_FALSE(library.needs_rebuild(folder));
    EXPECT_TRUE(library.needs_rebuild(folder / "sub"));

    const auto& organs = library.items(3);
    ASSERT_EQ(organs.size(), 3u);
    EXPECT_EQ(organs[0].name, "alpha");
    EXPECT_EQ(organs[1].name, "Beta");
    EXPECT_TRUE(organs[1].from_bank);
    EXPECT_EQ(organs[2].name, "Zeta");
    EXPECT_EQ(organs[0].relative, std::filesystem::path("sub/deeper/alpha.SY"));
    EXPECT_EQ(library.item_path(organs[0]), folder / "sub/deeper/alpha.SY");
    const auto& none = library.items(29);
    ASSERT_EQ(none.size(), 2u);
    EXPECT_EQ(none[0].name, "Gamma");
    EXPECT_EQ(none[1].name, "Loose");
    const auto& woodwinds = library.items(2);
    ASSERT_EQ(woodwinds.size(), 1u);
    EXPECT_EQ(woodwinds[0].name, "a");
    size_t total = 0;
    for (uint32_t c = 0; c <= 29; ++c)
        total += library.items(c).size();
    EXPECT_EQ(total, 6u);

    // Items load: the bank one by name, the file one from its path (this one's body is
    // not a synth block, so it is reported damaged, as the browser shows it).
    EXPECT_TRUE(library.load(organs[1], bank).from_bank);
    EXPECT_EQ(library.load(organs[2], bank).name, "Zeta");
    try {
        library.load(organs[0], bank);
        FAIL();
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), uint32_t(S_INSTRUMENT_FILE_DAMAGED));
    }
}

TEST(Library, MissingBankIsReportedOnceAndFilesStillListed) {
    const auto folder = scratch_folder() / "nobank";
    write_scratch_file("nobank/Flute.sa2", instrument_file_head("SMP", "Flute", 0));
    InstrumentBank bank(scratch_folder() / "missing.bnk");
    InstrumentLibrary library;
    std::vector<uint32_t> kinds;
    library.build(folder, bank, [&](const ERROR& error) {
        const auto* bank_error = dynamic_cast<const INS_BANK_ERROR*>(&error);
        kinds.push_back(bank_error ? bank_error->kind() : 99);
    });
    EXPECT_EQ(kinds, std::vector<uint32_t>{INS_BANK_ERROR::OPEN});
    EXPECT_FALSE(library.valid());
    EXPECT_TRUE(library.needs_rebuild(folder));
    ASSERT_EQ(library.items(0).size(), 1u);
    EXPECT_EQ(library.items(0)[0].name, "Flute");
}

} // namespace
} // namespace tunemill
