// Loudness and pan between MIDI and the song. A song volume v plays at the amplitude
// 16^((v - 30) / 29) (30 full, 1 a sixteenth); a MIDI velocity and channel volume x play at
// (x / 127)^2 each, as General MIDI synthesizers do.
#pragma once

#include <cstdint>

namespace tunemill {

// The song volume 0..30 of a velocity scaled by a channel volume (controller 7); 0 only when
// either is 0.
uint8_t volume_of(uint8_t velocity, uint8_t channel_volume);
// The velocity 1..127 that plays a song volume at channel volume 127 (volume 0 gives 1: a
// velocity of 0 would end the note).
uint8_t velocity_of(uint8_t volume);
// The channel volume that turns a note struck at one song volume into another (at most 127).
uint8_t channel_volume_between(uint8_t struck, uint8_t now);
// Pan 0 (left) .. 127 (right) and song balance 30 (left) .. 0 (right); 64 is balance 15.
uint8_t balance_of(uint8_t pan);
uint8_t pan_of(uint8_t balance);

} // namespace tunemill
