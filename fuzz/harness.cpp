// The shared entry points of the fuzz targets. Inputs reach the readers through a file in
// memory (memfd), so every reader sees a real file of exactly the input's size, as it would on
// disk, without touching the disk. After an accepted input the result is held to the readers'
// promises and played for its first seconds by a private playback engine.
#include "fuzz/harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <optional>

#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "instruments/instrument_file.h"
#include "instruments/sample_import.h"
#include "instruments/sound_file.h"
#include "loading/song_loader.h"
#include "midi/export.h"
#include "midi/import.h"
#include "modules/import.h"
#include "platform/registry.h"
#include "playback/engine.h"
#include "playback/wav.h"
#include "settings/settings.h"
#include "song/song.h"
#include "song/song_lock.h"
#include "storage/clipboard.h"
#include "storage/song_file.h"
#include "strings/composer_strings.h"
#ifdef TUNEMILL_FUZZ_SETUP
#include "setup/core/archive.h"
#endif

namespace tunemill::fuzz {

namespace {

// The first seconds of every accepted song are rendered; long enough to reach the second
// pattern of most songs, short enough to keep thousands of inputs a second in reach.
constexpr uint32_t RENDER_MILLISECONDS = 2000;
constexpr uint32_t RENDER_RATE = 11025;
// The bank target renders a song of at most this many of the bank's instruments.
constexpr size_t BANK_RENDER_INSTRUMENTS = 4;

std::string& refusal() {
    static std::string text;
    return text;
}

Outcome refused(const ERROR& error) {
    refusal() = error_text(error);
    return Outcome::REFUSED;
}

std::filesystem::path& bank_path() {
    static std::filesystem::path path = InstrumentBank::default_path();
    return path;
}

InstrumentBank& bank() {
    static InstrumentBank* bank = new InstrumentBank(bank_path());
    if (bank->path() != bank_path()) {
        delete bank;
        bank = new InstrumentBank(bank_path());
    }
    return *bank;
}

// Bank instruments by name, each read from the bank once: songs name the same few again and
// again, and decoding them afresh for every input would spend the fuzzer's time in the bank
// reader, which has a target of its own. Every copy gets an id of its own.
BankLookup bank_lookup() {
    return [](const std::string& name) {
        static std::map<std::string, std::optional<Instrument>> cache;
        static std::filesystem::path cached_for;
        if (cached_for != bank_path()) {
            cache.clear();
            cached_for = bank_path();
        }
        auto found = cache.find(name);
        if (found == cache.end()) {
            std::optional<Instrument> instrument;
            try {
                instrument = bank().load(name);
            } catch (const INS_BANK_ERROR& error) {
                if (error.kind() != INS_BANK_ERROR::MISSING_INSTRUMENT) throw;
            }
            found = cache.emplace(name, std::move(instrument)).first;
        }
        if (!found->second) throw INS_BANK_ERROR(INS_BANK_ERROR::MISSING_INSTRUMENT);
        Instrument copy = *found->second;
        copy.id = next_instrument_id();
        return copy;
    };
}

// A file in memory whose content is replaced for every input. Each reader opens it afresh by
// its /proc path, with a position of its own.
class MemoryFile {
  public:
    explicit MemoryFile(const char* name) {
        fd_ = ::memfd_create(name, MFD_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("memfd_create failed");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }

    const std::filesystem::path& hold(std::span<const uint8_t> data) {
        if (::ftruncate(fd_, 0) != 0) throw std::runtime_error("ftruncate failed");
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, off_t(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error("pwrite failed");
            done += size_t(n);
        }
        return path_;
    }

  private:
    int fd_ = -1;
    std::filesystem::path path_;
};

const std::filesystem::path& input_file(std::span<const uint8_t> data) {
    static MemoryFile file("tunemill-fuzz-input");
    return file.hold(data);
}

const std::filesystem::path& second_file(std::span<const uint8_t> data) {
    static MemoryFile file("tunemill-fuzz-reread");
    return file.hold(data);
}

// A cheap variant number from the input, so that the output formats and paste positions vary
// with the inputs instead of staying fixed.
uint32_t variant_of(std::span<const uint8_t> data) {
    uint32_t h = uint32_t(data.size()) * 2654435761u;
    for (size_t i = 0; i < std::min<size_t>(data.size(), 16); ++i)
        h = (h ^ data[i]) * 16777619u;
    return h ^ (h >> 15);
}

std::string where(const ValidationFailure& failure) {
    return "invariant " + std::to_string(failure.invariant) + " (pattern " +
           std::to_string(failure.pattern) + ", voice " + std::to_string(failure.voice) +
           ", item " + std::to_string(failure.item) + ")";
}

void check_valid(const Song& song, const std::string& what) {
    if (const std::optional<ValidationFailure> failure = find_invalid(song))
        throw BrokenPromise(what + ": the song fails " + where(*failure));
    if (!song_memory_consistent(song))
        throw BrokenPromise(what + ": a sample block is smaller than its record");
}

void check_instrument(const Instrument& instrument, const std::string& what) {
    if (instrument.bytes_per_sample != 1 && instrument.bytes_per_sample != 2)
        throw BrokenPromise(what + ": bytes per sample " +
                            std::to_string(instrument.bytes_per_sample));
    if (instrument.samples.size() < instrument.sample_bytes() + SAMPLE_PADDING)
        throw BrokenPromise(what + ": the sample block lacks its padding");
    if (instrument.loops() && instrument.loop_start >= instrument.length)
        throw BrokenPromise(what + ": the loop starts beyond the sample");
    if (instrument.category > NO_CATEGORY) throw BrokenPromise(what + ": category out of range");
    if (instrument.name.size() > MAX_INSTRUMENT_NAME) throw BrokenPromise(what + ": name too long");
    if (instrument.id == 0) throw BrokenPromise(what + ": instrument without an id");
}

// The first seconds of the song from its first sequence entry, as the WAV export renders them,
// in an output format chosen by the variant (so every mixer kernel gets its share).
void render_start(Song& song, uint32_t variant, const std::string& what) {
    static File sink = File::open_for_writing("/dev/null", File::Disposition::OPEN_EXISTING);
    OutputFormat format;
    format.stereo = (variant & 1) != 0;
    format.sixteen_bit = (variant & 2) != 0;
    format.interpolate = (variant & 4) != 0;
    format.amplification = (variant >> 3) % 91;
    format.rate = RENDER_RATE;
    try {
        PlaybackEngine engine(song);
        render_song_to_file(engine, sink, RENDER_MILLISECONDS, format, {});
    } catch (const ERROR& error) {
        throw BrokenPromise(what + ": rendering failed: " + error_text(error));
    }
}

void check_song(Song& song, uint32_t variant, const std::string& what) {
    check_valid(song, what);
    render_start(song, variant, what);
}

// The song file of a song that was read must read back to the same song (the same bytes).
void check_round_trip(const Song& song, const std::string& what) {
    std::vector<uint8_t> bytes;
    try {
        bytes = encode_song(song);
        Song again = read_any_song(second_file(bytes), bank_lookup());
        check_valid(again, what + " read back");
        if (encode_song(again) != bytes)
            throw BrokenPromise(what + ": the song reads back different");
    } catch (const ERROR& error) {
        throw BrokenPromise(
            what + ": the song file written for it does not read back: " + error_text(error));
    }
}

// One pattern that plays the instrument low, at its own pitch and high, so that the mixer
// steps through the sample slowly, exactly and fast.
void play_instrument(Instrument instrument, uint32_t variant, const std::string& what) {
    Song song;
    new_song(song, "Untitled");
    song.instruments.push_back(std::move(instrument));
    Pattern& pattern = song.patterns[0];
    pattern.length = 96;
    Voice& voice = pattern.voices[add_voice(pattern, 0)];
    const Key keys[] = {0, 36, KEY_COUNT - 1};
    for (Tick i = 0; i < 3; ++i) {
        insert_event(voice, i * 32, NOTE_ON, keys[i], 0, 0, voice.events.size());
        insert_event(voice, i * 32 + 32, NOTE_OFF, keys[i], 0, 0, voice.events.size());
    }
    check_song(song, variant, what);
}

// The small song blocks are pasted into: three instruments with names as clipboard blocks carry
// them, two patterns with notes, curves and tempo points.
void small_song(Song& song) {
    new_song(song, "Untitled");
    const char* names[] = {"Piano", "Bass", "Snare"};
    for (uint32_t i = 0; i < 3; ++i) {
        Instrument instrument = make_sampled_instrument(names[i], i, 400, i == 1 ? 100 : NO_LOOP,
                                                        8000 + 4000 * i, i == 2 ? 1 : 2, false);
        for (size_t b = 0; b < instrument.sample_bytes(); ++b)
            instrument.samples[b] = uint8_t(b * 37 + i);
        instrument.id = next_instrument_id();
        song.instruments.push_back(std::move(instrument));
    }
    add_pattern(song, "Pattern II");
    song.sequence = {0, 1, 0};
    Pattern& pattern = song.patterns[0];
    pattern.length = 64;
    pattern.tempo_points = {{0, 18}, {32, 24}};
    for (uint32_t v = 0; v < 2; ++v) {
        Voice& voice = pattern.voices[add_voice(pattern, v)];
        for (Tick t = 0; t < 64; t += 16) {
            insert_event(voice, t, NOTE_ON, Key(30 + v * 12 + t / 16), 0, 0, voice.events.size());
            if (t == 16) insert_event(voice, t + 4, VOLUME, 20, 0, 0, voice.events.size());
            if (t == 32) insert_event(voice, t + 2, BALANCE, 5, 0, 0, voice.events.size());
            insert_event(voice, t + 8, NOTE_OFF, Key(30 + v * 12 + t / 16), 0, 0,
                         voice.events.size());
        }
    }
    song.patterns[1].length = 32;
    normalize_pattern(song.patterns[0]);
}

template <typename Body> Outcome guarded(Body&& body) {
    try {
        body();
        return Outcome::ACCEPTED;
    } catch (const BrokenPromise&) {
        throw;
    } catch (const ERROR& error) {
        return refused(error);
    }
}

// The whole loader: song files, older song files, then the module readers.
std::string load_any(Song& song, std::span<const uint8_t> data) {
    return load_song(song, input_file(data), "Untitled", bank_lookup());
}

} // namespace

void set_bank_path(const std::filesystem::path& path) {
    bank_path() = path;
}

const std::string& last_refusal() {
    return refusal();
}

Outcome load_song_input(std::span<const uint8_t> data) {
    Song song;
    new_song(song, "Untitled");
    const uint32_t variant = variant_of(data);
    try {
        const std::string format = load_any(song, data);
        const std::string what = "song read as " + format;
        check_song(song, variant, what);
        check_round_trip(song, what);
        return Outcome::ACCEPTED;
    } catch (const BrokenPromise&) {
        throw;
    } catch (const ERROR& error) {
        refused(error);
        // The loader promises a new song after any failure, never one half read.
        if (song.patterns.size() != 1 || !song.instruments.empty() || song.sequence.size() != 1)
            throw BrokenPromise("a failed load left something other than a new song");
        check_valid(song, "the new song after a failed load");
        return Outcome::REFUSED;
    }
}

Outcome module_input(std::span<const uint8_t> data) {
    return guarded([&] {
        Song song;
        new_song(song, "Untitled");
        File file = File::open_for_reading(input_file(data));
        if (!try_import(song, file)) {
            if (file.position() != 0)
                throw BrokenPromise("a module nobody recognised left the file moved");
            check_valid(song, "the song after an unrecognised module");
            throw MISC_ERROR(0);
        }
        check_song(song, variant_of(data), "module");
        check_round_trip(song, "module");
    });
}

// A MIDI file read into a song; the song must validate and play, and its own export must read
// back into a song with as many notes.
Outcome midi_input(std::span<const uint8_t> data) {
    return guarded([&] {
        Song song;
        std::vector<MidiWarning> warnings;
        convert_midi(read_smf(data), song, bank_lookup(), warnings);
        check_song(song, variant_of(data), "MIDI file");
        check_round_trip(song, "MIDI file");
        std::vector<MidiWarning> exported;
        MidiFile file;
        try {
            file = build_midi(song, exported);
        } catch (const MISC_ERROR& error) {
            if (error.string_id() == S_MIDI_NOTHING_TO_PLAY) return; // a file without notes
            throw;
        }
        Song again;
        try {
            convert_midi(read_smf(write_smf(file)), again, bank_lookup(), warnings);
        } catch (const ERROR& error) {
            throw BrokenPromise("the MIDI export of a MIDI file does not read back: " +
                                error_text(error));
        }
        check_valid(again, "MIDI file exported and read back");
    });
}

Outcome instrument_file_input(std::span<const uint8_t> data) {
    return guarded([&] {
        Instrument instrument = load_instrument_file(input_file(data));
        check_instrument(instrument, "instrument file");
        if (instrument.from_bank) throw BrokenPromise("an instrument file gave a bank instrument");
        // What was read is written back as it is and must read back the same.
        std::vector<uint8_t> bytes;
        try {
            bytes = encode_instrument(instrument);
            Instrument again = load_instrument_file(second_file(bytes));
            if (!equal(instrument, again))
                throw BrokenPromise("the instrument reads back different");
        } catch (const ERROR& error) {
            throw BrokenPromise("the instrument file written for it does not read back: " +
                                error_text(error));
        }
        play_instrument(std::move(instrument), variant_of(data), "instrument file");
    });
}

Outcome bank_input(std::span<const uint8_t> data) {
    InstrumentBank bank(input_file(data));
    try {
        bank.open();
    } catch (const INS_BANK_ERROR& error) {
        if (bank.is_open()) throw BrokenPromise("a bank that failed to open stays open");
        return refused(error);
    }
    const std::vector<BankEntry> entries = bank.directory();
    std::vector<Instrument> loaded;
    auto take = [&](Instrument instrument, const BankEntry& entry) {
        check_instrument(instrument, "bank instrument");
        if (!instrument.from_bank)
            throw BrokenPromise("a bank instrument not marked from the bank");
        if (instrument.category != entry.category)
            throw BrokenPromise("a bank instrument lost its category");
        if (loaded.size() < BANK_RENDER_INSTRUMENTS) loaded.push_back(std::move(instrument));
    };
    for (const BankEntry& entry : entries) {
        const std::string name = entry.trimmed_name();
        // By the entry itself, as the instrument browser loads it.
        try {
            take(bank.load(entry, name), entry);
        } catch (const INS_BANK_ERROR& error) {
            if (error.kind() != INS_BANK_ERROR::DAMAGED)
                throw BrokenPromise("a directory entry failed otherwise than damaged: " +
                                    error_text(error));
        } catch (const ERROR& error) {
            throw BrokenPromise("a bank entry failed with another error than the bank's: " +
                                error_text(error));
        }
        // By name, as song files name them. A name is its bytes up to a zero byte, so an entry
        // whose name holds one cannot be named; every other one is found (the first entry of a
        // name that occurs twice).
        try {
            const Instrument instrument = bank.load(name);
            if (!instrument.from_bank)
                throw BrokenPromise("a bank instrument not marked from the bank");
        } catch (const INS_BANK_ERROR& error) {
            const bool nameable = name.find('\0') == std::string::npos;
            if (error.kind() != INS_BANK_ERROR::DAMAGED && nameable)
                throw BrokenPromise("a directory name was not found: " + error_text(error));
        } catch (const ERROR& error) {
            throw BrokenPromise("a bank lookup failed with another error than the bank's: " +
                                error_text(error));
        }
    }
    if (!bank.is_open()) throw BrokenPromise("a damaged body closed the bank");
    const uint32_t variant = variant_of(data);
    for (Instrument& instrument : loaded)
        play_instrument(std::move(instrument), variant, "bank instrument");
    return Outcome::ACCEPTED;
}

Outcome sample_import_input(std::span<const uint8_t> data) {
    return guarded([&] {
        // The raw settings a user might type, taken from the input's last byte.
        const uint8_t choice = data.empty() ? 0 : data.back();
        RawImportSettings settings;
        settings.rate = (choice & 3) == 3 ? 0 : 8000u << (choice & 3);
        settings.sixteen_bit = (choice & 4) != 0;
        settings.stereo = (choice & 8) != 0;
        settings.header_size = uint64_t(choice >> 4) * 13;
        const std::optional<Instrument> instrument = import_sample_file(
            input_file(data), [](RawImportSettings&) { return true; }, settings);
        if (!instrument) throw BrokenPromise("an accepted raw import gave nothing");
        check_instrument(*instrument, "imported sample");
        if (instrument->rate == 0 || instrument->rate > 0xFFFFFFu)
            throw BrokenPromise("imported sample rate");
        play_instrument(*instrument, variant_of(data), "imported sample");
    });
}

Outcome sound_file_input(std::span<const uint8_t> data) {
    return guarded([&] {
        // The loop tag search sees every input as the start of a FLAC or Ogg file.
        (void)find_loop_tags(data);
        File file = File::open_for_reading(input_file(data));
        SoundFileFormat format;
        const Instrument instrument = read_sound_file(file, "Sound", &format);
        check_instrument(instrument, "sound file");
        if (instrument.rate == 0 || instrument.rate > 65535) throw BrokenPromise("sound file rate");
        if (format.channels == 0) throw BrokenPromise("sound file without channels");
        play_instrument(instrument, variant_of(data), "sound file");
    });
}

Outcome clipboard_input(std::span<const uint8_t> data) {
    return guarded([&] {
        Song song;
        small_song(song);
        const std::vector<uint8_t> before = encode_song(song);
        const uint32_t variant = variant_of(data);
        const int32_t voice = int32_t(variant % 3) - 1; // none, the first, the second
        const Tick at = Tick((variant >> 2) % 5) * 16;  // 0 to the pattern's end
        const Tick moved = paste_block(song, 0, voice, at, data);
        if (moved == 0 && encode_song(song) != before)
            throw BrokenPromise("a refused paste changed the song");
        check_song(song, variant, "song after a paste");
    });
}

Outcome setup_index_input(std::span<const uint8_t> data) {
#ifdef TUNEMILL_FUZZ_SETUP
    return guarded([&] {
        const std::vector<setup::IndexRecord> records = setup::read_index(input_file(data));
        if (records.size() != data.size() / setup::INDEX_RECORD_SIZE)
            throw BrokenPromise("the index holds another number of records than its size gives");
        for (const setup::IndexRecord& record : records) {
            const std::string& name = record.name;
            // A name may hold folders, but none of its steps may climb out or start at the root.
            const std::filesystem::path path(name);
            bool inside =
                !name.empty() && path.is_relative() && name.find('\\') == std::string::npos &&
                name.find('\0') == std::string::npos && name.size() < setup::INDEX_NAME_SIZE &&
                name.back() != '/' && name.find("//") == std::string::npos;
            for (const std::filesystem::path& step : path)
                inside = inside && step != "." && step != "..";
            if (!inside)
                throw BrokenPromise(
                    "the index let a name through that leaves the install folder: " + name);
        }
        if (setup::parse_index(setup::encode_index(records)) != records)
            throw BrokenPromise("the index reads back different");
    });
#else
    (void)data;
    return Outcome::REFUSED;
#endif
}

// The settings store as the composer reads it at every start. The store never fails the start:
// a tree it reads must write and read back the same, and the record keeps its bounds.
Outcome settings_input(std::span<const uint8_t> data) {
    return guarded([&] {
        const RegistryStore store(input_file(data), "HKEY_CURRENT_USER");
        const RegistryTree tree = store.read();
        const std::string text = tree.to_text("HKEY_CURRENT_USER");
        if (RegistryTree::from_text(text, "HKEY_CURRENT_USER") != tree)
            throw BrokenPromise("the settings store writes a tree that reads back different");
        if (RegistryTree::from_text(text, "HKEY_CURRENT_USER").to_text("HKEY_CURRENT_USER") != text)
            throw BrokenPromise("the settings store's text is not stable over a second round");
        Settings record;
        try {
            record = read_settings(store, "/program");
        } catch (const ERROR& error) {
            throw BrokenPromise("reading the settings failed instead of keeping defaults: " +
                                error_text(error));
        }
        if (record.song_folder.empty() || record.instrument_folder.empty())
            throw BrokenPromise("a folder setting came out empty");
        if (record.keyboard_base_octave < 0 || record.keyboard_base_octave > 5)
            throw BrokenPromise("the keyboard's base octave is out of 0..5");
    });
}

std::span<const EntryPoint> entry_points() {
    static const EntryPoint points[] = {
        {"load_song", load_song_input},
        {"module", module_input},
        {"midi", midi_input},
        {"instrument_file", instrument_file_input},
        {"bank", bank_input},
        {"sample_import", sample_import_input},
        {"sound_file", sound_file_input},
        {"clipboard", clipboard_input},
        {"settings", settings_input},
#ifdef TUNEMILL_FUZZ_SETUP
        {"setup_index", setup_index_input},
#endif
    };
    return points;
}

const EntryPoint* entry_point(std::string_view name) {
    for (const EntryPoint& point : entry_points())
        if (name == point.name) return &point;
    return nullptr;
}

} // namespace tunemill::fuzz
