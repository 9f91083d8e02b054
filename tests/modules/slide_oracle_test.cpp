// Slides finished at the speed of the row that played them, checked against libopenmpt's
// rendering of the same rows: a speed command in the next row, on a channel before the sliding
// one, must change neither how far a pitch slide went nor how far a volume slide went.
#include "fixtures.h"

#include "foundation/file.h"
#include "foundation/string_table.h"
#include "modules/import.h"
#include "song/song.h"
#include "song/voice_cursor.h"

#include <gtest/gtest.h>

#include <cmath>

#ifdef TUNEMILL_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.hpp>
#include <libopenmpt/libopenmpt_ext.hpp>

#include <sstream>

namespace tunemill {
namespace {

using testing::ModBuilder;
using testing::ModSample;

constexpr int RATE = 48000;
constexpr int FRAMES_PER_MS = RATE / 1000;
constexpr int CYCLE = 16; // frames of one cycle of the square wave sample

// Channel 0 only changes the speed: 4 in row 0, 8 in row 1, 1 from row 2 on (at tempo 125 a
// tracker tick is 20 ms, so row 1 starts at 80 ms and row 2 at 240 ms).
// Channel 1 strikes a note in row 0 and slides its pitch up by 16 per tick: three ticks at speed
// 4. Channel 2 strikes a note in row 1 and slides its volume down by 4 per tick: seven ticks at
// speed 8, from 64 to 36.
ModBuilder slide_module() {
    ModBuilder mod;
    ModSample square;
    square.length_words = CYCLE / 2;
    for (int i = 0; i < CYCLE; ++i)
        square.data.push_back(uint8_t(i < CYCLE / 2 ? 100 : -100));
    square.loop_start_words = 0;
    square.loop_length_words = CYCLE / 2;
    // One sample per channel, so that the two notes stay voices of their own.
    mod.samples = {square, square};
    mod.samples[0].name = "tone";
    mod.samples[1].name = "fade";
    mod.song = {0};
    mod.cell(0, 0, 0, 0, 0, 0xF, 4);
    mod.cell(0, 1, 0, 0, 0, 0xF, 8);
    mod.cell(0, 2, 0, 0, 0, 0xF, 1);
    mod.cell(0, 0, 1, 428, 1, 0x1, 16);
    mod.cell(0, 1, 2, 428, 2, 0xA, 0x04);
    return mod;
}

// libopenmpt's mono rendering of one channel of the module, the others muted.
std::vector<float> render_channel(const std::string& bytes, int channel, int milliseconds) {
    std::ostringstream log;
    openmpt::module_ext played(bytes.data(), bytes.size(), log);
    played.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, 1);
    played.set_render_param(openmpt::module::RENDER_VOLUMERAMPING_STRENGTH, 0);
    played.ctl_set_boolean("render.resampler.emulate_amiga", false);
    auto* interactive =
        static_cast<openmpt::ext::interactive*>(played.get_interface(openmpt::ext::interactive_id));
    if (!interactive) return {};
    for (int c = 0; c < played.get_num_channels(); ++c)
        interactive->set_channel_mute_status(c, c != channel);
    std::vector<float> audio(size_t(milliseconds) * FRAMES_PER_MS);
    audio.resize(played.read(RATE, audio.size(), audio.data()));
    return audio;
}

// The sample rate at which libopenmpt plays the square wave between two times, from its rising
// zero crossings.
double played_sample_rate(const std::vector<float>& audio, int from_ms, int to_ms) {
    std::vector<size_t> rising;
    for (size_t i = size_t(from_ms * FRAMES_PER_MS);
         i < size_t(to_ms * FRAMES_PER_MS) && i < audio.size(); ++i)
        if (audio[i - 1] < 0 && audio[i] >= 0) rising.push_back(i);
    if (rising.size() < 2) return 0;
    const double cycle_frames = double(rising.back() - rising.front()) / double(rising.size() - 1);
    return double(RATE) / cycle_frames * CYCLE;
}

float peak(const std::vector<float>& audio, int from_ms, int to_ms) {
    float loudest = 0;
    for (size_t i = size_t(from_ms * FRAMES_PER_MS);
         i < size_t(to_ms * FRAMES_PER_MS) && i < audio.size(); ++i)
        loudest = std::max(loudest, std::abs(audio[i]));
    return loudest;
}

// The voice whose first note lies at tick 0 (first_note_at_start) or later.
const Voice* voice_starting(const Pattern& pattern, bool first_note_at_start) {
    for (const Voice& voice : pattern.voices)
        for (const Event& event : voice.events)
            if (event.kind == NOTE_ON) {
                if ((event.tick == 0) == first_note_at_start) return &voice;
                break;
            }
    return nullptr;
}

TEST(SlideOracle, ASpeedCommandInTheNextRowChangesNeitherPitchNorVolumeSlide) {
    set_language(Language::ENGLISH);
    const std::string bytes = slide_module().bytes();
    testing::TempFolder folder;
    Song song;
    load_module(folder.write("slides.mod", bytes), song);
    ASSERT_EQ(song.patterns.size(), 1u);
    const Pattern& pattern = song.patterns[0];

    // The pitch: libopenmpt's sample rate after the slide, as a key above the note's own (period
    // 428 is key 36 here, the tracker's 3546895 / 428 Hz there).
    const std::vector<float> pitch = render_channel(bytes, 1, 700);
    const double rate = played_sample_rate(pitch, 100, 650);
    ASSERT_GT(rate, 0) << "libopenmpt played no square wave";
    const double heard_key = 36 + 12 * std::log2(rate / (3546895.0 / 428));
    const Voice* sliding = voice_starting(pattern, true);
    ASSERT_NE(sliding, nullptr);
    const Event* slide = nullptr;
    for (const Event& event : sliding->events)
        if (event.kind == PORTAMENTO) slide = &event;
    ASSERT_NE(slide, nullptr);
    EXPECT_NEAR(slide->param2, heard_key, 0.5) << "libopenmpt hears key " << heard_key;

    // The volume: the note's level after the slide against its level in its first tick.
    const std::vector<float> fade = render_channel(bytes, 2, 700);
    const float before = peak(fade, 82, 98), after = peak(fade, 300, 650);
    ASSERT_GT(before, 0) << "libopenmpt played no square wave";
    const double heard_volume = 30.5 + 29 * std::log(after / before) / std::log(16.0);
    const Voice* fading = voice_starting(pattern, false);
    ASSERT_NE(fading, nullptr);
    VoiceCursor cursor(*fading);
    cursor.seek(Tick(pattern.length));
    EXPECT_NEAR(cursor.volume(), heard_volume, 1.0) << "libopenmpt hears volume " << heard_volume;
}

} // namespace
} // namespace tunemill

#endif
