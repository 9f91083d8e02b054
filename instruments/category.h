// The guess of an instrument's category from its name, by the keyword table that the module
// import uses for samples that come without one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "instruments/instrument.h"

namespace tunemill {

// The instrument categories by their numbers, as stored in song and bank files and shown in the
// instruments window.
enum class InstrumentCategory : uint32_t {
    WOODWINDS = 0,
    BRASSWINDS = 1,
    SAXOPHONES = 2,
    ORGANS = 3,
    ACOUSTIC_GUITARS = 4,
    ETHNIC_GUITARS = 5,
    BASS = 6,
    ELECTRIC_GUITARS = 7,
    SOLO_STRINGS = 8,
    BACKGROUND_STRINGS = 9,
    PIANOS = 10,
    MELODIC_SYNTH = 11,
    LEAD_SYNTH = 12,
    BACKGROUND_SYNTH = 13,
    SYNTH_FX = 14,
    HIGH_HATS = 15,
    CYMBALS = 16,
    BASS_DRUMS = 17,
    SNARE_DRUMS = 18,
    OTHER_PERCUSSIONS = 19,
    ELECTRONIC_DRUMS = 20,
    GONGS = 21,
    BELLS = 22,
    MALLETS = 23,
    CLAPS = 24,
    ORCHESTRAL_SOUNDS = 25,
    SPEECH = 26,
    NATURAL_SOUNDS = 27,
    SOUND_FX = 28,
};
static_assert(uint32_t(InstrumentCategory::SOUND_FX) + 1 == CATEGORY_COUNT);

// The key a name is searched in: letters in lower case, dots kept, everything else dropped,
// "@" appended (so "syn@" matches only a name ending in "syn").
std::string category_key(std::string_view name);

// The category of the first keyword in table order that occurs in the key; 29 when none does.
uint32_t guess_category(std::string_view name);

// The number of keywords in the table.
size_t category_keyword_count();

} // namespace tunemill
