// Shared helpers of the tmw-cli commands.
#include "cli/cli.h"

#include "foundation/errors.h"
#include "foundation/text.h"

#include <iostream>

namespace tunemill::cli {

int run_operation(const std::function<void()>& operation) {
    try {
        operation();
        return SUCCESS;
    } catch (...) {
        std::string text = current_error_text();
        for (char& c : text)
            if (c == '\n' || c == '\r') c = ' ';
        std::cerr << text << std::endl;
        return FAILED;
    }
}

void print_json(const nlohmann::json& object) {
    std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

std::string shown(const std::string& bytes) { return windows1252_to_utf8(bytes); }

} // namespace tunemill::cli
