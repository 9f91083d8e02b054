// The module-to-song conversion, pass by pass (the passes are in convert/). The structure pass
// finds the order positions that sound alike and where song patterns begin; the recording pass
// collects each song pattern's events in microseconds; a tick grid is fitted to their times; the
// events then become voices, which are merged per instrument and finished into a valid song.
#include "modules/convert.h"

#include "foundation/string_table.h"
#include "instruments/category.h"
#include "modules/convert/passes.h"
#include "song/instrument_array.h"

#include <algorithm>

namespace tunemill {

using namespace converting;

namespace {

// The instruments of the slots the music uses, in the order of category and name; the slots
// learn their instrument numbers.
void add_instruments(ModuleReader& reader, File& file, Song& song) {
    std::vector<size_t> used;
    std::vector<std::string> names(MODULE_SAMPLE_SLOTS);
    for (size_t i = 0; i < MODULE_SAMPLE_SLOTS; ++i) {
        names[i] = clean_instrument_name(reader.slots()[i].name);
        if (reader.slots()[i].instrument >= 0) used.push_back(i);
    }
    std::vector<std::string> lowered(MODULE_SAMPLE_SLOTS);
    for (size_t i : used)
        lowered[i] = lower(names[i]);
    std::stable_sort(used.begin(), used.end(), [&](size_t a, size_t b) {
        const SampleSlot &sa = reader.slots()[a], &sb = reader.slots()[b];
        if (sa.category != sb.category) return sa.category < sb.category;
        return lowered[a] < lowered[b];
    });
    for (size_t number = 0; number < used.size(); ++number)
        reader.slots()[used[number]].instrument = int16_t(number);
    for (size_t slot_index : used) {
        const SampleSlot& slot = reader.slots()[slot_index];
        Instrument instrument = make_sampled_instrument(
            names[slot_index], slot.category, slot.length, slot.loop_start,
            std::clamp<uint32_t>(slot.rate, 1, 65535), slot.is_16bit ? 2 : 1, false);
        read_sample_data(file, slot, instrument.samples.data());
        add_instrument(song, std::move(instrument));
    }
}

// The recorded patterns on a tick grid, written as the song's patterns and sequence.
void add_patterns(Recording& recording, int channels, Song& song) {
    std::vector<TimedPattern> timed(recording.patterns.size());
    for (size_t p = 0; p < timed.size(); ++p) {
        timed[p].events = std::move(recording.patterns[p]);
        find_candidates(timed[p]);
    }
    song.overall_tempo = choose_overall_tempo(timed);
    for (TimedPattern& pattern : timed)
        assign_ticks(pattern, song.overall_tempo);

    const std::string pattern_word = table_text(S_PATTERN);
    for (size_t p = 0; p < timed.size(); ++p) {
        std::string name = pattern_word + " " + pattern_numeral(int(p) + 1);
        if (name.size() > MAX_PATTERN_NAME) name.resize(MAX_PATTERN_NAME);
        add_pattern(song, name);
        write_pattern(song, song.patterns.back(), channels, timed[p]);
        merge_voices(song.patterns.back());
    }
    song.sequence = recording.sequence;
    song.repeat_position = recording.repeat_position;
}

} // namespace

void convert_module(ModuleReader& reader, File& file, Song& song) {
    if (reader.channel_count() > MAX_CONVERSION_CHANNELS) internal_error();
    for (SampleSlot& slot : reader.slots())
        slot.category = uint16_t(guess_category(slot.name));

    const Structure structure = structure_pass(reader);
    reset(song, description_of(reader));
    add_instruments(reader, file, song);
    Recording recording = recording_pass(reader, structure);
    add_patterns(recording, reader.channel_count(), song);

    finish_patterns(song);
    trim_end(song);
    if (song.patterns.empty()) {
        // Nothing plays: the song still has its one empty pattern, as a new song does.
        add_pattern(song, table_text(S_FIRST_PATTERN_NAME));
        song.sequence.assign(1, 0);
        song.repeat_position = 0;
    }
    rename_duplicate_instruments(song);
    if (!validate(song)) internal_error();
}

} // namespace tunemill
