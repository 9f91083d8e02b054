// Notes entered one at a time, from the PC keyboard or a MIDI keyboard: step entry puts a note
// at the cursor, and a recording pass first clears what it records over.
#pragma once

#include <cstddef>

#include "song/song.h"

namespace tunemill {

// Step entry: a note of the key over [at, at + length) in the voice, the pattern grown to hold
// it. The key is silent over the stretch first, so the note stays apart from notes of the same
// key that end or begin at its edges.
void enter_note(Pattern& pattern, size_t voice, Tick at, Tick length, Key key);

// The first note of a recording pass clears what the pass records over: every note of the voice
// that sounds in [from, to) is silenced there.
void clear_recorded_stretch(Pattern& pattern, size_t voice, Tick from, Tick to);

} // namespace tunemill
