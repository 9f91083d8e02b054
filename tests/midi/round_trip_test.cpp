// Round trips: a song exported and imported again has the same notes (keys, starts, lengths);
// a file imported and exported again holds the same notes as the original; and a real player
// (timidity) plays what the export writes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fixtures.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "midi/export.h"
#include "midi/import.h"
#include "scratch_files.h"
#include "song/instrument_array.h"

namespace tunemill {
namespace {

using namespace testing;

constexpr double TOLERANCE_MS = 20.0;

// Each note of want has its own note in got of the same key, starting and ending within the
// tolerance.
void expect_same_notes(const std::vector<HeardNote>& want, const std::vector<HeardNote>& got,
                       double tolerance) {
    ASSERT_EQ(want.size(), got.size());
    std::vector<bool> used(got.size(), false);
    for (const HeardNote& note : want) {
        bool found = false;
        for (size_t i = 0; i < got.size() && !found; ++i) {
            if (used[i] || got[i].key != note.key) continue;
            if (std::abs(got[i].start_ms - note.start_ms) > tolerance) continue;
            const double end = note.start_ms + note.length_ms;
            if (std::abs(got[i].start_ms + got[i].length_ms - end) > tolerance) continue;
            used[i] = found = true;
        }
        EXPECT_TRUE(found) << "key " << note.key << " at " << note.start_ms << " ms, "
                           << note.length_ms << " ms long";
    }
}

// Two patterns played 0, 1, 0: chords, a tempo change, volume and balance curves, drums at
// their own keys and a second voice of one instrument.
Song crafted_song() {
    Song song;
    reset(song, "Round trip\r\nsecond line");
    song.ticks_per_beat = 4;
    song.overall_tempo = 30;
    add_instrument(song, test_bank().load("Grand Piano"));
    add_instrument(song, test_bank().load("Kick Drum"));
    add_instrument(song, test_bank().load("Closed Hi-Hat"));
    for (int p = 0; p < 2; ++p) {
        add_pattern(song, "P");
        Pattern& pattern = song.patterns.back();
        pattern.length = 32;
        if (p == 1) pattern.tempo_points.push_back({8, 24});
        Voice& piano = pattern.voices[add_voice(pattern, 0)];
        for (Key key : {Key(36 + p), Key(40), Key(43)}) {
            insert_event(piano, 0, NOTE_ON, key);
            insert_event(piano, 6, NOTE_OFF, key);
        }
        insert_event(piano, 8, VOLUME, 20);
        insert_event(piano, 8, BALANCE, 25);
        insert_event(piano, 8, NOTE_ON, 50);
        insert_event(piano, 30, NOTE_OFF, 50);
        Voice& second = pattern.voices[add_voice(pattern, 0)];
        insert_event(second, 4, NOTE_ON, 50);
        insert_event(second, 20, NOTE_OFF, 50);
        Voice& kick = pattern.voices[add_voice(pattern, 1)];
        Voice& hat = pattern.voices[add_voice(pattern, 2)];
        for (Tick t = 0; t < 32; t += 4) {
            insert_event(kick, t, NOTE_ON, 36);
            insert_event(kick, t + 1, NOTE_OFF, 36);
            insert_event(hat, t + 2, NOTE_ON, 36);
            insert_event(hat, t + 3, NOTE_OFF, 36);
        }
        normalize_pattern(pattern);
    }
    song.sequence = {0, 1, 0};
    EXPECT_TRUE(validate(song));
    return song;
}

Song import_bytes(const std::vector<uint8_t>& bytes, std::vector<MidiWarning>& warnings) {
    Song song;
    convert_midi(read_smf(bytes), song, test_bank_lookup(), warnings);
    EXPECT_TRUE(validate(song));
    return song;
}

TEST(MidiRoundTripTest, SongExportedAndImportedKeepsItsNotes) {
    const Song song = crafted_song();
    std::vector<MidiWarning> warnings;
    const std::vector<uint8_t> bytes = write_smf(build_midi(song, warnings));
    EXPECT_TRUE(warnings.empty());
    std::vector<MidiWarning> import_warnings;
    const Song again = import_bytes(bytes, import_warnings);
    expect_same_notes(song_notes(song), song_notes(again), TOLERANCE_MS);
    EXPECT_EQ(again.description, song.description);
    // The instruments come back: the programs and drum sounds name them.
    std::vector<std::string> names;
    for (const Instrument& instrument : again.instruments)
        names.push_back(instrument.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Closed Hi-Hat", "Grand Piano", "Kick Drum"}));
    // Patterns 0, 1, 0 come back as a repeated stretch.
    ASSERT_EQ(again.sequence.size(), 3u);
    EXPECT_EQ(again.sequence[0], again.sequence[2]);
    EXPECT_NE(again.sequence[0], again.sequence[1]);
}

TEST(MidiRoundTripTest, ExportCarriesTheTickDurationsExactly) {
    // Every onset of the file lies on the song's millisecond, not the mixer's frames.
    const Song song = crafted_song();
    std::vector<MidiWarning> warnings;
    const MidiFile file = build_midi(song, warnings);
    const std::vector<HeardNote> want = song_notes(song);
    const std::vector<HeardNote> got = file_notes(file);
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].start_ms, want[i].start_ms, 1.0);
        EXPECT_NEAR(got[i].length_ms, want[i].length_ms, 1.0);
    }
}

TEST(MidiRoundTripTest, DemoSongsComeBackWithTheirNotes) {
    for (const char* name : {"first-steps.sn2", "night-drive.sn2"}) {
        SCOPED_TRACE(name);
        const Song song =
            read_any_song(std::filesystem::path(TUNEMILL_SOURCE_DIR) / "data" / "demos" / name,
                          test_bank_lookup());
        std::vector<MidiWarning> warnings;
        const std::vector<uint8_t> bytes = write_smf(build_midi(song, warnings));
        std::vector<MidiWarning> import_warnings;
        const Song again = import_bytes(bytes, import_warnings);
        // A portamento is written as two notes, the second from where the slide begins.
        bool slides = false;
        for (const MidiWarning& warning : warnings)
            slides |= warning.kind == MidiWarningKind::PORTAMENTO;
        if (!slides) expect_same_notes(song_notes(song), song_notes(again), TOLERANCE_MS);
        EXPECT_EQ(song_notes(again).size(), file_notes(read_smf(bytes)).size());
    }
}

TEST(MidiRoundTripTest, FileImportedAndExportedHoldsTheSameNotes) {
    const std::filesystem::path folder = shared_midi();
    if (folder.empty()) GTEST_SKIP() << "no shared MIDI files beside the checkout";
    for (const char* name : {"freedoom-d_read_m.mid", "midly-Clementi.mid", "freedoom-dummy.mid",
                             "jazz-test-track-length.mid", "jazz-test-non-midi-track.mid"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = read_whole_file(folder / name);
        std::vector<MidiWarning> warnings;
        const Song song = import_bytes(original, warnings);
        EXPECT_TRUE(warnings.empty());
        std::vector<MidiWarning> export_warnings;
        const MidiFile exported = build_midi(song, export_warnings);
        // Within max(20 ms, half a tick) of the song.
        const double tolerance =
            std::max(TOLERANCE_MS, tick_duration(song.overall_tempo, DEFAULT_TEMPO_VALUE) / 2.0) +
            1;
        expect_same_notes(file_notes(read_smf(original)), file_notes(read_smf(write_smf(exported))),
                          tolerance);
    }
}

TEST(MidiRoundTripTest, NothingToPlayIsRefusedAndNothingIsWritten) {
    Song song;
    new_song(song, "Untitled");
    const std::filesystem::path path = scratch_folder() / "empty.mid";
    try {
        export_midi_file(song, path);
        ADD_FAILURE() << "exported";
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), S_MIDI_NOTHING_TO_PLAY);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(MidiRoundTripTest, TimidityPlaysTheExport) {
    const char* timidity = "/usr/bin/timidity";
    if (!std::filesystem::exists(timidity)) GTEST_SKIP() << "timidity is not installed";
    const std::filesystem::path mid = scratch_folder() / "played.mid";
    const std::filesystem::path wav = scratch_folder() / "played.wav";
    export_midi_file(crafted_song(), mid);
    const std::string command = std::string(timidity) + " -c /etc/timidity/freepats.cfg -Ow -o '" +
                                wav.string() + "' '" + mid.string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // Three times two 32-tick patterns of about 110 ms ticks: some seconds of 44.1 kHz stereo.
    EXPECT_GT(std::filesystem::file_size(wav), 44100u * 4);
}

} // namespace
} // namespace tunemill
