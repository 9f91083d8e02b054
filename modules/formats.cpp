// The list of module formats and the look-ups over it.
#include "modules/formats.h"

#include "modules/exported_module.h"
#include "modules/mod.h"
#include "modules/s3m.h"

#include <algorithm>

namespace tunemill {

namespace {

constexpr ModuleFormatParameters MOD_LIMITS = {
    .channels = 4,
    .max_samples = 31,
    .max_sample_bytes = 65534,
    .lowest_rate = 8363,
    .highest_rate = 8363,
    .signed_samples = true,
    .max_orders = 128,
    .max_patterns = 64,
    .largest_slide = 255,
    .volume_column = false,
    .tempo_in_header = false,
    .tag = "M.K.",
    .title_length = 19,
    // ProTracker's three octaves: periods 856 to 113.
    .lowest_key = 24,
    .highest_key = 59,
    .periods_by_rate = false,
};

constexpr ModuleFormatParameters with_channels(int channels, int max_patterns, const char* tag) {
    ModuleFormatParameters limits = MOD_LIMITS;
    limits.channels = channels;
    limits.max_patterns = max_patterns;
    limits.tag = tag;
    return limits;
}

constexpr ModuleFormatParameters S3M_LIMITS = {
    .channels = 16,
    .max_samples = 99,
    .max_sample_bytes = 64000,
    .lowest_rate = 8000,
    .highest_rate = 65535,
    .signed_samples = false,
    .max_orders = 255,
    .max_patterns = 100,
    .largest_slide = 223,
    .volume_column = true,
    .tempo_in_header = true,
    .tag = "SCRM",
    .title_length = 27,
    .lowest_key = 0,
    .highest_key = 83,
    .periods_by_rate = true,
};

// In the order of ModuleFormat; each format's variants are a run of it.
constexpr ModuleVariant VARIANTS[] = {
    {ModuleFormat::S3M, "s3m", S3M_LIMITS},
    {ModuleFormat::MOD, "mod", MOD_LIMITS},
    {ModuleFormat::MOD6, "mod6", with_channels(6, 128, "6CHN")},
    {ModuleFormat::MOD8, "mod8", with_channels(8, 128, "8CHN")},
};

constexpr bool variants_in_order() {
    for (size_t i = 0; i < std::size(VARIANTS); ++i)
        if (size_t(VARIANTS[i].format) != i) return false;
    return true;
}
static_assert(variants_in_order(), "VARIANTS is indexed by ModuleFormat");

// MOD's probes are the stronger ones (a tag at offset 1080, or sizes that must add up), so MOD
// comes first.
const ModuleFormatInfo FORMATS[] = {
    {"mod", "mod", probe_mod_head, recognise_mod, encode_mod,
     std::span<const ModuleVariant>(VARIANTS).subspan(1, 3)},
    {"s3m", "s3m", probe_s3m_head, recognise_s3m, encode_s3m,
     std::span<const ModuleVariant>(VARIANTS).subspan(0, 1)},
};

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

} // namespace

std::span<const ModuleFormatInfo> module_formats() {
    return FORMATS;
}

std::span<const ModuleVariant> module_variants() {
    return VARIANTS;
}

const ModuleFormatInfo& module_format_info(ModuleFormat format) {
    for (const ModuleFormatInfo& info : FORMATS)
        for (const ModuleVariant& variant : info.variants)
            if (variant.format == format) return info;
    return FORMATS[0]; // every ModuleFormat is some format's variant
}

ModuleFormatParameters module_format_parameters(ModuleFormat format) {
    return VARIANTS[size_t(format)].limits;
}

bool module_format_of(const std::filesystem::path& path, ModuleFormat& format) {
    const std::string extension = lower(path.extension().string());
    for (const ModuleFormatInfo& info : FORMATS)
        if (extension == std::string(".") + info.extension) {
            format = info.variants.front().format;
            return true;
        }
    return false;
}

bool module_format_named(const std::string& name, ModuleFormat& format) {
    for (const ModuleVariant& variant : VARIANTS)
        if (name == variant.name) {
            format = variant.format;
            return true;
        }
    return false;
}

std::vector<uint8_t> encode_module(const ExportedModule& module) {
    return module_format_info(module.format).encode(module);
}

} // namespace tunemill
