// The real-time rules while a song plays and the user interface edits it: the audio callback
// neither allocates, frees nor locks, and the playback thread neither allocates nor frees while
// it renders a block (the song lock is the one wait it may have). The allocator of this program
// counts every break (tests/common/realtime_guard.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "playback/output_thread.h"
#include "realtime_guard.h"
#include "song/song_lock.h"

namespace tunemill {
namespace {

using namespace std::chrono_literals;

// A looped instrument, so that every note sounds until it is released.
Instrument looped_tone() {
    Instrument tone = make_sampled_instrument("tone", NO_CATEGORY, 4096, 0, 22050, 2, false);
    for (uint32_t i = 0; i < 4096; ++i)
        tone.samples16()[i] = int16_t((i * 37) % 20000 - 10000);
    return tone;
}

// A chord of keys held from tick 0 to the end of the pattern.
void add_chord_voice(Pattern& pattern, std::initializer_list<uint8_t> keys) {
    Voice& voice = pattern.voices[add_voice(pattern, 0)];
    for (uint8_t key : keys) {
        insert_event(voice, 0, NOTE_ON, key);
        insert_event(voice, pattern.length - 1, NOTE_OFF, key);
    }
}

TEST(RealtimeRules, HoldWhileTheSongIsEditedDuringPlayback) {
    Song song;
    song.instruments.push_back(looped_tone());
    add_pattern(song, "P");
    song.patterns[0].length = 64;
    add_chord_voice(song.patterns[0], {36});
    song.sequence = {0};
    PlaybackEngine engine(song);
    engine.set_repeat(true);
    song.observers.add(&engine);
    NullAudioSystem system;
    system.set_speed(4);
    OutputThread output(engine, system);

    // Edits as the composer makes them, each under the song lock and announced to the engine,
    // which re-seeks in its next block. The voices grow well past the 64 the engine starts
    // with, each holding a chord, so that the mixer voices grow past their first 64 as well.
    struct Edit {
        const char* what;
        std::function<void(Song&)> apply;
    };
    const std::vector<Edit> edits = {
        {"a voice holding a chord",
         [](Song& s) {
             add_chord_voice(s.patterns[0], {40, 44, 47, 52});
         }},
        {"a note moved",
         [](Song& s) {
             Voice& voice = s.patterns[0].voices.front();
             voice.events.clear();
             insert_event(voice, 2, NOTE_ON, 38);
             insert_event(voice, 60, NOTE_OFF, 38);
         }},
        {"the overall tempo",
         [](Song& s) { s.overall_tempo = s.overall_tempo == 0 ? MAX_OVERALL_TEMPO : 0; }},
        {"a voice muted", [](Song& s) { s.patterns[0].voices.back().muted = true; }},
    };

    test::forget_realtime_violations();
    ASSERT_TRUE(output.play_song(0));
    for (int round = 0; round < 280; ++round) {
        const Edit& edit = edits[size_t(round) % edits.size()];
        ASSERT_TRUE(lock_song(song, true)) << edit.what;
        edit.apply(song);
        song.observers.pattern_changed(0);
        unlock_song(song, false);
        std::this_thread::sleep_for(3ms);
        ASSERT_TRUE(output.is_running()) << "after " << edit.what;
    }
    output.stop(StopMode::NOW);
    EXPECT_GT(song.patterns[0].voices.size(), 64u);
    EXPECT_EQ(test::realtime_violations(), test::RealtimeViolations{});
}

} // namespace
} // namespace tunemill
