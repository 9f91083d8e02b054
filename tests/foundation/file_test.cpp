// The file handle's failures and the texts they compose.
#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tunemill {
namespace {

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_language(Language::ENGLISH);
        folder_ = std::filesystem::temp_directory_path() /
                  ("tunemill-file-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path write_file(const std::string& name, const std::string& bytes) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
        return folder_ / name;
    }
    std::filesystem::path folder_;
};

TEST_F(FileTest, MissingFileReportsOpenErrorWithItsName) {
    const auto path = folder_ / "missing.sn2";
    try {
        File::open_for_reading(path);
        FAIL() << "opened a missing file";
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::OPEN);
        EXPECT_EQ(error.code(), uint32_t(ENOENT));
        EXPECT_EQ(error.compose_message(), "Unable to open file " + path.string());
    }
}

TEST_F(FileTest, FolderCannotBeOpenedAsFile) {
    EXPECT_THROW(File::open_for_reading(folder_), FILE_ERROR);
}

TEST_F(FileTest, CreateInMissingFolderReportsCreateError) {
    const auto path = folder_ / "no" / "such.sn2";
    try {
        File::open_for_writing(path);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::CREATE);
        EXPECT_EQ(error.compose_message(), "Unable to create file " + path.string());
    }
}

TEST_F(FileTest, ReadingPastTheEndIsEndOfFile) {
    File file = File::open_for_reading(write_file("short", "abc"));
    char buffer[8];
    try {
        file.read_exact(buffer, 4);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::READ);
        EXPECT_TRUE(error.is_end_of_file());
        EXPECT_EQ(error.compose_message(), "File read error");
    }
    EXPECT_EQ(file.read_some(buffer, 8), 0u);
    file.read_at(1, buffer, 2);
    EXPECT_EQ(std::string(buffer, 2), "bc");
}

TEST_F(FileTest, WriteReadRoundTripAndPositions) {
    const auto path = folder_ / "data";
    {
        File file = File::open_for_writing(path);
        file.write_exact("hello world", 11);
        EXPECT_EQ(file.position(), 11u);
        EXPECT_EQ(file.seek(-5, File::Origin::END), 6u);
        file.write_exact("WORLD", 5);
        file.sync();
        file.close();
    }
    File file = File::open_for_reading(path);
    EXPECT_EQ(file.size(), 11u);
    char buffer[11];
    file.read_exact(buffer, 11);
    EXPECT_EQ(std::string(buffer, 11), "hello WORLD");
    EXPECT_THROW(file.seek(-1, File::Origin::BEGIN), FILE_ERROR);
}

TEST_F(FileTest, CreateNewRefusesAnExistingFile) {
    const auto path = write_file("exists", "x");
    EXPECT_THROW(File::open_for_writing(path, File::Disposition::CREATE_NEW), FILE_ERROR);
    File kept = File::open_for_writing(path, File::Disposition::OPEN_EXISTING);
    EXPECT_EQ(kept.size(), 1u);
}

// /dev/full fails every write with ENOSPC: the real disk-full path.
TEST_F(FileTest, WriteToFullDeviceSaysDiskFull) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    File file = File::open_for_writing("/dev/full", File::Disposition::OPEN_EXISTING);
    try {
        file.write_exact("x", 1);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::WRITE);
        EXPECT_EQ(error.compose_message(), "Disk full");
    }
}

TEST(FileErrorText, KindsAndCodes) {
    set_language(Language::ENGLISH);
    struct Case {
        uint32_t kind, code;
        const char* text;
    } cases[] = {
        {FILE_ERROR::WRITE, ENOSPC, "Disk full"},
        {FILE_ERROR::WRITE, EDQUOT, "Disk full"},
        {FILE_ERROR::WRITE, 0x7000 | ENOSPC, "Disk full"}, // higher bits are ignored
        {FILE_ERROR::WRITE, EIO, "File write error"},
        {FILE_ERROR::READ, EIO, "File read error"},
        {FILE_ERROR::SEEK, EINVAL, "Unknown error"},
        {7, 0, "Unknown error"},
        {FILE_ERROR::OPEN, ENOENT, "Unable to open file "}, // no name: an empty string
    };
    for (const Case& c : cases)
        EXPECT_EQ(FILE_ERROR(c.kind, c.code).compose_message(), c.text) << c.kind << "/" << c.code;
    EXPECT_TRUE(FILE_ERROR(FILE_ERROR::READ, 0).is_end_of_file());
    EXPECT_FALSE(FILE_ERROR(FILE_ERROR::READ, EIO).is_end_of_file());
    EXPECT_FALSE(FILE_ERROR(FILE_ERROR::WRITE, FILE_ERROR::END_OF_FILE).is_end_of_file());
}

TEST(ErrorText, EveryClassComposesItsText) {
    set_language(Language::ENGLISH);
    EXPECT_EQ(ERROR().compose_message(), "Unknown error");
    EXPECT_EQ(LOAD_ERROR(0).compose_message(), "Damaged song file");
    EXPECT_EQ(LOAD_ERROR(1).compose_message(), "Internal load error");
    EXPECT_EQ(INS_BANK_ERROR(0).compose_message(), "Unable to open instrument bank file TMILL.BNK");
    EXPECT_EQ(INS_BANK_ERROR(1).compose_message(), "Error reading instrument bank file TMILL.BNK");
    EXPECT_EQ(INS_BANK_ERROR(2).compose_message(), "Instrument bank file TMILL.BNK is damaged");
    EXPECT_EQ(INS_BANK_ERROR(3).compose_message(),
              "This song uses instrument(s) that are not present in bank file");
    EXPECT_EQ(INS_BANK_ERROR(9).compose_message(), "Unknown error");
    EXPECT_EQ(MEM_ERROR().compose_message(), "Not enough memory");
    EXPECT_EQ(RESOURCE_ERROR().compose_message(), "Resource data load error");
    EXPECT_EQ(MISC_ERROR(38).compose_message(), "Can't align pattern");
    EXPECT_EQ(MISC_ERROR(76).compose_message(), ""); // an id without text: an empty message
    EXPECT_EQ(PLAYBACK_ERROR(-99999).compose_message(), "Failed to create thread");
    EXPECT_EQ(PLAYBACK_ERROR(4).compose_message(),
              "Output device is already in use by other application");
    EXPECT_EQ(PLAYBACK_ERROR(0).compose_message(), "No output devices installed");
    EXPECT_EQ(PLAYBACK_ERROR(-9996, "Invalid device").compose_message(), "Invalid device");
    EXPECT_EQ(MIDI_ERROR(2, "No MIDI port").compose_message(), "No MIDI port");
    EXPECT_EQ(error_text(std::bad_alloc()), "Not enough memory");
    EXPECT_EQ(error_text(std::runtime_error("x")), "Unknown error");
}

TEST(ErrorText, LongFileNameIsCutAtTheMessageLimit) {
    set_language(Language::ENGLISH);
    const std::string name(2000, 'n');
    EXPECT_EQ(FILE_ERROR(FILE_ERROR::OPEN, ENOENT, name).compose_message().size(), 999u);
}

} // namespace
} // namespace tunemill
