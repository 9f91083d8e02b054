// Scratch files and byte builders for the instrument tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scratch_files.h"

namespace tunemill::testing_files {

using testing::read_whole_file;
using testing::scratch_folder;
using testing::write_scratch_file;

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
