#include "scratch_files.h"

#include <errno.h>
#include <fstream>
#include <unistd.h>

namespace tunemill::testing {

std::filesystem::path scratch_folder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("tunemill-" + std::string(program_invocation_short_name) + "-" +
                     std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        static struct Cleanup {
            std::filesystem::path path;
            ~Cleanup() {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } cleanup{path};
        return path;
    }();
    return folder;
}

std::filesystem::path write_scratch_file(const std::string& name,
                                         const std::vector<uint8_t>& bytes) {
    const auto path = scratch_folder() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::vector<uint8_t> read_whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace tunemill::testing
