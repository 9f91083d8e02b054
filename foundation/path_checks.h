// Checks on the paths a user names: made absolute where they enter the program, and refused as
// targets when writing them would destroy what is being read or would write into a pipe or a
// device.
#pragma once

#include <filesystem>

namespace tunemill {

// The path made absolute against the current working folder, "." and ".." steps resolved by
// name: a song keeps naming its own file wherever the program later runs. Empty stays empty.
std::filesystem::path absolute_path(const std::filesystem::path& path);

// True when both paths name one existing file: the same device and inode, so other spellings,
// symbolic links and hard links all count. Never throws.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) noexcept;

// Throws MISC_ERROR "%s is the file being read: ..." naming the output when it is the input's
// file: nothing is ever written over the file it is made from.
void refuse_output_over_input(const std::filesystem::path& input,
                              const std::filesystem::path& output);

// Throws FILE_ERROR(CREATE, NOT_A_REGULAR_FILE) ("%s is not a regular file") when the path
// (after symbolic links) exists and is a pipe, a device or a socket: such a target would block
// or be replaced by a plain file.
void refuse_special_file(const std::filesystem::path& path);

} // namespace tunemill
