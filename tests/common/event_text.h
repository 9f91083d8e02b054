// Events written as compact text, shared by the song model and song storage tests.
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

} // namespace tunemill::testing
