// The library build: the bank's directory, then a recursive scan of the instrument folder for
// ".sa", ".sa2" and ".sy" files, whose names and categories are read from their first bytes.
#include "instruments/library.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "instruments/instrument_file.h"

namespace tunemill {

namespace {

constexpr size_t FILE_HEAD = 21;
// Deeper folders than this are not searched: a guard against pathological trees.
constexpr int MAX_DEPTH = 64;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool before_ignoring_case(const LibraryItem& a, const LibraryItem& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

bool instrument_extension(const std::string& file_name) {
    const size_t dot = file_name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = file_name.substr(dot + 1);
    for (char& c : extension)
        c = lower(c);
    return extension == "sa" || extension == "sy" || extension == "sa2";
}

} // namespace

void InstrumentLibrary::build(const std::filesystem::path& folder, InstrumentBank& bank,
                              const ErrorReporter& report) {
    const auto show = [&](const ERROR& error) {
        if (report) report(error);
    };
    valid_ = true;
    holds_files_ = false;
    folder_ = folder;
    for (auto& list : lists_)
        list.clear();

    std::vector<BankEntry> directory;
    try {
        directory = bank.directory();
    } catch (const ERROR& error) {
        show(error);
        valid_ = false;
    }
    try {
        try {
            for (const BankEntry& entry : directory)
                lists_[entry.category].push_back({entry.trimmed_name(), {}, true});
            scan(folder, 0);
        } catch (const std::bad_alloc&) {
            throw MEM_ERROR();
        }
    } catch (const ERROR& error) {
        show(error);
        valid_ = false;
    }
    for (auto& list : lists_)
        std::stable_sort(list.begin(), list.end(), before_ignoring_case);
}

void InstrumentLibrary::scan(const std::filesystem::path& folder, int depth) {
    if (depth > MAX_DEPTH) return;
    std::error_code error;
    std::vector<std::filesystem::directory_entry> entries;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        entries.push_back(*it);
    // The system lists a folder in any order; sorted, two builds give the same library.
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path() < b.path(); });
    for (const auto& entry : entries) {
        std::error_code status_error;
        const auto status = entry.symlink_status(status_error);
        if (status_error) continue;
        // Linked folders are not followed, so a link back up cannot make the scan endless.
        if (std::filesystem::is_directory(status)) {
            scan(entry.path(), depth + 1);
            continue;
        }
        if (!instrument_extension(entry.path().filename().string())) continue;
        uint8_t head[FILE_HEAD];
        size_t got = 0;
        try {
            File file = File::open_for_reading(entry.path());
            got = file.read_some(head, sizeof head);
        } catch (const FILE_ERROR&) {
            continue;
        }
        if (got < 5 || (std::memcmp(head, "SMP", 3) != 0 && std::memcmp(head, "SYN", 3) != 0))
            continue;
        const auto* zero = static_cast<const uint8_t*>(std::memchr(head + 3, 0, got - 3));
        if (zero == nullptr || zero - (head + 3) > 16 || zero + 1 >= head + got) continue;
        uint32_t category = zero[1];
        if (category == 0xFF) category = NO_CATEGORY;
        if (category > NO_CATEGORY) continue;
        std::string name(reinterpret_cast<const char*>(head + 3), size_t(zero - (head + 3)));
        lists_[category].push_back(
            {std::move(name), entry.path().lexically_relative(folder_), false});
        holds_files_ = true;
    }
}

bool InstrumentLibrary::needs_rebuild(const std::filesystem::path& folder) const {
    return !holds_files_ || !valid_ || folder != folder_;
}

Instrument InstrumentLibrary::load(const LibraryItem& item, InstrumentBank& bank) const {
    if (item.from_bank) return bank.load(item.name);
    return load_instrument_file(item_path(item));
}

InstrumentLibrary& instrument_library() {
    static InstrumentLibrary library;
    return library;
}

} // namespace tunemill
