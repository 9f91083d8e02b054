// tmw-cli info FILE: what a song or module file holds.
#include "cli/cli.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"

namespace tunemill::cli {

namespace {
struct InfoOptions {
    std::string file;
};

Command register_info(CLI::App& app, Options& common) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "Show what a song or module file holds");
    command->add_option("FILE", options->file, "Song or module file")->required();
    command->add_flag("--json", common.json, "Print one JSON object");
    return {command, [options]() {
                return run_operation([&]() {
                    File file = File::open_for_reading(options->file);
                    throw MISC_ERROR(S_UNKNOWN_SONG_FILE);
                });
            }};
}

const CommandRegistration registration("info", register_info);

} // namespace

} // namespace tunemill::cli
