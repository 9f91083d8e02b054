// Patterns and songs of the song model tests, built from the compact event texts.
#include "song_test_util.h"

#include "song/instrument_array.h"

namespace tunemill::testing {

Pattern pattern_with(Tick length, const std::string& text) {
    Pattern pattern;
    pattern.name = "Test";
    pattern.length = int32_t(length);
    add_voice(pattern, 0);
    pattern.voices[0].events = events(text);
    return pattern;
}

Song song_with(Tick length, const std::string& text) {
    Song song;
    add_sampled_instrument(song, "Piano", NO_CATEGORY, 0, NO_LOOP, 22050, 1, false);
    song.patterns.push_back(pattern_with(length, text));
    song.sequence = {0};
    return song;
}

} // namespace tunemill::testing
