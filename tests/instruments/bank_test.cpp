// The instrument bank: lookup by space-padded name, the four error kinds, the retry after a
// failed open, and the stock bank of this build (coverage of categories and reader paths).
#include "instruments/bank.h"
#include "tests/instruments/test_files.h"
#include "tools/sample_packer.h"

#include "foundation/errors.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace tunemill {
namespace {

using namespace testing_files;

struct BankItem {
    std::string name; // as stored, padded here
    uint8_t category;
    std::vector<uint8_t> body;
};

std::vector<uint8_t> bank_bytes(const std::vector<BankItem>& items) {
    std::vector<uint8_t> out{'B', 'N', 'K'};
    put_le(out, uint32_t(items.size()), 2);
    out.resize(67, 0);
    uint32_t offset = uint32_t(67 + 21 * items.size());
    for (const BankItem& item : items) {
        std::string padded = item.name;
        padded.resize(16, ' ');
        append_text(out, padded);
        out.push_back(item.category);
        put_le(out, offset, 4);
        offset += uint32_t(item.body.size());
    }
    for (const BankItem& item : items)
        append(out, item.body);
    return out;
}

std::vector<uint8_t> synth_body(uint8_t byte1) {
    return {0, 0, byte1, 0, 0, 0xB0, 0, 0, 0, 0, 0xB0, 0};
}

std::vector<uint8_t> sampled_body(std::vector<uint8_t> samples) {
    std::vector<uint8_t> body{1};
    append(body, packer::sample_body(samples, 1, NO_LOOP, 11025));
    return body;
}

uint32_t bank_error_kind(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const INS_BANK_ERROR& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no INS_BANK_ERROR";
    return 99;
}

TEST(Bank, LooksUpNamesByTheirSixteenPaddedBytes) {
    const auto path =
        write_scratch_file("lookup.bnk", bank_bytes({
                                             {"Piano", 10, sampled_body({1, 2, 3, 4})},
                                             {"Sixteen Letters!", 22, synth_body(63)},
                                             {"Dup", 3, sampled_body({9, 9, 8})},
                                             {"Dup", 4, sampled_body({7, 7, 7, 6, 6})},
                                         }));
    InstrumentBank bank(path);
    const Instrument piano = bank.load("Piano");
    EXPECT_EQ(piano.name, "Piano");
    EXPECT_EQ(piano.category, 10u);
    EXPECT_TRUE(piano.from_bank);
    EXPECT_EQ(piano.length, 4u);
    EXPECT_EQ(piano.rate, 11025u);
    const Instrument sixteen = bank.load("Sixteen Letters!");
    EXPECT_TRUE(sixteen.synthesized());
    EXPECT_EQ(sixteen.category, 22u);
    // The first of two entries with one name.
    const Instrument dup = bank.load("Dup");
    EXPECT_EQ(dup.category, 3u);
    EXPECT_EQ(dup.length, 3u);
    for (const char* missing :
         {"piano", "PIANO", "Pian", "Sixteen Letters", "Sixteen Letters!!", "Organ", ""})
        EXPECT_EQ(bank_error_kind([&] { bank.load(missing); }),
                  uint32_t(INS_BANK_ERROR::MISSING_INSTRUMENT))
            << missing;
    // A trailing space pads to the same key.
    EXPECT_EQ(bank.load("Piano ").length, 4u);
    const std::vector<BankEntry> directory = bank.directory();
    ASSERT_EQ(directory.size(), 4u);
    EXPECT_EQ(directory[0].trimmed_name(), "Piano");
    EXPECT_EQ(std::string(directory[0].name.data(), 16), "Piano           ");
    EXPECT_EQ(directory[1].trimmed_name(), "Sixteen Letters!");
}

TEST(Bank, EmptyBankOpensAndHoldsNothing) {
    InstrumentBank bank(write_scratch_file("empty.bnk", bank_bytes({})));
    EXPECT_TRUE(bank.directory().empty());
    EXPECT_TRUE(bank.is_open());
    EXPECT_EQ(bank_error_kind([&] { bank.load("Anything"); }),
              uint32_t(INS_BANK_ERROR::MISSING_INSTRUMENT));
}

TEST(Bank, FailuresHaveTheirKinds) {
    const std::vector<uint8_t> good =
        bank_bytes({{"One", 0, sampled_body({1, 2, 3})}, {"Two", 1, sampled_body({3, 2, 1})}});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t kind;
    };
    std::vector<uint8_t> bad_magic = good;
    bad_magic[0] = 'X';
    const std::vector<Case> cases = {
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 40),
         INS_BANK_ERROR::DAMAGED},
        {"magic", bad_magic, INS_BANK_ERROR::DAMAGED},
        {"cut inside the directory", std::vector<uint8_t>(good.begin(), good.begin() + 67 + 30),
         INS_BANK_ERROR::DAMAGED},
    };
    for (const Case& c : cases) {
        InstrumentBank bank(write_scratch_file("kinds.bnk", c.bytes));
        EXPECT_EQ(bank_error_kind([&] { bank.open(); }), c.kind) << c.what;
        EXPECT_FALSE(bank.is_open()) << c.what;
    }
    InstrumentBank missing(scratch_folder() / "no-such.bnk");
    EXPECT_EQ(bank_error_kind([&] { missing.load("One"); }), uint32_t(INS_BANK_ERROR::OPEN));
}

TEST(Bank, DamagedBodyLeavesTheBankOpen) {
    std::vector<uint8_t> bad_checksum = sampled_body({5, 6, 7, 8});
    bad_checksum[1 + 13] ^= 0xFF;
    std::vector<uint8_t> bytes = bank_bytes({
        {"Bad Synth", 11, {0, 2, 0, 0, 0, 0xB0, 0, 0, 0, 0, 0xB0, 0}},
        {"Bad Sum", 11, bad_checksum},
        {"Good", 12, sampled_body({1, 3, 5})},
        {"Far", 12, {}},
    });
    // "Far" points beyond the end of the file.
    const size_t far_entry = 67 + 21 * 3 + 17;
    for (int k = 0; k < 4; ++k)
        bytes[far_entry + size_t(k)] = uint8_t(0x00100000u >> (8 * k));
    InstrumentBank bank(write_scratch_file("bodies.bnk", bytes));
    for (const char* name : {"Bad Synth", "Bad Sum", "Far"})
        EXPECT_EQ(bank_error_kind([&] { bank.load(name); }), uint32_t(INS_BANK_ERROR::DAMAGED))
            << name;
    EXPECT_TRUE(bank.is_open());
    EXPECT_EQ(bank.load("Good").length, 3u);
}

TEST(Bank, FailedOpenIsRetriedAtTheNextUse) {
    const auto path = scratch_folder() / "later.bnk";
    std::filesystem::remove(path);
    InstrumentBank bank(path);
    EXPECT_EQ(bank_error_kind([&] { bank.load("Late"); }), uint32_t(INS_BANK_ERROR::OPEN));
    write_scratch_file("later.bnk", bank_bytes({{"Late", 5, sampled_body({1, 2})}}));
    EXPECT_EQ(bank.load("Late").category, 5u);
}

TEST(Bank, RunsBankIsTheShippedOne) {
    // The test programs lie in the build tree, which comes before their own folder.
    EXPECT_EQ(InstrumentBank::default_path(),
              std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
    EXPECT_EQ(instrument_bank().path(), InstrumentBank::default_path());
    EXPECT_EQ(bank_key("Bass"), (std::array<char, 16>{'B', 'a', 's', 's', ' ', ' ', ' ', ' ', ' ',
                                                      ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
}

// ---- The stock bank of this build. ----

std::filesystem::path stock_bank_path() {
    return std::filesystem::path(TUNEMILL_BIN_DIR) / "tmill.bnk";
}

TEST(StockBank, CoversEveryCategoryWithUniqueNames) {
    InstrumentBank bank(stock_bank_path());
    const std::vector<BankEntry> directory = bank.directory();
    EXPECT_GE(directory.size(), 60u);
    std::set<std::string> names;
    std::map<uint32_t, int> per_category;
    for (const BankEntry& entry : directory) {
        const std::string name = entry.trimmed_name();
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << name;
        ++per_category[entry.category];
        const Instrument instrument = bank.load(name);
        EXPECT_TRUE(instrument.from_bank);
        EXPECT_EQ(instrument.category, entry.category);
        EXPECT_EQ(instrument.name, name);
        EXPECT_GT(instrument.length, 0u) << name;
        EXPECT_TRUE(instrument.loop_start == NO_LOOP || instrument.loop_start < instrument.length);
    }
    for (uint32_t category = 0; category < CATEGORY_COUNT; ++category)
        EXPECT_GT(per_category[category], 0) << "category " << category;
}

TEST(StockBank, ExercisesEveryReaderPath) {
    const std::vector<uint8_t> bytes = read_whole_file(stock_bank_path());
    InstrumentBank bank(stock_bank_path());
    std::set<std::string> paths;
    for (const BankEntry& entry : bank.directory()) {
        ASSERT_LT(entry.offset + 24, bytes.size());
        const uint8_t* body = &bytes[entry.offset];
        if (body[0] == 0) {
            paths.insert("synth");
            continue;
        }
        const uint8_t packing = body[1];
        if (packing == 5) {
            paths.insert(std::memcmp(body + 2, "dsa", 3) == 0 ? "dsa" + std::to_string(body[9] * 8)
                                                              : "chunk skipped");
        } else if (packing >= 1 && body[2 + 16] == 0xFF) {
            paths.insert("constant");
        } else {
            paths.insert("packing " + std::to_string(packing));
        }
    }
    for (const char* path : {"synth", "packing 0", "packing 1", "packing 2", "packing 3",
                             "packing 4", "constant", "dsa8", "dsa16", "chunk skipped"})
        EXPECT_TRUE(paths.count(path)) << path;
}

} // namespace
} // namespace tunemill
