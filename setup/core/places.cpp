// The places of a per-user and of a system-wide installation.
#include "setup/core/places.h"

#include "platform/paths.h"

#include <unistd.h>

namespace tunemill::setup {

Places places_for(Scope scope) {
    Places places;
    places.scope = scope;
    if (scope == Scope::SYSTEM) {
        places.programs = system_program_folder();
        places.data = system_data_folders().front();
        places.config = system_config_folders().front();
        places.registry_root = RegistryRoot::LOCAL_MACHINE;
    } else {
        places.programs = user_program_folder();
        places.data = user_data_folder();
        places.config = user_config_folder();
        places.registry_root = RegistryRoot::CURRENT_USER;
    }
    return places;
}

Scope default_scope() {
    return ::geteuid() == 0 ? Scope::SYSTEM : Scope::USER;
}

std::filesystem::path default_install_folder(Scope scope) {
    if (scope == Scope::SYSTEM) return "/opt/Tunemill";
    return home_folder() / ".local" / "opt" / "Tunemill";
}

} // namespace tunemill::setup
