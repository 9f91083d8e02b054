// The common form of a tracker module as the MOD and S3M readers deliver it: the order list,
// the sample slots, and a cell decoder that turns every pattern cell into a ModuleCell. The
// conversion into a song plays a module through this interface only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instruments/instrument.h"

namespace tunemill {

class File;

constexpr int MODULE_ROWS = 64; // rows of every pattern of both formats
constexpr int MODULE_SAMPLE_SLOTS = 100;
constexpr int MODULE_MAX_ORDERS = 256;
constexpr int MODULE_MAX_CHANNELS = 32;

constexpr uint16_t NO_PERIOD = 0xFFFF;
constexpr uint16_t NO_SAMPLE = 0xFFFF;
constexpr uint16_t NO_VOLUME = 0xFFFF;

// The commands a cell can carry once decoded; every other effect of the formats is dropped.
enum ModuleCommand : uint8_t {
    CMD_NONE = 0,
    CMD_SET_TEMPO = 1,
    CMD_SET_SPEED = 2,
    CMD_SET_PAN = 3,
    CMD_JUMP = 4,
    CMD_SET_VOLUME = 5,
    CMD_BREAK = 6,
    CMD_FINE_SLIDE_UP = 7, // the period decreases
    CMD_FINE_SLIDE_DOWN = 8,
    CMD_FINE_VOLUME_UP = 9,
    CMD_FINE_VOLUME_DOWN = 10,
    CMD_NOTE_CUT = 11,
    CMD_SLIDE_UP = 12,
    CMD_SLIDE_DOWN = 13,
    CMD_TONE_PORTAMENTO = 14, // towards the cell's period
    CMD_VOLUME_UP = 15,
    CMD_VOLUME_DOWN = 16,
};

struct ModuleCell {
    uint16_t period = NO_PERIOD;
    uint16_t sample = NO_SAMPLE; // slot index from 0
    uint16_t volume = NO_VOLUME; // 0 to 64
    uint8_t command = CMD_NONE;
    uint8_t parameter = 0;

    bool operator==(const ModuleCell&) const = default;
};

struct SampleSlot {
    int16_t instrument = -1; // given by the conversion; -1 while unused
    uint16_t category = NO_CATEGORY;
    std::string name;            // as stored, up to the first zero
    uint32_t rate = 0;           // Hz
    uint16_t default_volume = 0; // 0 to 64
    uint32_t loop_start = NO_LOOP;
    uint64_t data_offset = 0; // file offset of the sample data
    uint32_t length = 0;      // frames
    bool is_signed = false;
    bool is_16bit = false;

    uint64_t data_bytes() const { return uint64_t(length) * (is_16bit ? 2 : 1); }
};

struct ChannelStart {
    int volume = 64; // 0 to 64
    int pan = 64;    // 0 (left) to 128 (right)
};

struct InitialState {
    int tempo = 125; // beats per minute
    int speed = 6;   // ticks per row
    std::vector<ChannelStart> channels;
};

// A module reader: probe() recognises the file by its magic numbers and counts only (cheap,
// never throws); read() then reads the sample headers and patterns. Once a reader has recognised
// a file, damage throws LOAD_ERROR (0 damaged, 1 internal) and a file that ends early throws
// FILE_ERROR(READ, END_OF_FILE).
class ModuleReader {
  public:
    virtual ~ModuleReader() = default;

    // "MOD" or "S3M".
    virtual const char* format() const = 0;
    // The format tag as stored ("M.K.", "FLT8", "12CH", "SCRM"); empty for 15-sample MODs.
    virtual std::string tag() const = 0;

    virtual bool probe(File& file) noexcept = 0;
    virtual void read(File& file) = 0;

    // The cell decoder. Decoders may remember earlier cells of a channel (the S3M info-byte
    // memory), so cells are asked in play order; start() forgets that memory.
    virtual void start() {}
    virtual ModuleCell cell(int pattern, int row, int channel) = 0;
    virtual InitialState initial_state() const = 0;

    // The pitch value of a period played with a sample slot: 44100 for period 428 at 8363 Hz.
    virtual uint32_t pitch(uint32_t period, uint16_t sample) const = 0;

    const std::string& title() const { return title_; }
    // Pattern numbers in play order; the list ends where the vector ends (at most 256).
    const std::vector<int>& orders() const { return orders_; }
    int channel_count() const { return channel_count_; }
    int pattern_count() const { return pattern_count_; }
    int rows(int pattern) const {
        return pattern >= 0 && pattern < pattern_count_ ? MODULE_ROWS : 0;
    }
    std::array<SampleSlot, MODULE_SAMPLE_SLOTS>& slots() { return slots_; }
    const std::array<SampleSlot, MODULE_SAMPLE_SLOTS>& slots() const { return slots_; }

  protected:
    std::string title_;
    std::vector<int> orders_;
    int channel_count_ = 0;
    int pattern_count_ = 0;
    std::array<SampleSlot, MODULE_SAMPLE_SLOTS> slots_{};
};

// Offers the file to the formats of module_formats() in their order (MOD with a tag, old
// 15-sample MOD, S3M). Returns the first reader that recognises the file (not yet read), or
// nullptr.
std::unique_ptr<ModuleReader> recognise_module(File& file);

// Recognises and reads the module; throws MISC_ERROR(S_UNKNOWN_SONG_FILE) when no reader knows
// the file. A file that ends early is reported as LOAD_ERROR 0 ("Damaged song file").
std::unique_ptr<ModuleReader> read_module(File& file);

// The slot's sample data in the encoding of instruments (8-bit unsigned, 16-bit signed
// little-endian), written to dest, which holds slot.data_bytes() bytes.
void read_sample_data(File& file, const SampleSlot& slot, uint8_t* dest);

// Sign conversion in place: signed 8-bit data to unsigned, unsigned 16-bit data to signed.
void convert_sample_sign(const SampleSlot& slot, uint8_t* data, size_t bytes);

} // namespace tunemill
