// Reader of the older, bit-packed song file.
#include "storage/old_song_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/bit_reader.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/instrument_file.h"
#include "song/instrument_array.h"

namespace tunemill {

namespace {

constexpr size_t HEAD_BYTES = 15;
constexpr size_t SONG_NAME_MAX = 25;
constexpr size_t MAX_NAME = 16;
constexpr uint32_t MAX_INSTRUMENTS = 64;
constexpr uint32_t MAX_PATTERNS = 200;
constexpr int NO_KEY = -1;
constexpr Key FIRST_KEY = 48;

[[noreturn]] void damaged() {
    throw LOAD_ERROR(0);
}

std::string read_name(BitReader& reader, size_t max) {
    char buffer[SONG_NAME_MAX + 1];
    if (!reader.read_string(buffer, max)) damaged();
    return buffer;
}

// The skip code tree as pairs of entries, the first of a pair for bit 0: below 240 the index of
// the next pair, 240 to 247 the leaves 0 to 7, 255 the escape.
constexpr uint8_t SKIP_TREE[16] = {240, 2,  241, 4,  6,   8,   242, 243,
                                   245, 10, 12,  14, 244, 246, 247, 255};
constexpr uint8_t SKIP_ESCAPE = 255;

uint32_t read_skip(BitReader& reader) {
    uint8_t node = 0;
    for (;;) {
        const uint8_t entry = SKIP_TREE[node + reader.read_bits(1)];
        if (entry == SKIP_ESCAPE) {
            uint32_t n = reader.read_bits(6);
            if (n == 63) n = reader.read_bits(14);
            return n + 8;
        }
        if (entry >= 240) return entry - 240u;
        node = entry;
    }
}

// Step 2 of a voice step: the key code and the flags.
uint32_t read_key_code(BitReader& reader, uint32_t& flags) {
    flags = 0;
    if (reader.read_bits(1) == 0) return 1 + reader.read_bits(1);
    for (;;) {
        const uint32_t code = reader.read_bits(5);
        if (code == 2) return reader.read_bits(7);
        if (code != 1) return code;
        flags = reader.read_bits(3);
        if (reader.read_bits(1) == 0) return 1 + reader.read_bits(1);
    }
}

constexpr uint32_t FLAG_PORTAMENTO = 1, FLAG_VOLUME = 2, FLAG_BALANCE = 4;

// Inserts by the order rules, searching from the first event at or after the tick (slides are
// inserted where they began, a few ticks back).
void insert_at(Voice& voice, Tick tick, uint8_t kind, uint8_t p1, uint8_t p2 = 0, uint8_t p3 = 0) {
    auto from = std::partition_point(voice.events.begin(), voice.events.end(),
                                     [&](const Event& e) { return e.tick < tick; });
    insert_event(voice, tick, kind, p1, p2, p3, size_t(from - voice.events.begin()));
}

void read_voice_stream(BitReader& reader, Voice& voice, Tick length) {
    int key = NO_KEY, previous_key = NO_KEY;
    bool pending = false;
    int slide_key = NO_KEY;
    Tick slide_tick = 0;
    uint32_t volume = DEFAULT_VOLUME, balance = DEFAULT_BALANCE;
    uint32_t previous_volume = volume, previous_balance = balance;
    Tick t = 0;
    while (t < length) {
        const uint32_t skip = read_skip(reader);
        if (skip != 0) {
            t += std::min<uint32_t>(skip, length - t);
            if (t >= length) break;
        }
        uint32_t flags;
        const uint32_t code = read_key_code(reader, flags);
        bool struck = false;
        if (code != 0) {
            if (key == NO_KEY) key = FIRST_KEY;
            if (code == 1) {
                key = NO_KEY;
            } else {
                const int d = int(code) - 1;
                key += d % 2 == 1 ? (d - 1) / 2 : -(d / 2);
                if (key >= KEY_COUNT) key -= KEY_COUNT;
                if (key < 0) key += KEY_COUNT;
                struck = true;
            }
        }
        if (flags & FLAG_VOLUME) volume = (volume + reader.read_bits(5)) % 32;
        if (flags & FLAG_BALANCE) balance = (balance + reader.read_bits(5)) % 32;

        if ((key != previous_key || struck) && previous_key != NO_KEY && !pending)
            insert_at(voice, t, NOTE_OFF, uint8_t(previous_key));
        if (pending && key != NO_KEY) {
            struck = false;
            pending = false;
            if (key != slide_key)
                insert_at(voice, slide_tick, PORTAMENTO,
                          uint8_t(slide_key == NO_KEY ? 0xFF : slide_key), uint8_t(key),
                          uint8_t((t - slide_tick) % 256));
        }
        if (volume != previous_volume) insert_at(voice, t, VOLUME, uint8_t(volume));
        if (balance != previous_balance) insert_at(voice, t, BALANCE, uint8_t(balance));
        if (struck) insert_at(voice, t, NOTE_ON, uint8_t(key));
        if (flags & FLAG_PORTAMENTO) {
            pending = true;
            slide_key = key;
            slide_tick = t;
        }
        previous_key = key;
        previous_volume = volume;
        previous_balance = balance;
        ++t;
    }
    if (key != NO_KEY) insert_at(voice, t, NOTE_OFF, uint8_t(key));
}

void read_pattern_body(BitReader& reader, Song& song, Pattern& pattern, uint32_t instrument_count) {
    const uint32_t voices = reader.read_bits(8);
    const uint32_t low = reader.read_bits(8);
    const Tick length = low | reader.read_bits(8) << 8;
    for (uint32_t v = 0; v < voices; ++v) {
        const uint32_t instrument = reader.read_bits(6);
        if (instrument >= instrument_count) damaged();
        add_voice(pattern, instrument);
    }
    pattern.length = int32_t(length);

    uint32_t current = DEFAULT_TEMPO_VALUE;
    for (Tick t = 0; t < length;) {
        const uint32_t value = reader.read_bits(5);
        if (value > MAX_LEVEL) damaged();
        if (value != current) {
            pattern.tempo_points.push_back(TempoPoint{t, uint8_t(value), {0, 0, 0}});
            current = value;
        }
        const uint32_t run = reader.read_bits(8);
        t += run == 0 ? 256 : run;
    }

    // The pattern's text: runs of spaces are kept as one space; a text of spaces only adds nothing.
    char previous = ' ';
    bool any_text = false;
    for (Tick position = 0; position < length;) {
        const char c = char(reader.read_bits(8));
        uint32_t run = 1;
        if (c == ' ') {
            run = reader.read_bits(8);
            if (run == 0) run = 256;
        } else {
            any_text = true;
        }
        // A zero byte ended the text of a zero-terminated description; it is not kept.
        if (!(c == ' ' && previous == ' ') && c != 0) song.description += c;
        previous = c;
        position += std::min<uint32_t>(run, length - position);
    }
    if (any_text) song.description += "\r\n";

    for (Voice& voice : pattern.voices)
        read_voice_stream(reader, voice, length);
    reader.release();
}

} // namespace

bool probe_old_song_file(std::span<const uint8_t> head) {
    return head.size() >= 4 && std::memcmp(head.data(), "SNGs", 4) == 0;
}

bool read_old_song(File& file, Song& song, const BankLookup& bank) {
    file.seek(0);
    uint8_t head[HEAD_BYTES];
    size_t got = 0;
    while (got < HEAD_BYTES) {
        const size_t more = file.read_some(head + got, HEAD_BYTES - got);
        if (more == 0) break;
        got += more;
    }
    file.seek(0);
    if (!probe_old_song_file(std::span<const uint8_t>(head, got))) return false;

    BitReader reader(file);
    reader.read_bytes(head, HEAD_BYTES);
    const uint32_t stored = head[4], from_bank = head[5], patterns = head[6], entries = head[7];
    const uint32_t repeat = head[10], limited = head[11], tempo = head[12],
                   ticks_per_beat = head[13], beats_per_measure = head[14];
    const std::string name = read_name(reader, SONG_NAME_MAX);
    if (stored + from_bank > MAX_INSTRUMENTS || patterns < 1 || patterns > MAX_PATTERNS ||
        repeat >= entries || repeat > MAX_PATTERNS || limited > 30 ||
        tempo > uint32_t(MAX_OVERALL_TEMPO) || ticks_per_beat < 1 ||
        ticks_per_beat > uint32_t(MAX_TICKS_PER_BEAT) || beats_per_measure < 1 ||
        beats_per_measure > uint32_t(MAX_BEATS_PER_MEASURE))
        damaged();
    std::vector<uint32_t> sequence(entries);
    for (uint32_t& entry : sequence) {
        entry = reader.read_bits(8);
        if (entry >= patterns) damaged();
    }

    reset(song, name + "\r\n\r\n");
    for (uint32_t p = 0; p < patterns; ++p) {
        add_pattern(song, read_name(reader, MAX_NAME));
        read_pattern_body(reader, song, song.patterns.back(), stored + from_bank);
    }
    song.ticks_per_beat = int32_t(ticks_per_beat);
    song.beats_per_measure = int32_t(beats_per_measure);
    song.overall_tempo = int32_t(tempo);
    song.repeat_position = int32_t(repeat);
    song.sequence = std::move(sequence);

    const uint64_t end = file.size();
    for (uint32_t i = 0; i < stored; ++i) {
        char tag[3];
        reader.read_bytes(tag, 3);
        bool synthesized;
        if (std::memcmp(tag, "SMP", 3) == 0)
            synthesized = false;
        else if (std::memcmp(tag, "SYN", 3) == 0)
            synthesized = true;
        else
            damaged();
        std::string instrument_name = read_name(reader, MAX_NAME);
        uint32_t category = reader.read_bits(8);
        if (category == 0xFF)
            category = NO_CATEGORY;
        else if (category > NO_CATEGORY)
            damaged();
        add_instrument(song, read_instrument_body(file, reader, end, std::move(instrument_name),
                                                  category, synthesized, false));
    }
    for (uint32_t i = 0; i < from_bank; ++i)
        add_instrument(song, bank(read_name(reader, MAX_NAME)));
    reader.release();
    if (!validate(song)) damaged();
    return true;
}

} // namespace tunemill
