// Path checks over stat(2).
#include "foundation/path_checks.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <sys/stat.h>

namespace tunemill {

namespace fs = std::filesystem;

fs::path absolute_path(const fs::path& path) {
    if (path.empty()) return path;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal();
}

bool same_file(const fs::path& a, const fs::path& b) noexcept {
    struct stat first {
    }, second{};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void refuse_output_over_input(const fs::path& input, const fs::path& output) {
    if (same_file(input, output)) throw MISC_ERROR(S_OUTPUT_IS_INPUT, {output.string()});
}

void refuse_special_file(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return;               // missing: it will be made
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return; // a folder fails on its own
    throw FILE_ERROR(FILE_ERROR::CREATE, FILE_ERROR::NOT_A_REGULAR_FILE, path.string());
}

} // namespace tunemill
