// The archive: the checksum, the index records, and reading the volumes in chunks.
#include "setup/core/archive.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "setup/core/texts.h"
#include "setup_fixture.h"

#include <gtest/gtest.h>

namespace tunemill::setup {
namespace {

using namespace testing;

uint32_t checksum_of(const std::string& text) {
    return setup::checksum_of(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Checksum, FoldsEverySignedByteIntoTheSum) {
    EXPECT_EQ(checksum_of("abc"), 0x123u);
    EXPECT_EQ(checksum_of(""), 0u);
    // Bytes from 0x80 widen as negative values.
    EXPECT_EQ(checksum_of("\x80"), 0xFFFFFF80u);
    EXPECT_EQ(checksum_of("\xFF"), 0xFFFFFFFFu);
    EXPECT_EQ(checksum_of("\xFF\x01"), (0xFFFFFFFFu << 1 ^ 0xFFFFFFFFu >> 24) ^ 1u);
    // Fed in pieces, the same as whole.
    const std::string contents = pattern_contents(10000, 3);
    Checksum pieces;
    for (size_t at = 0; at < contents.size(); at += 777)
        pieces.add(reinterpret_cast<const uint8_t*>(contents.data()) + at,
                   std::min<size_t>(777, contents.size() - at));
    EXPECT_EQ(pieces.value(), checksum_of(contents));
}

TEST(Index, HoldsWholeRecordsOnlyAndRoundTrips) {
    const std::vector<IndexRecord> records = {{"tmw", 123456, 0xDEADBEEF, 1700000000},
                                              {std::string(51, 'n'), 0, 0, 0}};
    std::vector<uint8_t> image = encode_index(records);
    ASSERT_EQ(image.size(), 128u);
    EXPECT_EQ(image[52], 0x40); // 123456 = 0x0001E240, little-endian
    EXPECT_EQ(image[53], 0xE2);
    image.push_back('x');
    image.push_back('y'); // 130 bytes: the last 2 are no record
    EXPECT_EQ(parse_index(image), records);
    EXPECT_TRUE(parse_index(std::vector<uint8_t>(63, 0)).empty());
}

TEST(Index, ANameThatCouldLeaveTheInstallFolderIsDamage) {
    for (const std::string& name :
         std::vector<std::string>{"tmw", "help/en/index.html", "a.b/c..d", std::string(51, 'x')})
        EXPECT_TRUE(is_install_name(name)) << name;
    const std::vector<std::string> bad_names = {
        "",         ".",       "..",    "../etc/passwd", "/etc/passwd", "help/../../x",
        "help/./x", "help//x", "help/", "a\\b",          "a/..",        "./x"};
    for (const std::string& name : bad_names) {
        std::vector<uint8_t> image = encode_index({{"ok", 1, 2, 3}, {"x", 1, 2, 3}});
        std::fill(image.begin() + 64, image.begin() + 64 + 52, 0);
        std::copy(name.begin(), name.end(), image.begin() + 64);
        EXPECT_FALSE(is_install_name(name)) << name;
        try {
            parse_index(image);
            ADD_FAILURE() << "accepted " << name;
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), SS_DAMAGED_SETUP_FILES) << name;
        }
    }
    // A name that fills all 52 bytes has no terminator.
    std::vector<uint8_t> image = encode_index({{"x", 1, 2, 3}});
    std::fill(image.begin(), image.begin() + 52, 'a');
    EXPECT_THROW(parse_index(image), MISC_ERROR);
}

TEST(Volumes, AFileIsReadAcrossVolumesInChunksOfAtMost2048Bytes) {
    TemporaryHome home;
    // The first file fills 2000 of the 3000 bytes of data.001; the second, of 5000 bytes,
    // starts 1000 bytes before its end.
    const std::string first = pattern_contents(2000, 1), second = pattern_contents(5000, 2);
    make_archive(home.root(), {{"first", first}, {"second", second}}, 3000);
    ASSERT_EQ(fs::file_size(home.root() / "source" / "data.001"), 3000u);
    ASSERT_EQ(fs::file_size(home.root() / "source" / "data.002"), 3000u);
    ASSERT_EQ(fs::file_size(home.root() / "source" / "data.003"), 1000u);

    VolumeReader volumes(home.root() / "source", nullptr);
    std::vector<uint8_t> buffer(COPY_CHUNK);
    auto chunks_of = [&](const std::string& contents) {
        std::vector<size_t> chunks;
        std::string read;
        for (uint64_t left = contents.size(); left > 0;) {
            const size_t chunk = volumes.read_chunk(buffer.data(), left);
            if (chunk == 0) break;
            chunks.push_back(chunk);
            read.append(reinterpret_cast<const char*>(buffer.data()), chunk);
            left -= chunk;
        }
        EXPECT_EQ(read, contents);
        return chunks;
    };
    EXPECT_EQ(chunks_of(first), (std::vector<size_t>{2000}));
    EXPECT_EQ(chunks_of(second), (std::vector<size_t>{1000, 2048, 952, 1000}));
}

TEST(Volumes, TheExampleOfThreeChunksAndEmptyVolumes) {
    TemporaryHome home;
    const fs::path source = home.root() / "source";
    const std::string contents = pattern_contents(6000, 5);
    // 1000 bytes before the end of data.001, an empty data.002, the rest in data.003.
    write_all(source / "data.001", std::string(500, 'p') + contents.substr(0, 1000));
    write_all(source / "data.002", "");
    write_all(source / "data.003", contents.substr(1000));
    VolumeReader volumes(source, nullptr);
    std::vector<uint8_t> buffer(COPY_CHUNK);
    EXPECT_EQ(volumes.read_chunk(buffer.data(), 500), 500u);
    std::vector<size_t> chunks;
    for (uint64_t left = 5000; left > 0;) {
        const size_t chunk = volumes.read_chunk(buffer.data(), left);
        ASSERT_GT(chunk, 0u);
        chunks.push_back(chunk);
        left -= chunk;
    }
    EXPECT_EQ(chunks, (std::vector<size_t>{1000, 2048, 1952}));
}

TEST(Volumes, AMissingVolumeIsAskedForUntilItIsThereOrGivenUp) {
    TemporaryHome home;
    const fs::path source = home.root() / "source";
    write_all(source / "data.001", "abcd");
    std::vector<uint32_t> asked;
    VolumeReader volumes(source, [&](uint32_t number) {
        asked.push_back(number);
        if (asked.size() == 2) write_all(source / "data.002", "efgh"); // the user inserts it
        return asked.size() < 3;
    });
    std::vector<uint8_t> buffer(COPY_CHUNK);
    EXPECT_EQ(volumes.read_chunk(buffer.data(), 8), 4u);
    EXPECT_EQ(volumes.read_chunk(buffer.data(), 4), 4u);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "efgh");
    EXPECT_EQ(asked, (std::vector<uint32_t>{2, 2}));
    EXPECT_EQ(volumes.read_chunk(buffer.data(), 4), 0u); // data.003 never comes
    EXPECT_EQ(asked, (std::vector<uint32_t>{2, 2, 3}));
}

TEST(ArchiveWriter, LeavesNoStaleVolumesOfAnEarlierLargerArchive) {
    TemporaryHome home;
    make_archive(home.root(), {{"big", pattern_contents(10000, 1)}}, 1000);
    ASSERT_TRUE(fs::exists(home.root() / "source" / "data.010"));
    const auto records = make_archive(home.root(), {{"small", "tiny"}}, 1000);
    EXPECT_TRUE(fs::exists(home.root() / "source" / "data.001"));
    EXPECT_FALSE(fs::exists(home.root() / "source" / "data.002"));
    EXPECT_EQ(read_index(home.root() / "source" / "data.idx"), records);
    EXPECT_EQ(records[0].checksum, checksum_of(std::string("tiny")));
}

TEST(Texts, ComeFromSetupsOwnTableInBothLanguages) {
    set_language(Language::GERMAN);
    EXPECT_EQ(disk_prompt_text(2), "Bitte Tunemill-Diskette Nr. 2 einlegen");
    EXPECT_EQ(setup_error_text(MISC_ERROR(SS_DAMAGED_SETUP_FILES)),
              "Die Dateien auf der Installationsdiskette sind beschädigt");
    set_language(Language::ENGLISH);
    EXPECT_EQ(caption(), "Tunemill Setup");
    EXPECT_EQ(disk_prompt_text(12), "Insert Tunemill disk #12");
    EXPECT_EQ(disk_space_text(5000000000ull, 10),
              "Tunemill requires 5000000000 Kb disk space. You have currently only 10 Kb free. "
              "Continue anyway?");
    EXPECT_EQ(setup_error_text(FILE_ERROR(FILE_ERROR::OPEN, 2, "/x/data.idx")),
              "Unable to open file /x/data.idx");
    EXPECT_EQ(setup_error_text(FILE_ERROR(FILE_ERROR::WRITE, 28)), "Disk full");
    EXPECT_EQ(setup_error_text(FILE_ERROR(FILE_ERROR::READ, 38)), "File read error");
    EXPECT_EQ(setup_error_text(std::bad_alloc()), "Not enough memory");
    EXPECT_EQ(setup_error_text(std::runtime_error("x")), "Unknown error");
    EXPECT_LE(text(SS_DISK_SPACE_QUESTION, PROMPT_LIMIT).size(), PROMPT_LIMIT - 1);
}

} // namespace
} // namespace tunemill::setup
