// A song as a tracker module before any format encodes it: samples, order list and patterns of
// format-neutral cells, and what the song lost on the way. The export builds it; each format's
// writer (mod.h, s3m.h) turns it into file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instruments/instrument.h"
#include "modules/formats.h"

namespace tunemill {

// What a cell's effect column does.
enum class ExportEffect : uint8_t {
    NONE,
    SET_VOLUME,
    SET_BALANCE,
    PITCH_SLIDE,
    TONE_PORTAMENTO,
    NOTE_CUT,
    SPEED,
    SET_TEMPO,
    PATTERN_BREAK,
    POSITION_JUMP,
};

constexpr uint8_t EXPORT_SILENT = 0xFF;

// One cell of an exported pattern, before the format's encoding.
struct ExportCell {
    uint8_t key = EXPORT_SILENT;    // 0..83; written only where a note starts or a slide aims
    uint8_t sample = EXPORT_SILENT; // index into the samples
    uint8_t volume = EXPORT_SILENT; // song volume 0..30, or none
    uint8_t balance = 15;
    bool note_start = false;
    ExportEffect effect = ExportEffect::NONE;
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

} // namespace tunemill
