// Reader and writer of instrument files and instrument bodies: plain 8-bit samples, the
// Huffman-coded packings with up to three delta stages, the constant marker and the "dsa" chunk.
#include "instruments/instrument_file.h"

#include <array>
#include <cstring>
#include <unistd.h>

#include "foundation/bit_reader.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/pending_file.h"
#include "foundation/string_table.h"
#include "instruments/synthesizer.h"

namespace tunemill {

namespace {

constexpr uint32_t RESERVED = 0xFFFFFFFF;
constexpr uint8_t CHUNK_PACKING = 5;
constexpr uint32_t MAX_CHUNK_SIZE = 0x7FFFFFFF;

[[noreturn]] void damaged() {
    throw LOAD_ERROR(0);
}
[[noreturn]] void ends_early() {
    throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE);
}

uint32_t read_u16(BitReader& reader) {
    uint8_t b[2];
    reader.read_bytes(b, 2);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8;
}

uint32_t read_u32(BitReader& reader) {
    uint8_t b[4];
    reader.read_bytes(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void put_u16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

// The byte offset up to which the reader has consumed: releasing drops its read-ahead.
uint64_t consumed_position(File& file, BitReader& reader) {
    reader.release();
    return file.position();
}

uint64_t remaining(File& file, BitReader& reader, uint64_t end) {
    const uint64_t at = consumed_position(file, reader);
    return at < end ? end - at : 0;
}

// A frequency of any width; widths beyond 24 bits are read in pieces and saturate, since no
// frequency above 65535 can build a tree anyway.
uint32_t read_frequency(BitReader& reader, unsigned width) {
    if (width <= 24) return reader.read_bits(width);
    uint64_t value = 0;
    while (width > 0) {
        const unsigned piece = width > 16 ? 16 : width;
        value = (value << piece) | reader.read_bits(piece);
        if (value > 0xFFFFFFFF) value = 0xFFFFFFFF;
        width -= piece;
    }
    return uint32_t(value);
}

// The code tree over the 256 byte values and up to 255 inner nodes numbered from 256.
struct CodeTree {
    std::array<uint32_t, 511> frequency{};
    std::array<uint16_t, 511> first{};
    std::array<uint16_t, 511> second{};
    uint32_t root = 0;
};

void read_frequencies(BitReader& reader, CodeTree& tree) {
    for (int pass = 0; pass < 2; ++pass) {
        uint32_t assigned = 0;
        for (unsigned width = 0; assigned < 128; ++width) {
            const uint32_t count = reader.read_bits(8);
            for (uint32_t i = 0; i < count && assigned < 128; ++i, ++assigned) {
                const uint32_t value = pass == 0 ? assigned : 255 - assigned;
                tree.frequency[value] = read_frequency(reader, width);
            }
        }
    }
}

// A binary min-heap of node numbers ordered by frequency, ties by the smaller node number.
void build_tree(CodeTree& tree) {
    std::array<uint16_t, 257> heap{}; // 1-based
    size_t size = 0;
    for (uint16_t value = 0; value < 256; ++value)
        if (tree.frequency[value] > 0) heap[++size] = value;
    if (size < 2) damaged();

    const auto& f = tree.frequency;
    auto below = [&](uint16_t x, uint16_t y) { return f[x] < f[y] || (f[x] == f[y] && x < y); };
    auto sift_down = [&](size_t at) {
        for (;;) {
            const size_t left = 2 * at, right = left + 1;
            if (left > size) return;
            size_t child = left;
            if (right <= size && below(heap[right], heap[left])) child = right;
            if (!below(heap[child], heap[at])) return;
            std::swap(heap[child], heap[at]);
            at = child;
        }
    };
    for (size_t at = size / 2; at >= 1; --at)
        sift_down(at);

    uint16_t next = 256;
    while (size > 1) {
        const uint16_t a = heap[1];
        heap[1] = heap[size--];
        sift_down(1);
        const uint16_t b = heap[1];
        const uint64_t combined = uint64_t(f[a]) + f[b];
        if (combined > 65535) damaged();
        tree.frequency[next] = uint32_t(combined);
        tree.first[next] = a;
        tree.second[next] = b;
        heap[1] = next;
        sift_down(1);
        tree.root = next++;
    }
}

struct DeltaStages {
    unsigned stages;
    uint8_t d[3] = {0x80, 0x80, 0x80};

    uint8_t apply(uint8_t v) {
        for (unsigned k = 0; k < stages; ++k) {
            d[k] = uint8_t(d[k] + v + 0x80);
            v = d[k];
        }
        return v;
    }
};

// Packings 1 to 4: the constant marker or a code tree, then the delta stages.
Instrument decode_packed(File& file, BitReader& reader, uint64_t end, uint8_t packing,
                         uint32_t length, std::string name, uint32_t category, uint32_t loop,
                         uint32_t rate, bool from_bank) {
    // Every code takes at least one bit: a length beyond the bits left cannot be there. (Measured
    // here, on a byte boundary; releasing the reader inside the codes would lose bits.)
    const uint64_t bits_left = remaining(file, reader, end) * 8;
    const bool constant = reader.peek_bits(16) >= 0xFF00;
    CodeTree tree;
    uint8_t constant_value = 0;
    if (constant) {
        if (length > MAX_CONSTANT_RUN) damaged();
        constant_value = uint8_t(reader.read_bits(16));
    } else {
        read_frequencies(reader, tree);
        build_tree(tree);
        if (uint64_t(length) > bits_left) ends_early();
    }
    Instrument instrument =
        make_sampled_instrument(std::move(name), category, length, loop, rate, 1, from_bank);
    DeltaStages deltas{unsigned(packing - 1)};
    uint8_t* samples = instrument.samples.data();
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t value = constant_value;
        if (!constant) {
            uint32_t node = tree.root;
            while (node >= 256)
                node = reader.read_bits(1) ? tree.second[node] : tree.first[node];
            value = node;
        }
        samples[i] = deltas.apply(uint8_t(value));
    }
    reader.release();
    return instrument;
}

Instrument read_sample_body(File& file, BitReader& reader, uint64_t end, std::string name,
                            uint32_t category, bool from_bank) {
    const uint8_t packing = uint8_t(reader.read_bits(8));
    if (packing == CHUNK_PACKING) {
        for (;;) {
            char tag[3];
            reader.read_bytes(tag, 3);
            const uint32_t size = read_u32(reader);
            if (size > MAX_CHUNK_SIZE) damaged();
            const uint64_t content = consumed_position(file, reader);
            if (std::memcmp(tag, "dsa", 3) != 0) {
                if (content + size > end) ends_early();
                file.seek(int64_t(content + size));
                continue;
            }
            const uint32_t bytes_per_sample = reader.read_bits(8);
            const uint32_t rate = read_u16(reader);
            const uint32_t length = read_u32(reader);
            const uint32_t loop = read_u32(reader);
            if ((bytes_per_sample != 1 && bytes_per_sample != 2) || rate == 0 ||
                length > (MAX_CHUNK_SIZE >> (bytes_per_sample - 1)) ||
                (loop != NO_LOOP && loop >= length))
                damaged();
            const uint64_t bytes = uint64_t(length) * bytes_per_sample;
            if (bytes > remaining(file, reader, end)) ends_early();
            Instrument instrument = make_sampled_instrument(std::move(name), category, length, loop,
                                                            rate, bytes_per_sample, from_bank);
            file.read_exact(instrument.samples.data(), size_t(bytes));
            // The reader goes on at the chunk's end, and never back into the samples.
            const uint64_t chunk_end = content + size;
            if (chunk_end > content + 11 + bytes) file.seek(int64_t(chunk_end));
            return instrument;
        }
    }

    const uint32_t length = read_u32(reader);
    const uint32_t loop = read_u32(reader);
    const uint32_t reserved = read_u32(reader);
    const uint32_t checksum = read_u16(reader);
    const uint32_t rate = read_u16(reader);
    if (rate == 0 || packing > CHUNK_PACKING || reserved != RESERVED ||
        (loop != NO_LOOP && loop >= length))
        damaged();
    if (length == 0) {
        reader.release();
        return make_sampled_instrument(std::move(name), category, 0, loop, rate, 1, from_bank);
    }

    Instrument instrument;
    if (packing == 0) {
        if (length > remaining(file, reader, end)) ends_early();
        instrument =
            make_sampled_instrument(std::move(name), category, length, loop, rate, 1, from_bank);
        file.read_exact(instrument.samples.data(), length);
    } else {
        instrument = decode_packed(file, reader, end, packing, length, std::move(name), category,
                                   loop, rate, from_bank);
    }
    if (sample_checksum(instrument.samples.data(), length) != checksum) damaged();
    return instrument;
}

} // namespace

uint16_t sample_checksum(const uint8_t* values, size_t count) {
    uint32_t s = 0;
    for (size_t i = 0; i < count; ++i) {
        s = (s & 0xFF00) | ((s + values[i]) & 0xFF);
        s = ((s << 1) | (s >> 15)) & 0xFFFF;
    }
    return uint16_t(s);
}

Instrument read_instrument_body(File& file, BitReader& reader, uint64_t end, std::string name,
                                uint32_t category, bool synthesized, bool from_bank) {
    if (synthesized) {
        SynthParameters parameters;
        reader.read_bytes(parameters.data(), parameters.size());
        reader.release();
        if (!valid_synth_parameters(parameters)) damaged();
        return make_synthesized_instrument(std::move(name), category, parameters, from_bank);
    }
    return read_sample_body(file, reader, end, std::move(name), category, from_bank);
}

Instrument read_instrument_file(File& file, BitReader& reader, uint64_t end) {
    char magic[3];
    reader.read_bytes(magic, 3);
    bool synthesized;
    if (std::memcmp(magic, "SMP", 3) == 0)
        synthesized = false;
    else if (std::memcmp(magic, "SYN", 3) == 0)
        synthesized = true;
    else
        damaged();
    char name[17];
    if (!reader.read_string(name, 16)) damaged();
    uint32_t category = reader.read_bits(8);
    if (category == 0xFF)
        category = NO_CATEGORY;
    else if (category > NO_CATEGORY)
        damaged();
    return read_instrument_body(file, reader, end, name, category, synthesized, false);
}

Instrument read_instrument_file(File& file, BitReader& reader) {
    return read_instrument_file(file, reader, file.size());
}

std::vector<uint8_t> encode_instrument(const Instrument& instrument) {
    std::vector<uint8_t> out;
    out.reserve(40 + instrument.sample_bytes());
    for (const char* magic = instrument.synthesized() ? "SYN" : "SMP"; *magic != 0; ++magic)
        out.push_back(uint8_t(*magic));
    const std::string& name = instrument.name;
    for (size_t i = 0; i < name.size() && i < 16 && name[i] != 0; ++i)
        out.push_back(uint8_t(name[i]));
    out.push_back(0);
    out.push_back(instrument.category >= NO_CATEGORY ? 0xFF : uint8_t(instrument.category));
    if (instrument.synthesized()) {
        out.insert(out.end(), instrument.synth_parameters->begin(),
                   instrument.synth_parameters->end());
        return out;
    }
    const uint8_t* samples = instrument.samples.data();
    const size_t bytes = instrument.sample_bytes();
    if (instrument.bytes_per_sample == 1 && instrument.length > 0) {
        out.push_back(0);
        put_u32(out, instrument.length);
        put_u32(out, instrument.loop_start);
        put_u32(out, RESERVED);
        put_u16(out, sample_checksum(samples, bytes));
        put_u16(out, instrument.rate);
    } else {
        out.push_back(CHUNK_PACKING);
        for (char c : {'d', 's', 'a'})
            out.push_back(uint8_t(c));
        put_u32(out, uint32_t(11 + bytes));
        out.push_back(uint8_t(instrument.bytes_per_sample));
        put_u16(out, instrument.rate);
        put_u32(out, instrument.length);
        put_u32(out, instrument.loop_start);
    }
    out.insert(out.end(), samples, samples + bytes);
    return out;
}

void write_instrument(File& file, const Instrument& instrument) {
    const std::vector<uint8_t> bytes = encode_instrument(instrument);
    file.write_exact(bytes.data(), bytes.size());
}

Instrument load_instrument_file(const std::filesystem::path& path) {
    File file = File::open_for_reading(path);
    BitReader reader(file);
    try {
        return read_instrument_file(file, reader);
    } catch (const LOAD_ERROR&) {
        throw MISC_ERROR(S_INSTRUMENT_FILE_DAMAGED);
    } catch (const FILE_ERROR& error) {
        if (error.is_end_of_file()) throw MISC_ERROR(S_INSTRUMENT_FILE_DAMAGED);
        throw;
    }
}

void save_instrument_file(const std::filesystem::path& path, const Instrument& instrument) {
    if (instrument.from_bank) throw MISC_ERROR(S_CANT_SAVE_BANK_INSTRUMENT);
    PendingFile pending(path);
    write_instrument(pending.file(), instrument);
    pending.commit();
}

} // namespace tunemill
