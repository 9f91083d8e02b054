// Setup's texts and error messages, from its own string table.
#include "setup/core/texts.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"

#include <cerrno>
#include <new>

namespace tunemill::setup {

namespace {

constexpr size_t FILE_TEMPLATE_LIMIT = 80;
constexpr size_t MESSAGE_LIMIT = 1000;

std::string cut(std::string value, size_t limit) {
    if (limit == 0) return {};
    if (value.size() <= limit - 1) return value;
    size_t length = limit - 1;
    while (length > 0 && (uint8_t(value[length]) & 0xC0) == 0x80)
        --length;
    value.resize(length);
    return value;
}

bool is_disk_full(uint32_t code) {
    const uint32_t low = code & 0xFFF;
    return low == ENOSPC || low == EDQUOT;
}

} // namespace

std::string text(uint32_t id, size_t limit) {
    return cut(load_string(setup_strings(), id), limit);
}

std::string caption() {
    return text(SS_CAPTION, CAPTION_LIMIT);
}

std::string copying_text(const std::string& path) {
    return cut(format_with_string(text(SS_COPYING, COPYING_LIMIT), path), MESSAGE_LIMIT);
}

std::string disk_prompt_text(uint32_t volume) {
    return cut(format_message(text(SS_INSERT_DISK, PROMPT_LIMIT), {std::to_string(volume)}),
               PROMPT_LIMIT);
}

std::string disk_space_text(uint64_t needed_kb, uint64_t free_kb) {
    return cut(format_message(text(SS_DISK_SPACE_QUESTION, PROMPT_LIMIT),
                              {std::to_string(needed_kb), std::to_string(free_kb)}),
               PROMPT_LIMIT);
}

std::string setup_error_text(const std::exception& error) {
    if (auto* file = dynamic_cast<const FILE_ERROR*>(&error)) {
        uint32_t id = SS_UNKNOWN_ERROR;
        switch (file->kind()) {
        case FILE_ERROR::OPEN:
            id = SS_UNABLE_TO_OPEN_FILE;
            break;
        case FILE_ERROR::CREATE:
            id = SS_UNABLE_TO_CREATE_FILE;
            break;
        case FILE_ERROR::READ:
            id = SS_FILE_READ_ERROR;
            break;
        case FILE_ERROR::WRITE:
            id = is_disk_full(file->code()) ? SS_DISK_FULL : SS_FILE_WRITE_ERROR;
            break;
        default:
            break;
        }
        return cut(format_with_string(text(id, FILE_TEMPLATE_LIMIT), file->file_name()),
                   MESSAGE_LIMIT);
    }
    if (auto* misc = dynamic_cast<const MISC_ERROR*>(&error)) {
        std::string message = text(misc->string_id(), MESSAGE_LIMIT);
        return message.empty() ? text(SS_UNKNOWN_ERROR) : message;
    }
    if (dynamic_cast<const MEM_ERROR*>(&error) || dynamic_cast<const std::bad_alloc*>(&error))
        return text(SS_NOT_ENOUGH_MEMORY);
    return text(SS_UNKNOWN_ERROR);
}

std::string current_setup_error_text() {
    try {
        throw;
    } catch (const std::exception& error) {
        return setup_error_text(error);
    } catch (...) {
        return text(SS_UNKNOWN_ERROR);
    }
}

} // namespace tunemill::setup
