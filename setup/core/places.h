// Where an installation records itself. Per user: ~/.local/bin for the uninstaller and the
// launchers, $XDG_DATA_HOME and $XDG_CONFIG_HOME for file types and menus, HKEY_CURRENT_USER for
// the product record. System-wide (as root): /usr/local/bin, the first $XDG_DATA_DIRS and
// $XDG_CONFIG_DIRS entries, and HKEY_LOCAL_MACHINE.
#pragma once

#include <filesystem>
#include <string>

#include "platform/registry.h"

namespace tunemill::setup {

enum class Scope { USER, SYSTEM };

struct Places {
    Scope scope = Scope::USER;
    std::filesystem::path programs; // the folder on PATH: the uninstaller and the launchers
    std::filesystem::path data;     // mime/, icons/, applications/, desktop-directories/
    std::filesystem::path config;   // menus/applications-merged/
    RegistryRoot registry_root = RegistryRoot::CURRENT_USER;

    RegistryStore registry() const { return RegistryStore(registry_root); }
};

Places places_for(Scope scope);
// System-wide for the superuser, per user for everyone else.
Scope default_scope();
// /opt/Tunemill system-wide, ~/.local/opt/Tunemill per user.
std::filesystem::path default_install_folder(Scope scope);

} // namespace tunemill::setup
