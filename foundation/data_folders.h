// Where the data shipped with the programs (the stock bank, the help pages, the demo songs) is
// found: below the installed prefix (share/tunemill beside the bin folder that holds the
// program), in the build tree, or beside the program as the installer lays it out.
#pragma once

#include <filesystem>
#include <vector>

namespace tunemill {

// The share folder of an installed prefix: "../share/tunemill" from the program's bin folder.
constexpr const char* INSTALLED_DATA_FOLDER = "../share/tunemill";

// The folders tried, in this order: <program folder>/../share/tunemill, the build tree's data
// folder (only for a program inside the build tree), the program's folder. Empty when the
// program's file is unknown.
std::vector<std::filesystem::path> data_folder_candidates();

// The first candidate that holds relative, joined with it; the program's folder joined with it
// when none does (so a file put there later is found, and a message names the usual place).
std::filesystem::path find_data(const std::filesystem::path& relative);

// The folder the stock bank is found in: where the shipped data lies.
std::filesystem::path data_folder();

} // namespace tunemill
