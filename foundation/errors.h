// The exception family through which every failure of the composer travels. Each error composes
// its own message from the string table in the current language; the front end shows it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace tunemill {

// Base of the family: "Unknown error".
class ERROR : public std::exception {
  public:
    ~ERROR() override = default;
    // The text of the error in the current language, UTF-8, at most 999 bytes.
    virtual std::string compose_message() const;
    const char* what() const noexcept override { return "Tunemill error"; }
};

// A failed file operation. The code is the system's errno (or the end-of-file code).
class FILE_ERROR : public ERROR {
  public:
    enum Kind : uint32_t { OPEN = 0, CREATE = 1, READ = 2, WRITE = 3, SEEK = 4 };
    // The code a short read carries: the file simply ended.
    static constexpr uint32_t END_OF_FILE = 38;
    // The code of an open refused because the path names a pipe, a device or a socket (beyond
    // every errno value): "%s is not a regular file".
    static constexpr uint32_t NOT_A_REGULAR_FILE = 0x10000;

    FILE_ERROR(uint32_t kind, uint32_t code, std::string file_name = {})
        : kind_(kind), code_(code), file_name_(std::move(file_name)) {}
    std::string compose_message() const override;

    uint32_t kind() const { return kind_; }
    uint32_t code() const { return code_; }
    const std::string& file_name() const { return file_name_; }
    // True for a read that failed because the data ran out, not for other read failures.
    bool is_end_of_file() const { return kind_ == READ && (code_ == END_OF_FILE || code_ == 0); }

  private:
    uint32_t kind_;
    uint32_t code_;
    std::string file_name_;
};

// A song file that cannot be read: damaged (internal == 0) or inconsistent after reading.
class LOAD_ERROR : public ERROR {
  public:
    explicit LOAD_ERROR(uint32_t internal = 0) : internal_(internal) {}
    std::string compose_message() const override;
    bool internal() const { return internal_ != 0; }

  private:
    uint32_t internal_;
};

class INS_BANK_ERROR : public ERROR {
  public:
    enum Kind : uint32_t { OPEN = 0, READ = 1, DAMAGED = 2, MISSING_INSTRUMENT = 3 };
    explicit INS_BANK_ERROR(uint32_t kind) : kind_(kind) {}
    std::string compose_message() const override;
    uint32_t kind() const { return kind_; }

  private:
    uint32_t kind_;
};

class MEM_ERROR : public ERROR {
  public:
    std::string compose_message() const override;
};

class RESOURCE_ERROR : public ERROR {
  public:
    std::string compose_message() const override;
};

// An error whose text is any string-table entry, its placeholders ("%s", "%d") filled in order
// with the values (a file name, a count).
class MISC_ERROR : public ERROR {
  public:
    explicit MISC_ERROR(uint32_t string_id, std::vector<std::string> values = {})
        : string_id_(string_id), values_(std::move(values)) {}
    std::string compose_message() const override;
    uint32_t string_id() const { return string_id_; }
    const std::vector<std::string>& values() const { return values_; }

  private:
    uint32_t string_id_;
    std::vector<std::string> values_;
};

// A failure of the output device or the playback thread. Codes other than the three with texts
// of their own carry the audio layer's description of the failure.
class PLAYBACK_ERROR : public ERROR {
  public:
    static constexpr int32_t THREAD_FAILED = -99999;
    static constexpr int32_t NO_DEVICES = 0;
    static constexpr int32_t DEVICE_IN_USE = 4;

    explicit PLAYBACK_ERROR(int32_t code, std::string system_text = {})
        : code_(code), system_text_(std::move(system_text)) {}
    std::string compose_message() const override;
    int32_t code() const { return code_; }

  private:
    int32_t code_;
    std::string system_text_;
};

// Never thrown: built and reported on the spot when the MIDI input cannot be opened.
class MIDI_ERROR : public ERROR {
  public:
    MIDI_ERROR(int32_t code, std::string system_text)
        : code_(code), system_text_(std::move(system_text)) {}
    std::string compose_message() const override;
    int32_t code() const { return code_; }

  private:
    int32_t code_;
    std::string system_text_;
};

// The text of any exception as the user sees it: family members compose their own,
// std::bad_alloc is MEM_ERROR, everything else "Unknown error".
std::string error_text(const std::exception& error);

// The same for the exception in flight (call from a catch block).
std::string current_error_text();

} // namespace tunemill
