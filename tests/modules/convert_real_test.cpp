// Real modules of the shared folder through the whole import: each top-level one becomes a valid
// song that plays about as long as libopenmpt plays the module; the broken ones give the
// loader's messages and leave the song as it was.
#include "fixtures.h"
#include "real_modules.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "modules/import.h"
#include "song/song.h"
#include "song/timing.h"

#include <fstream>
#include <gtest/gtest.h>

#ifdef TUNEMILL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.hpp>
#endif

namespace tunemill {
namespace {

using testing::modules_in;
using testing::shared_modules;

class ImportRealModules : public ::testing::Test {
  protected:
    void SetUp() override {
        set_language(Language::ENGLISH);
        folder_ = shared_modules();
        if (folder_.empty()) GTEST_SKIP() << "no shared modules beside the checkout";
    }
    std::filesystem::path folder_;
};

TEST_F(ImportRealModules, EveryTopLevelModuleBecomesAValidSong) {
    for (const auto& path : modules_in(folder_)) {
        SCOPED_TRACE(path.filename().string());
        Song song;
        ASSERT_NO_THROW(load_module(path, song));
        EXPECT_TRUE(validate(song));
        EXPECT_FALSE(song.patterns.empty());
        EXPECT_FALSE(song.sequence.empty());
        EXPECT_EQ(song.path, path.string());
        EXPECT_FALSE(song.song_file);
        for (const Instrument& instrument : song.instruments) {
            EXPECT_LE(instrument.name.size(), MAX_INSTRUMENT_NAME);
            EXPECT_GE(instrument.samples.size(), instrument.sample_bytes());
        }
    }
}

#ifdef TUNEMILL_HAVE_OPENMPT
TEST_F(ImportRealModules, SongsPlayAboutAsLongAsTheModules) {
    // Second Reality's music holds several songs separated by end marks; only the first is
    // imported. The modules without notes play silence of no interest.
    const std::set<std::string> skipped = {"SecondReality_MUSIC0.s3m", "no_samples.mod",
                                           "no_samples.s3m"};
    for (const auto& path : modules_in(folder_)) {
        if (skipped.count(path.filename().string())) continue;
        SCOPED_TRACE(path.filename().string());
        Song song;
        load_module(path, song);
        std::ifstream stream(path, std::ios::binary);
        openmpt::module module(stream);
        const double expected = module.get_duration_seconds();
        const double seconds = double(song_length(song)) / 1000.0;
        // The song loses trailing silence and a few effects it has no form for.
        EXPECT_NEAR(seconds, expected, expected * 0.1);
    }
}
#endif

TEST_F(ImportRealModules, BrokenModulesGiveTheLoadersMessages) {
    Song song;
    new_song(song, "kept");
    auto message_of = [&](const std::filesystem::path& path) -> std::string {
        try {
            load_module(path, song);
            return "";
        } catch (const ERROR& error) {
            return error.compose_message();
        }
    };
    for (const auto& path : modules_in(folder_ / "damaged")) {
        SCOPED_TRACE(path.filename().string());
        const std::string message = message_of(path);
        EXPECT_TRUE(message == "Damaged song file" || message == "Unknown or damaged song file")
            << message;
        EXPECT_EQ(song.path, "kept"); // nothing of the song was replaced
        EXPECT_EQ(song.patterns.size(), 1u);
    }
    for (const char* sub : {"rejected", "unsupported"})
        for (const auto& path : modules_in(folder_ / sub)) {
            SCOPED_TRACE(path.filename().string());
            EXPECT_EQ(message_of(path), "Unknown or damaged song file");
        }
    for (const auto& path : modules_in(folder_ / "either")) {
        SCOPED_TRACE(path.filename().string());
        const std::string message = message_of(path);
        if (message.empty())
            EXPECT_TRUE(validate(song));
        else
            EXPECT_EQ(message, "Damaged song file");
    }
}

} // namespace
} // namespace tunemill
