// ProTracker MOD files: the 31-sample format with its tags ("M.K.", "M!K!", "FLT4", "FLT8",
// "6CHN", "8CHN", "xxCH" for 10 to 32 channels) and the untagged 15-sample ancestor.
#pragma once

#include "modules/binary.h"
#include "modules/exported_module.h"
#include "modules/module.h"

#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tunemill {

#pragma pack(push, 1)
struct ModSampleHeader {
    char name[22];
    be16 length_words;
    uint8_t finetune; // low nibble
    uint8_t volume;   // 0 to 64
    be16 loop_start_words;
    be16 loop_length_words;
};
static_assert(sizeof(ModSampleHeader) == 30);

struct ModHeader {
    char title[20];
    ModSampleHeader samples[31];
    uint8_t song_length;
    uint8_t restart;
    uint8_t orders[128];
    char tag[4];
};
static_assert(sizeof(ModHeader) == 1084);

struct OldModHeader {
    char title[20];
    ModSampleHeader samples[15];
    uint8_t song_length;
    uint8_t restart;
    uint8_t orders[128];
};
static_assert(sizeof(OldModHeader) == 600);
#pragma pack(pop)

// The sampling rates of the 16 finetune values, times 32768 / 8363.
extern const uint16_t MOD_FINETUNE_FACTORS[16];

// What a MOD tag says: channels and the largest pattern count; channels 0 for an unknown tag.
struct ModTagInfo {
    int channels = 0;
    int max_patterns = 0;
};
ModTagInfo mod_tag_info(const char tag[4]);

// A well-formed MOD of a kind this reader does not take: its tag ("2CHN", "TDZ3", "M&K!", "09CH",
// ...) and the channels the tag stands for.
struct UnsupportedMod {
    int channels = 0;
    std::string tag;
};
// What the first bytes say of a file of at least the tagged header's size whose tag is one of
// those kinds; nothing for a supported tag or any other file. Never throws.
std::optional<UnsupportedMod> unsupported_mod(std::span<const uint8_t> head, uint64_t file_size);

// The reader of both MOD layouts. With old_format it reads only untagged 15-sample files.
class ModReader : public ModuleReader {
  public:
    explicit ModReader(bool old_format) : old_format_(old_format) {}

    const char* format() const override { return "MOD"; }
    std::string tag() const override { return tag_; }
    bool probe(File& file) noexcept override;
    void read(File& file) override;
    ModuleCell cell(int pattern, int row, int channel) override;
    InitialState initial_state() const override;
    uint32_t pitch(uint32_t period, uint16_t sample) const override;

    // What the first bytes say (at least the header's 1084 or 600 of them; never throws): a
    // tagged file's channels and pattern limit (channels 0 when the tag is unknown), or whether
    // an untagged 15-sample file's counts and size add up.
    static ModTagInfo tagged_head(std::span<const uint8_t> head, uint64_t file_size);
    static bool old_head(std::span<const uint8_t> head, uint64_t file_size);

    // Pure decoding of one 4-byte cell (what cell() returns for it).
    static ModuleCell decode_cell(const uint8_t bytes[4]);
    // The slot a sample header describes (name, rate, volume, length and loop; no data offset).
    // A volume above 64 throws LOAD_ERROR 0.
    static SampleSlot decode_sample(const ModSampleHeader& header);

  private:
    bool old_format_;
    bool flt8_ = false;
    int max_patterns_ = 0;
    std::string tag_;
    std::vector<uint8_t> header_;   // 1084 or 600 bytes as read by probe()
    std::vector<uint8_t> patterns_; // pattern_count * 64 rows * channels * 4 bytes
};

// The MOD entry of module_formats(): the head probe (tagged or 15-sample), the readers offered
// the file (tagged, then 15-sample), and the writer of 4-, 6- and 8-channel files.
bool probe_mod_head(std::span<const uint8_t> head, uint64_t file_size);
std::unique_ptr<ModuleReader> recognise_mod(File& file);
std::vector<uint8_t> encode_mod(const ExportedModule& module);

} // namespace tunemill
