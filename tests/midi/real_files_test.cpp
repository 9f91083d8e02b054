// The real MIDI files of ../shared/midi against an independent count: the note ons per channel,
// the length and a few onsets as python3-mido reads them (their SOURCES.md gives the totals).
// Good files import with every note at its time, damaged ones are refused with one message,
// and the files that bend the format import or are refused, but never crash.
#include <gtest/gtest.h>

#include <map>

#include "fixtures.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "midi/import.h"
#include "midi/smf.h"

namespace tunemill {
namespace {

using namespace testing;

struct RealFile {
    const char* name;
    std::map<int, size_t> notes_per_channel; // channel 0..15
    double seconds;
    std::vector<double> onsets_ms; // a few note starts
    uint64_t keys_moved;
};

// Counted with python3-mido 1.2.10 (jazz-test-non-midi-track.mid by hand: mido refuses its
// unknown chunk).
const std::vector<RealFile> FILES = {
    {"freedoom-d_bunny.mid",
     {{0, 55},
      {1, 47},
      {2, 10},
      {3, 6},
      {4, 90},
      {5, 86},
      {6, 6},
      {7, 133},
      {8, 391},
      {9, 343},
      {10, 142}},
     63.0,
     {0.0, 500.0, 41250.0, 59687.5},
     1},
    {"freedoom-d_dm10.mid",
     {{0, 1696}, {1, 428}, {2, 64}, {3, 256}, {4, 332}, {5, 8}, {9, 1332}},
     182.69,
     {0.0, 96000.0, 182300.0},
     0},
    {"freedoom-d_map27.mid",
     {{0, 1197},
      {1, 898},
      {2, 112},
      {3, 243},
      {4, 1239},
      {5, 836},
      {6, 72},
      {7, 8},
      {8, 98},
      {9, 2702}},
     539.29,
     {0.0, 308823.4, 526058.6},
     520},
    {"freedoom-d_read_m.mid",
     {{0, 384}, {1, 204}, {2, 64}, {9, 391}},
     128.07,
     {2.0, 75579.1, 127825.7},
     0},
    {"freedoom-dummy.mid", {{9, 4}}, 1.68, {208.3, 625.0, 1041.7, 1458.3}, 0},
    {"jazz-test-all-gm-sounds.mid", {{0, 512}}, 352.0, {0.0, 500.0, 176000.0, 350750.0}, 0},
    {"jazz-test-non-midi-track.mid", {{0, 8}}, 4.0, {}, 0},
    {"jazz-test-track-length.mid", {{0, 1}}, 1.5, {0.0}, 0},
    {"midly-Clementi.mid", {{0, 454}, {1, 212}}, 113.62, {0.0, 56250.0, 113250.0}, 0},
    {"midly-SysExTest.mid", {}, 0.0, {}, 0},
};

std::vector<uint8_t> bytes_of(const std::filesystem::path& path) {
    File file = File::open_for_reading(path);
    std::vector<uint8_t> bytes(file.size());
    file.read_exact(bytes.data(), bytes.size());
    return bytes;
}

class RealMidiFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = shared_midi();
        if (folder_.empty()) GTEST_SKIP() << "no shared MIDI files beside the checkout";
    }
    std::filesystem::path folder_;
};

TEST_F(RealMidiFiles, NotesPerChannelAsCountedIndependently) {
    for (const RealFile& real : FILES) {
        SCOPED_TRACE(real.name);
        const FileContent content = gather_file_content(read_smf(bytes_of(folder_ / real.name)));
        std::map<int, size_t> counted;
        for (const FileNote& note : content.notes)
            ++counted[note.channel & 15];
        EXPECT_EQ(counted, real.notes_per_channel);
    }
}

TEST_F(RealMidiFiles, ImportKeepsEveryNoteAtItsTimeAndTheLength) {
    for (const RealFile& real : FILES) {
        SCOPED_TRACE(real.name);
        File file = File::open_for_reading(folder_ / real.name);
        Song song;
        std::vector<MidiWarning> warnings;
        read_midi_song(file, song, test_bank_lookup(), warnings);
        ASSERT_TRUE(validate(song));

        size_t total = 0;
        for (const auto& [channel, count] : real.notes_per_channel)
            total += count;
        // Notes held over a pattern boundary are cut there; the warning counts the pieces.
        uint64_t moved = 0, pieces = 0;
        for (const MidiWarning& warning : warnings) {
            if (warning.kind == MidiWarningKind::KEYS_MOVED) moved = warning.count;
            if (warning.kind == MidiWarningKind::NOTES_SPLIT) pieces = warning.count;
        }
        const std::vector<HeardNote> notes = song_notes(song);
        EXPECT_EQ(notes.size(), total + pieces);
        EXPECT_EQ(moved, real.keys_moved);

        // A tick's length at the song's usual tempo bounds how far a note may move.
        const double tick_ms = double(tick_duration(song.overall_tempo, DEFAULT_TEMPO_VALUE));
        const double tolerance = std::max(20.0, tick_ms / 2) + 1;
        for (double onset : real.onsets_ms) {
            const bool found = std::any_of(notes.begin(), notes.end(), [&](const HeardNote& n) {
                return std::abs(n.start_ms - onset) <= tolerance;
            });
            EXPECT_TRUE(found) << "no note near " << onset << " ms";
        }
        const double length_ms = double(song_length(song));
        EXPECT_NEAR(length_ms, real.seconds * 1000, std::max(real.seconds * 20, tick_ms + 1));
    }
}

TEST_F(RealMidiFiles, EveryOnsetOfTheFileLandsWithinTolerance) {
    // The whole of each file: every note of the file has a note of the song that starts within
    // max(20 ms, half a tick) of it.
    for (const RealFile& real : FILES) {
        SCOPED_TRACE(real.name);
        const MidiFile midi = read_smf(bytes_of(folder_ / real.name));
        File file = File::open_for_reading(folder_ / real.name);
        Song song;
        std::vector<MidiWarning> warnings;
        read_midi_song(file, song, test_bank_lookup(), warnings);
        const std::vector<HeardNote> heard = song_notes(song);
        const std::vector<HeardNote> played = file_notes(midi);
        // Half of the longest tick the song plays, or 20 ms.
        uint32_t longest_tick = tick_duration(song.overall_tempo, DEFAULT_TEMPO_VALUE);
        for (const Pattern& pattern : song.patterns)
            for (const TempoPoint& point : pattern.tempo_points)
                longest_tick =
                    std::max(longest_tick, tick_duration(song.overall_tempo, point.value));
        const double tolerance = std::max(20.0, longest_tick / 2.0) + 1;
        std::vector<double> starts;
        for (const HeardNote& note : heard)
            starts.push_back(note.start_ms);
        double worst = 0;
        for (const HeardNote& note : played) {
            auto it = std::lower_bound(starts.begin(), starts.end(), note.start_ms);
            double nearest = 1e18;
            if (it != starts.end()) nearest = *it - note.start_ms;
            if (it != starts.begin()) nearest = std::min(nearest, note.start_ms - *std::prev(it));
            worst = std::max(worst, nearest);
        }
        EXPECT_LE(worst, tolerance);
    }
}

TEST_F(RealMidiFiles, DamagedFilesAreRefusedWithOneMessage) {
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / "damaged")) {
        SCOPED_TRACE(entry.path().filename().string());
        Song song;
        new_song(song, "Untitled");
        try {
            load_song(song, entry.path(), "Untitled", test_bank_lookup());
            ADD_FAILURE() << "loaded";
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), S_MIDI_DAMAGED);
        }
        EXPECT_TRUE(validate(song)); // the song is a new song again
    }
}

TEST_F(RealMidiFiles, FilesThatBendTheFormatImportWithTheNotesAForgivingReaderFinds) {
    // A format 0 header over two tracks, and running status carried over a meta event: read as
    // they were meant.
    const std::vector<std::pair<const char*, size_t>> files = {
        {"jazz-test-2-tracks-type-0.mid", 16},
        {"jazz-test-running-status-metaevent.mid", 8},
    };
    for (const auto& [name, notes] : files) {
        SCOPED_TRACE(name);
        std::vector<LoadWarning> warnings;
        const Song song =
            read_any_song(folder_ / "either" / name, test_bank_lookup(), nullptr, &warnings);
        EXPECT_EQ(song_notes(song).size(), notes);
    }
}

} // namespace
} // namespace tunemill
