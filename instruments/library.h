// The instrument library the instrument browser shows: every bank instrument and every
// instrument file below the instrument folder, in the 29 categories and the list of
// instruments without one, each sorted by name.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/error_reporter.h"
#include "instruments/instrument.h"

namespace tunemill {

class InstrumentBank;

struct LibraryItem {
    std::string name;               // at most 16 characters
    std::filesystem::path relative; // below the library folder; empty for bank items
    bool from_bank = false;
};

class InstrumentLibrary {
  public:
    // Rebuilds from the bank and the folder. A bank that cannot be read is reported once and
    // leaves the library invalid, but the instrument files are listed all the same; unreadable
    // files are left out silently. The build goes on after a failure, so it reports rather than
    // throws.
    void build(const std::filesystem::path& folder, InstrumentBank& bank,
               const ErrorReporter& report);

    // The browser rebuilds when no file was found, the bank failed, or the folder changed.
    bool needs_rebuild(const std::filesystem::path& folder) const;

    // Category 0 to 28, or 29 for the instruments without a category.
    const std::vector<LibraryItem>& items(uint32_t category) const { return lists_.at(category); }
    bool valid() const { return valid_; }
    const std::filesystem::path& folder() const { return folder_; }

    std::filesystem::path item_path(const LibraryItem& item) const {
        return folder_ / item.relative;
    }
    // The item's instrument: from the bank by name, or read from its file (a damaged file
    // reports "Instrument file is damaged").
    Instrument load(const LibraryItem& item, InstrumentBank& bank) const;

  private:
    void scan(const std::filesystem::path& folder, int depth);

    bool valid_ = false;
    bool holds_files_ = false;
    std::filesystem::path folder_;
    std::array<std::vector<LibraryItem>, CATEGORY_COUNT + 1> lists_;
};

// The run's library.
InstrumentLibrary& instrument_library();

} // namespace tunemill
