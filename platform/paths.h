// Where the program lives and where per-user and system-wide configuration and data belong:
// the program's own folder from /proc/self/exe, and the XDG base directories.
#pragma once

#include <filesystem>
#include <vector>

namespace tunemill {

// The full path of the running program file; empty when the system does not say.
std::filesystem::path program_file();
// The folder that holds the running program file (no trailing separator); empty when unknown.
std::filesystem::path program_folder();

// The user's home folder: $HOME, else the password database's entry; empty when neither says.
std::filesystem::path home_folder();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path user_config_folder();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::filesystem::path user_data_folder();
// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
std::filesystem::path user_state_folder();
// ~/.local/bin: the per-user folder for programs on PATH.
std::filesystem::path user_program_folder();

// The absolute entries of $XDG_CONFIG_DIRS, else /etc/xdg.
std::vector<std::filesystem::path> system_config_folders();
// The absolute entries of $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
std::vector<std::filesystem::path> system_data_folders();
// /usr/local/bin: the system-wide folder for locally installed programs.
std::filesystem::path system_program_folder();

} // namespace tunemill
