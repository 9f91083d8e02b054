// Reader and writer of the song file. The writer builds the chunk tree in memory and fixes each
// chunk's length once its content is written; the reader walks it with per-level tag tables.
#include "storage/song_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "foundation/bit_reader.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/instrument_file.h"
#include "song/instrument_array.h"
#include "storage/byte_order.h"
#include "storage/chunk_reader.h"
#include "storage/release_marks.h"

namespace tunemill {

namespace {

constexpr size_t CHUNK_HEAD = 7;
constexpr size_t FILE_HEAD = 24;
constexpr uint32_t MAX_COUNT = 0x7FFFFFFF;
constexpr uint8_t LONG_RECORD = 0xFF;
constexpr size_t MAX_KEPT_DATA = 16;

[[noreturn]] void damaged() {
    throw LOAD_ERROR(0);
}

// --- Writing -----------------------------------------------------------------------------------

// The text as the zero-terminated string it stands for.
std::string_view stored_text(const std::string& text) {
    const size_t zero = text.find('\0');
    return std::string_view(text).substr(0, zero == std::string::npos ? text.size() : zero);
}

class ChunkWriter {
  public:
    explicit ChunkWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Writes a head with a provisional length; returns where the chunk starts.
    size_t begin(const char* tag) {
        const size_t start = out_.size();
        for (int k = 0; k < 3; ++k)
            out_.push_back(uint8_t(tag[k]));
        put_u32(out_, 0);
        return start;
    }
    void end(size_t start) {
        set_u32(out_.data() + start + 3, uint32_t(out_.size() - start - CHUNK_HEAD));
    }
    void whole(const char* tag, std::string_view bytes) {
        const size_t start = begin(tag);
        put_bytes(out_, bytes);
        end(start);
    }

  private:
    std::vector<uint8_t>& out_;
};

uint32_t data_length(uint8_t kind) {
    return kind == PORTAMENTO ? 3 : 1;
}

void put_events(std::vector<uint8_t>& out, const std::vector<Event>& events) {
    Tick previous = 0;
    for (const Event& e : events) {
        if (e.kind != NOTE_ON && e.kind != NOTE_OFF && e.kind != VOLUME && e.kind != BALANCE &&
            e.kind != PORTAMENTO)
            continue; // release marks (and nothing else) never reach a file
        const uint32_t delta = e.tick - previous;
        const uint32_t length = data_length(e.kind);
        if (delta < LONG_RECORD) {
            out.push_back(uint8_t(delta));
            out.push_back(uint8_t(length << 4 | e.kind));
        } else {
            out.push_back(LONG_RECORD);
            put_u32(out, delta);
            out.push_back(e.kind);
            put_u32(out, length);
        }
        out.push_back(e.param1);
        if (length == 3) {
            out.push_back(e.param2);
            out.push_back(e.param3);
        }
        previous = e.tick;
    }
}

// A bank instrument is stored by name, which must then be one the reader accepts.
bool stored_by_name(const Instrument& instrument) {
    const std::string_view name = stored_text(instrument.name);
    return instrument.from_bank && !name.empty() && name.size() == instrument.name.size() &&
           name.size() <= MAX_INSTRUMENT_NAME;
}

// --- Reading -----------------------------------------------------------------------------------

std::string read_text(ChunkInput& input, uint64_t length) {
    std::string text(size_t(length), '\0');
    input.read(text.data(), text.size());
    if (text.find('\0') != std::string::npos) damaged();
    return text;
}

void read_events(ChunkInput& input, uint64_t left, Voice& voice) {
    // Every event takes at least three bytes; beyond a million the vector grows as it goes, so a
    // large chunk of skipped records costs no memory up front.
    voice.events.reserve(size_t(std::min<uint64_t>(left / 3, 1u << 20)));
    uint64_t tick = 0;
    uint8_t data[MAX_KEPT_DATA];
    while (left > 0) {
        if (left < 2) damaged();
        const uint8_t first = input.byte();
        const uint8_t second = input.byte();
        left -= 2;
        uint32_t kind, length;
        if (first != LONG_RECORD) {
            tick += first;
            kind = second & 0x0F;
            length = second >> 4;
        } else {
            if (left < 8) damaged();
            uint8_t rest[8];
            input.read(rest, 8);
            left -= 8;
            tick += uint32_t(second) | uint32_t(rest[0]) << 8 | uint32_t(rest[1]) << 16 |
                    uint32_t(rest[2]) << 24;
            kind = rest[3];
            length = get_u32(rest + 4);
        }
        if (length > left) damaged();
        const uint32_t kept = length < MAX_KEPT_DATA ? length : uint32_t(MAX_KEPT_DATA);
        input.read(data, kept);
        if (length > kept) input.skip(length - kept);
        left -= length;
        // No event can lie beyond a pattern's length, and no length exceeds this.
        if (tick > MAX_PATTERN_LENGTH) damaged();
        if (kind == 0 || kind > PORTAMENTO) continue; // a later version's event
        const uint32_t needed = data_length(uint8_t(kind));
        if (length < needed) damaged();
        Event e{Tick(tick), uint8_t(kind), data[0], 0, 0};
        if (needed == 3) {
            e.param2 = data[1];
            e.param3 = data[2];
        }
        voice.events.push_back(e);
    }
    order_within_ticks(voice);
}

class SongFileReader {
  public:
    SongFileReader(ChunkInput& input, Song& song, const BankLookup& bank)
        : input_(input), song_(song), bank_(bank) {}

    void read_top_level(uint64_t span) {
        const ChunkKind kinds[] = {
            {{'N', 'A', 'M'}, 0, [&](const uint8_t*, uint64_t rest) { read_description(rest); }},
            {{'S', 'E', 'Q'}, 0, [&](const uint8_t*, uint64_t rest) { read_sequence(rest); }},
            {{'P', 'A', 'T'},
             4,
             [&](const uint8_t* fixed, uint64_t rest) { read_pattern(get_u32(fixed), rest); }},
            {{'I', 'N', 'S'},
             1,
             [&](const uint8_t* fixed, uint64_t rest) { read_instrument(fixed[0], rest); }},
        };
        read_chunk_list(input_, span, kinds);
    }

  private:
    void read_description(uint64_t rest) {
        if (seen_description_) damaged();
        seen_description_ = true;
        song_.description = read_text(input_, rest);
    }

    void read_sequence(uint64_t rest) {
        if (seen_sequence_ || rest % 4 != 0) damaged();
        seen_sequence_ = true;
        song_.sequence.resize(size_t(rest / 4));
        for (uint32_t& entry : song_.sequence)
            entry = input_.u32();
    }

    void read_pattern(uint32_t length, uint64_t rest) {
        if (length > MAX_COUNT) damaged();
        add_pattern(song_, {});
        Pattern& pattern = song_.patterns.back();
        pattern.length = int32_t(length);
        bool seen_name = false, seen_tempo = false;
        const ChunkKind kinds[] = {
            {{'p', 'n', 'a'},
             0,
             [&](const uint8_t*, uint64_t bytes) {
                 if (seen_name) damaged();
                 seen_name = true;
                 pattern.name = read_text(input_, bytes);
             }},
            {{'t', 'e', 'm'},
             0,
             [&](const uint8_t*, uint64_t bytes) {
                 if (seen_tempo || bytes % 8 != 0) damaged();
                 seen_tempo = true;
                 pattern.tempo_points.resize(size_t(bytes / 8));
                 for (TempoPoint& point : pattern.tempo_points) {
                     uint8_t record[8];
                     input_.read(record, 8);
                     point = TempoPoint{get_u32(record), record[4], {0, 0, 0}};
                 }
             }},
            {{'v', 'o', 'i'},
             4,
             [&](const uint8_t* fixed, uint64_t bytes) {
                 const uint32_t instrument = get_u32(fixed);
                 if (instrument > MAX_COUNT) damaged();
                 read_events(input_, bytes, pattern.voices[add_voice(pattern, instrument)]);
             }},
        };
        read_chunk_list(input_, rest, kinds);
    }

    void read_instrument(uint8_t kind, uint64_t rest) {
        if (kind > 1) damaged();
        if (kind == 1) {
            if (rest < 1 || rest > MAX_INSTRUMENT_NAME) damaged();
            const std::string name = read_text(input_, rest);
            add_instrument(song_, bank_(name));
            return;
        }
        const uint64_t end = input_.position() + rest;
        File& file = input_.file_at_position();
        BitReader reader(file);
        Instrument instrument = read_instrument_file(file, reader, end);
        // The instrument reader cannot know the chunk: what it took must lie inside it.
        if (file.position() > end) damaged();
        add_instrument(song_, std::move(instrument));
    }

    ChunkInput& input_;
    Song& song_;
    const BankLookup& bank_;
    bool seen_description_ = false;
    bool seen_sequence_ = false;
};

} // namespace

bool probe_song_file(std::span<const uint8_t> head) {
    return head.size() >= 3 && std::memcmp(head.data(), "SN2", 3) == 0;
}

std::vector<uint8_t> encode_song(const Song& song) {
    std::vector<uint8_t> out;
    size_t events = 0;
    for (const Pattern& pattern : song.patterns)
        for (const Voice& voice : pattern.voices)
            events += voice.events.size();
    out.reserve(64 + 4 * events);
    ChunkWriter chunks(out);

    const size_t file = chunks.begin("SN2");
    put_u32(out, uint32_t(song.patterns.size()));
    put_u32(out, uint32_t(song.instruments.size()));
    put_u32(out, uint32_t(song.repeat_position));
    put_u32(out, uint32_t(song.overall_tempo));
    put_u32(out, uint32_t(song.ticks_per_beat));
    put_u32(out, uint32_t(song.beats_per_measure));

    chunks.whole("NAM", stored_text(song.description));
    const size_t sequence = chunks.begin("SEQ");
    for (uint32_t entry : song.sequence)
        put_u32(out, entry);
    chunks.end(sequence);

    for (const Pattern& pattern : song.patterns) {
        const size_t start = chunks.begin("PAT");
        put_u32(out, uint32_t(pattern.length));
        chunks.whole("pna", stored_text(pattern.name));
        const size_t tempo = chunks.begin("tem");
        for (const TempoPoint& point : pattern.tempo_points) {
            put_u32(out, point.tick);
            put_u32(out, point.value); // the value, then three bytes that carry nothing
        }
        chunks.end(tempo);
        for (const Voice& voice : pattern.voices) {
            const size_t voice_start = chunks.begin("voi");
            put_u32(out, voice.instrument);
            put_events(out, voice.events);
            chunks.end(voice_start);
        }
        chunks.end(start);
    }

    for (const Instrument& instrument : song.instruments) {
        const size_t start = chunks.begin("INS");
        if (stored_by_name(instrument)) {
            out.push_back(1);
            put_bytes(out, instrument.name);
        } else {
            out.push_back(0);
            put_bytes(out, encode_instrument(instrument));
        }
        chunks.end(start);
    }
    chunks.end(file);
    return out;
}

void write_song(File& file, const Song& song) {
    const std::vector<uint8_t> bytes = encode_song(song);
    file.write_exact(bytes.data(), bytes.size());
}

bool read_song(File& file, Song& song, const BankLookup& bank) {
    reset(song);
    file.seek(0);
    uint8_t head[CHUNK_HEAD];
    size_t got = 0;
    while (got < CHUNK_HEAD) {
        const size_t more = file.read_some(head + got, CHUNK_HEAD - got);
        if (more == 0) break;
        got += more;
    }
    if (!probe_song_file(std::span<const uint8_t>(head, got))) {
        file.seek(0);
        return false;
    }
    const uint64_t file_size = file.size();
    if (got < CHUNK_HEAD)
        throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE, file.path().string());
    const uint32_t length = get_u32(head + 3);
    // A payload that the file cannot hold is a file cut short; nothing is read on its word.
    if (length > file_size - CHUNK_HEAD)
        throw FILE_ERROR(FILE_ERROR::READ, FILE_ERROR::END_OF_FILE, file.path().string());
    if (length < FILE_HEAD) damaged();

    ChunkInput input(file);
    uint8_t globals[FILE_HEAD];
    input.read(globals, FILE_HEAD);
    const uint32_t pattern_count = get_u32(globals);
    const uint32_t instrument_count = get_u32(globals + 4);
    if (pattern_count > MAX_COUNT || instrument_count > MAX_COUNT) damaged();
    song.repeat_position = int32_t(get_u32(globals + 8));
    song.overall_tempo = int32_t(get_u32(globals + 12));
    song.ticks_per_beat = int32_t(get_u32(globals + 16));
    song.beats_per_measure = int32_t(get_u32(globals + 20));

    SongFileReader(input, song, bank).read_top_level(length - FILE_HEAD);

    for (Pattern& pattern : song.patterns)
        for (Voice& voice : pattern.voices)
            if (voice.instrument < song.instruments.size())
                resolve_release_marks(voice, pattern, song.instruments[voice.instrument],
                                      song.overall_tempo);
    if (song.patterns.size() != pattern_count || song.instruments.size() != instrument_count ||
        !validate(song))
        damaged();
    return true;
}

} // namespace tunemill
