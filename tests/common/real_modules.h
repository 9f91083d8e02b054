// The real tracker modules beside the checkout (../shared/modules), for the tests of any folder.
// They are read where they lie, never copied into the project. A test program that uses them
// links the modules library.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "modules/formats.h"

namespace tunemill::testing {

// The shared folder of real modules beside the checkout; empty when absent.
inline std::filesystem::path shared_modules() {
    const std::filesystem::path folder =
        std::filesystem::path(TUNEMILL_SOURCE_DIR).parent_path() / "shared" / "modules";
    return std::filesystem::is_directory(folder) ? folder : std::filesystem::path();
}

inline std::vector<std::filesystem::path> modules_in(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(folder)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        const auto formats = module_formats();
        if (entry.is_regular_file() &&
            std::any_of(formats.begin(), formats.end(), [&](const ModuleFormatInfo& format) {
                return ext == std::string(".") + format.extension;
            }))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace tunemill::testing
