// The registry store: keys holding typed values (DWORD, SZ, BINARY), kept as one text file per
// root in the .reg format and replaced atomically, so that a crash never leaves half a file and
// two programs updating the same root never lose each other's keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tunemill {

// The value types, numbered as the .reg format numbers them in "hex(n):".
enum class RegistryType : uint32_t { SZ = 1, BINARY = 3, DWORD = 4 };

struct RegistryValue {
    RegistryType type = RegistryType::BINARY;
    std::vector<uint8_t>
        data; // a DWORD is 4 bytes little-endian; an SZ its text without terminator

    static RegistryValue dword(uint32_t value);
    static RegistryValue text(std::string_view text);
    static RegistryValue binary(std::vector<uint8_t> bytes);

    // The data read as text (up to a zero byte), whatever the type.
    std::string as_text() const;
    bool operator==(const RegistryValue&) const = default;
};

// The keys of one root in memory. Key paths are separated by "\" and, like value names, compared
// without regard to case; the spelling of the first creation is kept.
class RegistryTree {
  public:
    bool has_key(std::string_view key) const;
    // Creates the key and every missing parent.
    void create_key(std::string_view key);
    // Removes the key with its values; refused (false) while it has subkeys or when it is missing.
    bool delete_key(std::string_view key);

    // Sets a value, creating the key; a value of that name is replaced in place.
    void set_value(std::string_view key, std::string_view name, RegistryValue value);
    // The value, or nullptr when the key or the value is missing. The empty name is the default
    // value.
    const RegistryValue* find_value(std::string_view key, std::string_view name) const;
    bool delete_value(std::string_view key, std::string_view name);

    // The value names of a key in the order they were first set.
    std::vector<std::string> value_names(std::string_view key) const;
    // The names of the direct subkeys of a key (the root for an empty key).
    std::vector<std::string> subkeys(std::string_view key) const;

    // The tree as .reg text under the named root ("HKEY_CURRENT_USER").
    std::string to_text(std::string_view root_name) const;
    // Reads .reg text. Sections of other roots and lines that cannot be read are skipped, so a
    // damaged line costs that line only.
    static RegistryTree from_text(std::string_view text, std::string_view root_name);

    bool operator==(const RegistryTree&) const = default;

  private:
    struct Key {
        std::string path; // as first spelt
        std::vector<std::pair<std::string, RegistryValue>> values;
        bool operator==(const Key&) const = default;
    };
    // Indexed by the folded path, so a parent sorts before its children.
    std::map<std::string, Key> keys_;

    Key* find_key(std::string_view key);
    const Key* find_key(std::string_view key) const;
};

enum class RegistryRoot { CURRENT_USER, LOCAL_MACHINE };

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE".
std::string_view registry_root_name(RegistryRoot root);
// HKEY_CURRENT_USER: $XDG_CONFIG_HOME/tunemill/user.reg (~/.config without it);
// HKEY_LOCAL_MACHINE: the first system configuration folder (/etc/xdg)/tunemill/machine.reg.
std::filesystem::path registry_file(RegistryRoot root);

// One root's file.
class RegistryStore {
  public:
    RegistryStore(std::filesystem::path file, std::string root_name);
    explicit RegistryStore(RegistryRoot root);

    // The keys as the file holds them now; a missing file is an empty tree.
    // Throws FILE_ERROR when the file exists but cannot be read.
    RegistryTree read() const;
    // Reads the file, applies the change and writes the result back atomically, all under an
    // exclusive lock on a lock file beside it. When change throws, the file stays as it was.
    // Throws FILE_ERROR when the folder or the file cannot be written.
    void update(const std::function<void(RegistryTree&)>& change);

    const std::filesystem::path& file() const { return file_; }

  private:
    void write(const RegistryTree& tree) const;
    std::filesystem::path file_;
    std::string root_name_;
};

} // namespace tunemill
