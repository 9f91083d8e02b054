// The export's first passes: the song checked on a normalized copy, and the samples chosen by
// use and resampled to what the format holds.
#include "modules/export/exporter.h"

#include "song/song.h"

#include <algorithm>
#include <array>

namespace tunemill::exporting {

void Exporter::prepare() {
    Song copy_check;
    patterns_ = song_.patterns;
    for (Pattern& pattern : patterns_)
        normalize_pattern(pattern);
    // Validation of the normalized song: the invariants concern the patterns, sequence and
    // globals; the instruments are the song's own.
    std::swap(copy_check.patterns, patterns_);
    copy_check.sequence = song_.sequence;
    copy_check.repeat_position = song_.repeat_position;
    copy_check.overall_tempo = song_.overall_tempo;
    copy_check.ticks_per_beat = song_.ticks_per_beat;
    copy_check.beats_per_measure = song_.beats_per_measure;
    copy_check.instruments.resize(song_.instruments.size());
    for (size_t i = 0; i < song_.instruments.size(); ++i)
        copy_check.instruments[i].name = song_.instruments[i].name;
    const bool valid = validate(copy_check);
    std::swap(copy_check.patterns, patterns_);
    if (!valid) internal_error();
}

void Exporter::choose_samples() {
    const size_t count = song_.instruments.size();
    std::vector<int> notes(count, 0);
    std::vector<std::array<int, MAX_LEVEL + 1>> by_volume(count);
    for (auto& row : by_volume)
        row.fill(0);
    for (const Pattern& pattern : patterns_)
        for (const Voice& voice : pattern.voices) {
            if (voice.instrument >= count) continue;
            int volume = DEFAULT_VOLUME;
            for (size_t i = 0; i < voice.events.size();) {
                size_t j = i;
                while (j < voice.events.size() && voice.events[j].tick == voice.events[i].tick)
                    ++j;
                for (size_t k = i; k < j; ++k)
                    if (voice.events[k].kind == VOLUME) volume = voice.events[k].param1;
                for (size_t k = i; k < j; ++k)
                    if (voice.events[k].kind == NOTE_ON) {
                        ++notes[voice.instrument];
                        ++by_volume[voice.instrument][size_t(std::min<int>(volume, MAX_LEVEL))];
                    }
                i = j;
            }
        }
    std::vector<bool> kept(count, true);
    size_t remaining = count;
    while (remaining > size_t(params_.max_samples)) {
        size_t fewest = count;
        for (size_t i = 0; i < count; ++i)
            if (kept[i] && (fewest == count || notes[i] < notes[fewest])) fewest = i;
        kept[fewest] = false;
        --remaining;
    }
    sample_of_.assign(count, -1);
    for (size_t i = 0; i < count; ++i) {
        if (!kept[i]) {
            if (notes[i] > 0)
                warn(ExportWarningKind::INSTRUMENT_DROPPED, song_.instruments[i].name,
                     uint32_t(notes[i]));
            continue;
        }
        int volume = DEFAULT_VOLUME;
        if (notes[i] > 0) {
            volume = 0;
            for (int v = 0; v <= MAX_LEVEL; ++v)
                if (by_volume[i][size_t(v)] >= by_volume[i][size_t(volume)]) volume = v;
        }
        sample_of_[i] = int(module_.samples.size());
        module_.samples.push_back(make_sample(uint32_t(i), volume, notes[i] > 0));
    }
}

ExportSample Exporter::make_sample(uint32_t index, int default_volume, bool played) {
    const Instrument& instrument = song_.instruments[index];
    ExportSample sample;
    sample.instrument = index;
    sample.name = instrument.name.substr(0, 31);
    sample.default_volume = default_volume;
    const uint32_t original_rate = std::max<uint32_t>(instrument.rate, 1);
    const uint32_t clamped = std::clamp(original_rate, params_.lowest_rate, params_.highest_rate);
    uint32_t rate = clamped;
    const double q = double(instrument.length) * clamped / original_rate / params_.max_sample_bytes;
    if (q > 1) rate = std::max(params_.lowest_rate, uint32_t(clamped / q + 1));
    uint32_t length = instrument.length, loop = instrument.loop_start;
    if (rate != original_rate) {
        length = uint32_t(uint64_t(length) * rate / original_rate);
        if (loop != NO_LOOP) loop = uint32_t(uint64_t(loop) * rate / original_rate);
    }
    if (loop != NO_LOOP && loop >= length) loop = NO_LOOP;
    if (length > params_.max_sample_bytes) {
        length = params_.max_sample_bytes;
        loop = NO_LOOP;
    }
    sample.length = length;
    sample.loop_start = loop;
    sample.rate = rate;
    // Every sample becomes 8-bit and MOD resamples everything; what is told is the loss beyond
    // that.
    if (played && (rate < clamped || length < uint64_t(instrument.length) * rate / original_rate))
        warn(ExportWarningKind::SAMPLE_SHORTENED, instrument.name);
    if (played && instrument.loops() && loop == NO_LOOP)
        warn(ExportWarningKind::LOOP_DROPPED, instrument.name);

    // Linear interpolation at the new rate; frames beyond the end count as silence.
    auto frame = [&](uint64_t i) -> double {
        if (i >= instrument.length || instrument.samples.size() < instrument.sample_bytes())
            return 0;
        if (instrument.bytes_per_sample == 2) {
            const uint8_t* p = instrument.samples.data() + i * 2;
            return double(int16_t(uint16_t(p[0] | p[1] << 8)));
        }
        return (double(instrument.samples[i]) - 128.0) * 256.0;
    };
    sample.data.resize(length);
    const double step = double(original_rate) / rate;
    for (uint32_t i = 0; i < length; ++i) {
        const double position = i * step;
        const uint64_t whole = uint64_t(position);
        const double fraction = position - double(whole);
        const int value = int((1 - fraction) * frame(whole) + fraction * frame(whole + 1));
        sample.data[i] =
            params_.signed_samples ? uint8_t(int8_t(value / 256)) : uint8_t((value + 32768) / 256);
    }
    return sample;
}

} // namespace tunemill::exporting
