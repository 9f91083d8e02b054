// Scratch files of a test program: one folder of its own, removed when the program ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tunemill::testing {

// The program's scratch folder, made at the first call.
std::filesystem::path scratch_folder();

// Writes the bytes to the named file inside the scratch folder, making its folders.
std::filesystem::path write_scratch_file(const std::string& name,
                                         const std::vector<uint8_t>& bytes);

// The whole file's bytes (none when it cannot be read).
std::vector<uint8_t> read_whole_file(const std::filesystem::path& path);

} // namespace tunemill::testing
