// tmw-cli play IN: plays any song or module through the sound device with the playback engine,
// the playback thread and the playback settings of the user's store (options override them),
// shows the playing pattern, tick and time on one updating line, and stops cleanly at the end
// or on Ctrl-C.
#include "cli/cli.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "loading/song_loader.h"
#include "platform/audio_device.h"
#include "playback/output_thread.h"
#include "playback/playback_settings.h"
#include "settings/settings.h"

namespace tunemill::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void on_interrupt(int) {
    interrupted = 1;
}

struct PlayOptions {
    std::string file;
    std::optional<int64_t> device;
    std::optional<uint32_t> rate;
    bool mono = false;
    bool eight_bit = false;
    bool no_interpolate = false;
    std::optional<uint32_t> amplification;
    std::optional<uint32_t> buffer_len;
    std::optional<uint32_t> buffers;
    bool repeat = false;
    bool null_device = false;
    bool quiet = false;
};

// Keeps the last position the thread posted.
class PositionLine : public PositionReceiver {
  public:
    void playback_position(uint32_t pattern_word, int32_t tick) override {
        pattern_word_.store(pattern_word);
        tick_.store(tick);
        if (pattern_word & REPORT_LAST) ended_.store(true);
    }
    uint32_t pattern_word() const { return pattern_word_.load(); }
    int32_t tick() const { return tick_.load(); }
    bool ended() const { return ended_.load(); }

  private:
    std::atomic<uint32_t> pattern_word_{0};
    std::atomic<int32_t> tick_{-1};
    std::atomic<bool> ended_{false};
};

std::string time_text(uint64_t frames, uint32_t rate) {
    const uint64_t hundredths = frames * 100 / std::max(1u, rate);
    return format_message(load_string(S_TIME),
                          {std::to_string(hundredths / 6000), std::to_string(hundredths / 100 % 60),
                           std::to_string(hundredths % 100)});
}

PlaybackConfig config_from(const PlaybackSettings& stored, const PlayOptions& options) {
    PlaybackConfig config = playback_config(stored);
    if (options.device)
        config.device = *options.device < 0 ? DEFAULT_OUTPUT_DEVICE : uint32_t(*options.device);
    if (options.rate) config.rate = *options.rate;
    if (options.mono) config.stereo = false;
    if (options.eight_bit) config.sixteen_bit = false;
    if (options.no_interpolate) config.interpolate = false;
    if (options.amplification) config.amplification = *options.amplification;
    if (options.buffer_len) config.buffer_len = *options.buffer_len;
    if (options.buffers) config.buffers = *options.buffers;
    return config;
}

int play(const PlayOptions& options, const Options& common) {
    read_settings();
    Song song;
    std::string format;
    int result = run_operation([&]() {
        if (!song.lock.try_lock_for(song.lock.timeout())) throw MISC_ERROR(S_INTERNAL_ERROR);
        try {
            format = load_song(song, options.file, "Untitled");
        } catch (...) {
            song.lock.unlock();
            throw;
        }
        song.lock.unlock();
    });
    if (result != SUCCESS) return result;

    NullAudioSystem null_system;
    AudioSystem& system =
        options.null_device ? static_cast<AudioSystem&>(null_system) : portaudio_system();
    PlaybackEngine engine(song);
    engine.set_repeat(options.repeat || settings().repeat != 0);
    OutputThread output(engine, system);
    output.set_reporter(print_error);
    PositionLine line;
    output.register_receiver(&line);

    struct sigaction action {};
    action.sa_handler = &on_interrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    sigaction(SIGTERM, &action, nullptr);

    const bool terminal = ::isatty(STDERR_FILENO) && !options.quiet && !common.json;
    bool played = false;
    PlaybackConfig effective;
    const auto start = std::chrono::steady_clock::now();
    result = run_operation([&]() {
        output.configure(config_from(settings().playback, options));
        effective = output.effective();
        played = output.play_song(0);
    });
    if (result == SUCCESS && played) {
        std::string shown_line;
        while (output.is_running() && !interrupted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!terminal) continue;
            const uint32_t word = line.pattern_word();
            const uint32_t pattern = word & ~(REPORT_LAST | REPORT_RECORDING);
            std::string text = load_string(S_PATTERN) + " " + std::to_string(pattern);
            if (pattern < song.patterns.size())
                text += " \"" + shown(song.patterns[pattern].name) + "\"";
            text += "  Tick " + std::to_string(std::max(0, line.tick()));
            text += "  " + time_text(output.play_position(), effective.rate);
            if (text.size() < shown_line.size()) text.append(shown_line.size() - text.size(), ' ');
            std::cerr << '\r' << text << std::flush;
            shown_line = text;
        }
        if (terminal) std::cerr << '\n';
        output.stop(StopMode::NOW);
    }
    sigaction(SIGINT, &previous, nullptr);
    if (result != SUCCESS) return result;

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t frames = output.play_position();
    const double cpu = seconds > 0 ? double(output.thread_cpu_ns()) / 1e9 / seconds * 100.0 : 0.0;
    if (common.json) {
        print_json(
            {{"file", options.file},
             {"format", format},
             {"played", played},
             {"interrupted", interrupted != 0},
             {"device", effective.device == DEFAULT_OUTPUT_DEVICE ? -1 : int64_t(effective.device)},
             {"rate", effective.rate},
             {"stereo", effective.stereo},
             {"sixteen_bit", effective.sixteen_bit},
             {"block_frames", output.block_frames()},
             {"frames", frames},
             {"seconds", seconds},
             {"most_queued", output.most_queued()},
             {"thread_cpu_percent", cpu}});
    } else if (!options.quiet) {
        std::cout << options.file << " (" << format << "): " << time_text(frames, effective.rate)
                  << (interrupted ? ", interrupted" : "") << "\n";
    }
    return SUCCESS;
}

Command register_play(CLI::App& app, Options& common) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* command =
        app.add_subcommand("play", "Play a song or module through the sound device");
    command->add_option("IN", options->file, "Song or module file")->required();
    command->add_option("--device", options->device,
                        "Output device id of `tmw-cli devices` (-1: the default device)");
    command->add_option("--rate", options->rate, "Sampling rate")
        ->check(CLI::IsMember({11025, 16000, 22050, 32000, 44100, 48000}));
    command->add_flag("--mono", options->mono, "One channel");
    command->add_flag("--8bit", options->eight_bit, "8-bit samples");
    command->add_flag("--no-interpolate", options->no_interpolate,
                      "Pick samples without interpolation");
    command->add_option("--amplification", options->amplification, "Amplification 0..90")
        ->check(CLI::Range(0, 90));
    command->add_option("--buffer-len", options->buffer_len, "Length of one output block in ms")
        ->check(CLI::Range(10, 100));
    command->add_option("--buffers", options->buffers, "Blocks queued ahead in low-latency use")
        ->check(CLI::Range(1, 10));
    command->add_flag("--repeat", options->repeat, "Play the song again from its repeat position");
    command->add_flag("--null", options->null_device, "Play on a silent device paced by the clock");
    command->add_flag("--quiet", options->quiet, "Show no position line");
    command->add_flag("--json", common.json, "Print one JSON object");
    return {command, [options, &common]() { return play(*options, common); }};
}

const CommandRegistration registration("play", register_play);

} // namespace

} // namespace tunemill::cli
