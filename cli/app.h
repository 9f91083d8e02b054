// tmw-cli's command tree, built the same way for the program and for the tools that write its
// manual page and shell completion from it.
#pragma once

#include <vector>

#include "cli/cli.h"

namespace tunemill::cli {

// The program's name, description and --version flag, and every registered command.
std::vector<Command> build_app(CLI::App& app, Options& options);

} // namespace tunemill::cli
