// A temporary folder with HOME and the XDG variables pointed into it, restored afterwards, so a
// test never touches the real configuration of the machine.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

namespace tunemill::testing {

class TemporaryHome {
  public:
    TemporaryHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tunemill-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        set("HOME", root_ / "home");
        set("XDG_CONFIG_HOME", root_ / "home" / ".config");
        set("XDG_DATA_HOME", root_ / "home" / ".local" / "share");
        set("XDG_CONFIG_DIRS", root_ / "etc" / "xdg");
        set("XDG_DATA_DIRS", root_ / "usr" / "share");
        std::filesystem::create_directories(root_ / "home");
    }
    ~TemporaryHome() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code ignored;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path home() const { return root_ / "home"; }

    // Sets a variable for the test's lifetime (an empty optional unsets it).
    void set(const std::string& name, const std::optional<std::filesystem::path>& value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }

  private:
    std::filesystem::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace tunemill::testing
