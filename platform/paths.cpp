// The program's folder and the XDG base directories.
#include "platform/paths.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace tunemill {

namespace {

namespace fs = std::filesystem;

// An XDG variable counts only when set to an absolute path; relative ones are to be ignored.
fs::path absolute_variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return {};
    return fs::path(value);
}

std::vector<fs::path> path_list(const char* name, std::vector<fs::path> fallback) {
    const char* value = std::getenv(name);
    std::vector<fs::path> folders;
    if (value) {
        const std::string text(value);
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(':', start);
            if (end == std::string::npos) end = text.size();
            const std::string entry = text.substr(start, end - start);
            if (!entry.empty() && entry[0] == '/') folders.emplace_back(entry);
            start = end + 1;
        }
    }
    return folders.empty() ? fallback : folders;
}

} // namespace

fs::path program_file() {
    std::error_code error;
    fs::path file = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : file;
}

fs::path program_folder() {
    return program_file().parent_path();
}

fs::path home_folder() {
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home);
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return fs::path(entry->pw_dir);
    return {};
}

fs::path user_config_folder() {
    fs::path folder = absolute_variable("XDG_CONFIG_HOME");
    return folder.empty() ? home_folder() / ".config" : folder;
}

fs::path user_data_folder() {
    fs::path folder = absolute_variable("XDG_DATA_HOME");
    return folder.empty() ? home_folder() / ".local" / "share" : folder;
}

fs::path user_state_folder() {
    fs::path folder = absolute_variable("XDG_STATE_HOME");
    return folder.empty() ? home_folder() / ".local" / "state" : folder;
}

fs::path user_program_folder() {
    return home_folder() / ".local" / "bin";
}

std::vector<fs::path> system_config_folders() {
    return path_list("XDG_CONFIG_DIRS", {"/etc/xdg"});
}

std::vector<fs::path> system_data_folders() {
    return path_list("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"});
}

fs::path system_program_folder() {
    return "/usr/local/bin";
}

} // namespace tunemill
