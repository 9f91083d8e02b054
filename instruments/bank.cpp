// Reader of the instrument bank: header, directory, lookup by space-padded name, and the
// translation of every failure into the bank's four error kinds.
#include "instruments/bank.h"

#include <cstring>

#include "foundation/data_folders.h"
#include "foundation/errors.h"
#include "instruments/instrument_file.h"

namespace tunemill {

namespace {

// Runs a read of the bank and turns its failures into INS_BANK_ERRORs.
template <typename Operation> auto as_bank_error(Operation&& operation) {
    try {
        return operation();
    } catch (const FILE_ERROR& error) {
        if (error.kind() == FILE_ERROR::OPEN) throw INS_BANK_ERROR(INS_BANK_ERROR::OPEN);
        if (error.is_end_of_file()) throw INS_BANK_ERROR(INS_BANK_ERROR::DAMAGED);
        throw INS_BANK_ERROR(INS_BANK_ERROR::READ);
    } catch (const LOAD_ERROR&) {
        throw INS_BANK_ERROR(INS_BANK_ERROR::DAMAGED);
    }
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

std::string BankEntry::trimmed_name() const {
    size_t length = BANK_NAME_SIZE;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    return std::string(name.data(), length);
}

std::array<char, BANK_NAME_SIZE> bank_key(std::string_view name) {
    std::array<char, BANK_NAME_SIZE> key;
    key.fill(' ');
    for (size_t i = 0; i < name.size() && i < BANK_NAME_SIZE && name[i] != 0; ++i)
        key[i] = name[i];
    return key;
}

InstrumentBank::InstrumentBank(std::filesystem::path path) : path_(std::move(path)) {}

std::filesystem::path InstrumentBank::default_path() {
    return find_data(BANK_FILE_NAME);
}

bool InstrumentBank::is_open() const {
    std::lock_guard lock(mutex_);
    return file_.is_open();
}

void InstrumentBank::close() {
    std::lock_guard lock(mutex_);
    file_ = File();
    directory_.clear();
}

void InstrumentBank::open() {
    std::lock_guard lock(mutex_);
    open_locked();
}

void InstrumentBank::open_locked() {
    if (file_.is_open()) return;
    try {
        as_bank_error([&] {
            file_ = File::open_for_reading(path_);
            uint8_t header[BANK_HEADER_SIZE];
            file_.read_exact(header, sizeof header);
            if (std::memcmp(header, "BNK", 3) != 0) throw INS_BANK_ERROR(INS_BANK_ERROR::DAMAGED);
            const size_t count = size_t(header[3]) | size_t(header[4]) << 8;
            // A directory longer than the file is damage, found before allocating it.
            if (file_.size() < BANK_HEADER_SIZE + count * BANK_ENTRY_SIZE)
                throw INS_BANK_ERROR(INS_BANK_ERROR::DAMAGED);
            std::vector<uint8_t> bytes(count * BANK_ENTRY_SIZE);
            file_.read_exact(bytes.data(), bytes.size());
            directory_.resize(count);
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* at = &bytes[i * BANK_ENTRY_SIZE];
                BankEntry& entry = directory_[i];
                std::memcpy(entry.name.data(), at, BANK_NAME_SIZE);
                // Anything beyond the 29 categories is filed as "no category".
                entry.category = at[16] < NO_CATEGORY ? at[16] : NO_CATEGORY;
                entry.offset = le32(at + 17);
            }
            reader_.attach(file_);
            return 0;
        });
    } catch (...) {
        file_ = File();
        directory_.clear();
        throw;
    }
}

std::vector<BankEntry> InstrumentBank::directory() {
    std::lock_guard lock(mutex_);
    open_locked();
    return directory_;
}

Instrument InstrumentBank::load(std::string_view name) {
    std::lock_guard lock(mutex_);
    open_locked();
    if (name.size() <= BANK_NAME_SIZE) {
        const auto key = bank_key(name);
        for (const BankEntry& entry : directory_)
            if (entry.name == key) return load_locked(entry, std::string(name));
    }
    throw INS_BANK_ERROR(INS_BANK_ERROR::MISSING_INSTRUMENT);
}

Instrument InstrumentBank::load(const BankEntry& entry, std::string name) {
    std::lock_guard lock(mutex_);
    open_locked();
    return load_locked(entry, std::move(name));
}

Instrument InstrumentBank::load_locked(const BankEntry& entry, std::string name) {
    return as_bank_error([&] {
        reader_.release();
        file_.seek(int64_t(entry.offset));
        reader_.attach(file_);
        const uint32_t kind = reader_.read_bits(8);
        return read_instrument_body(file_, reader_, file_.size(), std::move(name), entry.category,
                                    kind == 0, true);
    });
}

InstrumentBank& instrument_bank() {
    static InstrumentBank bank(InstrumentBank::default_path());
    return bank;
}

} // namespace tunemill
