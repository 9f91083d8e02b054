// Small helpers for the song model tests: building voices from a compact text and printing them.
#pragma once

#include <string>
#include <vector>

#include "event_text.h"
#include "song/song.h"

namespace tunemill::testing {

// A pattern of the given length with one voice holding the events (instrument 0).
Pattern pattern_with(Tick length, const std::string& text);

// A song with one instrument, one pattern of the length and one voice with the events.
Song song_with(Tick length, const std::string& text);

} // namespace tunemill::testing
