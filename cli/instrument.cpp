// tmw-cli instrument info|export|import|render-synth: look into instrument files and bank
// instruments, write an instrument's samples as a sound file (WAV, FLAC, Ogg Vorbis, MP3, Opus),
// import sample files (WAV, FLAC, AIFF, Ogg Vorbis, Opus, MP3, raw data) as an instrument file,
// and render a synthesizer parameter block so a patch can be auditioned.
#include "cli/audio_type.h"
#include "cli/cli.h"

#include <iostream>
#include <optional>

#include "foundation/errors.h"
#include "foundation/path_checks.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "instruments/bank.h"
#include "instruments/instrument_file.h"
#include "instruments/sample_import.h"
#include "instruments/synthesizer.h"
#include "playback/audio_export.h"

namespace tunemill::cli {

namespace {

struct InstrumentOptions {
    std::string file;
    std::string out;
    std::string hex;
    bool from_bank = false;
    std::optional<uint32_t> rate;
    bool sixteen_bit = false;
    bool stereo = false;
    uint64_t skip = 0;
    AudioTypeOptions type;
};

std::string category_name(uint32_t category) {
    const std::vector<std::string> names = split_lines(load_string(S_CATEGORY_NAMES));
    return category < names.size() && category < CATEGORY_COUNT ? names[category]
                                                                : load_string(S_NONE);
}

std::string hex_of(const SynthParameters& parameters) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : parameters)
        out += {digits[b >> 4], digits[b & 15]};
    return out;
}

Instrument open_instrument(const InstrumentOptions& options) {
    if (options.from_bank) return instrument_bank().load(utf8_to_windows1252(options.file));
    return load_instrument_file(options.file);
}

void print_info(const Instrument& instrument, bool json) {
    const bool looped = instrument.loops();
    if (json) {
        nlohmann::json object = {
            {"name", shown(instrument.name)},
            {"category", instrument.category},
            {"category_name", category_name(instrument.category)},
            {"kind", instrument.synthesized() ? "synthesized" : "sampled"},
            {"from_bank", instrument.from_bank},
            {"bytes_per_sample", instrument.bytes_per_sample},
            {"length", instrument.length},
            {"rate", instrument.rate},
            {"loop_start",
             looped ? nlohmann::json(instrument.loop_start) : nlohmann::json(nullptr)},
        };
        if (instrument.synthesized())
            object["synth_parameters"] = hex_of(*instrument.synth_parameters);
        print_json(object);
        return;
    }
    std::cout << "name:             " << shown(instrument.name) << "\n"
              << "category:         " << instrument.category << " "
              << category_name(instrument.category) << "\n"
              << "kind:             " << (instrument.synthesized() ? "synthesized" : "sampled")
              << (instrument.from_bank ? " (from the bank)" : "") << "\n";
    if (instrument.synthesized())
        std::cout << "parameters:       " << hex_of(*instrument.synth_parameters) << "\n";
    std::cout << "bytes per sample: " << instrument.bytes_per_sample << "\n"
              << "length:           " << instrument.length << " frames\n"
              << "rate:             " << instrument.rate << " Hz\n"
              << "loop start:       " << (looped ? std::to_string(instrument.loop_start) : "none")
              << "\n";
}

SynthParameters parse_block(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (c != ' ' && c != ':' && c != '-') hex += c;
    if (hex.size() != 22 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw CLI::ValidationError("HEX22", "a parameter block is 22 hex digits");
    SynthParameters parameters;
    for (size_t i = 0; i < parameters.size(); ++i)
        parameters[i] = uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    if (!valid_synth_parameters(parameters))
        throw CLI::ValidationError("HEX22", "not a valid synthesizer parameter block");
    return parameters;
}

Command register_instrument(CLI::App& app, Options& common) {
    auto options = std::make_shared<InstrumentOptions>();
    CLI::App* command =
        app.add_subcommand("instrument", "Inspect, export, import and render instruments");
    command->require_subcommand(1);

    CLI::App* info =
        command->add_subcommand("info", "Show what an instrument file (or bank instrument) holds");
    info->add_option("FILE", options->file,
                     "Instrument file (.sa2, .sa, .sy), or a bank name with --bank")
        ->required();
    info->add_flag("--bank", options->from_bank, "FILE names an instrument of the stock bank");
    info->add_flag("--json", common.json, "Print one JSON object");

    CLI::App* export_wav =
        command->add_subcommand("export", "Write an instrument's samples as a sound file (" +
                                              audio_file_type_names() + ")");
    export_wav->add_option("FILE", options->file, "Instrument file, or a bank name with --bank")
        ->required();
    export_wav
        ->add_option("OUT", options->out, "Sound file to write; its extension chooses the type")
        ->required();
    add_audio_type_options(*export_wav, options->type);
    export_wav->add_flag("--bank", options->from_bank,
                         "FILE names an instrument of the stock bank");

    CLI::App* import = command->add_subcommand(
        "import", "Import a sample file (WAV, FLAC, AIFF, Ogg Vorbis, Opus, "
                  "MP3 or raw data) as an instrument file");
    import->add_option("IN", options->file, "Sample file; anything not recognised is raw data")
        ->required()
        ->check(CLI::ExistingFile);
    import->add_option("OUT", options->out, "Instrument file to write (.sa2)")->required();
    import->add_option("--rate", options->rate, "Raw data: sampling rate in Hz (default 8000)");
    import->add_flag("--16bit", options->sixteen_bit,
                     "Raw data: signed 16-bit samples (default unsigned 8-bit)");
    import->add_flag("--stereo", options->stereo, "Raw data: two channels, the left one is kept");
    import->add_option("--skip", options->skip, "Raw data: header bytes to skip");

    CLI::App* render = command->add_subcommand(
        "render-synth", "Render a synthesizer parameter block as a WAV file");
    render->add_option("HEX22", options->hex, "The 11 parameter bytes as 22 hex digits")
        ->required();
    render->add_option("OUT", options->out, "WAV file to write")->required();

    return {
        command, [=, &common]() {
            if (info->parsed())
                return run_operation([&] { print_info(open_instrument(*options), common.json); });
            if (export_wav->parsed()) {
                if (!options->from_bank && same_file(options->file, options->out))
                    return run_operation(
                        [&] { refuse_output_over_input(options->file, options->out); });
                AudioFileType type = AudioFileType::WAV;
                if (!choose_audio_type(options->out, options->type, type)) return int(USAGE);
                return run_operation([&] {
                    if (!options->from_bank) refuse_output_over_input(options->file, options->out);
                    export_instrument_audio(open_instrument(*options), options->out, type,
                                            options->type.quality / 10);
                });
            }
            if (import->parsed()) {
                return run_operation([&] {
                    refuse_output_over_input(options->file, options->out);
                    // The raw settings come from the options; a WAV file ignores them.
                    auto answer = [&](RawImportSettings& settings) {
                        if (options->rate) settings.rate = *options->rate;
                        settings.sixteen_bit = options->sixteen_bit;
                        settings.stereo = options->stereo;
                        settings.header_size = options->skip;
                        return true;
                    };
                    const std::optional<Instrument> instrument =
                        import_sample_file(options->file, answer);
                    save_instrument_file(options->out, *instrument);
                    std::cout << shown(instrument->name) << ": " << instrument->length
                              << " frames, " << instrument->bytes_per_sample * 8 << "-bit, "
                              << instrument->rate << " Hz, loop "
                              << (instrument->loops()
                                      ? "from " + std::to_string(instrument->loop_start)
                                      : "none")
                              << "\n";
                });
            }
            SynthParameters parameters;
            try {
                parameters = parse_block(options->hex);
            } catch (const CLI::ValidationError& error) {
                std::cerr << error.what() << std::endl;
                return int(USAGE);
            }
            return run_operation([&] {
                const Instrument instrument =
                    make_synthesized_instrument("Synth", NO_CATEGORY, parameters, false);
                export_instrument_to_wav(instrument, options->out);
                std::cout << instrument.length << " frames at " << instrument.rate << " Hz, loop "
                          << (instrument.loops() ? "from " + std::to_string(instrument.loop_start)
                                                 : "none")
                          << "\n";
            });
        }};
}

const CommandRegistration registration("instrument", register_instrument);

} // namespace

} // namespace tunemill::cli
