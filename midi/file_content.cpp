// Walking the tracks of a MIDI file into notes and changes.
#include "midi/file_content.h"

#include <algorithm>
#include <array>

#include "midi/general_midi.h"

namespace tunemill {

namespace {

constexpr uint8_t CC_VOLUME = 7;
constexpr uint8_t CC_PAN = 10;
constexpr uint8_t CC_SUSTAIN = 64;

struct OpenNote {
    uint64_t start;
    uint8_t velocity, program, volume, pan;
};

// One channel of one track while it is walked.
struct ChannelState {
    uint8_t program = 0;
    uint8_t volume = GM_DEFAULT_CHANNEL_VOLUME;
    uint8_t pan = GM_CENTRE_PAN;
    bool sustain = false;
    std::array<std::vector<OpenNote>, 128> open; // oldest first: a note off ends the oldest
    std::array<std::vector<OpenNote>, 128> held; // released while the pedal is down
};

class TrackWalker {
  public:
    TrackWalker(uint32_t track, FileContent& content) : track_(track), content_(content) {}

    void event(const MidiEvent& event) {
        if (event.status == MIDI_META) return meta(event);
        if (event.status >= 0xF0) return;
        ChannelState& state = channel(event.channel());
        const uint8_t note = event.data1;
        switch (event.kind()) {
        case 0x90:
            if (event.data2) return note_on(state, event, note);
            [[fallthrough]];
        case 0x80:
            return note_off(state, event.tick, note, event.channel());
        case 0xB0:
            return controller(state, event);
        case 0xC0:
            state.program = event.data1;
            return;
        default:
            return;
        }
    }

    // Notes still sounding when the track ends end there.
    void finish(uint64_t end) {
        for (size_t c = 0; c < channels_.size(); ++c) {
            ChannelState& state = channels_[c];
            for (int note = 0; note < 128; ++note) {
                for (const OpenNote& open : state.open[note])
                    add(open, end, uint16_t(c), uint8_t(note));
                for (const OpenNote& held : state.held[note])
                    add(held, end, uint16_t(c), uint8_t(note));
            }
        }
    }

  private:
    ChannelState& channel(uint8_t channel) {
        const size_t index = size_t(port_) * 16 + channel;
        if (channels_.size() <= index) channels_.resize(index + 1);
        return channels_[index];
    }

    uint16_t channel_number(uint8_t channel) const { return uint16_t(port_ * 16 + channel); }

    void meta(const MidiEvent& event) {
        const std::string& data = event.data;
        switch (event.data1) {
        case META_PORT:
            if (!data.empty()) port_ = uint8_t(data[0] & 0x7F);
            return;
        case META_TEMPO:
            if (data.size() >= 3) {
                const uint32_t micros = uint32_t(uint8_t(data[0])) << 16 |
                                        uint32_t(uint8_t(data[1])) << 8 | uint8_t(data[2]);
                if (micros) content_.tempos.push_back({event.tick, micros});
            }
            return;
        case META_TIME_SIGNATURE:
            if (data.size() >= 2 && data[0] > 0 && uint8_t(data[1]) <= 6)
                content_.signatures.push_back(
                    {event.tick, uint8_t(data[0]), uint8_t(1 << data[1])});
            return;
        case META_MARKER:
            content_.markers.push_back({event.tick, data});
            return;
        case META_TEXT:
        case META_COPYRIGHT:
            if (!data.empty()) content_.texts.push_back(data);
            return;
        default:
            return;
        }
    }

    void note_on(ChannelState& state, const MidiEvent& event, uint8_t note) {
        // A key struck again while the pedal holds it ends the held note.
        for (const OpenNote& held : state.held[note])
            add(held, event.tick, channel_number(event.channel()), note);
        state.held[note].clear();
        state.open[note].push_back(
            {event.tick, event.data2, state.program, state.volume, state.pan});
    }

    void note_off(ChannelState& state, uint64_t tick, uint8_t note, uint8_t channel) {
        auto& open = state.open[note];
        if (open.empty()) return; // a note off without a note
        if (state.sustain) {
            state.held[note].push_back(open.front());
        } else {
            add(open.front(), tick, channel_number(channel), note);
        }
        open.erase(open.begin());
    }

    void controller(ChannelState& state, const MidiEvent& event) {
        const uint8_t value = event.data2;
        switch (event.data1) {
        case CC_VOLUME:
            state.volume = value;
            break;
        case CC_PAN:
            state.pan = value;
            break;
        case CC_SUSTAIN: {
            const bool down = value >= 64;
            if (state.sustain && !down) {
                const uint16_t number = channel_number(event.channel());
                for (int note = 0; note < 128; ++note) {
                    for (const OpenNote& held : state.held[note])
                        add(held, event.tick, number, uint8_t(note));
                    state.held[note].clear();
                }
            }
            state.sustain = down;
            return;
        }
        default:
            return;
        }
        content_.controls.push_back(
            {event.tick, track_, channel_number(event.channel()), event.data1, value});
    }

    void add(const OpenNote& open, uint64_t end, uint16_t channel, uint8_t note) {
        content_.notes.push_back({open.start, std::max(end, open.start), track_, channel,
                                  open.program, note, open.velocity, open.volume, open.pan,
                                  (channel & 15) == MIDI_DRUM_CHANNEL});
    }

    uint32_t track_;
    FileContent& content_;
    uint8_t port_ = 0;
    std::vector<ChannelState> channels_;
};

} // namespace

FileContent gather_file_content(const MidiFile& file) {
    FileContent content;
    for (uint32_t t = 0; t < file.tracks.size(); ++t) {
        const MidiTrack& track = file.tracks[t];
        TrackWalker walker(t, content);
        for (const MidiEvent& event : track.events)
            walker.event(event);
        walker.finish(track.end_tick);
        content.end_tick = std::max(content.end_tick, track.end_tick);
    }
    std::stable_sort(content.notes.begin(), content.notes.end(),
                     [](const FileNote& a, const FileNote& b) {
                         if (a.start != b.start) return a.start < b.start;
                         if (a.track != b.track) return a.track < b.track;
                         if (a.channel != b.channel) return a.channel < b.channel;
                         return a.note < b.note;
                     });
    const auto by_tick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(content.controls.begin(), content.controls.end(), by_tick);
    std::stable_sort(content.tempos.begin(), content.tempos.end(), by_tick);
    std::stable_sort(content.signatures.begin(), content.signatures.end(), by_tick);
    std::stable_sort(content.markers.begin(), content.markers.end(), by_tick);
    return content;
}

} // namespace tunemill
