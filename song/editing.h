// The pattern editing operations: the block commands of the Edit menu, drawing of notes and
// curves with the mouse, the Backspace step removal and the re-gridding of the song when ticks
// per beat change. Every operation leaves the pattern valid and normalized; if one runs out of
// memory, the voice it was changing gets its events back before the error passes on (voices that
// an all-voices operation had finished keep their change).
//
// Callers hold the song lock with the modify request and tell the playback engine afterwards.
#pragma once

#include <cstdint>

#include "song/song.h"

namespace tunemill {

// The pane a block was selected in. TEMPO exists only for all voices; NOTES means the whole
// voice: notes with the volume and balance curves, and for all voices the tempo points too.
enum class Aspect : uint8_t { NOTES, VOLUME, BALANCE, TEMPO };

constexpr int32_t ALL_VOICES = -1;

// The ticks [from, to) of one pattern (from < to), for one voice or for all voices.
struct Block {
    Tick from = 0;
    Tick to = 0;
    Aspect aspect = Aspect::NOTES;
    int32_t voice = ALL_VOICES; // a voice index, or ALL_VOICES
};

// Nothing of the block's aspect sounds inside the block afterwards; notes crossing its edges keep
// their parts outside it.
void clear_block(Pattern& pattern, const Block& block);
// Clears the block and moves what follows left; for notes the pattern is shortened by the block
// (never cutting a note).
void delete_block(Pattern& pattern, const Block& block);
// Moves what lies at or after the block's start right by its length; for notes the pattern
// grows as far as the moved notes need (for all voices by the whole block).
void insert_space(Pattern& pattern, const Block& block);
// Fills the pattern from the block's end up to its length with copies of the block.
void repeat_block(Pattern& pattern, const Block& block);
// Adds amount to the keys (notes), values (volume, balance) or tempo values of the block; for
// notes the amount is first narrowed so that no key leaves 0..83.
void transpose_block(Pattern& pattern, const Block& block, int amount);
// Joins each note ending in the block with the best-fitting following note by a slide.
void portamento_set(Pattern& pattern, const Block& block);
// Dissolves every portamento starting in the block.
void portamento_clear(Pattern& pattern, const Block& block);

// Mouse drawing in the volume or balance pane (kind VOLUME or BALANCE): the curve takes the value
// from from on, up to the next point at or after to.
void set_curve_range(Pattern& pattern, size_t voice, Tick from, Tick to, uint8_t kind,
                     uint8_t value);
// The same on the tempo curve.
void set_tempo_range(Pattern& pattern, Tick from, Tick to, uint8_t value);
// Replaces any tempo point at the tick by one of the value.
void set_tempo_point(Pattern& pattern, Tick tick, uint8_t value);

// Mouse drawing in the note pane: afterwards the key sounds without a break over [from, to),
// merged with notes of the key that overlap or touch the range. The pattern grows to `to` when
// it is shorter.
void add_note(Pattern& pattern, size_t voice, Tick from, Tick to, Key key);
// Afterwards the key is silent over [from, to); notes crossing the edges keep their outer parts.
void erase_note(Pattern& pattern, size_t voice, Tick from, Tick to, Key key);

// Backspace in the pattern editor: removes the step before the cursor in the voice, from the
// latest note boundary before the cursor up to the cursor, and returns that boundary as the new
// cursor tick (never after the old one).
Tick remove_step(Pattern& pattern, size_t voice, Tick cursor);

// Re-grids every pattern from the song's ticks per beat to the new one. Changes nothing and
// returns false ("Can't align pattern") when some tick does not fall on the new grid. The caller
// stores the new ticks per beat, sets the modified flag and tells the engine.
bool align_to_ticks_per_beat(Song& song, int32_t new_ticks_per_beat);

} // namespace tunemill
