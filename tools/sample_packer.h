// The encoder of the compressed sample packings (Huffman codes over 0 to 3 delta stages, the
// constant marker), for the stock bank generator and the reader's tests. The program itself
// never compresses: its instrument writer stores samples plainly.
#pragma once

#include <cstdint>
#include <vector>

namespace tunemill::packer {

// Appends bits most significant first.
class BitWriter {
  public:
    void put(uint32_t value, unsigned bits);
    // Pads the last byte with zero bits and returns the bytes.
    std::vector<uint8_t> finish();

  private:
    std::vector<uint8_t> bytes_;
    uint32_t accumulator_ = 0;
    unsigned count_ = 0;
};

// The values that, run through `stages` delta stages (each d = d + v + 0x80, from 0x80),
// give back samples.
std::vector<uint8_t> undo_delta_stages(const std::vector<uint8_t>& samples, unsigned stages);

// How a frequency table is split into groups.
enum class Grouping {
    SMALLEST,  // every group as long as its width allows (many groups)
    ONE_GROUP, // empty groups up to the widest frequency, then all 128 in one group
};

// The compressed stream of packing 1 + stages (frequency table and codes), without the sample
// header. Frequencies are scaled so the tree never combines above 65535; the values must hold
// at least two distinct bytes.
std::vector<uint8_t> huffman_stream(const std::vector<uint8_t>& values,
                                    Grouping grouping = Grouping::SMALLEST);

// The constant marker: every value is c.
std::vector<uint8_t> constant_stream(uint8_t c);

// A complete sample body (packing byte, 16-byte header, stream) for 8-bit samples. Packing 0
// stores them plainly; 1 to 4 code them with packing - 1 delta stages, using the constant
// marker when the coded values are all equal.
std::vector<uint8_t> sample_body(const std::vector<uint8_t>& samples, uint8_t packing,
                                 uint32_t loop_start, uint16_t rate,
                                 Grouping grouping = Grouping::SMALLEST);

// A chunk-form body (packing 5) with one "dsa" chunk, optionally after an unknown chunk.
std::vector<uint8_t> chunk_body(const std::vector<uint8_t>& sample_bytes, uint8_t bytes_per_sample,
                                uint32_t length, uint32_t loop_start, uint16_t rate,
                                bool unknown_chunk_first = false);

uint16_t checksum(const std::vector<uint8_t>& samples);

} // namespace tunemill::packer
