// The tracker module formats, one description each: how a file of the format is recognised and
// read, how a built module is written in it, and what each type written of it holds. Every
// place that offers a file to the readers or picks a writer goes through module_formats().
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tunemill {

class File;
class ModuleReader;
struct ExportedModule;

// The types a song is exported as.
enum class ModuleFormat { S3M, MOD, MOD6, MOD8 };

// What one written type holds.
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
    const char* tag;             // MOD signature
    size_t title_length;         // characters of the title kept
    int lowest_key, highest_key; // keys a note period can reach
    bool periods_by_rate;        // a period depends on the sample's rate (else it is fixed)
};

// One written type of a format: S3M, or MOD with 4, 6 or 8 channels.
struct ModuleVariant {
    ModuleFormat format;
    const char* name; // "s3m", "mod", "mod6", "mod8": tmw-cli's --format
    ModuleFormatParameters limits;
};

// One module format.
struct ModuleFormatInfo {
    const char* name;      // "mod", "s3m": what tmw-cli info reports
    const char* extension; // "mod", "s3m"; a file name ending so is written as variants[0]
    // A cheap look at the file's first bytes (fewer when the file is shorter) and its size;
    // never throws. A yes is confirmed by recognise().
    bool (*probe_head)(std::span<const uint8_t> head, uint64_t file_size);
    // Offers the open file to the format's readers; returns the one that recognises it (not
    // yet read), or nullptr.
    std::unique_ptr<ModuleReader> (*recognise)(File& file);
    // The file bytes of a built module of one of the variants.
    std::vector<uint8_t> (*encode)(const ExportedModule& module);
    std::span<const ModuleVariant> variants;
};

// The formats in the order a file is offered to them: MOD (tagged, then 15-sample), S3M.
std::span<const ModuleFormatInfo> module_formats();
// Every written type, in the order of ModuleFormat.
std::span<const ModuleVariant> module_variants();

const ModuleFormatInfo& module_format_info(ModuleFormat format);
ModuleFormatParameters module_format_parameters(ModuleFormat format);

// The type of a file name's extension when none is asked for: ".s3m" S3M, ".mod" MOD (any
// case). Returns false for other extensions.
bool module_format_of(const std::filesystem::path& path, ModuleFormat& format);
// "s3m", "mod", "mod6", "mod8".
bool module_format_named(const std::string& name, ModuleFormat& format);

// The file bytes of a built module, in its format.
std::vector<uint8_t> encode_module(const ExportedModule& module);

} // namespace tunemill
