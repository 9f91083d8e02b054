// The unattended front end of setup and the uninstaller.
#include "setup/core/unattended.h"

#include "platform/paths.h"
#include "setup/core/texts.h"

#include <ostream>

namespace tunemill::setup {

bool ConsoleUi::continue_without_space(const std::string& question) {
    out_ << question << ' ' << text(SS_ANSWER_YES) << '\n';
    return true;
}

bool ConsoleUi::insert_disk(const std::string& prompt) {
    out_ << prompt << ' ' << text(SS_ANSWER_CANCEL) << '\n';
    return false;
}

void ConsoleUi::show_error(const std::string& message) {
    out_ << message << '\n';
}

void ConsoleUi::file_started(const std::string& copying_text) {
    out_ << copying_text << '\n';
}

int install_unattended(const InstallJob& job, const std::vector<GroupPlace>& group_places,
                       std::ostream& out) {
    ConsoleUi ui(out);
    Installer installer(job, ui);
    const InstallResult result = installer.run();
    if (result != InstallResult::COMPLETED) {
        out << text(SS_SETUP_ABORTED, CAPTION_LIMIT) << '\n';
        return 1;
    }
    if (!create_program_group(job.folder, group_places))
        out << text(SS_PROGRAM_GROUP_FAILED, CAPTION_LIMIT) << '\n';
    out << text(SS_SETUP_COMPLETED, CAPTION_LIMIT) << '\n';
    return 0;
}

Scope uninstaller_scope(const std::filesystem::path& own_folder) {
    std::error_code error;
    return std::filesystem::equivalent(own_folder, system_program_folder(), error) ? Scope::SYSTEM
                                                                                   : Scope::USER;
}

bool is_uninstaller_name(const std::filesystem::path& program) {
    std::string name = program.filename().string();
    for (char& c : name)
        c = char(std::tolower(uint8_t(c)));
    return name == UNINSTALLER_NAME || name == "tmuninst.exe";
}

} // namespace tunemill::setup
