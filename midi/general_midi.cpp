// The General MIDI programs and drum sounds as stock bank instruments.
#include "midi/general_midi.h"

#include <algorithm>
#include <array>

#include "instruments/category.h"

namespace tunemill {

namespace {

using enum InstrumentCategory;

constexpr GmInstrument program(InstrumentCategory category, const char* instrument) {
    return {uint32_t(category), instrument};
}

// Programs 0..127 in General MIDI order, eight to a line as the standard groups them.
constexpr std::array<GmInstrument, 128> PROGRAMS = {{
    // Piano
    program(PIANOS, "Grand Piano"),
    program(PIANOS, "Grand Piano"),
    program(PIANOS, "Electric Piano"),
    program(PIANOS, "Grand Piano"),
    program(PIANOS, "Tine Piano"),
    program(PIANOS, "Electric Piano"),
    program(PIANOS, "Grand Piano"),
    program(PIANOS, "Electric Piano"),
    // Chromatic percussion
    program(BELLS, "Music Box"),
    program(BELLS, "Glockenspiel"),
    program(BELLS, "Music Box"),
    program(MALLETS, "Vibraphone"),
    program(MALLETS, "Marimba"),
    program(MALLETS, "Xylophone"),
    program(BELLS, "Tubular Bell"),
    program(ETHNIC_GUITARS, "Koto"),
    // Organ
    program(ORGANS, "Drawbar Organ"),
    program(ORGANS, "Drawbar Organ"),
    program(ORGANS, "Rock Organ"),
    program(ORGANS, "Church Organ"),
    program(ORGANS, "Church Organ"),
    program(ORGANS, "Drawbar Organ"),
    program(WOODWINDS, "Clarinet"),
    program(ORGANS, "Rock Organ"),
    // Guitar
    program(ACOUSTIC_GUITARS, "Nylon Guitar"),
    program(ACOUSTIC_GUITARS, "Steel Guitar"),
    program(ELECTRIC_GUITARS, "Clean Guitar"),
    program(ELECTRIC_GUITARS, "Clean Guitar"),
    program(ELECTRIC_GUITARS, "Clean Guitar"),
    program(ELECTRIC_GUITARS, "Overdrive Gtr"),
    program(ELECTRIC_GUITARS, "Overdrive Gtr"),
    program(ELECTRIC_GUITARS, "Clean Guitar"),
    // Bass
    program(BASS, "Finger Bass"),
    program(BASS, "Finger Bass"),
    program(BASS, "Finger Bass"),
    program(BASS, "Finger Bass"),
    program(BASS, "Slap Bass"),
    program(BASS, "Slap Bass"),
    program(BASS, "Synth Bass"),
    program(BASS, "Acid Bass"),
    // Strings
    program(SOLO_STRINGS, "Violin"),
    program(SOLO_STRINGS, "Violin"),
    program(SOLO_STRINGS, "Cello"),
    program(SOLO_STRINGS, "Cello"),
    program(BACKGROUND_STRINGS, "String Pad"),
    program(ORCHESTRAL_SOUNDS, "Pizzicato"),
    program(ETHNIC_GUITARS, "Koto"),
    program(OTHER_PERCUSSIONS, "Timpani"),
    // Ensemble
    program(BACKGROUND_STRINGS, "Slow Strings"),
    program(BACKGROUND_STRINGS, "Slow Strings"),
    program(BACKGROUND_STRINGS, "String Pad"),
    program(BACKGROUND_STRINGS, "String Pad"),
    program(BACKGROUND_SYNTH, "Choir Aahs"),
    program(SPEECH, "Vowel Ooh"),
    program(SPEECH, "Vowel Aah"),
    program(ORCHESTRAL_SOUNDS, "Orchestra Hit"),
    // Brass
    program(BRASSWINDS, "Trumpet"),
    program(BRASSWINDS, "Brass Section"),
    program(BRASSWINDS, "French Horn"),
    program(BRASSWINDS, "Trumpet"),
    program(BRASSWINDS, "French Horn"),
    program(BRASSWINDS, "Brass Section"),
    program(BRASSWINDS, "Brass Section"),
    program(BRASSWINDS, "Brass Section"),
    // Reed
    program(SAXOPHONES, "Alto Sax"),
    program(SAXOPHONES, "Alto Sax"),
    program(SAXOPHONES, "Tenor Sax"),
    program(SAXOPHONES, "Tenor Sax"),
    program(WOODWINDS, "Oboe"),
    program(WOODWINDS, "Oboe"),
    program(WOODWINDS, "Clarinet"),
    program(WOODWINDS, "Clarinet"),
    // Pipe
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    program(WOODWINDS, "Flute"),
    // Synth lead
    program(LEAD_SYNTH, "Square Lead"),
    program(LEAD_SYNTH, "Saw Lead"),
    program(LEAD_SYNTH, "Square Lead"),
    program(LEAD_SYNTH, "Square Lead"),
    program(LEAD_SYNTH, "Saw Lead"),
    program(LEAD_SYNTH, "FM Lead"),
    program(LEAD_SYNTH, "Saw Lead"),
    program(LEAD_SYNTH, "Saw Lead"),
    // Synth pad
    program(BACKGROUND_SYNTH, "Warm Pad"),
    program(BACKGROUND_SYNTH, "Warm Pad"),
    program(MELODIC_SYNTH, "Square Synth"),
    program(BACKGROUND_SYNTH, "Choir Aahs"),
    program(BACKGROUND_SYNTH, "Glass Pad"),
    program(BACKGROUND_SYNTH, "Glass Pad"),
    program(BACKGROUND_SYNTH, "Warm Pad"),
    program(BACKGROUND_SYNTH, "Warm Pad"),
    // Synth effects
    program(SYNTH_FX, "Atmosphere"),
    program(SYNTH_FX, "Atmosphere"),
    program(SYNTH_FX, "Metal Drone"),
    program(SYNTH_FX, "Atmosphere"),
    program(SYNTH_FX, "Atmosphere"),
    program(SYNTH_FX, "Metal Drone"),
    program(SYNTH_FX, "Atmosphere"),
    program(SYNTH_FX, "Metal Drone"),
    // Ethnic
    program(ETHNIC_GUITARS, "Sitar"),
    program(ETHNIC_GUITARS, "Banjo"),
    program(ETHNIC_GUITARS, "Koto"),
    program(ETHNIC_GUITARS, "Koto"),
    program(BELLS, "Music Box"),
    program(WOODWINDS, "Oboe"),
    program(SOLO_STRINGS, "Violin"),
    program(WOODWINDS, "Oboe"),
    // Percussive
    program(BELLS, "Glockenspiel"),
    program(OTHER_PERCUSSIONS, "Cowbell"),
    program(MALLETS, "Marimba"),
    program(MALLETS, "Wood Block"),
    program(OTHER_PERCUSSIONS, "Low Tom"),
    program(OTHER_PERCUSSIONS, "High Tom"),
    program(ELECTRONIC_DRUMS, "Syn Drum"),
    program(CYMBALS, "Crash Cymbal"),
    // Sound effects
    program(SOUND_FX, "Laser"),
    program(NATURAL_SOUNDS, "Wind"),
    program(NATURAL_SOUNDS, "Surf"),
    program(NATURAL_SOUNDS, "Birds"),
    program(SOUND_FX, "Telephone"),
    program(SOUND_FX, "Power Down"),
    program(NATURAL_SOUNDS, "Rain"),
    program(SOUND_FX, "Explosion"),
}};

// Notes 27..87. Each note has its own pair of instrument and key, so that a song made from a
// file writes the same drum numbers back.
constexpr std::array<GmDrum, LAST_GM_DRUM - FIRST_GM_DRUM + 1> DRUMS = {{
    {"Zap Drum", 40},      // 27 high Q
    {"Hand Clap", 40},     // 28 slap
    {"Laser", 36},         // 29 scratch push
    {"Laser", 33},         // 30 scratch pull
    {"Claves", 40},        // 31 sticks
    {"Wood Block", 43},    // 32 square click
    {"Wood Block", 40},    // 33 metronome click
    {"Cowbell", 43},       // 34 metronome bell
    {"Deep Kick", 36},     // 35 acoustic bass drum
    {"Kick Drum", 36},     // 36 bass drum 1
    {"Rim Shot", 36},      // 37 side stick
    {"Snare Drum", 36},    // 38 acoustic snare
    {"Hand Clap", 36},     // 39 hand clap
    {"Elec Snare", 36},    // 40 electric snare
    {"Low Tom", 31},       // 41 low floor tom
    {"Closed Hi-Hat", 36}, // 42 closed hi-hat
    {"Low Tom", 34},       // 43 high floor tom
    {"Pedal Hi-Hat", 36},  // 44 pedal hi-hat
    {"Low Tom", 37},       // 45 low tom
    {"Open Hi-Hat", 36},   // 46 open hi-hat
    {"High Tom", 33},      // 47 low-mid tom
    {"High Tom", 36},      // 48 hi-mid tom
    {"Crash Cymbal", 36},  // 49 crash cymbal 1
    {"High Tom", 39},      // 50 high tom
    {"Ride Cymbal", 36},   // 51 ride cymbal 1
    {"Crash Cymbal", 33},  // 52 chinese cymbal
    {"Ride Cymbal", 40},   // 53 ride bell
    {"Tambourine", 36},    // 54 tambourine
    {"Splash Cymbal", 36}, // 55 splash cymbal
    {"Cowbell", 36},       // 56 cowbell
    {"Crash Cymbal", 38},  // 57 crash cymbal 2
    {"Shaker", 31},        // 58 vibraslap
    {"Ride Cymbal", 34},   // 59 ride cymbal 2
    {"Bongo", 40},         // 60 hi bongo
    {"Bongo", 36},         // 61 low bongo
    {"Conga", 41},         // 62 mute hi conga
    {"Conga", 39},         // 63 open hi conga
    {"Conga", 36},         // 64 low conga
    {"High Tom", 43},      // 65 high timbale
    {"High Tom", 41},      // 66 low timbale
    {"Cowbell", 48},       // 67 high agogo
    {"Cowbell", 45},       // 68 low agogo
    {"Shaker", 38},        // 69 cabasa
    {"Shaker", 36},        // 70 maracas
    {"Flute", 60},         // 71 short whistle
    {"Flute", 55},         // 72 long whistle
    {"Shaker", 43},        // 73 short guiro
    {"Shaker", 41},        // 74 long guiro
    {"Claves", 36},        // 75 claves
    {"Wood Block", 38},    // 76 hi wood block
    {"Wood Block", 34},    // 77 low wood block
    {"Bongo", 45},         // 78 mute cuica
    {"Bongo", 43},         // 79 open cuica
    {"Glockenspiel", 48},  // 80 mute triangle
    {"Glockenspiel", 50},  // 81 open triangle
    {"Shaker", 45},        // 82 shaker
    {"Tambourine", 40},    // 83 jingle bell
    {"Glockenspiel", 55},  // 84 belltree
    {"Claves", 43},        // 85 castanets
    {"Low Tom", 28},       // 86 mute surdo
    {"Low Tom", 26},       // 87 open surdo
}};

} // namespace

const GmInstrument& gm_program(uint8_t number) {
    return PROGRAMS[number & 0x7F];
}

const GmDrum& gm_drum(uint8_t note) {
    return DRUMS[std::clamp(note, FIRST_GM_DRUM, LAST_GM_DRUM) - FIRST_GM_DRUM];
}

uint8_t gm_program_for(std::string_view instrument, uint32_t category) {
    for (size_t i = 0; i < PROGRAMS.size(); ++i)
        if (instrument == PROGRAMS[i].instrument) return uint8_t(i);
    for (size_t i = 0; i < PROGRAMS.size(); ++i)
        if (PROGRAMS[i].category == category) return uint8_t(i);
    return 0;
}

std::optional<uint8_t> gm_drum_note_for(std::string_view instrument, uint8_t key) {
    for (size_t i = 0; i < DRUMS.size(); ++i)
        if (instrument == DRUMS[i].instrument && key == DRUMS[i].key)
            return uint8_t(FIRST_GM_DRUM + i);
    return std::nullopt;
}

} // namespace tunemill
