// Where the shipped data is found: the installed prefix's share folder first, then the build
// tree (for programs inside it, as this test is), then beside the program.
#include "foundation/data_folders.h"

#include <gtest/gtest.h>

namespace tunemill {
namespace {

namespace fs = std::filesystem;

TEST(DataFolders, PrefixThenBuildTreeThenBesideTheProgram) {
    const fs::path program = fs::read_symlink("/proc/self/exe").parent_path();
    const std::vector<fs::path> expected = {(program / "../share/tunemill").lexically_normal(),
                                            fs::path(TUNEMILL_BIN_DIR), program};
    EXPECT_EQ(data_folder_candidates(), expected);
    // The bank of the build tree, even where a copy lies beside the tests (the composer tests
    // place one there).
    EXPECT_EQ(find_data("tmill.bnk"), fs::path(TUNEMILL_BIN_DIR) / "tmill.bnk");
    EXPECT_EQ(data_folder(), fs::path(TUNEMILL_BIN_DIR));
    // Found nowhere: beside the program, where a file put later is found.
    EXPECT_EQ(find_data("no-such-file.bnk"), program / "no-such-file.bnk");
}

} // namespace
} // namespace tunemill
