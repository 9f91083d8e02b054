// Small helpers for the song model tests: building voices from a compact text and printing them.
#pragma once

#include <string>
#include <vector>

#include "song/song.h"

namespace tunemill::testing {

// Events from a compact text, one per word: "on4@0" note on key 4 at tick 0, "off4@8",
// "vol20@2", "bal10@2", "port40>43:1@3" (portamento 40 to 43 lasting 1 tick, at tick 3),
// "rel4@8" (release mark). Events stay in the given order.
std::vector<Event> events(const std::string& text);
// The same text for events, so a failing comparison reads like the fixture.
std::string describe(const std::vector<Event>& events);

// A pattern of the given length with one voice holding the events (instrument 0).
Pattern pattern_with(Tick length, const std::string& text);

// A song with one instrument, one pattern of the length and one voice with the events.
Song song_with(Tick length, const std::string& text);

} // namespace tunemill::testing
