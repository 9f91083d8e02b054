// The command tree of tmw-cli.
#include "cli/app.h"

#ifndef TUNEMILL_VERSION
#define TUNEMILL_VERSION "0"
#endif

namespace tunemill::cli {

std::vector<Command> build_app(CLI::App& app, Options& options) {
    app.name("tmw-cli");
    app.description("Tunemill command-line tool: inspect, convert, render and play songs");
    app.set_version_flag("--version", std::string("tmw-cli ") + TUNEMILL_VERSION);
    app.require_subcommand(1);
    std::vector<Command> commands;
    for (const auto& [name, registrar] : registered_commands())
        commands.push_back(registrar(app, options));
    return commands;
}

} // namespace tunemill::cli
