// demo_gen DESCRIPTION BANK OUT.sn2: builds a demo song from its readable description (see
// data/demos/*.txt) with instruments of the stock bank and writes it as a song file.
//
// The description, one command a line ('#' starts a comment; keys are note names C1..B7, C1 being
// key 0 and A4 key 45, with '#' for sharps):
//   title TEXT                      the song description
//   tempo T | grid TICKS BEATS | repeat-from INDEX
//   instrument ALIAS "Bank Name"
//   pattern NAME LENGTH             starts a pattern; the commands below apply to it
//   tempo-point TICK VALUE | tempo-ramp FROM TO V1 V2
//   voice ALIAS                     starts a voice of the current pattern
//   note TICK LENGTH KEY...         one note, or a chord of several keys
//   every TICK INTERVAL COUNT LENGTH KEY...   the same note or chord repeated
//   slide TICK LENGTH FROM TO AT TICKS        a note sliding from one key to another
//   volume TICK V | volume-ramp FROM TO V1 V2 | balance TICK B | balance-ramp FROM TO B1 B2
//   sequence NAME...
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "song/song.h"
#include "song/timing.h"
#include "storage/song_file.h"

using namespace tunemill;

namespace {

[[noreturn]] void fail(int line, const std::string& what) {
    throw std::runtime_error("line " + std::to_string(line) + ": " + what);
}

Key key_of(const std::string& name, int line) {
    static const std::map<char, int> semitones{{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                               {'G', 7}, {'A', 9}, {'B', 11}};
    if (name.size() < 2 || !semitones.count(name[0])) fail(line, "bad key " + name);
    int semitone = semitones.at(name[0]);
    size_t at = 1;
    if (name[at] == '#') {
        ++semitone;
        ++at;
    }
    const int octave = std::stoi(name.substr(at));
    const int key = (octave - 1) * 12 + semitone;
    if (key < 0 || key >= KEY_COUNT) fail(line, "key out of range " + name);
    return Key(key);
}

// Points of a ramp from value a at tick `from` to value b at tick `to`, one where it changes.
template <typename Add> void ramp(Tick from, Tick to, int a, int b, Add add) {
    int last = -1;
    for (Tick t = from; t <= to; ++t) {
        const int value =
            to == from ? b : a + int((int64_t(b - a) * int64_t(t - from)) / int64_t(to - from));
        if (value != last) add(t, uint8_t(value));
        last = value;
    }
}

Song build(std::istream& in, InstrumentBank& bank) {
    Song song;
    reset(song);
    std::map<std::string, uint32_t> instruments;
    std::map<std::string, uint32_t> patterns;
    Pattern* pattern = nullptr;
    Voice* voice = nullptr;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (const size_t hash = text.find("# "); hash != std::string::npos) text.resize(hash);
        if (!text.empty() && text[0] == '#') continue;
        std::istringstream words(text);
        std::string command;
        if (!(words >> command)) continue;
        auto number = [&]() {
            long value;
            if (!(words >> value)) fail(line, "number expected after " + command);
            return value;
        };
        auto keys = [&]() {
            std::vector<Key> out;
            std::string name;
            while (words >> name)
                out.push_back(key_of(name, line));
            if (out.empty()) fail(line, "keys expected");
            return out;
        };
        auto need_voice = [&]() {
            if (!voice) fail(line, command + " outside a voice");
            return voice;
        };
        if (command == "title") {
            std::getline(words >> std::ws, song.description);
        } else if (command == "tempo") {
            song.overall_tempo = int32_t(number());
        } else if (command == "grid") {
            song.ticks_per_beat = int32_t(number());
            song.beats_per_measure = int32_t(number());
        } else if (command == "repeat-from") {
            song.repeat_position = int32_t(number());
        } else if (command == "instrument") {
            std::string alias, name;
            words >> alias >> std::ws;
            std::getline(words, name);
            if (name.size() < 2 || name.front() != '"' || name.back() != '"')
                fail(line, "quoted name expected");
            name = name.substr(1, name.size() - 2);
            instruments[alias] = uint32_t(song.instruments.size());
            song.instruments.push_back(bank.load(name));
        } else if (command == "pattern") {
            std::string name;
            words >> name;
            const long length = number();
            add_pattern(song, name);
            patterns[name] = uint32_t(song.patterns.size() - 1);
            pattern = &song.patterns.back();
            pattern->length = int32_t(length);
            voice = nullptr;
        } else if (command == "tempo-point" || command == "tempo-ramp") {
            if (!pattern) fail(line, "tempo outside a pattern");
            auto add = [&](Tick t, uint8_t v) { pattern->tempo_points.push_back({t, v}); };
            if (command == "tempo-point") {
                const Tick t = Tick(number());
                add(t, uint8_t(number()));
            } else {
                const Tick from = Tick(number()), to = Tick(number());
                const int a = int(number());
                ramp(from, to, a, int(number()), add);
            }
        } else if (command == "voice") {
            if (!pattern) fail(line, "voice outside a pattern");
            std::string alias;
            words >> alias;
            if (!instruments.count(alias)) fail(line, "unknown instrument " + alias);
            add_voice(*pattern, instruments[alias]);
            voice = &pattern->voices.back();
        } else if (command == "note" || command == "every") {
            Voice* v = need_voice();
            const Tick tick = Tick(number());
            const Tick interval = command == "every" ? Tick(number()) : 0;
            const long count = command == "every" ? number() : 1;
            const Tick length = Tick(number());
            const std::vector<Key> chord = keys();
            for (long i = 0; i < count; ++i)
                for (Key key : chord) {
                    insert_event(*v, tick + Tick(i) * interval, NOTE_ON, key);
                    insert_event(*v, tick + Tick(i) * interval + length, NOTE_OFF, key);
                }
        } else if (command == "slide") {
            Voice* v = need_voice();
            const Tick tick = Tick(number()), length = Tick(number());
            std::string from, to;
            words >> from >> to;
            const Tick at = Tick(number()), ticks = Tick(number());
            insert_event(*v, tick, NOTE_ON, key_of(from, line));
            insert_event(*v, at, PORTAMENTO, key_of(from, line), key_of(to, line), uint8_t(ticks));
            insert_event(*v, tick + length, NOTE_OFF, key_of(to, line));
        } else if (command == "volume" || command == "balance") {
            Voice* v = need_voice();
            const Tick t = Tick(number());
            insert_event(*v, t, command == "volume" ? VOLUME : BALANCE, uint8_t(number()));
        } else if (command == "volume-ramp" || command == "balance-ramp") {
            Voice* v = need_voice();
            const uint8_t kind = command == "volume-ramp" ? VOLUME : BALANCE;
            const Tick from = Tick(number()), to = Tick(number());
            const int a = int(number());
            ramp(from, to, a, int(number()),
                 [&](Tick t, uint8_t value) { insert_event(*v, t, kind, value); });
        } else if (command == "sequence") {
            std::string name;
            while (words >> name) {
                if (!patterns.count(name)) fail(line, "unknown pattern " + name);
                song.sequence.push_back(patterns[name]);
            }
        } else {
            fail(line, "unknown command " + command);
        }
    }
    for (Pattern& p : song.patterns)
        normalize_pattern(p);
    if (const auto failure = find_invalid(song))
        throw std::runtime_error(
            "the song is not valid: invariant " + std::to_string(failure->invariant) +
            ", pattern " + std::to_string(failure->pattern) + ", voice " +
            std::to_string(failure->voice) + ", item " + std::to_string(failure->item));
    return song;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: demo_gen DESCRIPTION BANK OUT.sn2\n");
        return 2;
    }
    try {
        std::ifstream in(argv[1]);
        if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        InstrumentBank bank(argv[2]);
        Song song = build(in, bank);
        const uint64_t ms = song_length(song);
        if (ms < 30000)
            throw std::runtime_error("the song plays " + std::to_string(ms) +
                                     " ms, less than 30 s");
        File file = File::open_for_writing(argv[3]);
        write_song(file, song);
        file.close();
        std::printf("%s: %llu ms\n", argv[3], static_cast<unsigned long long>(ms));
    } catch (const ERROR& error) {
        std::fprintf(stderr, "demo_gen: %s\n", error_text(error).c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo_gen: %s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
