// Setup's own texts: its string table in English and German, the length limits its messages are
// taken with, and the message of any failure in setup's words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "strings/setup_strings.h"

namespace tunemill::setup {

// Length limits of the texts (bytes, terminator included, as the buffers were sized).
constexpr size_t PROMPT_LIMIT = 160; // the disk-space question and the disk prompt
constexpr size_t CAPTION_LIMIT = 80; // captions and the final messages
constexpr size_t COPYING_LIMIT = 40; // the "Copying %s" template

// The text of id in the current language, cut to limit - 1 bytes at a whole character.
std::string text(uint32_t id, size_t limit = 1000);

// The message box caption, "Tunemill Setup".
std::string caption();

// "Copying /opt/Tunemill/tmw", "Insert Tunemill disk #2", the disk-space question.
std::string copying_text(const std::string& path);
std::string disk_prompt_text(uint32_t volume);
std::string disk_space_text(uint64_t needed_kb, uint64_t free_kb);

// The message of an exception from setup's table: file errors by kind, MISC_ERROR by its id,
// memory errors, and "Unknown error" for everything else.
std::string setup_error_text(const std::exception& error);
std::string current_setup_error_text();

} // namespace tunemill::setup
