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

void print_error(const ERROR& error) {
    std::cerr << error.compose_message() << std::endl;
}

void print_json(const nlohmann::json& object) {
    std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

namespace {
std::vector<std::pair<std::string, Registrar>>& registry() {
    static std::vector<std::pair<std::string, Registrar>> commands;
    return commands;
}
} // namespace

CommandRegistration::CommandRegistration(const char* name, Registrar registrar) {
    auto& commands = registry();
    auto at = commands.begin();
    while (at != commands.end() && at->first < name)
        ++at;
    commands.insert(at, {name, registrar});
}

const std::vector<std::pair<std::string, Registrar>>& registered_commands() {
    return registry();
}

std::string shown(const std::string& bytes) {
    return windows1252_to_utf8(bytes);
}

} // namespace tunemill::cli
