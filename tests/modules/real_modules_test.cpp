// Real modules written by others (read from the shared folder beside the checkout, never copied
// into the project): the readers must know every well-formed one and fail cleanly on the rest.
#include "fixtures.h"
#include "real_modules.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "modules/formats.h"
#include "modules/module.h"

#include <gtest/gtest.h>

namespace tunemill {
namespace {

using testing::modules_in;
using testing::shared_modules;

class RealModulesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_language(Language::ENGLISH);
        folder_ = shared_modules();
        if (folder_.empty()) GTEST_SKIP() << "no shared modules beside the checkout";
    }
    std::filesystem::path folder_;
};

// Reads the module and every sample slot's data, as an import does (which reports sample data
// cut short as damage).
std::unique_ptr<ModuleReader> read_everything(File& file) {
    auto reader = read_module(file);
    try {
        for (const SampleSlot& slot : reader->slots()) {
            std::vector<uint8_t> data(size_t(slot.data_bytes()));
            read_sample_data(file, slot, data.data());
        }
    } catch (const FILE_ERROR& error) {
        if (error.is_end_of_file()) throw LOAD_ERROR(0);
        throw;
    }
    return reader;
}

TEST_F(RealModulesTest, HeadersReadAsTheirFilesSay) {
    struct Case {
        const char* name;
        const char* format;
        const char* tag;
        int channels;
        int patterns;
        int orders;
    };
    const Case cases[] = {
        {"BeatWave.mod", "MOD", "M.K.", 4, 50, 128},
        {"CreamOfTheEarth.mod", "MOD", "M.K.", 4, 28, 27},
        {"cyberrid.mod", "MOD", "M.K.", 4, 39, 61},
        {"chiptune_4mat.mod", "MOD", "M.K.", 4, 22, 32},
        {"no_samples.mod", "MOD", "M.K.", 4, 1, 0},
        {"Tinytune.mod", "MOD", "FLT4", 4, 7, 7},
        {"Gidion_Graveland.mod", "MOD", "FLT8", 8, 11, 3},
        {"star-rai.mod", "MOD", "6CHN", 6, 8, 8},
        {"mattis-gonnas_kill_you.mod", "MOD", "8CHN", 8, 9, 14},
        {"Delta_10ch.mod", "MOD", "10CH", 10, 8, 12},
        {"rez-monday.mod", "MOD", "14CH", 14, 8, 8},
        {"GAMEMUSIC.mod", "MOD", "", 4, 18, 41},
        {"super_ski_2_special.mod", "MOD", "", 4, 2, 2},
        {"SecondReality_MUSIC0.s3m", "S3M", "SCRM", 8, 77, 16}, // 255 ends the first song,
        {"gbt_s3m_template.s3m", "S3M", "SCRM", 4, 4, 4},
        {"purple_motion-inspiration.s3m", "S3M", "SCRM", 4, 15, 16},
        {"defgsus_OLDSCHOO.s3m", "S3M", "SCRM", 16, 10, 16},
        {"defgsus_FAT1.s3m", "S3M", "SCRM", 16, 61, 147},
        {"The_White_Tiger.s3m", "S3M", "SCRM", 8, 100, 18},
        {"hip_-_640k_of_space.s3m", "S3M", "SCRM", 8, 20, 22},
        {"no_samples.s3m", "S3M", "SCRM", 16, 1, 0}, // AdLib channels are not counted,
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        File file = File::open_for_reading(folder_ / c.name);
        auto reader = read_everything(file);
        EXPECT_STREQ(reader->format(), c.format);
        EXPECT_EQ(reader->tag(), c.tag);
        EXPECT_EQ(reader->channel_count(), c.channels);
        EXPECT_EQ(reader->pattern_count(), c.patterns);
        EXPECT_EQ(int(reader->orders().size()), c.orders);
    }
}

TEST_F(RealModulesTest, EveryTopLevelModuleReads) {
    const auto files = modules_in(folder_);
    EXPECT_GE(files.size(), 10u);
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        File file = File::open_for_reading(path);
        EXPECT_NO_THROW(read_everything(file));
    }
}

// The loader picks a module's format by the head probes; a file some reader recognises must be
// picked for that reader's format, for every real module, damaged ones included. (The head
// probes may let through what the readers then refuse, such as AdLib instruments.)
TEST_F(RealModulesTest, HeadProbesPickTheFormatWhoseReaderRecognisesTheFile) {
    for (const char* sub : {"", "damaged", "either", "rejected"}) {
        for (const auto& path : modules_in(folder_ / sub)) {
            SCOPED_TRACE(path.filename().string());
            File file = File::open_for_reading(path);
            std::vector<uint8_t> head(std::min<uint64_t>(file.size(), 2048));
            file.read_at(0, head.data(), head.size());
            std::string by_head, by_reader;
            for (const ModuleFormatInfo& format : module_formats()) {
                if (by_head.empty() && format.probe_head(head, file.size())) by_head = format.name;
                if (by_reader.empty() && format.recognise(file)) by_reader = format.name;
            }
            if (!by_reader.empty()) {
                EXPECT_EQ(by_head, by_reader);
            }
        }
    }
}

// What the loader would show for the file, or "" when it reads.
std::string outcome(const std::filesystem::path& path) {
    try {
        File file = File::open_for_reading(path);
        read_everything(file);
        return "";
    } catch (const ERROR& error) {
        return error.compose_message();
    }
}

TEST_F(RealModulesTest, DamagedModulesGiveAClearMessage) {
    const auto files = modules_in(folder_ / "damaged");
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::string message = outcome(path);
        EXPECT_TRUE(message == "Damaged song file" || message == "Unknown or damaged song file")
            << "got: \"" << message << "\"";
    }
}

TEST_F(RealModulesTest, AdlibAndUnknownTagsAreUnknownFiles) {
    for (const char* sub : {"rejected", "unsupported"}) {
        for (const auto& path : modules_in(folder_ / sub)) {
            SCOPED_TRACE(path.filename().string());
            try {
                File file = File::open_for_reading(path);
                read_module(file);
                ADD_FAILURE() << "was read";
            } catch (const MISC_ERROR& error) {
                EXPECT_EQ(error.string_id(), uint32_t(S_UNKNOWN_SONG_FILE));
            }
        }
    }
}

TEST_F(RealModulesTest, UnsupportedKindsSayWhatTheyAreWhenLoaded) {
    for (const auto& path : modules_in(folder_ / "unsupported")) {
        SCOPED_TRACE(path.filename().string());
        try {
            read_any_song(path, stock_bank_lookup());
            ADD_FAILURE() << "was read";
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), uint32_t(S_UNSUPPORTED_MOD));
            EXPECT_TRUE(error.compose_message().ends_with(") is not supported"))
                << error.compose_message();
        }
    }
}

TEST_F(RealModulesTest, BorderlineModulesDoNotCrash) {
    for (const auto& path : modules_in(folder_ / "either")) {
        SCOPED_TRACE(path.filename().string());
        const std::string message = outcome(path);
        EXPECT_TRUE(message.empty() || message == "Damaged song file") << message;
    }
}

} // namespace
} // namespace tunemill
