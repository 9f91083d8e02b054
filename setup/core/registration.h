// Registration of an installation with the desktop, and its removal: the product record in the
// registry store, the launchers on PATH, the file types (a shared-mime-info package, icons and a
// desktop entry that opens songs and modules), and the "Tunemill" menu folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup/core/archive.h"
#include "setup/core/places.h"

namespace tunemill::setup {

constexpr const char* PRODUCT_KEY = "SOFTWARE\\Larkfield Software\\Tunemill\\2.0";
constexpr const char* PRODUCT_PARENT_KEY = "SOFTWARE\\Larkfield Software\\Tunemill";
constexpr const char* APP_PATHS_KEY =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TMW.EXE";
constexpr const char* UNINSTALL_KEY =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tunemill";
// The composer's program file in the install folder.
constexpr const char* COMPOSER_NAME = "tmw";
constexpr const char* CLI_NAME = "tmw-cli";
// The files the help viewer of the original platform made next to the help files; kept in the
// uninstall list so that an installation made beside such files still removes them.
constexpr const char* HELP_SYSTEM_FILES = "tmw.gid,tmw.fts,tmwger.gid,tmwger.fts,";

// Every record's name followed by ",", then the help system's names.
std::string uninstall_list(const std::vector<IndexRecord>& records);

// Writes the product record, the launchers and the file types. Failures are not reported.
void register_installation(const std::filesystem::path& folder,
                           const std::vector<IndexRecord>& records, const Places& places);

// Where a program group may go: a data folder for the entries and a configuration folder for the
// menu that shows them.
struct GroupPlace {
    std::filesystem::path data;
    std::filesystem::path config;
};
// All users first, then the current user.
std::vector<GroupPlace> program_group_places();
// The folder of the entries of a group in a place: <data>/applications/Tunemill.
std::filesystem::path group_folder(const GroupPlace& place);

// Makes the menu folder "Tunemill" with the entries of the shortcut list in the first place that
// takes it whole; a place that fails is cleaned up before the next is tried. Returns the group
// folder made, or nothing when every place failed.
std::optional<std::filesystem::path> create_program_group(const std::filesystem::path& folder,
                                                          const std::vector<GroupPlace>& places);

// Removes the installation recorded in places: its files and folder, the file types, the
// registry keys, the composer's settings in settings_store, the launchers, the program groups
// of every place and, last, the uninstaller in the programs folder. Each step is tried whatever
// became of the others; nothing is reported.
void uninstall(const Places& places, const std::vector<GroupPlace>& group_places,
               RegistryStore& settings_store);

// Runs the desktop's cache tools (update-mime-database, update-desktop-database,
// gtk-update-icon-cache) on a data folder where they exist; quietly, failures ignored.
void refresh_desktop_caches(const std::filesystem::path& data);

} // namespace tunemill::setup
