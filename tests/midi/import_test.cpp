// The conversion of crafted MIDI files: voices for re-struck keys, the sustain pedal, loudness
// and pan, keys out of range, drums, names in foreign encodings, markers, tempo changes and
// SMPTE time.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "midi/import.h"
#include "midi/levels.h"
#include "midi/smf.h"

namespace tunemill {
namespace {

using namespace testing;

MidiEvent on(uint64_t tick, uint8_t note, uint8_t velocity = 100, uint8_t channel = 0) {
    return {tick, uint8_t(0x90 | channel), note, velocity, {}};
}
MidiEvent off(uint64_t tick, uint8_t note, uint8_t channel = 0) {
    return {tick, uint8_t(0x80 | channel), note, 0, {}};
}
MidiEvent control(uint64_t tick, uint8_t controller, uint8_t value, uint8_t channel = 0) {
    return {tick, uint8_t(0xB0 | channel), controller, value, {}};
}
MidiEvent meta(uint64_t tick, uint8_t type, std::string data) {
    return {tick, MIDI_META, type, 0, std::move(data)};
}

// A format 0 file at 120 BPM, 96 ticks per quarter, ending at end.
MidiFile one_track(std::vector<MidiEvent> events, uint64_t end) {
    MidiFile file;
    file.format = 0;
    file.division.ticks_per_quarter = 96;
    MidiTrack track;
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
    track.events = std::move(events);
    track.end_tick = end;
    file.tracks.push_back(track);
    return file;
}

Song convert(const MidiFile& file, std::vector<MidiWarning>* warnings = nullptr) {
    Song song;
    std::vector<MidiWarning> found;
    convert_midi(read_smf(write_smf(file)), song, test_bank_lookup(), found);
    EXPECT_TRUE(validate(song));
    if (warnings) *warnings = found;
    return song;
}

// The voices of the first pattern that hold a note.
size_t sounding_voices(const Song& song) {
    size_t count = 0;
    for (const Voice& voice : song.patterns[song.sequence[0]].voices)
        count += voice_has_notes(voice);
    return count;
}

TEST(MidiImportTest, AKeyStruckWhileItSoundsGoesToAnotherVoice) {
    struct Case {
        const char* name;
        std::vector<MidiEvent> events;
        size_t voices;
        size_t notes;
    };
    const std::vector<Case> cases = {
        {"a chord stays one voice",
         {on(0, 60), on(0, 64), on(0, 67), off(96, 60), off(96, 64), off(96, 67)},
         1,
         3},
        {"overlapping strikes of one key",
         {on(0, 60), on(48, 60), off(96, 60), off(144, 60)},
         2,
         2},
        {"the same key twice at one tick", {on(0, 60), on(0, 60), off(96, 60), off(96, 60)}, 2, 2},
        {"a re-strike within a tick (16 ms)",
         {on(0, 60), off(1, 60), on(3, 60), off(96, 60)},
         2,
         2},
        {"notes one after the other", {on(0, 60), off(48, 60), on(48, 60), off(96, 60)}, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Song song = convert(one_track(c.events, 384));
        EXPECT_EQ(sounding_voices(song), c.voices);
        EXPECT_EQ(song_notes(song).size(), c.notes);
    }
}

TEST(MidiImportTest, SustainPedalHoldsNotesToItsRelease) {
    // A note released at 48 under the pedal sounds until the pedal lifts at 192 (1000 ms at
    // 120 BPM); one struck again under the pedal ends where it is struck again.
    const Song song =
        convert(one_track({control(0, 64, 127), on(0, 60), off(48, 60), on(0, 62), off(24, 62),
                           on(96, 62), off(120, 62), control(192, 64, 0)},
                          384));
    const std::vector<HeardNote> notes = song_notes(song);
    ASSERT_EQ(notes.size(), 3u);
    const double ends[] = {1000, 500, 1000}; // by start, then key: 36 at 0, 38 at 0, 38 at 500
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(notes[i].start_ms + notes[i].length_ms, ends[i], 20) << i;
}

TEST(MidiImportTest, VelocityChannelVolumeAndPanBecomeTheVoiceCurves) {
    const Song song = convert(one_track(
        {control(0, 7, 127), control(0, 10, 0), on(0, 60, 127), off(96, 60), on(96, 60, 64),
         off(192, 60), control(240, 7, 64), control(240, 10, 127), on(192, 60, 127), off(288, 60)},
        384));
    const Voice& voice = song.patterns[song.sequence[0]].voices[0];
    std::vector<std::pair<uint8_t, uint8_t>> curve; // kind, value
    for (const Event& event : voice.events)
        if (event.kind == VOLUME || event.kind == BALANCE)
            curve.push_back({event.kind, event.param1});
    const std::vector<std::pair<uint8_t, uint8_t>> want = {
        {BALANCE, 30},                // pan 0: fully left
        {VOLUME, volume_of(64, 127)}, // the softer second note
        {VOLUME, 30},                 // the third note at full velocity
        {VOLUME, volume_of(127, 64)}, // channel volume halved under it
        {BALANCE, 0},                 // pan 127 under it: fully right
    };
    EXPECT_EQ(curve, want);
}

TEST(MidiImportTest, LevelsRoundTrip) {
    for (uint8_t volume = 1; volume <= MAX_LEVEL; ++volume)
        EXPECT_EQ(volume_of(velocity_of(volume), 127), volume) << int(volume);
    for (uint8_t balance = 0; balance <= MAX_LEVEL; ++balance)
        EXPECT_EQ(balance_of(pan_of(balance)), balance) << int(balance);
    EXPECT_EQ(balance_of(64), DEFAULT_BALANCE);
    EXPECT_EQ(volume_of(0, 127), 0);
    EXPECT_EQ(volume_of(127, 0), 0);
}

TEST(MidiImportTest, KeysOutsideTheSongMoveByOctavesAndAreCounted) {
    std::vector<MidiWarning> warnings;
    const Song song =
        convert(one_track({on(0, 0), off(48, 0), on(48, 23), off(96, 23), on(96, 24), off(144, 24),
                           on(144, 107), off(192, 107), on(192, 127), off(240, 127)},
                          384),
                &warnings);
    std::vector<int> keys;
    for (const HeardNote& note : song_notes(song))
        keys.push_back(note.key);
    EXPECT_EQ(keys, (std::vector<int>{0, 11, 0, 83, 79}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], (MidiWarning{MidiWarningKind::KEYS_MOVED, 3}));
}

TEST(MidiImportTest, DrumsGetOneVoicePerSoundAtFixedKeys) {
    const uint8_t drums = 9;
    const Song song = convert(one_track(
        {on(0, 36, 100, drums), off(12, 36, drums), on(0, 42, 100, drums), off(12, 42, drums),
         on(48, 36, 100, drums), off(60, 36, drums), on(48, 38, 100, drums), off(60, 38, drums)},
        384));
    std::vector<std::string> names;
    for (const Voice& voice : song.patterns[song.sequence[0]].voices)
        names.push_back(song.instruments[voice.instrument].name);
    EXPECT_EQ(names, (std::vector<std::string>{"Kick Drum", "Closed Hi-Hat", "Snare Drum"}));
    for (const HeardNote& note : song_notes(song))
        EXPECT_EQ(note.key, 36);
}

TEST(MidiImportTest, ProgramsPickBankInstrumentsOfTheirCategory) {
    const Song song = convert(one_track({{0, 0xC0, 0, 0, {}},
                                         on(0, 60),
                                         off(48, 60),
                                         {0, 0xC1, 33, 0, {}},
                                         on(0, 40, 100, 1),
                                         off(48, 40, 1),
                                         {0, 0xC2, 40, 0, {}},
                                         on(0, 72, 100, 2),
                                         off(48, 72, 2)},
                                        384));
    std::vector<std::pair<std::string, uint32_t>> got;
    for (const Voice& voice : song.patterns[song.sequence[0]].voices)
        got.push_back(
            {song.instruments[voice.instrument].name, song.instruments[voice.instrument].category});
    EXPECT_EQ(got, (std::vector<std::pair<std::string, uint32_t>>{
                       {"Grand Piano", 10}, {"Finger Bass", 6}, {"Violin", 8}}));
}

TEST(MidiImportTest, TextsBecomeTheDescriptionAndMarkersNamePatterns) {
    // Shift-JIS "ピアノ" (piano) in a marker, Latin-1 in a text, UTF-8 in the copyright.
    const Song song = convert(one_track(
        {meta(0, META_TEXT, "Caf\xE9"), meta(0, META_COPYRIGHT, "\xC2\xA9 2024"),
         meta(0, META_MARKER, "Intro \x83s\x83\x41\x83m"), meta(4 * 384, META_MARKER, "Verse"),
         on(0, 60), off(96, 60), on(4 * 384, 62), off(4 * 384 + 96, 62)},
        8 * 384));
    EXPECT_EQ(song.description, "Caf\xE9\r\n\xA9 2024");
    ASSERT_EQ(song.sequence.size(), 2u);
    EXPECT_EQ(song.patterns[song.sequence[0]].name, "Intro ?s?A?m");
    EXPECT_EQ(song.patterns[song.sequence[1]].name, "Verse");
}

TEST(MidiImportTest, TempoChangesAndSmpteTimeKeepEveryOnset) {
    // 120 BPM, then 90 BPM from beat 4, then 150 BPM from beat 8: notes on every beat.
    std::vector<MidiEvent> events = {meta(0, META_TEMPO, std::string("\x07\xA1\x20", 3)),
                                     meta(4 * 96, META_TEMPO, std::string("\x0A\x2C\x2A", 3)),
                                     meta(8 * 96, META_TEMPO, std::string("\x06\x1A\x80", 3))};
    for (uint64_t beat = 0; beat < 12; ++beat) {
        events.push_back(on(beat * 96, 60));
        events.push_back(off(beat * 96 + 48, 60));
    }
    MidiFile smpte = one_track({on(0, 60), off(10, 60), on(25, 62), off(50, 62)}, 100);
    smpte.division = {0, 25, 40}; // 25 frames of 40 ticks: 1 ms per tick
    for (const MidiFile& file : {one_track(events, 12 * 96), smpte}) {
        const Song song = convert(file);
        const std::vector<HeardNote> want = file_notes(file);
        const std::vector<HeardNote> got = song_notes(song);
        ASSERT_EQ(got.size(), want.size());
        const double tolerance = std::max(20.0, tick_duration(song.overall_tempo, 30) / 2.0);
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i].start_ms, want[i].start_ms, tolerance) << i;
    }
}

TEST(MidiImportTest, AFileWithoutNotesKeepsItsLengthAndAbsurdLengthsAreRefused) {
    const Song quiet = convert(one_track({meta(0, META_TEXT, "silence")}, 4 * 96));
    EXPECT_NEAR(double(song_length(quiet)), 2000, 130);
    MidiFile endless = one_track({on(0, 60), off(MIDI_MAX_VARIABLE, 60)}, MIDI_MAX_VARIABLE);
    endless.division.ticks_per_quarter = 1; // 0x0FFFFFFF quarters: years
    try {
        convert(endless);
        ADD_FAILURE() << "converted";
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), S_MIDI_TOO_LONG);
    }
}

} // namespace
} // namespace tunemill
