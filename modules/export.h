// Writing a song as a tracker module: S3M (16 channels) or MOD with 4, 6 or 8 channels. One song
// tick becomes one module row at speed 3; voices are cut into monophonic tracks that are merged
// into the channels; volumes, balances, slides and tempo become effects.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "song/song.h"

namespace tunemill {

class File;

enum class ModuleFormat { S3M, MOD, MOD6, MOD8 };

// The format of a file name's extension when none is asked for: ".s3m" S3M, ".mod" MOD.
// Returns false for other extensions.
bool module_format_of(const std::filesystem::path& path, ModuleFormat& format);
// "s3m", "mod", "mod6", "mod8".
bool module_format_named(const std::string& name, ModuleFormat& format);

struct ModuleFormatParameters {
    int channels;
    int max_samples;
    uint32_t max_sample_bytes;
    uint32_t lowest_rate, highest_rate;
    bool signed_samples;
    int max_orders;
    int max_patterns;
    int largest_slide;
    bool volume_column;
    bool tempo_in_header;
    const char* tag; // MOD signature
};
ModuleFormatParameters module_format_parameters(ModuleFormat format);

// Track effect kinds.
enum ExportEffect : uint8_t {
    FX_NONE = 0,
    FX_SET_VOLUME = 1,
    FX_SET_BALANCE = 2,
    FX_PITCH_SLIDE = 3,
    FX_TONE_PORTAMENTO = 4,
    FX_NOTE_CUT = 5,
    FX_SPEED = 6,
    FX_SET_TEMPO = 7,
    FX_PATTERN_BREAK = 8,
    FX_POSITION_JUMP = 9,
};

constexpr uint8_t EXPORT_SILENT = 0xFF;

// One cell of an exported pattern, before the format's encoding.
struct ExportCell {
    uint8_t key = EXPORT_SILENT;    // 0..83; written only where a note starts or a slide aims
    uint8_t sample = EXPORT_SILENT; // index into the samples
    uint8_t volume = EXPORT_SILENT; // song volume 0..30, or none
    uint8_t balance = 15;
    bool note_start = false;
    uint8_t effect = FX_NONE;
    uint8_t parameter = 0; // balance, tempo (BPM) or jump target
    int16_t speed = 0;     // pitch slide (positive: down) or tone portamento speed

    bool operator==(const ExportCell&) const = default;
};

struct ExportSample {
    uint32_t instrument = 0; // index in the song
    std::string name;
    uint32_t length = 0; // frames
    uint32_t loop_start = NO_LOOP;
    uint32_t rate = 8363;
    int default_volume = 30;   // song volume
    std::vector<uint8_t> data; // 8-bit, signed or unsigned as the format stores it
};

// What the module cannot hold as the song has it: told to the user once after the export.
enum class ExportWarningKind {
    INSTRUMENT_DROPPED, // more instruments than samples: subject, count = its notes
    SAMPLE_SHORTENED,   // stored at a lower rate than it plays at, or cut: subject
    LOOP_DROPPED,       // subject
    VOICES_MERGED,      // more notes at once than channels: subject = pattern, count = merges
    KEYS_OUT_OF_RANGE,  // MOD: notes outside ProTracker's three octaves: count
    BALANCE_LOST,       // balance changes that fall between note starts: count
    SEQUENCE_CUT,       // sequence entries beyond the module's orders or patterns: count
};
struct ExportWarning {
    ExportWarningKind kind;
    std::string subject; // instrument or pattern name, file bytes (Windows-1252)
    uint32_t count = 0;

    bool operator==(const ExportWarning&) const = default;
};
// The warning as the user reads it, in the current language (UTF-8).
std::string export_warning_text(const ExportWarning& warning);
// A fixed name for scripts: "instrument_dropped", "sample_shortened", ...
const char* export_warning_name(ExportWarningKind kind);

// The whole module before it is encoded.
struct ExportedModule {
    ModuleFormat format = ModuleFormat::S3M;
    std::string title;
    std::string description;
    std::vector<ExportSample> samples;
    std::vector<uint8_t> orders;                   // module pattern per order
    std::vector<std::vector<ExportCell>> patterns; // 64 rows x channels each
    int channels = 0;
    int initial_tempo = 60;              // BPM (S3M header)
    std::vector<ExportWarning> warnings; // in the order they were found
};

// Song volume 0..30 as a module volume 0..64: 30 gives 64, 15 gives 15, 1 gives 4, 0 gives 0.
int module_volume(int volume);
// The BPM at speed 3 at which a row lasts one tick of the tempo value: 60 by default.
int module_tempo(int tempo_value, int overall_tempo);
// The MOD period of a key: 428 for key 36.
uint16_t module_period(int key);
// The description wrapped into lines of at most width characters.
std::vector<std::string> description_lines(const std::string& description, size_t width);

// Builds the module from the song (which is normalized and validated on a copy first): an
// invalid song throws MISC_ERROR(S_INTERNAL_ERROR).
ExportedModule build_module(const Song& song, ModuleFormat format);

// The file bytes of a built module.
std::vector<uint8_t> encode_mod(const ExportedModule& module);
std::vector<uint8_t> encode_s3m(const ExportedModule& module);

// Writes the song into the open file (created by the caller, who closes it). Returns what was
// dropped or changed on the way.
std::vector<ExportWarning> export_module(const Song& song, File& file, ModuleFormat format);
// Writes the song into a new file at path, replacing it only when everything was written.
// Returns what was dropped or changed on the way.
std::vector<ExportWarning> export_module_file(const Song& song, const std::filesystem::path& path,
                                              ModuleFormat format);

} // namespace tunemill
