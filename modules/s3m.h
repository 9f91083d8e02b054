// ScreamTracker 3 S3M files: header, instrument and pattern parapointers, packed patterns,
// channel groups (every channel setting L1..R8 that is in use becomes one output channel).
#pragma once

#include "modules/binary.h"
#include "modules/exported_module.h"
#include "modules/module.h"

#include <array>
#include <memory>
#include <span>

namespace tunemill {

#pragma pack(push, 1)
struct S3mHeader {
    char title[28];
    uint8_t end_of_file; // 0x1A
    uint8_t type;        // 16
    uint8_t reserved1[2];
    le16 order_count;
    le16 instrument_count;
    le16 pattern_count;
    le16 flags;
    le16 tracker_version;
    le16 sample_format; // 1 signed, 2 unsigned
    char magic[4];      // "SCRM"
    uint8_t global_volume;
    uint8_t initial_speed;
    uint8_t initial_tempo;
    uint8_t master_volume;
    uint8_t ultra_click;
    uint8_t pan_flag; // 252: the pan table after the parapointers is valid
    uint8_t reserved2[8];
    le16 special;
    uint8_t channel_settings[32];
};
static_assert(sizeof(S3mHeader) == 96);

struct S3mInstrument {
    uint8_t type; // 0 empty, 1 sample, 2 and above AdLib
    char file_name[12];
    uint8_t data_high;
    le16 data_low; // with data_high: the data offset in 16-byte units
    le32 length;   // frames
    le32 loop_begin;
    le32 loop_end;
    uint8_t volume;
    uint8_t reserved;
    uint8_t packing; // 0: plain
    uint8_t flags;   // bit 0 loop, bit 1 stereo, bit 2 16-bit
    le32 c2_speed;
    uint8_t internal[12];
    char name[28];
    char magic[4]; // "SCRS"
};
static_assert(sizeof(S3mInstrument) == 80);
#pragma pack(pop)

// The pan of each channel setting 0 to 15 (L1..L8, R1..R8), 0 left to 128 right.
extern const uint8_t S3M_SETTING_PAN[16];

class S3mReader : public ModuleReader {
  public:
    const char* format() const override { return "S3M"; }
    std::string tag() const override { return "SCRM"; }
    bool probe(File& file) noexcept override;
    void read(File& file) override;
    void start() override;
    ModuleCell cell(int pattern, int row, int channel) override;
    InitialState initial_state() const override;
    uint32_t pitch(uint32_t period, uint16_t sample) const override;

    // Whether a header (at least its 96 bytes) passes the checks of the counts and kinds; never
    // throws. The instrument types are checked by probe() only.
    static bool header_fits(std::span<const uint8_t> head, uint64_t file_size);

    // The source channels of each output channel, in channel order.
    const std::vector<std::vector<int>>& channel_groups() const { return groups_; }

    // Period of an S3M note (octave in the high nibble) for a sample played at rate Hz.
    static uint16_t note_period(uint8_t note, uint32_t rate);
    // Unpacks one pattern's packed rows into 64 rows x 32 channels x 5 bytes (note, instrument,
    // volume, command, info). A cell cut off by the end of the data is dropped.
    static void unpack_pattern(const uint8_t* packed, size_t size, uint8_t* cells);

  private:
    struct RawCell {
        uint8_t note, instrument, volume, command, info;
    };
    RawCell raw(int pattern, int row, int channel) const;
    RawCell merged_cell(int pattern, int row, int channel) const;
    static void decode_command(uint8_t command, uint8_t info, ModuleCell& cell);

    void read_tables(File& file);
    void read_slots(File& file);
    static void decode_slot(const S3mInstrument& instrument, SampleSlot& slot);
    void make_groups();
    void read_patterns(File& file);

    S3mHeader header_{};
    std::vector<uint16_t> instrument_pointers_;
    std::vector<uint16_t> pattern_pointers_;
    std::array<uint8_t, 32> pan_bytes_{};
    bool pan_table_ = false;
    int instrument_count_ = 0;
    std::vector<std::vector<int>> groups_;
    std::vector<uint8_t> cells_; // pattern_count * 64 * 32 * 5
    std::array<uint32_t, MODULE_MAX_CHANNELS> channel_rate_{};
    std::array<uint8_t, MODULE_MAX_CHANNELS> last_info_{};
};

// The S3M entry of module_formats(): the head probe, the reader, and the 16-channel writer.
bool probe_s3m_head(std::span<const uint8_t> head, uint64_t file_size);
std::unique_ptr<ModuleReader> recognise_s3m(File& file);
std::vector<uint8_t> encode_s3m(const ExportedModule& module);

} // namespace tunemill
