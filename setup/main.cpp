// setup: installs Tunemill from the archive beside it; run as tmuninst it removes Tunemill.
//   setup [--unattended] [--folder DIR] [--user]      tmuninst [--unattended]
#include "dialogs.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "setup/core/texts.h"
#include "setup/core/unattended.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QUrl>

#include <cstring>
#include <iostream>

namespace fs = std::filesystem;
using namespace tunemill;
using namespace tunemill::setup;

namespace {

struct Options {
    bool unattended = false;
    bool user = false;
    std::optional<fs::path> folder;
};

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--unattended")
            options.unattended = true;
        else if (argument == "--user")
            options.user = true;
        else if (argument == "--folder" && i + 1 < argc)
            options.folder = fs::path(argv[++i]);
        else if (argument.starts_with("--folder="))
            options.folder = fs::path(argument.substr(9));
        else
            return std::nullopt;
    }
    if (options.folder && options.folder->empty()) return std::nullopt;
    return options;
}

int uninstall_program(const Options& options, int argc, char** argv) {
    const Places places = places_for(uninstaller_scope(program_folder()));
    RegistryStore settings_store(RegistryRoot::CURRENT_USER);
    if (!options.unattended) {
        QApplication app(argc, argv);
        if (!ask_yes_no(nullptr, text(SS_REMOVE_QUESTION))) return 0;
    }
    uninstall(places, program_group_places(), settings_store);
    return 0;
}

int install_program(const Options& options, int argc, char** argv) {
    const Scope scope = options.user ? Scope::USER : default_scope();
    InstallJob job;
    job.source = program_folder();
    job.folder = options.folder ? fs::absolute(*options.folder) : default_install_folder(scope);
    job.places = places_for(scope);
    if (options.unattended) return install_unattended(job, program_group_places(), std::cout);

    QApplication app(argc, argv);
    // The program's icon travels beside setup in a package; a build folder has none.
    const fs::path icon = program_folder() / "tunemill.svg";
    if (fs::exists(icon)) app.setWindowIcon(QIcon(QString::fromStdString(icon.string())));
    FolderDialog dialog(job, program_group_places());
    dialog.exec();
    if (dialog.completed()) {
        show_message(nullptr, text(SS_SETUP_COMPLETED, CAPTION_LIMIT), false);
        if (dialog.group_folder())
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(QString::fromStdString(dialog.group_folder()->string())));
        return 0;
    }
    show_message(nullptr, text(SS_SETUP_ABORTED, CAPTION_LIMIT), true);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::cerr << text(SS_USAGE) << "\n";
        return 2;
    }
    try {
        if (is_uninstaller_name(argv[0]) || is_uninstaller_name(program_file()))
            return uninstall_program(*options, argc, argv);
        return install_program(*options, argc, argv);
    } catch (...) {
        std::cerr << current_setup_error_text() << "\n";
        return 1;
    }
}
