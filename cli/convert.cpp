// tmw-cli convert IN OUT: loads any song the composer reads (song file, older song file, module)
// and saves it as a song file, the way File > Save As does, or exports it as a module, the way
// File > Export does (".s3m" S3M, ".mod" 4-channel MOD, or the format --format names), or as a
// MIDI file (".mid" or --format mid). What the import or the export had to change is told as one
// line each on stderr, and as a list in --json.
#include "cli/cli.h"

#include <filesystem>
#include <iostream>

#include "foundation/errors.h"
#include "foundation/path_checks.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "midi/export.h"
#include "modules/export.h"
#include "storage/song_saver.h"

namespace tunemill::cli {

namespace {

struct ConvertOptions {
    std::string in;
    std::string out;
    std::string format; // s3m, mod, mod6, mod8, mid; empty: by the extension, .sn2 otherwise
};

// Writes the song as a MIDI file when OUT's extension or --format asks for one; what the file
// cannot hold joins the import's warnings.
bool export_as_midi(const Song& song, const ConvertOptions& options,
                    std::vector<LoadWarning>& warnings) {
    if (options.format != "mid" && !(options.format.empty() && is_midi_path(options.out)))
        return false;
    for (const MidiWarning& warning : export_midi_file(song, options.out))
        warnings.push_back(
            {midi_warning_name(warning.kind), midi_warning_text(warning), warning.count});
    return true;
}

// The MIDI import's and export's changes in the --json list.
void list_changes(const std::vector<LoadWarning>& changes, nlohmann::json& listed) {
    for (const LoadWarning& change : changes)
        listed.push_back({{"kind", change.name}, {"count", change.count}, {"text", change.text}});
}

Command register_convert(CLI::App& app, Options& common) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* command = app.add_subcommand(
        "convert",
        "Load any song, module or MIDI file and save it as a song file (.sn2) or export it as MOD, "
        "S3M or MIDI");
    command->add_option("IN", options->in, "Song or module file")->required();
    command->add_option("OUT", options->out, "Song file to write")->required();
    command->add_option("--format", options->format, "Export as s3m, mod, mod6, mod8 or mid")
        ->check(CLI::IsMember({"s3m", "mod", "mod6", "mod8", "mid"}));
    command->add_flag("--json", common.json, "Print one JSON object");
    return {command, [options, &common]() {
                bool saved = false;
                std::string format;
                std::vector<ExportWarning> warnings;
                std::vector<LoadWarning> changes;
                const int result = run_operation([&]() {
                    refuse_output_over_input(options->in, options->out);
                    Song song = read_any_song(options->in, stock_bank_lookup(), &format, &changes);
                    ModuleFormat module_format;
                    const bool as_module =
                        options->format.empty()
                            ? module_format_of(options->out, module_format)
                            : module_format_named(options->format, module_format);
                    if (export_as_midi(song, *options, changes)) {
                        saved = true;
                    } else if (as_module) {
                        warnings = export_module_file(song, options->out, module_format);
                        saved = true;
                    } else {
                        // A refused lock has shown its message already.
                        saved = save_song(song, options->out);
                    }
                });
                if (result != SUCCESS) return result;
                if (!saved) return int(FAILED);
                const auto bytes = std::filesystem::file_size(options->out);
                if (common.json) {
                    nlohmann::json listed = nlohmann::json::array();
                    for (const ExportWarning& warning : warnings)
                        listed.push_back({{"kind", export_warning_name(warning.kind)},
                                          {"subject", shown(warning.subject)},
                                          {"count", warning.count},
                                          {"text", export_warning_text(warning)}});
                    list_changes(changes, listed);
                    print_json({{"input", options->in},
                                {"format", format},
                                {"output", options->out},
                                {"bytes", bytes},
                                {"warnings", listed}});
                } else {
                    for (const ExportWarning& warning : warnings)
                        std::cerr << export_warning_text(warning) << "\n";
                    for (const LoadWarning& change : changes)
                        std::cerr << change.text << "\n";
                }
                if (!common.json)
                    std::cout << options->in << " (" << format << ") -> " << options->out << " ("
                              << bytes << " bytes)\n";
                return int(SUCCESS);
            }};
}

const CommandRegistration registration("convert", register_convert);

} // namespace

} // namespace tunemill::cli
