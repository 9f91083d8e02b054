// tmw-cli render IN OUT: renders any song or module that the composer loads into a WAV, FLAC,
// Ogg Vorbis, MP3 or Opus file (by OUT's extension or --format), as the composer's audio export
// does. Ctrl-C cancels and leaves no file behind.
#include "cli/audio_type.h"
#include "cli/cli.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "foundation/path_checks.h"
#include "loading/song_loader.h"
#include "playback/audio_export.h"

namespace tunemill::cli {

namespace {

struct RenderOptions {
    std::string in;
    std::string out;
    uint64_t rate = 44100;
    bool mono = false;
    bool eight_bit = false;
    bool no_interpolate = false;
    uint32_t amplification = 25;
    AudioTypeOptions type;
    uint32_t threads = 0; // mixing threads; 0: one per core
};

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) {
    interrupted = 1;
}

// A bar of 40 cells on stderr, redrawn in place; only when stderr is a terminal.
void draw_progress(uint32_t current, uint32_t maximum) {
    constexpr uint32_t CELLS = 40;
    const uint32_t filled = maximum ? uint32_t(uint64_t(current) * CELLS / maximum) : CELLS;
    std::string bar(CELLS, ' ');
    for (uint32_t i = 0; i < filled && i < CELLS; ++i)
        bar[i] = '#';
    std::cerr << "\r[" << bar << "] " << (maximum ? uint64_t(current) * 100 / maximum : 100) << "%"
              << std::flush;
}

Command register_render(CLI::App& app, Options& common) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* command = app.add_subcommand("render", "Render a song or module into a sound file (" +
                                                         audio_file_type_names() + ")");
    command->add_option("IN", options->in, "Song or module file")->required();
    command->add_option("OUT", options->out, "Sound file to write; its extension chooses the type")
        ->required();
    add_audio_type_options(*command, options->type);
    command
        ->add_option("--rate", options->rate,
                     "Sampling rate in Hz (limited to 4000..65535; MP3 and Opus take the next "
                     "rate their encoder knows)")
        ->capture_default_str();
    command->add_flag("--mono", options->mono, "One channel instead of two");
    command->add_flag("--8bit", options->eight_bit, "8-bit samples instead of 16-bit");
    command->add_flag("--no-interpolate", options->no_interpolate, "Mix without interpolation");
    command->add_option("--amplification", options->amplification, "Amplification 0..90")
        ->check(CLI::Range(0u, 90u))
        ->capture_default_str();
    command
        ->add_option("--threads", options->threads,
                     "Mixing threads, 1..64 (default: one per core); the output is the same "
                     "for any number")
        ->check(CLI::Range(1u, 64u));
    command->add_flag("--json", common.json, "Print one JSON object");
    return {
        command, [options, &common]() {
            // Writing over the input is refused before anything else, whatever its name says.
            if (same_file(options->in, options->out))
                return run_operation([&] { refuse_output_over_input(options->in, options->out); });
            AudioExportSettings audio;
            if (!choose_audio_type(options->out, options->type, audio.type)) return int(USAGE);
            audio.vorbis_quality = options->type.quality / 10;
            WavExportSettings& settings = audio.render;
            settings.rate = limit_export_rate(options->rate);
            settings.stereo = !options->mono;
            settings.sixteen_bit = !options->eight_bit;
            settings.interpolate = !options->no_interpolate;
            settings.amplification = options->amplification;
            settings.threads = options->threads;

            const bool show_progress = ::isatty(STDERR_FILENO);
            struct sigaction action {
            }, previous{};
            action.sa_handler = on_interrupt;
            sigemptyset(&action.sa_mask);
            sigaction(SIGINT, &action, &previous);

            bool completed = false;
            std::string format;
            uint64_t frames = 0;
            const int result = run_operation([&]() {
                refuse_output_over_input(options->in, options->out);
                Song song = read_any_song(options->in, stock_bank_lookup(), &format);
                completed = export_song_audio(
                    song, options->out, audio,
                    [&](uint32_t current, uint32_t maximum) {
                        if (show_progress) draw_progress(current, maximum);
                        return interrupted == 0;
                    },
                    &frames);
                if (show_progress) std::cerr << "\n";
            });
            sigaction(SIGINT, &previous, nullptr);
            if (result != SUCCESS) return result;
            // Cancelled by Ctrl-C: the export left no file; the shell's convention for an
            // interrupted program.
            if (!completed) return 128 + SIGINT;
            const bool lossy = audio_file_type_info(audio.type).lossy;
            settings.rate = export_rate(audio);
            const std::string type = audio_file_extension(audio.type);
            if (common.json) {
                nlohmann::json object = {
                    {"input", options->in},   {"format", format},
                    {"output", options->out}, {"type", type},
                    {"rate", settings.rate},  {"channels", settings.stereo ? 2 : 1},
                    {"frames", frames},       {"length_ms", frames * 1000 / settings.rate}};
                object["bits"] =
                    lossy ? nlohmann::json(nullptr) : nlohmann::json(settings.sixteen_bit ? 16 : 8);
                if (lossy) object["quality"] = options->type.quality;
                print_json(object);
            } else {
                std::cout << options->out << ": " << type << ", " << frames << " frames, "
                          << settings.rate << " Hz, " << (settings.stereo ? "stereo" : "mono");
                if (lossy)
                    std::cout << ", quality " << options->type.quality << "\n";
                else
                    std::cout << ", " << (settings.sixteen_bit ? 16 : 8) << "-bit\n";
            }
            return int(SUCCESS);
        }};
}

const CommandRegistration registration("render", register_render);

} // namespace

} // namespace tunemill::cli
