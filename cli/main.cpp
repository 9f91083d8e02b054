// tmw-cli: the composer's command-line front end over the same core as the GUI.
//   tmw-cli COMMAND [options] ARGS; exit 0 on success, 1 when the operation failed (one line on
//   stderr), 2 for a usage error.
#include "cli/app.h"

#include "foundation/string_table.h"

#include <iostream>
#include <vector>

int main(int argc, char** argv) {
    using namespace tunemill;
    set_language(language_from_environment());
    set_error_display(
        [](const std::string&, const std::string& text) { std::cerr << text << std::endl; });

    CLI::App app;
    cli::Options options;
    const std::vector<cli::Command> commands = cli::build_app(app, options);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? cli::SUCCESS : cli::USAGE;
    }
    for (const cli::Command& command : commands)
        if (command.app->parsed()) return command.run();
    return cli::USAGE;
}
