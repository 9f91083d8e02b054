// Temporary files for the instrument tests, removed when the test program ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tunemill::testing_files {

inline std::filesystem::path scratch_folder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("tunemill-instruments-" + std::to_string(::getpid()));
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

inline std::filesystem::path write_bytes(const std::string& name,
                                         const std::vector<uint8_t>& bytes) {
    const auto path = scratch_folder() / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

inline std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline void append_text(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

inline void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(uint8_t(value >> (8 * k)));
}

} // namespace tunemill::testing_files
