// The Standard MIDI File reader against crafted bytes: what real files do that the letter of the
// format forbids is read, damage is refused with one error naming it, and what the writer writes
// the reader reads back unchanged.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "midi/smf.h"

namespace tunemill {
namespace {

using namespace testing;

// A track of one note: C4 from tick 0 to 96, then the end of the track.
const std::vector<uint8_t> NOTE = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};

struct RefusedCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t message;
};

TEST(SmfReaderTest, RefusesDamageAndWhatItDoesNotSupportWithOneMessage) {
    std::vector<uint8_t> cut_track = joined({header(0, 1, 96), chunk("MTrk", NOTE)});
    cut_track.pop_back(); // the chunk says one byte more than the file holds
    std::vector<uint8_t> cut_event = NOTE;
    cut_event.resize(6); // ends inside the note off
    const std::vector<RefusedCase> cases = {
        {"empty file", {}, S_MIDI_UNKNOWN},
        {"another kind of file",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
         S_MIDI_UNKNOWN},
        {"header cut short", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, S_MIDI_DAMAGED},
        {"header length beyond the file",
         joined({{'M', 'T', 'h', 'd', 0, 0, 1, 0}, {0, 0, 0, 1, 0, 96}}), S_MIDI_DAMAGED},
        {"track chunk cut short", cut_track, S_MIDI_DAMAGED},
        {"event cut short inside its chunk", joined({header(0, 1, 96), chunk("MTrk", cut_event)}),
         S_MIDI_DAMAGED},
        {"more tracks claimed than held", joined({header(1, 3, 96), chunk("MTrk", NOTE)}),
         S_MIDI_DAMAGED},
        {"delta of five bytes",
         joined({header(0, 1, 96), chunk("MTrk", {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1})}),
         S_MIDI_DAMAGED},
        {"meta length beyond the chunk",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F})}),
         S_MIDI_DAMAGED},
        {"running status with no status before",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 60, 100})}), S_MIDI_DAMAGED},
        {"system common message in a track",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 0xF1, 0x00})}), S_MIDI_DAMAGED},
        {"status byte where data belongs",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 0x90, 100})}), S_MIDI_DAMAGED},
        {"division of zero", joined({header(0, 1, 0), chunk("MTrk", NOTE)}), S_MIDI_DAMAGED},
        {"format 2", joined({header(2, 1, 96), chunk("MTrk", NOTE)}), S_MIDI_FORMAT2},
        {"format 3", joined({header(3, 1, 96), chunk("MTrk", NOTE)}), S_MIDI_DAMAGED},
        {"RIFF without a data chunk",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'},
         S_MIDI_DAMAGED},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            read_smf(c.bytes);
            ADD_FAILURE() << "read";
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), c.message);
        }
    }
}

struct ReadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t tracks;
    size_t note_ons; // channel events of kind 0x90
};

TEST(SmfReaderTest, ReadsWhatRealFilesDo) {
    const std::vector<uint8_t> rmid_body = joined({header(0, 1, 96), chunk("MTrk", NOTE)});
    std::vector<uint8_t> rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'};
    // An INFO list of odd size, padded to even, before the data chunk.
    rmid.insert(rmid.end(), {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', 0, 0});
    rmid.insert(rmid.end(), {'d', 'a', 't', 'a', uint8_t(rmid_body.size()), 0, 0, 0});
    rmid.insert(rmid.end(), rmid_body.begin(), rmid_body.end());
    const std::vector<ReadCase> cases = {
        {"format 0", joined({header(0, 1, 96), chunk("MTrk", NOTE)}), 1, 1},
        {"unknown chunk skipped",
         joined({header(1, 1, 96), chunk("Junk", {1, 2, 3}), chunk("MTrk", NOTE)}), 1, 1},
        {"empty track chunk", joined({header(1, 2, 96), chunk("MTrk", {}), chunk("MTrk", NOTE)}), 2,
         1},
        {"track without end of track",
         joined({header(1, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0})}), 1, 1},
        {"header counts fewer tracks",
         joined({header(1, 1, 96), chunk("MTrk", NOTE), chunk("MTrk", NOTE)}), 2, 2},
        {"running status, also over a meta event",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x01, 'x',
                                                  0x60, 60, 0, 0x00, 64, 1})}),
         1, 3},
        {"SysEx in both forms",
         joined({header(0, 1, 96), chunk("MTrk", {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xF7,
                                                  0x00, 0x00, 0x90, 60, 1})}),
         1, 1},
        {"a trailing byte after the last chunk",
         joined({header(0, 1, 96), chunk("MTrk", NOTE), {0x00}}), 1, 1},
        {"SMPTE division", joined({header(0, 1, 0xE728), chunk("MTrk", NOTE)}), 1, 1},
        {"RIFF RMID wrapper", rmid, 1, 1},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MidiFile file = read_smf(c.bytes);
        EXPECT_EQ(file.tracks.size(), c.tracks);
        size_t note_ons = 0;
        for (const MidiTrack& track : file.tracks)
            for (const MidiEvent& event : track.events)
                note_ons += event.kind() == 0x90 && event.status < 0xF0;
        EXPECT_EQ(note_ons, c.note_ons);
    }
}

TEST(SmfReaderTest, WhatTheWriterWritesReadsBackUnchanged) {
    MidiFile file;
    file.format = 1;
    file.division.ticks_per_quarter = 480;
    MidiTrack tempo;
    tempo.events.push_back({0, MIDI_META, META_TEMPO, 0, std::string("\x07\xA1\x20", 3)});
    tempo.events.push_back({0, MIDI_META, META_TEXT, 0, "Description"});
    tempo.end_tick = 2000000;
    MidiTrack notes;
    notes.events.push_back({0, 0xC3, 40, 0, {}});
    notes.events.push_back({10, 0x93, 60, 127, {}});
    notes.events.push_back({10, 0xB3, 10, 64, {}});
    notes.events.push_back({MIDI_MAX_VARIABLE, 0x83, 60, 64, {}}); // the largest delta there is
    notes.events.push_back({MIDI_MAX_VARIABLE + 1, MIDI_SYSEX, 0, 0, std::string(300, '\x11')});
    notes.end_tick = MIDI_MAX_VARIABLE + 1;
    file.tracks = {tempo, notes};

    const MidiFile again = read_smf(write_smf(file));
    ASSERT_EQ(again.tracks.size(), 2u);
    EXPECT_EQ(again.division.ticks_per_quarter, 480);
    for (size_t t = 0; t < 2; ++t) {
        const auto& events = again.tracks[t].events;
        ASSERT_EQ(events.size(), file.tracks[t].events.size() + 1); // the end of track added
        for (size_t i = 0; i + 1 < events.size(); ++i) {
            const MidiEvent& want = file.tracks[t].events[i];
            EXPECT_EQ(events[i].tick, want.tick);
            EXPECT_EQ(events[i].status, want.status);
            EXPECT_EQ(events[i].data1, want.data1);
            EXPECT_EQ(events[i].data2, want.data2);
            EXPECT_EQ(events[i].data, want.data);
        }
        EXPECT_EQ(again.tracks[t].end_tick, file.tracks[t].end_tick);
    }
}

TEST(SmfReaderTest, ProbeKnowsBothHeads) {
    const std::vector<uint8_t> smf = header(0, 1, 96);
    const std::vector<uint8_t> rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'};
    const std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    EXPECT_TRUE(probe_midi_head(smf));
    EXPECT_TRUE(probe_midi_head(rmid));
    EXPECT_FALSE(probe_midi_head(wave));
    EXPECT_FALSE(probe_midi_head({}));
}

} // namespace
} // namespace tunemill
