// Conventions shared by every tmw-cli command: exit codes, the one error line, JSON output.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace tunemill {
class ERROR;
}

namespace tunemill::cli {

enum ExitCode : int { SUCCESS = 0, FAILED = 1, USAGE = 2 };

// Each command registers its subcommand on the app and returns the action to run when chosen.
using Action = std::function<int()>;
struct Command {
    CLI::App* app;
    Action run;
};

// Runs an operation: an error becomes exactly one line on stderr (the string table's text in
// the current language) and the exit code FAILED.
int run_operation(const std::function<void()>& operation);

// The reporter tmw-cli gives the core: the error's text as one line on stderr.
void print_error(const ERROR& error);

// Prints the object as one line of JSON on stdout.
void print_json(const nlohmann::json& object);

// File-format bytes (Windows-1252) as text for the terminal or JSON.
std::string shown(const std::string& bytes);

// Every command lives in a file of its own and registers itself with a static
// CommandRegistration; main() builds the subcommands in the order of their names.
struct Options {
    bool json = false; // --json: print one JSON object on stdout
};
using Registrar = Command (*)(CLI::App& app, Options& options);
struct CommandRegistration {
    CommandRegistration(const char* name, Registrar registrar);
};
const std::vector<std::pair<std::string, Registrar>>& registered_commands();

} // namespace tunemill::cli
