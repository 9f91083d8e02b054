// Message composition for the exception family.
#include "foundation/errors.h"

#include "foundation/string_table.h"
#include "foundation/text.h"

#include <cerrno>
#include <new>

namespace tunemill {

namespace {

constexpr size_t MESSAGE_LIMIT = 999;
constexpr size_t FILE_TEMPLATE_LIMIT = 79;

std::string bounded(std::string text, size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string table_text(uint32_t id) {
    return bounded(load_string(id), MESSAGE_LIMIT);
}

bool is_disk_full(uint32_t code) {
    const uint32_t low = code & 0xFFF;
    return low == ENOSPC || low == EDQUOT;
}

} // namespace

std::string ERROR::compose_message() const {
    return table_text(S_UNKNOWN_ERROR);
}

std::string FILE_ERROR::compose_message() const {
    uint32_t id = S_UNKNOWN_ERROR;
    switch (kind_) {
    case OPEN:
        id = code_ == NOT_A_REGULAR_FILE ? S_NOT_A_REGULAR_FILE : S_UNABLE_TO_OPEN_FILE;
        break;
    case CREATE:
        id = code_ == NOT_A_REGULAR_FILE ? S_NOT_A_REGULAR_FILE : S_UNABLE_TO_CREATE_FILE;
        break;
    case READ:
        id = S_FILE_READ_ERROR;
        break;
    case WRITE:
        id = is_disk_full(code_) ? S_DISK_FULL : S_FILE_WRITE_ERROR;
        break;
    default:
        break;
    }
    const std::string pattern = bounded(load_string(id), FILE_TEMPLATE_LIMIT);
    return bounded(format_with_string(pattern, file_name_), MESSAGE_LIMIT);
}

std::string LOAD_ERROR::compose_message() const {
    return table_text(internal_ ? S_INTERNAL_LOAD_ERROR : S_DAMAGED_SONG_FILE);
}

std::string INS_BANK_ERROR::compose_message() const {
    switch (kind_) {
    case OPEN:
        return table_text(S_BANK_OPEN_ERROR);
    case READ:
        return table_text(S_BANK_READ_ERROR);
    case DAMAGED:
        return table_text(S_BANK_DAMAGED);
    case MISSING_INSTRUMENT:
        return table_text(S_BANK_MISSING_INSTRUMENT);
    default:
        return table_text(S_UNKNOWN_ERROR);
    }
}

std::string MEM_ERROR::compose_message() const {
    return table_text(S_NOT_ENOUGH_MEMORY);
}

std::string RESOURCE_ERROR::compose_message() const {
    return table_text(S_RESOURCE_LOAD_ERROR);
}

std::string MISC_ERROR::compose_message() const {
    if (values_.empty()) return table_text(string_id_);
    return bounded(format_message(load_string(string_id_), values_), MESSAGE_LIMIT);
}

std::string PLAYBACK_ERROR::compose_message() const {
    switch (code_) {
    case THREAD_FAILED:
        return table_text(S_FAILED_TO_CREATE_THREAD);
    case DEVICE_IN_USE:
        return table_text(S_DEVICE_IN_USE);
    case NO_DEVICES:
        return table_text(S_NO_OUTPUT_DEVICES);
    default:
        return system_text_.empty() ? table_text(S_UNKNOWN_ERROR)
                                    : bounded(system_text_, MESSAGE_LIMIT);
    }
}

std::string MIDI_ERROR::compose_message() const {
    return system_text_.empty() ? table_text(S_UNKNOWN_ERROR)
                                : bounded(system_text_, MESSAGE_LIMIT);
}

std::string error_text(const std::exception& error) {
    if (auto* own = dynamic_cast<const ERROR*>(&error)) return own->compose_message();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return MEM_ERROR().compose_message();
    return ERROR().compose_message();
}

std::string current_error_text() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error_text(error);
    } catch (...) {
        return ERROR().compose_message();
    }
}

} // namespace tunemill
