// The song's instruments: voices name them by index, so every operation here keeps those indices
// right. Also the purge, which drops voices without notes and instruments nobody uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "instruments/instrument.h"
#include "song/song.h"

namespace tunemill {

// Appends a sampled instrument with a zeroed sample block for the caller to fill; returns its
// index (the last of the array). On memory exhaustion the array is unchanged.
size_t add_sampled_instrument(Song& song, std::string name, uint32_t category, uint32_t length,
                              uint32_t loop_start, uint32_t rate, uint32_t bytes_per_sample,
                              bool from_bank);
// Appends a synthesized instrument, rendering its samples; returns its index.
size_t add_synthesized_instrument(Song& song, std::string name, uint32_t category,
                                  const SynthParameters& parameters, bool from_bank);
// Appends an instrument record made elsewhere (a reader, the browser); returns its index.
size_t add_instrument(Song& song, Instrument instrument);

// Frees the record and closes the gap. No voice may still name the index; the caller decrements
// the higher indices (the purge does both).
void remove_instrument(Song& song, size_t index);

// The first other instrument equal to the given one.
std::optional<size_t> find_equal(const Song& song, size_t index);

bool is_used(const Song& song, uint32_t index);
bool pattern_uses(const Pattern& pattern, uint32_t index);
void replace_in_pattern(Pattern& pattern, uint32_t old_index, uint32_t new_index);

// A changed name or category is stored and clears the from-bank flag: the instrument is then
// stored whole inside the song file.
void rename_instrument(Song& song, size_t index, std::string name);
void set_category(Song& song, size_t index, uint32_t category);

// Removes every voice without a note on (except the kept one; -1, -1 keeps none), then every
// instrument no voice names, taking the song lock for each changed pattern and for the
// instruments and telling the song's observers. Returns false when the lock was refused (the
// purge then stopped there).
bool purge(Song& song, int32_t kept_pattern, int32_t kept_voice);

// Voice > Replace Instrument: under the lock the voice names the new instrument, then the purge
// runs keeping that voice. Returns false when the lock was refused.
bool replace_voice_instrument(Song& song, size_t pattern, size_t voice, uint32_t instrument);

} // namespace tunemill
