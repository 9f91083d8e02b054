// Registration with the XDG desktop and the product record, and the uninstaller's removal of both.
#include "setup/core/registration.h"

#include "settings/settings.h"
#include "setup/core/texts.h"
#include "setup/core/unattended.h"

#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tunemill::setup {

namespace fs = std::filesystem;

namespace {

constexpr const char* MIME_PACKAGE = "tunemill.xml";
constexpr const char* ASSOCIATION_ENTRY = "tunemill.desktop";
constexpr const char* MENU_FILE = "tunemill.menu";
constexpr const char* DIRECTORY_FILE = "tunemill.directory";
constexpr const char* GROUP_NAME = "Tunemill";

// Icons travel in the archive under these names and are installed under the theme's names.
struct IconFile {
    const char* archive_name;
    const char* context;
    const char* theme_name;
};
constexpr IconFile ICONS[] = {
    {"tunemill.svg", "apps", "tunemill"},
    {"tunemill-song.svg", "mimetypes", "application-x-tunemill-song"},
    {"tunemill-module.svg", "mimetypes", "application-x-tunemill-module"},
    {"tunemill-instrument.svg", "mimetypes", "application-x-tunemill-instrument"},
};

fs::path icon_path(const fs::path& data, const IconFile& icon) {
    return data / "icons" / "hicolor" / "scalable" / icon.context /
           (std::string(icon.theme_name) + ".svg");
}

bool write_text_file(const fs::path& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    const fs::path temporary = fs::path(path) += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, path, error);
    if (!error) return true;
    fs::remove(temporary, error);
    return false;
}

void remove_quietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

std::string xml_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A desktop entry's string value: backslashes and line breaks escaped.
std::string entry_value(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// One argument of an Exec line: quoted, with the characters the quoting reserves escaped and "%"
// doubled (the field codes).
std::string exec_argument(const std::string& argument) {
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + '"';
}

std::string mime_package() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"application/x-tunemill-song\">\n"
           "    <comment>Tunemill Song</comment>\n"
           "    <icon name=\"application-x-tunemill-song\"/>\n"
           "    <glob pattern=\"*.sn2\"/>\n"
           "    <glob pattern=\"*.sn\"/>\n"
           "  </mime-type>\n"
           "  <mime-type type=\"application/x-tunemill-instrument\">\n"
           "    <comment>Tunemill Instrument</comment>\n"
           "    <icon name=\"application-x-tunemill-instrument\"/>\n"
           "    <glob pattern=\"*.sa2\"/>\n"
           "    <glob pattern=\"*.sa\"/>\n"
           "    <glob pattern=\"*.sy\"/>\n"
           "  </mime-type>\n"
           // The module types exist already; they only get our icon, as the module file type
           // of the original platform did.
           "  <mime-type type=\"audio/x-mod\">\n"
           "    <icon name=\"application-x-tunemill-module\"/>\n"
           "  </mime-type>\n"
           "  <mime-type type=\"audio/x-s3m\">\n"
           "    <icon name=\"application-x-tunemill-module\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string association_entry(const fs::path& folder) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tunemill\n"
           "Comment=Tunemill Song\n"
           "Exec=" +
           entry_value(exec_argument((folder / COMPOSER_NAME).string())) +
           " %f\n"
           "Path=" +
           entry_value(folder.string()) +
           "\n"
           "Icon=tunemill\n"
           "MimeType=application/x-tunemill-song;audio/x-mod;audio/x-s3m;\n"
           "NoDisplay=true\n"
           "Terminal=false\n";
}

void run_quietly(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

// The launcher is a symbolic link, so the program finds its files beside its real path.
void make_launcher(const fs::path& programs, const fs::path& target) {
    std::error_code error;
    fs::create_directories(programs, error);
    const fs::path link = programs / target.filename();
    // Never replace a program of someone else; an older link of ours is renewed.
    if (fs::is_symlink(link, error))
        fs::remove(link, error);
    else if (fs::exists(link, error))
        return;
    fs::create_symlink(target, link, error);
}

void remove_launcher(const fs::path& programs, const fs::path& target) {
    std::error_code error;
    const fs::path link = programs / target.filename();
    if (fs::is_symlink(link, error) && fs::read_symlink(link, error) == target)
        fs::remove(link, error);
}

struct Shortcut {
    std::string target; // a name in the install folder
    std::string name;   // the entry's name as the menu shows it
};

std::vector<Shortcut> shortcut_list() {
    const std::string list = text(SS_SHORTCUT_LIST);
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::vector<Shortcut> shortcuts;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        shortcuts.push_back({parts[i], parts[i + 1]});
    return shortcuts;
}

// "Tunemill Help" is kept in "Tunemill-Help.desktop": blanks make poor file names.
std::string entry_file_name(const std::string& name) {
    std::string file = name;
    for (char& c : file)
        if (c == ' ' || c == '/') c = '-';
    return file + ".desktop";
}

std::string shortcut_entry(const fs::path& folder, const Shortcut& shortcut) {
    const fs::path target = folder / shortcut.target;
    const bool program = shortcut.target == COMPOSER_NAME;
    std::string exec =
        program ? exec_argument(target.string()) : "xdg-open " + exec_argument(target.string());
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           entry_value(shortcut.name.substr(0, 255)) +
           "\n"
           "Comment=" +
           entry_value(shortcut.name.substr(0, 255)) +
           "\n"
           "Exec=" +
           entry_value(exec) +
           "\n"
           "Path=" +
           entry_value(folder.string()) +
           "\n"
           "Icon=" +
           (program ? "tunemill" : "help-browser") +
           "\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Midi;\n";
}

std::string menu_file(const std::vector<Shortcut>& shortcuts) {
    std::string out = "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n"
                      "<Menu>\n"
                      "  <Name>Applications</Name>\n"
                      "  <Menu>\n"
                      "    <Name>Tunemill</Name>\n"
                      "    <Directory>tunemill.directory</Directory>\n"
                      "    <Include>\n";
    for (const Shortcut& shortcut : shortcuts)
        out += "      <Filename>" +
               xml_escape(std::string(GROUP_NAME) + "-" + entry_file_name(shortcut.name)) +
               "</Filename>\n";
    out += "    </Include>\n  </Menu>\n</Menu>\n";
    return out;
}

fs::path menu_path(const GroupPlace& place) {
    return place.config / "menus" / "applications-merged" / MENU_FILE;
}
fs::path directory_path(const GroupPlace& place) {
    return place.data / "desktop-directories" / DIRECTORY_FILE;
}

// Deletes the entries of a group folder and the folder, the menu and its directory entry.
void remove_program_group(const GroupPlace& place) {
    const fs::path group = group_folder(place);
    std::error_code error;
    if (fs::is_directory(group, error)) {
        std::vector<fs::path> entries;
        for (auto it = fs::directory_iterator(group, error);
             !error && it != fs::directory_iterator(); it.increment(error))
            if (it->path().extension() == ".desktop") entries.push_back(it->path());
        for (const fs::path& entry : entries)
            remove_quietly(entry);
        fs::remove(group, error);
    }
    remove_quietly(menu_path(place));
    remove_quietly(directory_path(place));
}

bool try_program_group(const fs::path& folder, const GroupPlace& place) {
    const fs::path group = group_folder(place);
    std::error_code error;
    fs::create_directories(group, error);
    if (error || !fs::is_directory(group, error)) return false;
    const std::vector<Shortcut> shortcuts = shortcut_list();
    for (const Shortcut& shortcut : shortcuts)
        if (!write_text_file(group / entry_file_name(shortcut.name),
                             shortcut_entry(folder, shortcut)))
            return false;
    const std::string directory = "[Desktop Entry]\nType=Directory\nName=Tunemill\nIcon=tunemill\n";
    return write_text_file(directory_path(place), directory) &&
           write_text_file(menu_path(place), menu_file(shortcuts));
}

// Deletes a key and then each parent that it leaves without values or subkeys.
void delete_key_and_empty_parents(RegistryTree& tree, std::string key) {
    if (!tree.delete_key(key)) return;
    for (size_t cut = key.rfind('\\'); cut != std::string::npos; cut = key.rfind('\\')) {
        key.resize(cut);
        if (!tree.value_names(key).empty() || !tree.subkeys(key).empty() || !tree.delete_key(key))
            return;
    }
}

} // namespace

std::string uninstall_list(const std::vector<IndexRecord>& records) {
    std::string list;
    for (const IndexRecord& record : records)
        list += record.name + ",";
    return list + HELP_SYSTEM_FILES;
}

void refresh_desktop_caches(const fs::path& data) {
    std::error_code error;
    if (fs::is_directory(data / "mime", error))
        run_quietly({"update-mime-database", (data / "mime").string()});
    if (fs::is_directory(data / "applications", error))
        run_quietly({"update-desktop-database", "-q", (data / "applications").string()});
    if (fs::is_directory(data / "icons" / "hicolor", error))
        run_quietly(
            {"gtk-update-icon-cache", "-q", "-t", "-f", (data / "icons" / "hicolor").string()});
}

void register_installation(const fs::path& folder, const std::vector<IndexRecord>& records,
                           const Places& places) {
    try {
        places.registry().update([&](RegistryTree& tree) {
            tree.set_value(PRODUCT_KEY, "Folder", RegistryValue::text(folder.string()));
            tree.set_value(PRODUCT_KEY, "Uninstall", RegistryValue::text(uninstall_list(records)));
            tree.set_value(APP_PATHS_KEY, "",
                           RegistryValue::text((folder / COMPOSER_NAME).string()));
            tree.set_value(APP_PATHS_KEY, "Path", RegistryValue::text(folder.string()));
            tree.set_value(UNINSTALL_KEY, "DisplayName", RegistryValue::text("Tunemill"));
            tree.set_value(UNINSTALL_KEY, "UninstallString",
                           RegistryValue::text((places.programs / UNINSTALLER_NAME).string()));
        });
    } catch (...) {
        // Registration failures are not reported; the files are in place all the same.
    }
    make_launcher(places.programs, folder / COMPOSER_NAME);
    make_launcher(places.programs, folder / CLI_NAME);

    write_text_file(places.data / "mime" / "packages" / MIME_PACKAGE, mime_package());
    for (const IconFile& icon : ICONS) {
        std::error_code error;
        const fs::path source = folder / icon.archive_name;
        if (!fs::exists(source, error)) continue;
        const fs::path destination = icon_path(places.data, icon);
        fs::create_directories(destination.parent_path(), error);
        fs::copy_file(source, destination, fs::copy_options::overwrite_existing, error);
    }
    write_text_file(places.data / "applications" / ASSOCIATION_ENTRY, association_entry(folder));
    refresh_desktop_caches(places.data);
}

std::vector<GroupPlace> program_group_places() {
    const Places all_users = places_for(Scope::SYSTEM);
    const Places user = places_for(Scope::USER);
    return {{all_users.data, all_users.config}, {user.data, user.config}};
}

fs::path group_folder(const GroupPlace& place) {
    return place.data / "applications" / GROUP_NAME;
}

std::optional<fs::path> create_program_group(const fs::path& folder,
                                             const std::vector<GroupPlace>& places) {
    for (const GroupPlace& place : places) {
        if (try_program_group(folder, place)) {
            refresh_desktop_caches(place.data);
            return group_folder(place);
        }
        remove_program_group(place);
    }
    return std::nullopt;
}

void uninstall(const Places& places, const std::vector<GroupPlace>& group_places,
               RegistryStore& settings_store) {
    RegistryStore store = places.registry();
    std::string folder_text, list;
    try {
        const RegistryTree tree = store.read();
        if (const RegistryValue* value = tree.find_value(PRODUCT_KEY, "Folder"))
            folder_text = value->as_text();
        if (const RegistryValue* value = tree.find_value(PRODUCT_KEY, "Uninstall"))
            list = value->as_text();
    } catch (...) {
    }

    // The files. Only install names inside an absolute folder are deleted: a damaged record must
    // never make the uninstaller delete anything else.
    const fs::path folder(folder_text);
    // The uninstaller was copied into the programs folder under the name the archive gave it.
    std::vector<std::string> uninstallers = {UNINSTALLER_NAME};
    if (folder.is_absolute() && folder.has_relative_path()) {
        size_t start = 0;
        while (start < list.size()) {
            size_t end = list.find(',', start);
            if (end == std::string::npos) end = list.size();
            const std::string name = list.substr(start, end - start);
            if (is_install_name(name) && name.find('/') == std::string::npos &&
                is_uninstaller_name(name))
                uninstallers.push_back(name);
            if (is_install_name(name)) {
                remove_quietly(folder / name);
                remove_empty_folders_of(folder, name);
            }
            start = end + 1;
        }
        remove_quietly(folder);
    }

    // The file types.
    remove_quietly(places.data / "mime" / "packages" / MIME_PACKAGE);
    for (const IconFile& icon : ICONS)
        remove_quietly(icon_path(places.data, icon));
    remove_quietly(places.data / "applications" / ASSOCIATION_ENTRY);

    // The registry keys, leaf first, then the composer's settings.
    // Parents left empty go as well, so that nothing of ours stays in the store.
    try {
        if (fs::exists(store.file()))
            store.update([](RegistryTree& tree) {
                delete_key_and_empty_parents(tree, PRODUCT_KEY);
                delete_key_and_empty_parents(tree, PRODUCT_PARENT_KEY);
                delete_key_and_empty_parents(tree, APP_PATHS_KEY);
                delete_key_and_empty_parents(tree, UNINSTALL_KEY);
            });
    } catch (...) {
    }
    try {
        if (fs::exists(settings_store.file()))
            settings_store.update(
                [](RegistryTree& tree) { delete_key_and_empty_parents(tree, SETTINGS_KEY); });
    } catch (...) {
    }

    // The launchers (the App Paths entry).
    if (!folder_text.empty()) {
        remove_launcher(places.programs, folder / COMPOSER_NAME);
        remove_launcher(places.programs, folder / CLI_NAME);
    }

    // The program groups, wherever they were made.
    for (const GroupPlace& place : group_places)
        remove_program_group(place);

    refresh_desktop_caches(places.data);
    for (const GroupPlace& place : group_places)
        if (place.data != places.data) refresh_desktop_caches(place.data);

    // Last, the uninstaller itself: a running program may delete its own file here.
    for (const std::string& name : uninstallers)
        remove_quietly(places.programs / name);
}

} // namespace tunemill::setup
