// Setup and the uninstaller without dialogs, for scripted installs: every message that would be
// shown is printed instead, the free-space question is answered Yes, a missing volume cancels.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "setup/core/installer.h"
#include "setup/core/registration.h"

namespace tunemill::setup {

// Prints what the dialogs would show; answers as the unattended mode does.
class ConsoleUi : public InstallerUi {
  public:
    explicit ConsoleUi(std::ostream& out) : out_(out) {}
    bool continue_without_space(const std::string& question) override;
    bool insert_disk(const std::string& prompt) override;
    void show_error(const std::string& message) override;
    void copying_started(uint64_t) override {}
    void chunk_copied(uint64_t) override {}
    void file_started(const std::string& copying_text) override;
    void done() override {}

  private:
    std::ostream& out_;
};

// The whole installation: copy, register, program group, final message. Returns the exit code:
// 0 only when the installation completed.
int install_unattended(const InstallJob& job, const std::vector<GroupPlace>& group_places,
                       std::ostream& out);

// The uninstaller's scope follows where it lives: the system's programs folder, or a user's.
Scope uninstaller_scope(const std::filesystem::path& own_folder);

// True when the program file is named as the uninstaller (any case).
bool is_uninstaller_name(const std::filesystem::path& program);

} // namespace tunemill::setup
