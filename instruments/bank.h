// The instrument bank "tmill.bnk": the stock instruments under unique 16-character names, read
// on first use from the program's folder; a failed open is tried again at the next use.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/bit_reader.h"
#include "foundation/file.h"
#include "instruments/instrument.h"

namespace tunemill {

constexpr const char* BANK_FILE_NAME = "tmill.bnk";
constexpr size_t BANK_HEADER_SIZE = 67;
constexpr size_t BANK_ENTRY_SIZE = 21;
constexpr size_t BANK_NAME_SIZE = 16;

struct BankEntry {
    std::array<char, BANK_NAME_SIZE> name; // padded with spaces, no terminator
    uint32_t category;                     // 0 to 29
    uint32_t offset;                       // of the body from the start of the file

    // The name without its padding spaces.
    std::string trimmed_name() const;
};

// The 16-byte key a name is looked up by: the name's characters over 16 spaces.
std::array<char, BANK_NAME_SIZE> bank_key(std::string_view name);

class InstrumentBank {
  public:
    explicit InstrumentBank(std::filesystem::path path);

    // tmill.bnk where the shipped data lies (find_data: the installed prefix's share folder, the
    // build tree, or the folder of the running program).
    static std::filesystem::path default_path();

    // Opens the file and reads the directory, unless already open. Failures are
    // INS_BANK_ERROR: OPEN (cannot open), READ (a read failed), DAMAGED (ends early, bad magic);
    // after one the bank is closed again, so the next use retries from the start.
    void open();
    bool is_open() const;
    void close();

    // The instrument of the first entry whose name bytes equal bank_key(name), marked as from
    // the bank, with the entry's category. No such entry: INS_BANK_ERROR MISSING_INSTRUMENT; a
    // body that fails to read: DAMAGED (the bank stays open).
    Instrument load(std::string_view name);
    // The same for a directory entry.
    Instrument load(const BankEntry& entry, std::string name);

    // The entries in file order (opens the bank).
    std::vector<BankEntry> directory();

    const std::filesystem::path& path() const { return path_; }

  private:
    void open_locked();
    Instrument load_locked(const BankEntry& entry, std::string name);

    std::filesystem::path path_;
    mutable std::mutex mutex_;
    File file_;
    BitReader reader_;
    std::vector<BankEntry> directory_;
};

// The run's bank, at default_path().
InstrumentBank& instrument_bank();

} // namespace tunemill
