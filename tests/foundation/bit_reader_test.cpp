// The bit reader's fill, string and release rules.
#include "foundation/bit_reader.h"
#include "foundation/errors.h"
#include "foundation/file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

std::filesystem::path bytes_file(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tunemill-bits-" + std::to_string(::getpid()) + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

TEST(BitReader, ReadsMostSignificantBitFirst) {
    File file = File::open_for_reading(bytes_file("msb", {0xA5, 0x3C, 0xFF, 0x01, 0x80}));
    BitReader bits(file);
    EXPECT_EQ(bits.read_bits(0), 0u);
    EXPECT_EQ(bits.read_bits(1), 1u);
    EXPECT_EQ(bits.read_bits(3), 0b010u);
    EXPECT_EQ(bits.peek_bits(8), 0x53u);
    EXPECT_EQ(bits.read_bits(12), 0x53Cu);
    EXPECT_EQ(bits.read_bits(16), 0xFF01u);
    EXPECT_EQ(bits.read_bits(1), 1u);
    EXPECT_EQ(bits.read_bits(7), 0u);
}

TEST(BitReader, FifthByteOfFourByteFileIsEndOfFile) {
    File file = File::open_for_reading(bytes_file("four", {1, 2, 3, 4}));
    BitReader bits(file);
    for (uint32_t i = 1; i <= 4; ++i)
        EXPECT_EQ(bits.read_bits(8), i);
    try {
        bits.read_bits(8);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::READ);
        EXPECT_EQ(error.code(), FILE_ERROR::END_OF_FILE);
    }
}

TEST(BitReader, ReadingTheLastBitsExactlyDoesNotFail) {
    File file = File::open_for_reading(bytes_file("three", {0xFF, 0x00, 0xAA}));
    BitReader bits(file);
    EXPECT_EQ(bits.read_bits(20), 0xFF00Au);
    EXPECT_EQ(bits.read_bits(4), 0xAu);
    EXPECT_THROW(bits.read_bits(1), FILE_ERROR);
}

TEST(BitReader, ReleaseStandsAfterTheLastTouchedByte) {
    std::vector<uint8_t> bytes(128);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    File file = File::open_for_reading(bytes_file("release", bytes));
    BitReader bits(file);
    bits.read_bits(12);
    bits.release();
    EXPECT_EQ(file.position(), 2u);
    uint8_t next;
    file.read_exact(&next, 1);
    EXPECT_EQ(next, 2);
    // Reading on after a release starts at the new position.
    bits.attach(file);
    EXPECT_EQ(bits.read_bits(8), 3u);
    bits.release();
    EXPECT_EQ(file.position(), 4u);
}

TEST(BitReader, ReadStringStopsAtZeroOrAfterMax) {
    File file =
        File::open_for_reading(bytes_file("string", {0x41, 0x42, 0x43, 0x44, 0x00, 0x45, 0x00}));
    BitReader bits(file);
    char buffer[8] = {};
    EXPECT_FALSE(bits.read_string(buffer, 3));
    EXPECT_EQ(std::string(buffer, 4), "ABCD");
    EXPECT_EQ(bits.read_bits(8), 0u);
    EXPECT_TRUE(bits.read_string(buffer, 3));
    EXPECT_STREQ(buffer, "E");
}

} // namespace
} // namespace tunemill
