// The registry store: the in-memory key tree, its .reg text form and the atomic file update.
#include "platform/registry.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "platform/paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tunemill {

namespace fs = std::filesystem;

namespace {

// A registry file larger than this is not ours; refuse it rather than allocate for it.
constexpr uint64_t FILE_LIMIT = 64u << 20;
// Hex lists are wrapped like the system editor wraps them, to keep lines short.
constexpr size_t LINE_WIDTH = 76;

char fold_char(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string fold(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), fold_char);
    return out;
}

bool same_text(std::string_view a, std::string_view b) {
    return fold(a) == fold(b);
}

// "a\\b\\\\c\\" becomes "a\\b\\c": empty components carry no meaning.
std::string normalize_key(std::string_view key) {
    std::string out;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find('\\', start);
        if (end == std::string_view::npos) end = key.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out += key.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

// Line breaks and zero bytes cannot stand in a key or value name of the line-based text form.
std::string clean_name(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\n' || c == '\r' || c == '\0') c = '?';
    return out;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

bool fits_quoted(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// column: where the prefix starts on its line (after the value's name).
std::string hex_list(std::string prefix, const std::vector<uint8_t>& bytes, size_t column) {
    static const char digits[] = "0123456789abcdef";
    std::string out = std::move(prefix);
    column += out.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column >= LINE_WIDTH) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    return out;
}

std::string value_text(const RegistryValue& value, size_t column) {
    if (value.type == RegistryType::DWORD && value.data.size() == 4) {
        const uint32_t number = uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 |
                                uint32_t(value.data[2]) << 16 | uint32_t(value.data[3]) << 24;
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        return buffer;
    }
    if (value.type == RegistryType::SZ) {
        const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                                    value.data.size());
        if (fits_quoted(text)) return quote(text);
        std::vector<uint8_t> bytes = value.data;
        bytes.push_back(0); // the hex form of a string carries its terminator
        return hex_list("hex(1):", bytes, column);
    }
    if (value.type == RegistryType::BINARY) return hex_list("hex:", value.data, column);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", unsigned(value.type));
    return hex_list(prefix, value.data, column);
}

// --- reading the text form ---

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = fold_char(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A quoted text starting at text[at] == '"'; at is left after the closing quote.
std::optional<std::string> read_quoted(std::string_view text, size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return out;
        }
        if (c == '\\' && at + 1 < text.size()) c = text[++at];
        out += c;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> read_hex_list(std::string_view text) {
    std::vector<uint8_t> bytes;
    size_t at = 0;
    auto skip_blanks = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
    };
    skip_blanks();
    if (at == text.size()) return bytes;
    while (true) {
        skip_blanks();
        const int high = at < text.size() ? hex_digit(text[at]) : -1;
        const int low = at + 1 < text.size() ? hex_digit(text[at + 1]) : -1;
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(uint8_t(high << 4 | low));
        at += 2;
        skip_blanks();
        if (at == text.size()) return bytes;
        if (text[at] != ',') return std::nullopt;
        ++at;
    }
}

std::optional<RegistryValue> read_data(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '"') {
        size_t at = 0;
        auto quoted = read_quoted(text, at);
        if (!quoted || at != text.size()) return std::nullopt;
        return RegistryValue::text(*quoted);
    }
    const std::string lower = fold(text.substr(0, std::min<size_t>(text.size(), 16)));
    if (lower.starts_with("dword:")) {
        const std::string_view digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        uint32_t number = 0;
        for (char c : digits) {
            const int digit = hex_digit(c);
            if (digit < 0) return std::nullopt;
            number = number << 4 | uint32_t(digit);
        }
        return RegistryValue::dword(number);
    }
    if (lower.starts_with("hex:")) {
        auto bytes = read_hex_list(text.substr(4));
        if (!bytes) return std::nullopt;
        return RegistryValue::binary(std::move(*bytes));
    }
    if (lower.starts_with("hex(")) {
        const size_t close = text.find("):");
        if (close == std::string_view::npos || close <= 4 || close > 12) return std::nullopt;
        uint32_t type = 0;
        for (char c : text.substr(4, close - 4)) {
            const int digit = hex_digit(c);
            if (digit < 0) return std::nullopt;
            type = type << 4 | uint32_t(digit);
        }
        auto bytes = read_hex_list(text.substr(close + 2));
        if (!bytes) return std::nullopt;
        RegistryValue value{RegistryType(type), std::move(*bytes)};
        if (value.type == RegistryType::SZ && !value.data.empty() && value.data.back() == 0)
            value.data.pop_back();
        return value;
    }
    return std::nullopt;
}

// The lines of the text with hex continuations ("...,\" at the end of a line) joined.
std::vector<std::string> logical_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!pending.empty()) {
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
        }
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        pending += line;
        lines.push_back(std::move(pending));
        pending.clear();
    }
    if (!pending.empty()) lines.push_back(std::move(pending));
    return lines;
}

// Holds an exclusive lock on a file for as long as it lives.
class FileLock {
  public:
    explicit FileLock(const fs::path& path) {
        do
            fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(errno), path.string());
        int result;
        do
            result = ::flock(fd_, LOCK_EX);
        while (result < 0 && errno == EINTR);
    }
    ~FileLock() { ::close(fd_); } // closing releases the lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace

// --- values ---

RegistryValue RegistryValue::dword(uint32_t value) {
    return {RegistryType::DWORD,
            {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}};
}

RegistryValue RegistryValue::text(std::string_view text) {
    return {RegistryType::SZ, std::vector<uint8_t>(text.begin(), text.end())};
}

RegistryValue RegistryValue::binary(std::vector<uint8_t> bytes) {
    return {RegistryType::BINARY, std::move(bytes)};
}

std::string RegistryValue::as_text() const {
    const auto end = std::find(data.begin(), data.end(), uint8_t(0));
    return std::string(data.begin(), end);
}

// --- the tree ---

RegistryTree::Key* RegistryTree::find_key(std::string_view key) {
    auto at = keys_.find(fold(normalize_key(key)));
    return at == keys_.end() ? nullptr : &at->second;
}

const RegistryTree::Key* RegistryTree::find_key(std::string_view key) const {
    auto at = keys_.find(fold(normalize_key(key)));
    return at == keys_.end() ? nullptr : &at->second;
}

bool RegistryTree::has_key(std::string_view key) const {
    return normalize_key(key).empty() || find_key(key) != nullptr;
}

void RegistryTree::create_key(std::string_view key) {
    const std::string path = clean_name(normalize_key(key));
    size_t end = 0;
    while (end < path.size()) {
        end = path.find('\\', end + 1);
        if (end == std::string::npos) end = path.size();
        const std::string prefix = path.substr(0, end);
        keys_.try_emplace(fold(prefix), Key{prefix, {}});
    }
}

bool RegistryTree::delete_key(std::string_view key) {
    const std::string folded = fold(normalize_key(key));
    auto at = keys_.find(folded);
    if (folded.empty() || at == keys_.end()) return false;
    // A sibling such as "a\b c" sorts between "a\b" and "a\b\c"; look past it for subkeys.
    auto child = keys_.lower_bound(folded + '\\');
    if (child != keys_.end() && child->first.starts_with(folded + '\\')) return false;
    keys_.erase(at);
    return true;
}

void RegistryTree::set_value(std::string_view key, std::string_view name, RegistryValue value) {
    create_key(key);
    Key* entry = find_key(clean_name(key));
    if (!entry) return; // only the root itself; it holds no values
    const std::string clean = clean_name(name);
    for (auto& [existing, stored] : entry->values) {
        if (same_text(existing, clean)) {
            stored = std::move(value);
            return;
        }
    }
    entry->values.emplace_back(clean, std::move(value));
}

const RegistryValue* RegistryTree::find_value(std::string_view key, std::string_view name) const {
    const Key* entry = find_key(key);
    if (!entry) return nullptr;
    for (const auto& [existing, stored] : entry->values)
        if (same_text(existing, name)) return &stored;
    return nullptr;
}

bool RegistryTree::delete_value(std::string_view key, std::string_view name) {
    Key* entry = find_key(key);
    if (!entry) return false;
    auto& values = entry->values;
    auto at = std::find_if(values.begin(), values.end(),
                           [&](const auto& v) { return same_text(v.first, name); });
    if (at == values.end()) return false;
    values.erase(at);
    return true;
}

std::vector<std::string> RegistryTree::value_names(std::string_view key) const {
    std::vector<std::string> names;
    if (const Key* entry = find_key(key))
        for (const auto& value : entry->values)
            names.push_back(value.first);
    return names;
}

std::vector<std::string> RegistryTree::subkeys(std::string_view key) const {
    const std::string folded = fold(normalize_key(key));
    const std::string prefix = folded.empty() ? std::string() : folded + '\\';
    std::vector<std::string> names;
    for (auto at = keys_.lower_bound(prefix); at != keys_.end() && at->first.starts_with(prefix);
         ++at) {
        const std::string rest = at->second.path.substr(prefix.size());
        if (rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return names;
}

std::string RegistryTree::to_text(std::string_view root_name) const {
    // The 8-bit header: values are stored byte for byte, texts in the program's own encoding.
    std::string out = "REGEDIT4\n";
    for (const auto& [folded, key] : keys_) {
        out += "\n[";
        out += root_name;
        out += '\\';
        out += key.path;
        out += "]\n";
        for (const auto& [name, value] : key.values) {
            const std::string shown = name.empty() ? std::string("@") : quote(name);
            out += shown;
            out += '=';
            out += value_text(value, shown.size() + 1);
            out += '\n';
        }
    }
    return out;
}

RegistryTree RegistryTree::from_text(std::string_view text, std::string_view root_name) {
    RegistryTree tree;
    std::optional<std::string> current; // the key the value lines belong to
    for (const std::string& line : logical_lines(text)) {
        std::string_view view(line);
        while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
            view.remove_prefix(1);
        if (view.empty() || view.front() == ';') continue;
        if (view.front() == '[') {
            current.reset();
            const size_t close = view.rfind(']');
            if (close == std::string_view::npos || close < 1) continue;
            std::string_view path = view.substr(1, close - 1);
            if (!path.empty() && path.front() == '-') { // a deletion section: the key is gone
                continue;
            }
            const size_t slash = path.find('\\');
            if (!same_text(path.substr(0, slash), root_name) || slash == std::string_view::npos)
                continue;
            const std::string key = normalize_key(path.substr(slash + 1));
            if (key.empty()) continue;
            tree.create_key(key);
            current = key;
            continue;
        }
        if (!current) continue;
        std::string name;
        size_t at = 0;
        if (view.front() == '@') {
            at = 1;
        } else {
            auto quoted = read_quoted(view, at);
            if (!quoted) continue;
            name = std::move(*quoted);
        }
        while (at < view.size() && (view[at] == ' ' || view[at] == '\t'))
            ++at;
        if (at >= view.size() || view[at] != '=') continue;
        ++at;
        while (at < view.size() && (view[at] == ' ' || view[at] == '\t'))
            ++at;
        if (view.substr(at) == "-") continue; // a deleted value
        if (auto value = read_data(view.substr(at)))
            tree.set_value(*current, name, std::move(*value));
    }
    return tree;
}

// --- files ---

std::string_view registry_root_name(RegistryRoot root) {
    return root == RegistryRoot::CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

fs::path registry_file(RegistryRoot root) {
    if (root == RegistryRoot::CURRENT_USER) return user_config_folder() / "tunemill" / "user.reg";
    return system_config_folders().front() / "tunemill" / "machine.reg";
}

RegistryStore::RegistryStore(fs::path file, std::string root_name)
    : file_(std::move(file)), root_name_(std::move(root_name)) {}

RegistryStore::RegistryStore(RegistryRoot root)
    : RegistryStore(registry_file(root), std::string(registry_root_name(root))) {}

RegistryTree RegistryStore::read() const {
    std::error_code error;
    if (!fs::exists(file_, error)) return {};
    File file = File::open_for_reading(file_);
    const uint64_t size = file.size();
    if (size > FILE_LIMIT) throw FILE_ERROR(FILE_ERROR::READ, uint32_t(EFBIG), file_.string());
    std::string text(size_t(size), '\0');
    file.read_exact(text.data(), text.size());
    return RegistryTree::from_text(text, root_name_);
}

void RegistryStore::update(const std::function<void(RegistryTree&)>& change) {
    const fs::path folder = file_.parent_path();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(error.value()), folder.string());
    FileLock lock(fs::path(file_) += ".lock");
    RegistryTree tree = read();
    change(tree);
    write(tree);
}

void RegistryStore::write(const RegistryTree& tree) const {
    const std::string text = tree.to_text(root_name_);
    const fs::path temporary = fs::path(file_) += ".tmp";
    {
        File file = File::open_for_writing(temporary);
        try {
            file.write_exact(text.data(), text.size());
            file.sync();
            file.close();
        } catch (...) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw;
        }
    }
    if (::rename(temporary.c_str(), file_.c_str()) != 0) {
        const int code = errno;
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw FILE_ERROR(FILE_ERROR::WRITE, uint32_t(code), file_.string());
    }
    // Make the rename itself durable: sync the folder that holds the entry.
    const int folder = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace tunemill
