// Reading and writing Standard MIDI Files.
#include "midi/smf.h"

#include <algorithm>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/string_table.h"

namespace tunemill {

namespace {

[[noreturn]] void damaged() {
    throw MISC_ERROR(S_MIDI_DAMAGED);
}

bool has_tag(std::span<const uint8_t> bytes, size_t at, const char* tag) {
    return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// A bounds-checked cursor over one track chunk.
class TrackBytes {
  public:
    explicit TrackBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool at_end() const { return at_ == bytes_.size(); }
    uint8_t peek() const {
        if (at_end()) damaged();
        return bytes_[at_];
    }
    uint8_t byte() {
        const uint8_t b = peek();
        ++at_;
        return b;
    }
    // A variable-length quantity of at most four bytes.
    uint32_t variable() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        damaged();
    }
    std::string take(uint32_t length) {
        if (length > bytes_.size() - at_) damaged();
        std::string out(reinterpret_cast<const char*>(bytes_.data() + at_), length);
        at_ += length;
        return out;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// Data bytes per channel message kind 0x80..0xE0.
int data_bytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

MidiTrack read_track(std::span<const uint8_t> chunk) {
    MidiTrack track;
    TrackBytes in(chunk);
    uint64_t tick = 0;
    uint8_t running = 0;
    while (!in.at_end()) {
        tick += in.variable();
        MidiEvent event;
        event.tick = tick;
        uint8_t status = in.peek();
        if (status & 0x80) {
            in.byte();
        } else {
            // Running status. Many writers carry it over meta and SysEx events, which strictly
            // end it; reading on with the last channel status loses nothing.
            if (!running) damaged();
            status = running;
        }
        event.status = status;
        if (status < 0xF0) {
            running = status;
            event.data1 = in.byte();
            if (data_bytes(status) == 2) event.data2 = in.byte();
            if ((event.data1 | event.data2) & 0x80) damaged();
        } else if (status == MIDI_SYSEX || status == MIDI_SYSEX_CONTINUED) {
            event.data = in.take(in.variable());
        } else if (status == MIDI_META) {
            event.data1 = in.byte();
            event.data = in.take(in.variable());
            if (event.data1 == META_END_OF_TRACK) {
                track.end_tick = tick;
                track.events.push_back(std::move(event));
                return track; // anything after it in the chunk is not part of the track
            }
        } else {
            damaged(); // system common and real-time messages have no place in a file
        }
        track.events.push_back(std::move(event));
    }
    track.end_tick = tick;
    return track;
}

// The SMF inside a RIFF "RMID" wrapper: the bytes of its "data" chunk.
std::span<const uint8_t> unwrap_rmid(std::span<const uint8_t> bytes) {
    size_t at = 12;
    while (bytes.size() - at >= 8) {
        const uint32_t size = le32(bytes.data() + at + 4);
        if (size > bytes.size() - at - 8) damaged();
        if (has_tag(bytes, at, "data")) return bytes.subspan(at + 8, size);
        at += 8 + size + (size & 1);
        if (at > bytes.size()) break;
    }
    damaged();
}

} // namespace

bool probe_midi_head(std::span<const uint8_t> head) {
    return has_tag(head, 0, "MThd") || (has_tag(head, 0, "RIFF") && has_tag(head, 8, "RMID"));
}

MidiFile read_smf(std::span<const uint8_t> bytes) {
    if (has_tag(bytes, 0, "RIFF") && has_tag(bytes, 8, "RMID")) bytes = unwrap_rmid(bytes);
    if (!has_tag(bytes, 0, "MThd")) throw MISC_ERROR(S_MIDI_UNKNOWN);
    if (bytes.size() < 14) damaged();
    const uint32_t header_length = be32(bytes.data() + 4);
    if (header_length < 6 || header_length > bytes.size() - 8) damaged();
    MidiFile file;
    file.format = uint16_t(bytes[8] << 8 | bytes[9]);
    const uint16_t declared_tracks = uint16_t(bytes[10] << 8 | bytes[11]);
    const uint16_t division = uint16_t(bytes[12] << 8 | bytes[13]);
    if (file.format == 2) throw MISC_ERROR(S_MIDI_FORMAT2);
    if (file.format > 2) damaged();
    if (division & 0x8000) {
        const int fps = -int8_t(division >> 8);
        if (fps != 24 && fps != 25 && fps != 29 && fps != 30) damaged();
        file.division.frames_per_second = uint8_t(fps);
        file.division.ticks_per_frame = uint8_t(division & 0xFF);
        if (file.division.ticks_per_frame == 0) damaged();
    } else {
        if (division == 0) damaged();
        file.division.ticks_per_quarter = division;
    }
    size_t at = 8 + header_length;
    // Every track chunk of the file is read, also beyond the count the header gives; chunks of
    // other types are skipped. A few bytes after the last chunk are no chunk and are ignored.
    while (bytes.size() - at >= 8) {
        const uint32_t length = be32(bytes.data() + at + 4);
        if (length > bytes.size() - at - 8) damaged();
        if (has_tag(bytes, at, "MTrk"))
            file.tracks.push_back(read_track(bytes.subspan(at + 8, length)));
        at += 8 + size_t(length);
    }
    if (file.tracks.size() < declared_tracks) damaged();
    return file;
}

namespace {

void put_variable(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value && n < 4);
    while (n > 1)
        out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

void put_be32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void put_event(std::vector<uint8_t>& out, const MidiEvent& event) {
    out.push_back(event.status);
    if (event.status < 0xF0) {
        out.push_back(event.data1);
        if (data_bytes(event.status) == 2) out.push_back(event.data2);
        return;
    }
    if (event.status == MIDI_META) out.push_back(event.data1);
    put_variable(out, uint32_t(event.data.size()));
    out.insert(out.end(), event.data.begin(), event.data.end());
}

} // namespace

std::vector<uint8_t> write_smf(const MidiFile& file) {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    out.push_back(uint8_t(file.format >> 8));
    out.push_back(uint8_t(file.format));
    out.push_back(uint8_t(file.tracks.size() >> 8));
    out.push_back(uint8_t(file.tracks.size()));
    if (file.division.ticks_per_quarter) {
        out.push_back(uint8_t(file.division.ticks_per_quarter >> 8));
        out.push_back(uint8_t(file.division.ticks_per_quarter));
    } else { // SMPTE: minus the frames per second, then the ticks per frame
        out.push_back(uint8_t(-int(file.division.frames_per_second)));
        out.push_back(file.division.ticks_per_frame);
    }
    for (const MidiTrack& track : file.tracks) {
        std::vector<uint8_t> body;
        uint64_t tick = 0;
        for (const MidiEvent& event : track.events) {
            if (event.status == MIDI_META && event.data1 == META_END_OF_TRACK) continue;
            put_variable(body, uint32_t(event.tick - tick));
            tick = event.tick;
            put_event(body, event);
        }
        put_variable(body, uint32_t(std::max(track.end_tick, tick) - tick));
        body.insert(body.end(), {MIDI_META, META_END_OF_TRACK, 0});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put_be32(out, uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

} // namespace tunemill
