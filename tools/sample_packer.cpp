// Encoder of the packed sample forms: the same code tree as the reader builds (heap order by
// frequency, ties by node number), the two-pass grouped frequency table and the delta stages.
#include "tools/sample_packer.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace tunemill::packer {

void BitWriter::put(uint32_t value, unsigned bits) {
    for (unsigned k = bits; k-- > 0;) {
        accumulator_ = (accumulator_ << 1) | ((value >> k) & 1);
        if (++count_ == 8) {
            bytes_.push_back(uint8_t(accumulator_));
            accumulator_ = 0;
            count_ = 0;
        }
    }
}

std::vector<uint8_t> BitWriter::finish() {
    if (count_ > 0) put(0, 8 - count_);
    return std::move(bytes_);
}

std::vector<uint8_t> undo_delta_stages(const std::vector<uint8_t>& samples, unsigned stages) {
    std::vector<uint8_t> values = samples;
    // Stages apply in order 1, 2, 3 when decoding, so they are undone from the last one.
    for (unsigned stage = stages; stage-- > 0;) {
        uint8_t d = 0x80;
        for (uint8_t& v : values) {
            const uint8_t out = v;
            v = uint8_t(out - d - 0x80);
            d = out;
        }
    }
    return values;
}

namespace {

struct Tree {
    std::array<uint32_t, 511> frequency{};
    std::array<int, 511> first{}, second{};
    int root = -1;
};

Tree build(const std::array<uint32_t, 256>& frequencies) {
    Tree tree;
    std::vector<int> heap(1);
    for (int v = 0; v < 256; ++v) {
        tree.frequency[size_t(v)] = frequencies[size_t(v)];
        if (frequencies[size_t(v)] > 0) heap.push_back(v);
    }
    size_t size = heap.size() - 1;
    const auto& f = tree.frequency;
    auto below = [&](int x, int y) {
        return f[size_t(x)] < f[size_t(y)] || (f[size_t(x)] == f[size_t(y)] && x < y);
    };
    auto sift = [&](size_t at) {
        while (2 * at <= size) {
            size_t child = 2 * at;
            if (child + 1 <= size && below(heap[child + 1], heap[child])) ++child;
            if (!below(heap[child], heap[at])) break;
            std::swap(heap[child], heap[at]);
            at = child;
        }
    };
    for (size_t at = size / 2; at >= 1; --at)
        sift(at);
    int next = 256;
    while (size > 1) {
        const int a = heap[1];
        heap[1] = heap[size--];
        sift(1);
        const int b = heap[1];
        tree.frequency[size_t(next)] = f[size_t(a)] + f[size_t(b)];
        tree.first[size_t(next)] = a;
        tree.second[size_t(next)] = b;
        heap[1] = next;
        sift(1);
        tree.root = next++;
    }
    return tree;
}

void collect_codes(const Tree& tree, int node, uint32_t code, unsigned length,
                   std::array<std::pair<uint32_t, unsigned>, 256>& codes) {
    if (node < 256) {
        codes[size_t(node)] = {code, length};
        return;
    }
    if (length >= 31) throw std::runtime_error("code too long");
    collect_codes(tree, tree.first[size_t(node)], code << 1, length + 1, codes);
    collect_codes(tree, tree.second[size_t(node)], (code << 1) | 1, length + 1, codes);
}

unsigned width_of(uint32_t f) {
    unsigned w = 0;
    while (w < 32 && (f >> w) != 0)
        ++w;
    return w;
}

void put_pass(BitWriter& out, const std::array<uint32_t, 256>& f, int pass, Grouping grouping) {
    auto value_at = [&](int i) { return f[size_t(pass == 0 ? i : 255 - i)]; };
    int assigned = 0;
    if (grouping == Grouping::ONE_GROUP) {
        unsigned widest = 0;
        for (int i = 0; i < 128; ++i)
            widest = std::max(widest, width_of(value_at(i)));
        for (unsigned g = 0; g < widest; ++g)
            out.put(0, 8);
        out.put(128, 8);
        for (int i = 0; i < 128; ++i)
            out.put(value_at(i), widest);
        return;
    }
    for (unsigned width = 0; assigned < 128; ++width) {
        int count = 0;
        // A first count of 255 would read as the constant marker.
        const int most = width == 0 ? 254 : 255;
        while (assigned + count < 128 && count < most &&
               width_of(value_at(assigned + count)) <= width)
            ++count;
        out.put(uint32_t(count), 8);
        for (int i = 0; i < count; ++i)
            out.put(value_at(assigned + i), width);
        assigned += count;
    }
}

} // namespace

std::vector<uint8_t> huffman_stream(const std::vector<uint8_t>& values, Grouping grouping) {
    std::array<uint64_t, 256> counts{};
    for (uint8_t v : values)
        ++counts[v];
    uint64_t total = 0;
    int distinct = 0;
    for (uint64_t c : counts)
        total += c, distinct += c > 0;
    if (distinct < 2) throw std::runtime_error("a code tree needs two distinct values");
    std::array<uint32_t, 256> f{};
    // Scale so that the root, the sum of all frequencies, stays within 65535.
    const uint64_t budget = 65535 - 256;
    for (size_t v = 0; v < 256; ++v)
        if (counts[v] > 0)
            f[v] = uint32_t(total <= budget ? counts[v]
                                            : std::max<uint64_t>(1, counts[v] * budget / total));

    const Tree tree = build(f);
    std::array<std::pair<uint32_t, unsigned>, 256> codes{};
    collect_codes(tree, tree.root, 0, 0, codes);

    BitWriter out;
    put_pass(out, f, 0, grouping);
    put_pass(out, f, 1, grouping);
    for (uint8_t v : values)
        out.put(codes[v].first, codes[v].second);
    return out.finish();
}

std::vector<uint8_t> constant_stream(uint8_t c) {
    return {0xFF, c};
}

uint16_t checksum(const std::vector<uint8_t>& samples) {
    uint32_t s = 0;
    for (uint8_t v : samples) {
        s = (s & 0xFF00) | ((s + v) & 0xFF);
        s = ((s << 1) | (s >> 15)) & 0xFFFF;
    }
    return uint16_t(s);
}

namespace {
void put_le(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k)
        out.push_back(uint8_t(v >> (8 * k)));
}
} // namespace

std::vector<uint8_t> sample_body(const std::vector<uint8_t>& samples, uint8_t packing,
                                 uint32_t loop_start, uint16_t rate, Grouping grouping) {
    if (packing > 4)
        throw std::runtime_error("packing " + std::to_string(packing) + " is not a coded form");
    std::vector<uint8_t> out{packing};
    put_le(out, uint32_t(samples.size()), 4);
    put_le(out, loop_start, 4);
    put_le(out, 0xFFFFFFFF, 4);
    put_le(out, checksum(samples), 2);
    put_le(out, rate, 2);
    if (samples.empty()) return out;
    std::vector<uint8_t> stream;
    if (packing == 0) {
        stream = samples;
    } else {
        const std::vector<uint8_t> values = undo_delta_stages(samples, packing - 1u);
        const bool constant =
            std::all_of(values.begin(), values.end(), [&](uint8_t v) { return v == values[0]; });
        stream = constant ? constant_stream(values[0]) : huffman_stream(values, grouping);
    }
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

std::vector<uint8_t> chunk_body(const std::vector<uint8_t>& sample_bytes, uint8_t bytes_per_sample,
                                uint32_t length, uint32_t loop_start, uint16_t rate,
                                bool unknown_chunk_first) {
    std::vector<uint8_t> out{5};
    if (unknown_chunk_first) {
        const std::string note = "made by the bank tool";
        out.insert(out.end(), {'n', 't', 'e'});
        put_le(out, uint32_t(note.size()), 4);
        out.insert(out.end(), note.begin(), note.end());
    }
    out.insert(out.end(), {'d', 's', 'a'});
    put_le(out, uint32_t(11 + sample_bytes.size()), 4);
    out.push_back(bytes_per_sample);
    put_le(out, rate, 2);
    put_le(out, length, 4);
    put_le(out, loop_start, 4);
    out.insert(out.end(), sample_bytes.begin(), sample_bytes.end());
    return out;
}

} // namespace tunemill::packer
