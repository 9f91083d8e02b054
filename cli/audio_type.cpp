// The export type choice of tmw-cli.
#include "cli/audio_type.h"

#include <iostream>
#include <vector>

namespace tunemill::cli {

void add_audio_type_options(CLI::App& command, AudioTypeOptions& options) {
    std::vector<std::string> names;
    for (const AudioFileTypeInfo& info : audio_file_types())
        names.emplace_back(info.name);
    command
        .add_option("--format", options.format,
                    audio_file_type_names() + " (default: by OUT's extension)")
        ->check(CLI::IsMember(names, CLI::ignore_case));
    command
        .add_option("--quality", options.quality,
                    "Quality 0..10 of Ogg Vorbis, MP3 and Opus (5: about 160 kbit/s of Vorbis)")
        ->check(CLI::Range(0.0, 10.0))
        ->capture_default_str();
}

bool choose_audio_type(const std::string& out, const AudioTypeOptions& options,
                       AudioFileType& type) {
    if (!options.format.empty() ? audio_file_type_named(options.format, type)
                                : audio_file_type_of(out, type))
        return true;
    std::cerr << out << ": unknown sound file type; known types: " << audio_file_type_names()
              << " (or name one with --format)" << std::endl;
    return false;
}

} // namespace tunemill::cli
