// Replays the fuzz findings (tests/fuzz_regressions/data/<target>/) and the starting corpora
// (fuzz/corpus/<target>/) through the fuzz targets' entry points. A finding must no longer
// break any promise; a seed, written by our own writers, must be accepted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "fuzz/harness.h"

namespace tunemill::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The outcome, or the broken promise as a failure naming the file.
std::optional<Outcome> replay(const EntryPoint& point, const fs::path& file) {
    const std::vector<uint8_t> bytes = read_all(file);
    try {
        return point.run(bytes);
    } catch (const BrokenPromise& broken) {
        ADD_FAILURE() << point.name << " " << file.filename().string() << ": " << broken.what();
    } catch (const std::exception& error) {
        ADD_FAILURE() << point.name << " " << file.filename().string() << ": escaped "
                      << error.what();
    }
    return std::nullopt;
}

class Replay : public ::testing::TestWithParam<EntryPoint> {
  protected:
    void SetUp() override { set_bank_path(fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk"); }
};

TEST_P(Replay, FindingsKeepEveryPromise) {
    const EntryPoint point = GetParam();
    for (const fs::path& file :
         files_in(fs::path(TUNEMILL_SOURCE_DIR) / "tests/fuzz_regressions/data" / point.name))
        replay(point, file);
}

TEST_P(Replay, SeedsOfOurOwnWritersAreAccepted) {
    const EntryPoint point = GetParam();
    const std::vector<fs::path> seeds =
        files_in(fs::path(TUNEMILL_SOURCE_DIR) / "fuzz/corpus" / point.name);
    EXPECT_FALSE(seeds.empty()) << "no seed corpus for " << point.name;
    for (const fs::path& file : seeds) {
        const std::optional<Outcome> outcome = replay(point, file);
        if (outcome) {
            EXPECT_EQ(*outcome, Outcome::ACCEPTED)
                << point.name << " refused its seed " << file.filename() << ": " << last_refusal();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, Replay,
                         ::testing::ValuesIn(entry_points().begin(), entry_points().end()),
                         [](const ::testing::TestParamInfo<EntryPoint>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace tunemill::fuzz
