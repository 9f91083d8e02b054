// Older song writers stored when a key was let go as a release mark, followed by the note off of
// the moment the sound ended. A finished song has no release marks: these operations turn them
// into plain notes, depending on whether the voice's instrument loops.
#pragma once

#include <cstdint>

#include "instruments/instrument.h"
#include "song/song.h"

namespace tunemill {

// Within every group of events sharing a tick: note offs first, portamentos last, the others in
// their order. Readers that append events as stored call this before anything else.
void order_within_ticks(Voice& voice);

// Resolves the release marks of one voice of the pattern, whose instrument is given (the song's
// overall tempo decides how long a one-shot sample sounds).
//  - Looping instrument: the mark becomes the note off, and the later note off (or slide) of that
//    key, which only recorded how long the release sounded, is dropped.
//  - One-shot instrument: the note sounds to the end of its sample, but at least until the key was
//    let go and at most until the key is struck again (or the voice's last event).
// Leaves the voice ordered within ticks. A voice without release marks is not changed.
void resolve_release_marks(Voice& voice, const Pattern& pattern, const Instrument& instrument,
                           int32_t overall_tempo);

// How many samples of the instrument one tick lasts at the overall tempo and tempo value, at
// least 1 (an instrument so slow that a tick lasts no sample is counted one sample per tick).
uint64_t samples_per_tick(int32_t overall_tempo, uint8_t tempo_value, uint32_t rate);

} // namespace tunemill
