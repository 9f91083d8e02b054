// Creation, identity and comparison of instrument records.
#include "instruments/instrument.h"

#include <atomic>
#include <cstring>

namespace tunemill {

namespace {
std::atomic<uint32_t> id_counter{0};
} // namespace

uint32_t next_instrument_id() {
    uint32_t id = id_counter.fetch_add(1) + 1;
    // After a wrap-around the counter would hand out 0, which means "no instrument".
    while (id == 0)
        id = id_counter.fetch_add(1) + 1;
    return id;
}

Instrument make_sampled_instrument(std::string name, uint32_t category, uint32_t length,
                                   uint32_t loop_start, uint32_t rate, uint32_t bytes_per_sample,
                                   bool from_bank) {
    Instrument instrument;
    instrument.name = std::move(name);
    instrument.category = category;
    instrument.from_bank = from_bank;
    instrument.bytes_per_sample = bytes_per_sample;
    instrument.length = length;
    instrument.samples.assign(size_t(length) * bytes_per_sample + SAMPLE_PADDING, 0);
    instrument.rate = rate;
    instrument.loop_start = loop_start;
    instrument.id = next_instrument_id();
    return instrument;
}

bool equal(const Instrument& a, const Instrument& b) {
    if (a.length != b.length || a.rate != b.rate || a.loop_start != b.loop_start ||
        a.bytes_per_sample != b.bytes_per_sample || a.from_bank != b.from_bank ||
        a.category != b.category || a.name != b.name)
        return false;
    if (a.synthesized() || b.synthesized())
        return a.synthesized() && b.synthesized() && *a.synth_parameters == *b.synth_parameters;
    return std::memcmp(a.samples.data(), b.samples.data(), a.sample_bytes()) == 0;
}

} // namespace tunemill
