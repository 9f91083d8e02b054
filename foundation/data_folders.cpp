// The data folder lookup.
#include "foundation/data_folders.h"

#include <algorithm>
#include <system_error>

namespace tunemill {

namespace fs = std::filesystem;

namespace {

fs::path program_folder_of_process() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
}

} // namespace

std::vector<fs::path> data_folder_candidates() {
    const fs::path program = program_folder_of_process();
    std::vector<fs::path> folders;
    if (!program.empty()) folders.push_back((program / INSTALLED_DATA_FOLDER).lexically_normal());
#if defined(TUNEMILL_BUILD_ROOT) && defined(TUNEMILL_BUILD_DATA_DIR)
    // Only a program that runs from the build tree (a test, a tool) takes its data from there;
    // an installed copy never reads a build tree that happens to lie about.
    const fs::path root(TUNEMILL_BUILD_ROOT);
    const auto [end, at] = std::mismatch(root.begin(), root.end(), program.begin(), program.end());
    if (!program.empty() && end == root.end()) folders.emplace_back(TUNEMILL_BUILD_DATA_DIR);
#endif
    if (!program.empty()) folders.push_back(program);
    return folders;
}

fs::path find_data(const fs::path& relative) {
    std::error_code error;
    for (const fs::path& folder : data_folder_candidates())
        if (fs::exists(folder / relative, error)) return folder / relative;
    return program_folder_of_process() / relative;
}

fs::path data_folder() {
    return find_data("tmill.bnk").parent_path();
}

} // namespace tunemill
