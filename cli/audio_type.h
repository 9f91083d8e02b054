// The sound-file type of an export, shared by render and instrument export: --format names it,
// else OUT's extension; an unknown extension is a usage error, so nothing is written under a
// name that lies about what the file holds.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "playback/audio_file_types.h"

namespace tunemill::cli {

struct AudioTypeOptions {
    std::string format; // a type's name; empty: by OUT's extension
    double quality = 5; // lossy types, 0..10
};

// Adds --format and --quality to the command.
void add_audio_type_options(CLI::App& command, AudioTypeOptions& options);

// The type --format or OUT's extension chooses. False, after one line on stderr naming the
// known types, when neither does.
bool choose_audio_type(const std::string& out, const AudioTypeOptions& options,
                       AudioFileType& type);

} // namespace tunemill::cli
