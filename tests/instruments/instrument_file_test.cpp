// Instrument files: every packing decoded and checked against its checksum, the code tree's tie
// rules on a hand-built stream, the format faults, hostile sizes, and write/read round trips.
#include "instruments/instrument_file.h"
#include "tests/instruments/test_files.h"
#include "tools/sample_packer.h"

#include "foundation/bit_reader.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

using namespace testing_files;

// A file header for a sampled instrument named name with category byte.
std::vector<uint8_t> smp_head(const std::string& name = "Test", uint8_t category = 3) {
    std::vector<uint8_t> out;
    append_text(out, "SMP");
    append_text(out, name);
    out.push_back(0);
    out.push_back(category);
    return out;
}

std::vector<uint8_t> file_with_body(const std::vector<uint8_t>& body,
                                    const std::string& name = "Test", uint8_t category = 3) {
    std::vector<uint8_t> out = smp_head(name, category);
    append(out, body);
    return out;
}

Instrument read_bytes_as_instrument(const std::string& file_name,
                                    const std::vector<uint8_t>& bytes) {
    File file = File::open_for_reading(write_scratch_file(file_name, bytes));
    BitReader reader(file);
    return read_instrument_file(file, reader);
}

std::vector<uint8_t> decaying_tone(size_t length) {
    std::vector<uint8_t> samples(length);
    for (size_t i = 0; i < length; ++i)
        samples[i] = uint8_t(
            128 + std::lround(100 * std::exp(-double(i) / 600) * std::sin(double(i) * 0.07) +
                              3 * std::sin(double(i) * 1.3)));
    return samples;
}

std::vector<uint8_t> sample_bytes(const Instrument& instrument) {
    return {instrument.samples.begin(),
            instrument.samples.begin() + ptrdiff_t(instrument.sample_bytes())};
}

template <typename Error>
void expect_error(const std::string& what, const std::vector<uint8_t>& bytes) {
    EXPECT_THROW(read_bytes_as_instrument("fault", bytes), Error) << what;
}

TEST(InstrumentFile, EveryPackingDecodesToTheSamples) {
    const std::vector<uint8_t> samples = decaying_tone(3000);
    for (uint8_t packing = 0; packing <= 4; ++packing) {
        for (auto grouping : {packer::Grouping::SMALLEST, packer::Grouping::ONE_GROUP}) {
            const auto body = packer::sample_body(samples, packing, 1200, 22050, grouping);
            const Instrument instrument =
                read_bytes_as_instrument("packed.sa2", file_with_body(body));
            EXPECT_EQ(instrument.length, 3000u) << int(packing);
            EXPECT_EQ(instrument.loop_start, 1200u);
            EXPECT_EQ(instrument.rate, 22050u);
            EXPECT_EQ(instrument.bytes_per_sample, 1u);
            EXPECT_EQ(instrument.category, 3u);
            EXPECT_FALSE(instrument.from_bank);
            EXPECT_EQ(sample_bytes(instrument), samples) << "packing " << int(packing);
            if (packing >= 1) {
                // The compressed forms really are smaller than the plain one.
                EXPECT_LT(body.size(), samples.size()) << int(packing);
            }
        }
    }
}

TEST(InstrumentFile, ChecksumDifferenceIsDamage) {
    const std::vector<uint8_t> samples = decaying_tone(500);
    for (uint8_t packing = 0; packing <= 4; ++packing) {
        auto body = packer::sample_body(samples, packing, NO_LOOP, 8000);
        body[13] ^= 0x01; // the checksum's low byte
        EXPECT_THROW(read_bytes_as_instrument("sum", file_with_body(body)), LOAD_ERROR)
            << int(packing);
    }
    // The checksum adds into the low byte without carry and then rotates left.
    EXPECT_EQ(sample_checksum(std::vector<uint8_t>{0xFF, 0xFF}.data(), 2), 0x03FA);
    EXPECT_EQ(sample_checksum(std::vector<uint8_t>{0x80}.data(), 1), 0x0100);
}

TEST(InstrumentFile, ConstantMarkerPassesTheDeltaStages) {
    struct Case {
        uint8_t packing;
        std::vector<uint8_t> first;
    };
    const Case cases[] = {
        {1, {0x10, 0x10, 0x10, 0x10}},
        {2, {0x10, 0xA0, 0x30, 0xC0}},
        {3, {0x10, 0x30, 0xE0, 0x20}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> expected(64);
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = i < c.first.size() ? c.first[i] : 0;
        // Decode the run with the rules once more to know every value, then check the first ones.
        uint8_t d[3] = {0x80, 0x80, 0x80};
        for (size_t i = 0; i < expected.size(); ++i) {
            uint8_t v = 0x10;
            for (int k = 0; k < c.packing - 1; ++k)
                v = d[k] = uint8_t(d[k] + v + 0x80);
            expected[i] = v;
        }
        for (size_t i = 0; i < c.first.size(); ++i)
            ASSERT_EQ(expected[i], c.first[i]);
        std::vector<uint8_t> body{c.packing};
        put_le(body, 64, 4);
        put_le(body, NO_LOOP, 4);
        put_le(body, 0xFFFFFFFF, 4);
        put_le(body, packer::checksum(expected), 2);
        put_le(body, 8000, 2);
        append(body, {0xFF, 0x10});
        const Instrument instrument = read_bytes_as_instrument("constant", file_with_body(body));
        EXPECT_EQ(sample_bytes(instrument), expected) << int(c.packing);
    }
}

// A stream written bit by bit: frequencies 1, 1, 2 for the values 0, 1, 2. The tree takes 0 and
// 1 first (equal frequencies, smaller node first), giving node 256; then value 2 and node 256
// tie at 2 and the value's smaller number puts it first: codes 2 = "0", 0 = "10", 1 = "11".
TEST(InstrumentFile, HandBuiltStreamFollowsTheTieRules) {
    packer::BitWriter bits;
    bits.put(0, 8); // group 0: no values
    bits.put(2, 8); // group 1: values 0 and 1, one bit each
    bits.put(1, 1);
    bits.put(1, 1);
    bits.put(1, 8); // group 2: value 2
    bits.put(2, 2);
    bits.put(125, 8); // group 3: the remaining 125 values, zero
    for (int i = 0; i < 125; ++i)
        bits.put(0, 3);
    bits.put(200, 8); // second pass, group 0: a count beyond 128 ends the pass
    for (uint32_t code : {0u, 2u, 3u, 0u})
        bits.put(code, code == 0 ? 1 : 2);
    const std::vector<uint8_t> stream = bits.finish();
    const std::vector<uint8_t> expected{2, 0, 1, 2};
    std::vector<uint8_t> body{1};
    put_le(body, 4, 4);
    put_le(body, NO_LOOP, 4);
    put_le(body, 0xFFFFFFFF, 4);
    put_le(body, packer::checksum(expected), 2);
    put_le(body, 11025, 2);
    append(body, stream);
    EXPECT_EQ(sample_bytes(read_bytes_as_instrument("hand", file_with_body(body))), expected);
}

std::vector<uint8_t> coded_body_with_frequencies(uint32_t count, uint32_t f0, uint32_t f1) {
    packer::BitWriter bits;
    bits.put(0, 8);
    for (int g = 1; g < 17; ++g)
        bits.put(0, 8);
    bits.put(2, 8); // group 17: two frequencies of 17 bits
    bits.put(f0, 17);
    bits.put(f1, 17);
    bits.put(0, 8); // group 18: none; values 2..127 follow in group 19
    bits.put(126, 8);
    for (int i = 0; i < 126; ++i)
        bits.put(0, 19);
    bits.put(128, 8);
    for (uint32_t i = 0; i < count; ++i)
        bits.put(i & 1, 1);
    std::vector<uint8_t> body{1};
    put_le(body, count, 4);
    put_le(body, NO_LOOP, 4);
    put_le(body, 0xFFFFFFFF, 4);
    std::vector<uint8_t> values(count);
    for (uint32_t i = 0; i < count; ++i)
        values[i] = uint8_t(i & 1);
    put_le(body, packer::checksum(values), 2);
    put_le(body, 8000, 2);
    append(body, bits.finish());
    return body;
}

TEST(InstrumentFile, UnbuildableCodeTreesAreDamage) {
    // Wide groups decode: two values with frequency 1 at width 17.
    EXPECT_EQ(read_bytes_as_instrument("wide", file_with_body(coded_body_with_frequencies(8, 1, 1)))
                  .length,
              8u);
    // Combined frequency above 65535.
    expect_error<LOAD_ERROR>("combined above 65535",
                             file_with_body(coded_body_with_frequencies(8, 40000, 30000)));
    // Only one value with a non-zero frequency.
    expect_error<LOAD_ERROR>("single value", file_with_body(coded_body_with_frequencies(8, 5, 0)));
}

TEST(InstrumentFile, FormatFaultsAreDamage) {
    const std::vector<uint8_t> good_body = packer::sample_body(decaying_tone(10), 0, NO_LOOP, 8000);
    auto with_header_field = [&](size_t offset, uint32_t value, int bytes) {
        std::vector<uint8_t> body = good_body;
        for (int k = 0; k < bytes; ++k)
            body[offset + size_t(k)] = uint8_t(value >> (8 * k));
        return file_with_body(body);
    };
    std::vector<uint8_t> bad_magic = file_with_body(good_body);
    bad_magic[2] = 'X';
    std::vector<uint8_t> bad_synth;
    append_text(bad_synth, "SYN");
    append(bad_synth, {'S', 0, 0x0B});
    append(bad_synth, {2, 0, 0, 0, 0xB0, 0, 0, 0, 0, 0xB0, 0});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"magic", bad_magic},
        {"17-character name", file_with_body(good_body, "Seventeen chars!!")},
        {"category 30", file_with_body(good_body, "Test", 30)},
        {"category 254", file_with_body(good_body, "Test", 254)},
        {"synth mode 2", bad_synth},
        {"packing 6", with_header_field(0, 6, 1)},
        {"rate 0", with_header_field(15, 0, 2)},
        {"reserved", with_header_field(9, 0, 4)},
        {"loop at length", with_header_field(5, 10, 4)},
        {"dsa 3 bytes per sample",
         file_with_body(packer::chunk_body({1, 2, 3}, 3, 1, NO_LOOP, 8000))},
        {"dsa rate 0", file_with_body(packer::chunk_body({1, 2}, 1, 2, NO_LOOP, 0))},
        {"dsa loop beyond", file_with_body(packer::chunk_body({1, 2}, 1, 2, 2, 8000))},
    };
    for (const Case& c : cases)
        expect_error<LOAD_ERROR>(c.what, c.bytes);
    std::vector<uint8_t> huge_chunk = file_with_body({5, 'x', 'y', 'z', 0, 0, 0, 0x80});
    expect_error<LOAD_ERROR>("chunk size above 0x7FFFFFFF", huge_chunk);
    // A 16-character name is the longest that reads.
    EXPECT_EQ(
        read_bytes_as_instrument("sixteen", file_with_body(good_body, "Sixteen chars!!!")).name,
        "Sixteen chars!!!");
}

TEST(InstrumentFile, HostileLengthsFailBeforeAllocating) {
    // Lengths of 4 G frames in files of a few bytes: the reader must not try to allocate them.
    auto header = [](uint8_t packing, uint32_t length) {
        std::vector<uint8_t> body{packing};
        put_le(body, length, 4);
        put_le(body, NO_LOOP, 4);
        put_le(body, 0xFFFFFFFF, 4);
        put_le(body, 0, 2);
        put_le(body, 8000, 2);
        return body;
    };
    std::vector<uint8_t> plain = header(0, 0xFFFFFFFF);
    append(plain, {1, 2, 3});
    expect_error<FILE_ERROR>("plain", file_with_body(plain));
    std::vector<uint8_t> coded = header(1, 0xFFFFFFF0);
    append(coded, packer::huffman_stream({1, 2, 3, 1}));
    expect_error<FILE_ERROR>("coded", file_with_body(coded));
    std::vector<uint8_t> constant = header(1, MAX_CONSTANT_RUN + 1);
    append(constant, {0xFF, 0x00});
    expect_error<LOAD_ERROR>("constant run", file_with_body(constant));
    expect_error<FILE_ERROR>(
        "dsa", file_with_body(packer::chunk_body({1, 2, 3, 4}, 2, 0x3FFFFFFF, NO_LOOP, 8000)));
    std::vector<uint8_t> skip = file_with_body({5, 'a', 'b', 'c', 0xFF, 0xFF, 0xFF, 0x7F});
    expect_error<FILE_ERROR>("chunk skipped past the end", skip);
}

TEST(InstrumentFile, TruncatedFileEndsEarly) {
    const std::vector<uint8_t> whole =
        file_with_body(packer::sample_body(decaying_tone(400), 2, NO_LOOP, 8000));
    for (size_t cut : {size_t(2), size_t(7), size_t(20), whole.size() / 2, whole.size() - 1}) {
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + ptrdiff_t(cut));
        try {
            read_bytes_as_instrument("cut", part);
            ADD_FAILURE() << cut;
        } catch (const FILE_ERROR& error) {
            EXPECT_TRUE(error.is_end_of_file()) << cut;
        } catch (const LOAD_ERROR&) {
            // A cut inside the stream may decode to other values: the checksum catches it.
        }
        // The user sees "Instrument file is damaged" either way.
        try {
            load_instrument_file(write_scratch_file("cut.sa2", part));
            ADD_FAILURE() << cut;
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), uint32_t(S_INSTRUMENT_FILE_DAMAGED));
        }
    }
}

TEST(InstrumentFile, ChunkFormSkipsUnknownChunksAndExtraContent) {
    std::vector<uint8_t> samples16;
    for (int i = 0; i < 300; ++i)
        put_le(samples16, uint32_t(int16_t(i * 97 - 15000)) & 0xFFFF, 2);
    std::vector<uint8_t> body = packer::chunk_body(samples16, 2, 300, 10, 44100, true);
    // Content beyond the samples: the chunk size grows by 5, the reader continues after it.
    body[1 + 7 + 21 + 3] += 5;
    append(body, {9, 9, 9, 9, 9});
    std::vector<uint8_t> bytes = file_with_body(body);
    append(bytes, file_with_body(packer::sample_body({1, 2, 3}, 0, NO_LOOP, 8000), "Second"));
    File file = File::open_for_reading(write_scratch_file("chunks.sa2", bytes));
    BitReader reader(file);
    const Instrument first = read_instrument_file(file, reader);
    EXPECT_EQ(first.bytes_per_sample, 2u);
    EXPECT_EQ(first.length, 300u);
    EXPECT_EQ(first.loop_start, 10u);
    EXPECT_EQ(first.rate, 44100u);
    EXPECT_EQ(sample_bytes(first), samples16);
    const Instrument second = read_instrument_file(file, reader);
    EXPECT_EQ(second.name, "Second");
    EXPECT_EQ(second.length, 3u);
}

TEST(InstrumentFile, BodiesFollowEachOtherInOneFile) {
    // A song file holds instruments back to back: after each the next starts exactly.
    const std::vector<uint8_t> tone = decaying_tone(700);
    std::vector<uint8_t> bytes;
    for (uint8_t packing = 0; packing <= 4; ++packing)
        append(bytes, file_with_body(packer::sample_body(tone, packing, NO_LOOP, 8000),
                                     "P" + std::to_string(packing)));
    append(bytes, encode_instrument(make_synthesized_instrument(
                      "Synth", 11, {0, 63, 0, 0, 0xB0, 0, 0, 0, 0, 0xB0, 0}, false)));
    append(bytes, {0xAB});
    File file = File::open_for_reading(write_scratch_file("many", bytes));
    BitReader reader(file);
    for (uint8_t packing = 0; packing <= 4; ++packing) {
        const Instrument instrument = read_instrument_file(file, reader);
        EXPECT_EQ(instrument.name, "P" + std::to_string(packing));
        EXPECT_EQ(sample_bytes(instrument), tone);
    }
    EXPECT_TRUE(read_instrument_file(file, reader).synthesized());
    EXPECT_EQ(reader.read_bits(8), 0xABu);
}

TEST(InstrumentFile, WriteReadRoundTripsAreEqual) {
    Instrument eight = make_sampled_instrument("Eight bit", 5, 1000, 250, 22050, 1, false);
    for (size_t i = 0; i < 1000; ++i)
        eight.samples[i] = uint8_t(i * 7);
    Instrument sixteen =
        make_sampled_instrument("Sixteen bit", NO_CATEGORY, 1000, NO_LOOP, 44100, 2, false);
    for (size_t i = 0; i < 1000; ++i)
        sixteen.samples16()[i] = int16_t(i * 61 - 30000);
    Instrument empty = make_sampled_instrument("Empty", 0, 0, NO_LOOP, 8000, 1, false);
    Instrument synth = make_synthesized_instrument(
        "Organ", 3, {0, 0x00, 0x0A, 0x01, 0xB0, 0x00, 0x04, 0x0C, 0x00, 0xA0, 0x00}, false);

    const std::vector<uint8_t> eight_bytes = encode_instrument(eight);
    EXPECT_EQ(eight_bytes[3 + 9 + 1 + 1], 0) << "8-bit samples are stored with packing 0";
    const std::vector<uint8_t> sixteen_bytes = encode_instrument(sixteen);
    const size_t packing_at = 3 + 12 + 1;
    EXPECT_EQ(sixteen_bytes[packing_at - 1], 0xFF) << "category 29 is written as 0xFF";
    EXPECT_EQ(sixteen_bytes[packing_at], 5);
    EXPECT_EQ(
        std::string(sixteen_bytes.begin() + packing_at + 1, sixteen_bytes.begin() + packing_at + 4),
        "dsa");
    uint32_t size = 0;
    for (int k = 0; k < 4; ++k)
        size |= uint32_t(sixteen_bytes[packing_at + 4 + size_t(k)]) << (8 * k);
    EXPECT_EQ(size, 11u + 2000u);
    EXPECT_EQ(encode_instrument(empty)[3 + 6 + 1], 5) << "an empty sample is a chunk";
    EXPECT_EQ(encode_instrument(synth).size(), 3u + 6 + 1 + 11);

    for (const Instrument* original : {&eight, &sixteen, &empty, &synth}) {
        const auto path =
            scratch_folder() / (original->name + (original->synthesized() ? ".sy" : ".sa2"));
        save_instrument_file(path, *original);
        const Instrument back = load_instrument_file(path);
        EXPECT_TRUE(equal(*original, back)) << original->name;
        EXPECT_NE(original->id, back.id);
        Instrument other_category = back;
        other_category.category = 7;
        EXPECT_FALSE(equal(*original, other_category));
    }
    // Nothing but the saved files is left in the folder.
    for (const auto& entry : std::filesystem::directory_iterator(scratch_folder()))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(InstrumentFile, WriterCutsNamesToSixteenCharacters) {
    Instrument long_name =
        make_sampled_instrument("A name of twenty-two c", 0, 4, NO_LOOP, 8000, 1, false);
    const auto path = scratch_folder() / "long.sa2";
    save_instrument_file(path, long_name);
    EXPECT_EQ(load_instrument_file(path).name, "A name of twenty");
}

TEST(InstrumentFile, BankInstrumentsAreNotSaved) {
    Instrument from_bank = make_sampled_instrument("Bank", 0, 4, NO_LOOP, 8000, 1, true);
    try {
        save_instrument_file(scratch_folder() / "bank.sa2", from_bank);
        FAIL();
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), uint32_t(S_CANT_SAVE_BANK_INSTRUMENT));
    }
    EXPECT_FALSE(std::filesystem::exists(scratch_folder() / "bank.sa2"));
}

TEST(InstrumentFile, CategoryByteReadsAsStored) {
    const std::vector<uint8_t> body = packer::sample_body({5, 6}, 0, NO_LOOP, 8000);
    EXPECT_EQ(read_bytes_as_instrument("c", file_with_body(body, "C", 0xFF)).category, 29u);
    EXPECT_EQ(read_bytes_as_instrument("c", file_with_body(body, "C", 29)).category, 29u);
    EXPECT_EQ(read_bytes_as_instrument("c", file_with_body(body, "C", 28)).category, 28u);
}

} // namespace
} // namespace tunemill
