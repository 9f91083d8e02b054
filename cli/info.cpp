// tmw-cli info [--json] FILE: what a song file (or any file the composer loads) holds: the global
// values, the sequence, the song's length, every pattern with its voices and every instrument.
// For a sample file (WAV, FLAC, AIFF, Ogg Vorbis, Opus) what it holds and the instrument it
// becomes.
#include "cli/cli.h"

#include <optional>

#include <iostream>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "instruments/sample_import.h"
#include "loading/song_loader.h"
#include "modules/import.h"
#include "song/timing.h"

namespace tunemill::cli {

namespace {

struct InfoOptions {
    std::string file;
};

nlohmann::json loop_of(const Instrument& instrument) {
    return instrument.loops() ? nlohmann::json(instrument.loop_start) : nlohmann::json(nullptr);
}

nlohmann::json song_json(const Song& song, const std::string& format) {
    nlohmann::json patterns = nlohmann::json::array();
    for (const Pattern& pattern : song.patterns) {
        nlohmann::json voices = nlohmann::json::array();
        for (const Voice& voice : pattern.voices)
            voices.push_back({{"instrument", voice.instrument}, {"events", voice.events.size()}});
        patterns.push_back({{"name", shown(pattern.name)},
                            {"length", pattern.length},
                            {"tempo_points", pattern.tempo_points.size()},
                            {"voices", voices}});
    }
    nlohmann::json instruments = nlohmann::json::array();
    for (const Instrument& instrument : song.instruments)
        instruments.push_back({{"name", shown(instrument.name)},
                               {"category", instrument.category},
                               {"from_bank", instrument.from_bank},
                               {"synthesized", instrument.synthesized()},
                               {"bytes_per_sample", instrument.bytes_per_sample},
                               {"length", instrument.length},
                               {"rate", instrument.rate},
                               {"loop_start", loop_of(instrument)}});
    return {{"format", format},
            {"description", shown(song.description)},
            {"ticks_per_beat", song.ticks_per_beat},
            {"beats_per_measure", song.beats_per_measure},
            {"overall_tempo", song.overall_tempo},
            {"repeat_position", song.repeat_position},
            {"sequence", song.sequence},
            {"length_ms", song_length(song)},
            {"patterns", patterns},
            {"instruments", instruments}};
}

// The description's lines, indented under their heading.
std::string indented(const std::string& text) {
    std::string out;
    for (char c : shown(text)) {
        if (c == '\r') continue;
        out += c;
        if (c == '\n') out += "    ";
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n'))
        out.pop_back();
    return out;
}

void print_song(const Song& song, const std::string& format) {
    const MinutesSeconds shown_length = song_length_display(song);
    std::cout << "format:            " << format << "\n"
              << "description:       " << indented(song.description) << "\n"
              << "ticks per beat:    " << song.ticks_per_beat << "\n"
              << "beats per measure: " << song.beats_per_measure << "\n"
              << "overall tempo:     " << song.overall_tempo << " ("
              << overall_tempo_percent(song.overall_tempo) << "%)\n"
              << "repeat position:   " << song.repeat_position << "\n"
              << "sequence:         ";
    for (uint32_t entry : song.sequence)
        std::cout << " " << entry;
    std::cout << "\n"
              << "length:            " << shown_length.minutes << ":"
              << (shown_length.seconds < 10 ? "0" : "") << shown_length.seconds << " ("
              << song_length(song) << " ms)\n"
              << "patterns:          " << song.patterns.size() << "\n";
    for (size_t p = 0; p < song.patterns.size(); ++p) {
        const Pattern& pattern = song.patterns[p];
        std::cout << "  " << p << " \"" << shown(pattern.name) << "\": " << pattern.length
                  << " ticks, " << pattern.tempo_points.size() << " tempo points, "
                  << pattern.voices.size() << " voices\n";
        for (size_t v = 0; v < pattern.voices.size(); ++v)
            std::cout << "      voice " << v << ": instrument " << pattern.voices[v].instrument
                      << ", " << pattern.voices[v].events.size() << " events\n";
    }
    std::cout << "instruments:       " << song.instruments.size() << "\n";
    for (size_t i = 0; i < song.instruments.size(); ++i) {
        const Instrument& instrument = song.instruments[i];
        std::cout << "  " << i << " \"" << shown(instrument.name)
                  << "\": " << (instrument.synthesized() ? "synthesized" : "sampled")
                  << (instrument.from_bank ? ", from the bank" : "") << ", category "
                  << instrument.category << ", " << instrument.bytes_per_sample * 8 << "-bit, "
                  << instrument.length << " frames at " << instrument.rate << " Hz, loop "
                  << (instrument.loops() ? "from " + std::to_string(instrument.loop_start)
                                         : std::string("none"))
                  << "\n";
    }
}

void print_sample(const SampleFile& sample, bool json) {
    const SoundFileFormat& f = sample.format;
    const Instrument& instrument = sample.instrument;
    if (json) {
        print_json({{"format", "sample"},
                    {"container", f.container},
                    {"encoding", f.encoding},
                    {"channels", f.channels},
                    {"rate", f.rate},
                    {"frames", f.frames},
                    {"instrument",
                     {{"name", shown(instrument.name)},
                      {"bytes_per_sample", instrument.bytes_per_sample},
                      {"length", instrument.length},
                      {"rate", instrument.rate},
                      {"loop_start", loop_of(instrument)}}}});
        return;
    }
    std::cout << "format:            sample file (" << f.container << ", " << f.encoding << ")\n"
              << "channels:          " << f.channels << "\n"
              << "rate:              " << f.rate << " Hz\n"
              << "frames:            " << f.frames << "\n"
              << "instrument:        \"" << shown(instrument.name)
              << "\": " << instrument.bytes_per_sample * 8 << "-bit mono, " << instrument.length
              << " frames at " << instrument.rate << " Hz, loop "
              << (instrument.loops() ? "from " + std::to_string(instrument.loop_start)
                                     : std::string("none"))
              << "\n";
}

Command register_info(CLI::App& app, Options& common) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "Show what a song, module or sample file holds");
    command->add_option("FILE", options->file, "Song, module or sample file")->required();
    command->add_flag("--json", common.json, "Print one JSON object");
    return {command, [options, &common]() {
                return run_operation([&]() {
                    // A file named as a sound file is one, or a damaged one: never a song.
                    const bool named_sample = has_sample_file_extension(options->file);
                    if (named_sample || is_sample_file(options->file)) {
                        if (const std::optional<SampleFile> sample =
                                read_sample_file(options->file)) {
                            print_sample(*sample, common.json);
                            return;
                        }
                        if (named_sample) throw MISC_ERROR(S_UNKNOWN_SAMPLE_FILE);
                    }
                    std::string format;
                    const Song song = read_any_song(options->file, stock_bank_lookup(), &format);
                    std::optional<ModuleSummary> module;
                    if (format == "mod" || format == "s3m") module = describe_module(options->file);
                    if (common.json) {
                        nlohmann::json object = song_json(song, format);
                        if (module)
                            object["module"] = {
                                {"format", module->format},     {"tag", shown(module->tag)},
                                {"channels", module->channels}, {"orders", module->orders},
                                {"patterns", module->patterns}, {"title", shown(module->title)}};
                        print_json(object);
                    } else {
                        if (module)
                            std::cout << "module:            " << module->format
                                      << (module->tag.empty() ? std::string()
                                                              : " \"" + shown(module->tag) + "\"")
                                      << ", " << module->channels << " channels, " << module->orders
                                      << " orders, " << module->patterns << " patterns, title \""
                                      << shown(module->title) << "\"\n";
                        print_song(song, format);
                    }
                });
            }};
}

const CommandRegistration registration("info", register_info);

} // namespace

} // namespace tunemill::cli
