// Song file speed: encoding, saving (flushed to the disk) and reading a song of one million
// events in 10 patterns of 10 voices, with chords, slides and curve changes among the notes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "song/instrument_array.h"
#include "storage/song_file.h"
#include "storage/song_saver.h"

namespace tunemill {
namespace {

constexpr size_t PATTERNS = 10, VOICES = 10, EVENTS_PER_VOICE = 10000;

const Song& big_song() {
    static const Song song = [] {
        Song s;
        reset(s, "One million events");
        add_instrument(s, make_sampled_instrument("Lead", 3, 20000, 100, 22050, 2, false));
        for (size_t p = 0; p < PATTERNS; ++p) {
            add_pattern(s, "Pattern " + std::to_string(p));
            Pattern& pattern = s.patterns.back();
            for (size_t v = 0; v < VOICES; ++v) {
                Voice& voice = pattern.voices[add_voice(pattern, 0)];
                voice.events.reserve(EVENTS_PER_VOICE);
                Tick t = 0;
                // Groups of five events: a note, a slide to another key, its end and a volume
                // change; every 64th gap is long enough for the long record form.
                for (size_t i = 0; voice.events.size() < EVENTS_PER_VOICE; ++i) {
                    const Key key = Key(20 + (i + v) % 40);
                    voice.events.push_back(Event{t, NOTE_ON, key, 0, 0});
                    voice.events.push_back(Event{t + 1, VOLUME, uint8_t(i % 31), 0, 0});
                    voice.events.push_back(Event{t + 1, PORTAMENTO, key, Key(key + 1), 2});
                    voice.events.push_back(Event{t + 4, NOTE_OFF, Key(key + 1), 0, 0});
                    voice.events.push_back(Event{t + 4, BALANCE, uint8_t(i % 29), 0, 0});
                    t += i % 64 == 0 ? 300 : 5;
                }
                pattern.length = std::max<int32_t>(pattern.length, int32_t(t));
            }
        }
        s.sequence = {0, 1, 2};
        if (!validate(s)) throw std::logic_error("benchmark song is not valid");
        return s;
    }();
    return song;
}

std::filesystem::path scratch(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("tunemill-bench-") + std::to_string(::getpid()) + name);
}

void EncodeSong(benchmark::State& state) {
    const Song& song = big_song();
    for (auto _ : state)
        benchmark::DoNotOptimize(encode_song(song));
    state.SetItemsProcessed(int64_t(state.iterations()) *
                            int64_t(PATTERNS * VOICES * EVENTS_PER_VOICE));
}
BENCHMARK(EncodeSong)->Unit(benchmark::kMillisecond);

void SaveSongFile(benchmark::State& state) {
    const Song& song = big_song();
    const auto path = scratch("save.sn2");
    for (auto _ : state)
        write_song_file(song, path);
    state.SetItemsProcessed(int64_t(state.iterations()) *
                            int64_t(PATTERNS * VOICES * EVENTS_PER_VOICE));
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(SaveSongFile)->Unit(benchmark::kMillisecond);

void ReadSong(benchmark::State& state) {
    const auto path = scratch("read.sn2");
    write_song_file(big_song(), path);
    const BankLookup no_bank = [](const std::string&) -> Instrument {
        throw INS_BANK_ERROR(INS_BANK_ERROR::MISSING_INSTRUMENT);
    };
    for (auto _ : state) {
        Song song;
        File file = File::open_for_reading(path);
        if (!read_song(file, song, no_bank)) state.SkipWithError("not read");
        benchmark::DoNotOptimize(song.patterns.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) *
                            int64_t(PATTERNS * VOICES * EVENTS_PER_VOICE));
    std::filesystem::remove(path);
}
BENCHMARK(ReadSong)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tunemill
