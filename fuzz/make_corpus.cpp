// The starting corpora of the fuzz targets, written by the program's own writers: songs, older
// songs, exported modules, instrument files of every packing, the starting bank, WAV and raw
// samples, clipboard blocks and setup indexes. Every seed is small (a few KB at most).
//
// usage: fuzz_corpus STOCK.bnk DEMO_FOLDER OUT_FOLDER
// The starting songs name two instruments of the stock bank, so that they load as the composer
// loads them; the starting bank is written here in the stock bank's layout, with small bodies.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <sndfile.h>
#include <unistd.h>

#include "common/old_song_encoder.h"
#include "foundation/errors.h"
#include "foundation/file.h"
#include "instruments/bank.h"
#include "instruments/instrument_file.h"
#include "loading/song_loader.h"
#include "midi/export.h"
#include "modules/export.h"
#include "platform/registry.h"
#include "playback/audio_export.h"
#include "playback/engine.h"
#include "playback/wav.h"
#include "settings/settings.h"
#include "setup/core/archive.h"
#include "song/editing.h"
#include "song/song.h"
#include "storage/clipboard.h"
#include "storage/song_file.h"
#include "tools/sample_packer.h"

namespace fs = std::filesystem;
using namespace tunemill;

namespace {

fs::path out_root;
size_t written = 0;

void put(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path folder = out_root / target;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
    ++written;
}

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Instrument tone(const std::string& name, uint32_t category, uint32_t length, uint32_t loop,
                uint32_t rate, uint32_t bytes_per_sample) {
    Instrument instrument =
        make_sampled_instrument(name, category, length, loop, rate, bytes_per_sample, false);
    for (uint32_t i = 0; i < length; ++i) {
        const int value = int(i * 7 % 64) - 32 + int(i % 3);
        if (bytes_per_sample == 1)
            instrument.samples[i] = uint8_t(128 + value * 3);
        else
            instrument.samples16()[i] = int16_t(value * 700);
    }
    return instrument;
}

// A small song with something of every kind: stored 8- and 16-bit and synthesized instruments,
// bank instruments, chords, slides, volume and balance curves, tempo points, three patterns, a
// repeat position and a description.
Song seed_song(InstrumentBank& bank) {
    Song song;
    new_song(song, "Untitled");
    song.description = "Seed song\r\nfor the fuzz targets";
    song.ticks_per_beat = 3;
    song.beats_per_measure = 6;
    song.overall_tempo = 52;
    song.instruments.push_back(tone("Square", 11, 64, 0, 8372, 1));
    song.instruments.push_back(tone("Bass", 6, 96, 32, 4186, 2));
    SynthParameters bell{0x01, 0x18, 0x00, 0x06, 0xB3, 0xF2, 0x02, 0x00, 0x00, 0xB2, 0x41};
    song.instruments.push_back(make_synthesized_instrument("Bell", 22, bell, false));
    song.instruments.push_back(bank.load("Flute"));
    song.instruments.push_back(bank.load("Closed Hi-Hat"));

    song.patterns[0].name = "Intro";
    add_pattern(song, "Verse");
    add_pattern(song, "Pattern III");
    song.sequence = {0, 1, 2, 1};
    song.repeat_position = 1;

    Pattern& intro = song.patterns[0];
    intro.length = 24;
    intro.tempo_points = {{0, 16}, {12, 22}};
    {
        Voice& v = intro.voices[add_voice(intro, 0)];
        insert_event(v, 0, NOTE_ON, 36, 0, 0, v.events.size());
        insert_event(v, 0, NOTE_ON, 40, 0, 0, v.events.size());
        insert_event(v, 6, VOLUME, 18, 0, 0, v.events.size());
        insert_event(v, 8, NOTE_OFF, 36, 0, 0, v.events.size());
        insert_event(v, 8, NOTE_OFF, 40, 0, 0, v.events.size());
        insert_event(v, 10, NOTE_ON, 43, 0, 0, v.events.size());
        insert_event(v, 14, PORTAMENTO, 43, 48, 4, v.events.size());
        insert_event(v, 20, NOTE_OFF, 48, 0, 0, v.events.size());
    }
    {
        Voice& v = intro.voices[add_voice(intro, 4)];
        for (Tick t = 0; t < 24; t += 3) {
            insert_event(v, t, NOTE_ON, 60, 0, 0, v.events.size());
            insert_event(v, t + 1, NOTE_OFF, 60, 0, 0, v.events.size());
        }
        insert_event(v, 9, BALANCE, 25, 0, 0, v.events.size());
    }
    Pattern& verse = song.patterns[1];
    verse.length = 36;
    for (uint32_t instrument : {1u, 2u, 3u}) {
        Voice& v = verse.voices[add_voice(verse, instrument)];
        for (Tick t = 0; t < 36; t += 12) {
            const Key key = Key(24 + instrument * 7 + t / 6);
            insert_event(v, t, NOTE_ON, key, 0, 0, v.events.size());
            insert_event(v, t + 2, BALANCE, uint8_t(instrument * 9), 0, 0, v.events.size());
            insert_event(v, t + 4, VOLUME, uint8_t(10 + t / 2), 0, 0, v.events.size());
            insert_event(v, t + 9, NOTE_OFF, key, 0, 0, v.events.size());
        }
    }
    verse.tempo_points = {{18, 25}};
    song.patterns[2].length = 12;
    {
        Voice& v = song.patterns[2].voices[add_voice(song.patterns[2], 0)];
        insert_event(v, 0, NOTE_ON, 83, 0, 0, v.events.size());
        insert_event(v, 12, NOTE_OFF, 83, 0, 0, v.events.size());
    }
    for (Pattern& pattern : song.patterns)
        normalize_pattern(pattern);
    if (!validate(song)) throw std::runtime_error("the starting song is not valid");
    return song;
}

Song bare_song() {
    Song song;
    new_song(song, "Untitled");
    return song;
}

void song_seeds(const Song& song, const fs::path& demos) {
    put("load_song", "seed.sn2", encode_song(song));
    put("load_song", "new.sn2", encode_song(bare_song()));
    for (const char* demo : {"first-steps.sn2", "night-drive.sn2"})
        put("load_song", demo, read_all(demos / demo));

    using namespace storage_testing;
    OldSong old;
    old.name = "Tune";
    old.head[10] = 1;
    old.head[12] = 60;
    old.head[13] = 3;
    old.head[14] = 6;
    old.sequence = {1, 0, 1};
    OldPattern first;
    first.name = "Intro";
    first.length = 40;
    first.instruments = {2, 0};
    first.tempo_runs = {{20, 10}, {25, 14}, {25, 16}}; // value, ticks; they fill the pattern
    first.text_runs = {{'H', 1}, {'i', 1}, {' ', 3}, {'y', 1}, {' ', 34}};
    // Each step takes its skip and one tick; a skip to the end only its skip.
    first.voices = {{{0, strike(30)},
                     {0, 1},
                     {0, strike(40), 1},
                     {1, key_code_for(40, 45)},
                     {2, 1},
                     {0, strike(40), 6, 5, 3},
                     {0, 0, 2, 0},
                     {0, 1, 2, 30},
                     skip_to_end(29)},
                    {{5, strike(50)}, {10, 1}, skip_to_end(23)}};
    OldPattern second;
    second.name = "Spaces";
    second.length = 4;
    second.instruments = {1};
    second.text_runs = {{' ', 4}};
    second.voices = {{{0, strike(60)}, {2, 1}}};
    old.patterns = {first, second};
    old.stored = {
        tone("Drum", 1, 64, NO_LOOP, 11025, 1),
        make_synthesized_instrument("Bell", 22, *song.instruments[2].synth_parameters, false)};
    old.bank = {"Flute"};
    put("load_song", "old.sn", encode_old_song(old));
}

// Exported modules carry every instrument as sample data; the starting song with small sampled
// instruments in place of the synthesized and bank ones keeps them a few KB.
void module_seeds(const Song& seed) {
    Song song = seed;
    for (size_t i = 2; i < song.instruments.size(); ++i) {
        const Instrument& old = song.instruments[i];
        song.instruments[i] = tone(old.name, old.category, 48 + 16 * uint32_t(i), NO_LOOP, 8000, 1);
    }
    // One seed per written type: "seed.s3m", "seed.mod", "seed-6chn.mod", "seed-8chn.mod".
    for (const ModuleVariant& variant : module_variants()) {
        const ModuleFormatInfo& format = module_format_info(variant.format);
        std::string name = "seed";
        if (&variant != &format.variants.front()) {
            name += "-";
            for (const char* c = variant.limits.tag; *c; ++c)
                name += char(std::tolower(uint8_t(*c)));
        }
        name += std::string(".") + format.extension;
        const std::vector<uint8_t> bytes = encode_module(build_module(song, variant.format));
        put("module", name, bytes);
        put("load_song", name, bytes);
    }
}

// MIDI files written by our export: of the starting song and of each demo song.
void midi_seeds(const Song& seed, const fs::path& demos, const BankLookup& bank) {
    std::vector<std::pair<std::string, Song>> songs;
    songs.emplace_back("seed.mid", seed);
    for (const auto& entry : fs::directory_iterator(demos))
        if (entry.path().extension() == ".sn2")
            songs.emplace_back(entry.path().stem().string() + ".mid",
                               read_any_song(entry.path(), bank));
    for (const auto& [name, song] : songs) {
        std::vector<MidiWarning> warnings;
        const std::vector<uint8_t> bytes = write_smf(build_midi(song, warnings));
        put("midi", name, bytes);
        put("load_song", name, bytes);
    }
}

std::vector<uint8_t> framed(const char* magic, const std::string& name, uint8_t category,
                            const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(magic, magic + 3);
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.push_back(category);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// 320 frames of a decaying 8-bit tone with some noise: every Huffman group gets codes.
std::vector<uint8_t> pluck_samples() {
    std::vector<uint8_t> samples;
    uint32_t noise = 12345;
    for (int i = 0; i < 320; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int level = 100 * (320 - i) / 320;
        const int value = (i % 64 < 32 ? level : -level) + int(noise >> 28) - 8;
        samples.push_back(uint8_t(128 + std::clamp(value, -127, 127)));
    }
    return samples;
}

void instrument_seeds(const Song& song) {
    put("instrument_file", "square.sa2", encode_instrument(song.instruments[0]));
    put("instrument_file", "bass16.sa2", encode_instrument(song.instruments[1]));
    put("instrument_file", "bell.sy", encode_instrument(song.instruments[2]));
    // The compressed packings the program reads but never writes, by the stock bank's encoder.
    const std::vector<uint8_t> samples = pluck_samples();
    for (uint8_t packing = 1; packing <= 4; ++packing)
        put("instrument_file", "huffman" + std::to_string(packing - 1) + ".sa2",
            framed("SMP", "Koto", 5, packer::sample_body(samples, packing, 128, 8372)));
    put("instrument_file", "one-group.sa2",
        framed("SMP", "Koto", 5,
               packer::sample_body(samples, 2, NO_LOOP, 8372, packer::Grouping::ONE_GROUP)));
    put("instrument_file", "constant.sa2",
        framed("SMP", "Flat", 0xFF,
               packer::sample_body(std::vector<uint8_t>(200, 0x80), 1, NO_LOOP, 8000)));
    const Instrument& bass = song.instruments[1];
    put("instrument_file", "chunk-unknown-first.sa2",
        framed(
            "SMP", "Bass", 6,
            packer::chunk_body({bass.samples.begin(), bass.samples.begin() + bass.sample_bytes()},
                               2, bass.length, bass.loop_start, uint16_t(bass.rate), true)));
}

// A bank in the stock bank's layout ("BNK", count, a note, the directory of padded names,
// categories and body offsets, then the bodies: kind 0 and the synthesizer's parameter block,
// or kind 1 and a sample body), one instrument of every packing.
void bank_seeds(const Song& song) {
    const Instrument& square = song.instruments[0];
    const Instrument& bass = song.instruments[1];
    const std::vector<uint8_t> samples = pluck_samples();
    const std::vector<uint8_t> square8(square.samples.begin(),
                                       square.samples.begin() + square.sample_bytes());
    const std::vector<uint8_t> bass16(bass.samples.begin(),
                                      bass.samples.begin() + bass.sample_bytes());
    struct Entry {
        std::string name;
        uint8_t category;
        std::vector<uint8_t> body;
    };
    auto sampled = [](const std::vector<uint8_t>& stream) {
        std::vector<uint8_t> body{1};
        body.insert(body.end(), stream.begin(), stream.end());
        return body;
    };
    std::vector<uint8_t> synth{0};
    synth.insert(synth.end(), song.instruments[2].synth_parameters->begin(),
                 song.instruments[2].synth_parameters->end());
    std::vector<Entry> entries = {
        {"Bell", 22, synth},
        {"Square", 11, sampled(packer::sample_body(square8, 0, 0, 8372))},
        {"Koto", 5, sampled(packer::sample_body(samples, 2, 128, 8372))},
        {"Conga", 19, sampled(packer::sample_body(samples, 3, NO_LOOP, 8000))},
        {"Slap Bass", 6, sampled(packer::sample_body(samples, 4, NO_LOOP, 4186))},
        {"Punch Kick", 17,
         sampled(packer::sample_body(samples, 1, NO_LOOP, 8000, packer::Grouping::ONE_GROUP))},
        {"Digital Saw", 11,
         sampled(packer::sample_body(std::vector<uint8_t>(128, 0x90), 2, 0, 16744))},
        {"Wood Block", 23, sampled(packer::chunk_body(square8, 1, square.length, NO_LOOP, 8000))},
        {"Vowel Aah", 26,
         sampled(packer::chunk_body(bass16, 2, bass.length, bass.loop_start, 4186, true))},
        {"Uncategorized", 29, synth},
    };
    std::vector<uint8_t> file{'B', 'N', 'K', uint8_t(entries.size()), uint8_t(entries.size() >> 8)};
    const std::string note = "Tunemill seed instruments";
    file.insert(file.end(), note.begin(), note.end());
    file.resize(BANK_HEADER_SIZE, 0);
    uint32_t offset = uint32_t(BANK_HEADER_SIZE + entries.size() * BANK_ENTRY_SIZE);
    for (const Entry& entry : entries) {
        std::string padded = entry.name;
        padded.resize(BANK_NAME_SIZE, ' ');
        file.insert(file.end(), padded.begin(), padded.end());
        file.push_back(entry.category);
        for (int k = 0; k < 4; ++k)
            file.push_back(uint8_t(offset >> (8 * k)));
        offset += uint32_t(entry.body.size());
    }
    for (const Entry& entry : entries)
        file.insert(file.end(), entry.body.begin(), entry.body.end());
    put("bank", "seed.bnk", file);
}

std::vector<uint8_t> file_bytes_of(const std::function<void(const fs::path&)>& write) {
    const fs::path path =
        fs::temp_directory_path() / ("tunemill-corpus-" + std::to_string(::getpid()) + ".wav");
    write(path);
    std::vector<uint8_t> bytes = read_all(path);
    fs::remove(path);
    return bytes;
}

void sample_seeds(Song& song) {
    put("sample_import", "square8.wav", file_bytes_of([&](const fs::path& p) {
            export_instrument_to_wav(song.instruments[0], p);
        }));
    put("sample_import", "bass16.wav", file_bytes_of([&](const fs::path& p) {
            export_instrument_to_wav(song.instruments[1], p);
        }));
    // A short stereo render of the song, as the WAV export writes it.
    const std::vector<uint8_t> stereo = file_bytes_of([&](const fs::path& p) {
        File file = File::open_for_writing(p);
        OutputFormat format;
        format.rate = 4000;
        PlaybackEngine engine(song);
        file.seek(WAV_HEADER_BYTES);
        const RenderResult result = render_song_to_file(engine, file, 150, format, {});
        file.seek(0);
        write_wav_header(file, result.frames, format.rate, format.stereo, format.sixteen_bit);
        file.close();
    });
    put("sample_import", "stereo16.wav", stereo);
    // The same with a "LIST" chunk of odd length (and its pad byte) between "fmt " and "data".
    std::vector<uint8_t> listed(stereo.begin(), stereo.begin() + 36);
    const char list[] = {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', '!', 0};
    listed.insert(listed.end(), list, list + sizeof list);
    listed.insert(listed.end(), stereo.begin() + 36, stereo.end());
    const uint32_t riff = uint32_t(listed.size() - 8);
    for (int i = 0; i < 4; ++i)
        listed[4 + i] = uint8_t(riff >> (8 * i));
    put("sample_import", "list-chunk.wav", listed);
    // Raw data: the 16-bit samples as they are (the raw settings come from the last byte).
    const Instrument& bass = song.instruments[1];
    put("sample_import", "raw16.raw",
        {bass.samples.begin(), bass.samples.begin() + bass.sample_bytes()});
}

// A sound file written by libsndfile itself, for the containers our own writers do not make.
std::vector<uint8_t> libsndfile_bytes(int format, int channels, const std::vector<int32_t>& samples,
                                      const SF_INSTRUMENT* loop) {
    return file_bytes_of([&](const fs::path& p) {
        SF_INFO info{};
        info.format = format;
        info.channels = channels;
        info.samplerate = 22050;
        SNDFILE* sound = sf_open(p.c_str(), SFM_WRITE, &info);
        if (!sound) throw std::runtime_error("libsndfile cannot write a seed");
        if (loop)
            sf_command(sound, SFC_SET_INSTRUMENT, const_cast<SF_INSTRUMENT*>(loop), sizeof *loop);
        sf_writef_int(sound, samples.data(), sf_count_t(samples.size()) / channels);
        sf_close(sound);
    });
}

void sound_file_seeds(Song& song) {
    const Instrument& square = song.instruments[0];
    const Instrument& bass = song.instruments[1];
    put("sound_file", "bass16.flac", file_bytes_of([&](const fs::path& p) {
            export_instrument_audio(bass, p, AudioFileType::FLAC);
        }));
    put("sound_file", "square8.flac", file_bytes_of([&](const fs::path& p) {
            export_instrument_audio(square, p, AudioFileType::FLAC);
        }));
    put("sound_file", "bass.ogg", file_bytes_of([&](const fs::path& p) {
            export_instrument_audio(bass, p, AudioFileType::OGG_VORBIS, 0.1);
        }));
    // The FLAC again with a Vorbis comment after its stream info that holds a loop.
    std::vector<uint8_t> tagged = file_bytes_of(
        [&](const fs::path& p) { export_instrument_audio(bass, p, AudioFileType::FLAC); });
    const std::string field = "LOOPSTART=100";
    std::vector<uint8_t> block{uint8_t((tagged[4] & 0x80) | 4), 0, 0,
                               uint8_t(4 + 4 + 4 + field.size())};
    for (uint32_t value : {0u, 1u, uint32_t(field.size())}) {
        for (int k = 0; k < 4; ++k)
            block.push_back(uint8_t(value >> (8 * k)));
        if (value == uint32_t(field.size())) block.insert(block.end(), field.begin(), field.end());
    }
    tagged[4] &= 0x7F;
    tagged.insert(tagged.begin() + 42, block.begin(), block.end());
    put("sound_file", "looped.flac", tagged);
    // A 24-bit stereo WAV with a "smpl" loop and a 16-bit AIFF, both written by libsndfile.
    std::vector<int32_t> stereo;
    for (uint32_t i = 0; i < 600; ++i) {
        stereo.push_back(int32_t(bass.samples16()[i % bass.length]) << 16);
        stereo.push_back(int32_t(i * 40000) << 8);
    }
    SF_INSTRUMENT loop{};
    loop.loop_count = 1;
    loop.loops[0].mode = SF_LOOP_FORWARD;
    loop.loops[0].start = 100;
    loop.loops[0].end = 500;
    put("sound_file", "stereo24.wav",
        libsndfile_bytes(SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, stereo, &loop));
    put("sound_file", "stereo16.aiff",
        libsndfile_bytes(SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, stereo, nullptr));
}

void clipboard_seeds(const Song& song, const fs::path& demos) {
    const struct {
        const char* name;
        size_t pattern;
        Block block;
    } blocks[] = {
        {"all-notes", 0, {0, 24, Aspect::NOTES, ALL_VOICES}},
        {"one-voice", 0, {4, 20, Aspect::NOTES, 0}},
        {"tempo", 1, {0, 36, Aspect::TEMPO, ALL_VOICES}},
        {"volume", 1, {2, 30, Aspect::VOLUME, ALL_VOICES}},
        {"balance-one-voice", 1, {0, 36, Aspect::BALANCE, 1}},
        {"three-voices", 1, {6, 30, Aspect::NOTES, ALL_VOICES}},
    };
    for (const auto& b : blocks)
        put("clipboard", std::string(b.name) + ".clip", copy_block(song, b.pattern, b.block));
    // A block of a demo song, instruments named as the stock bank names them.
    Song demo = read_any_song(demos / "first-steps.sn2", [&](const std::string& name) {
        Instrument stand_in =
            make_sampled_instrument(name, NO_CATEGORY, 16, NO_LOOP, 8000, 1, true);
        return stand_in;
    });
    const Pattern& pattern = demo.patterns[0];
    put("clipboard", "demo.clip",
        copy_block(demo, 0,
                   {0, std::min<Tick>(pattern.tick_length(), 32), Aspect::NOTES, ALL_VOICES}));
}

std::vector<uint8_t> bytes_of(const std::string& text) {
    return {text.begin(), text.end()};
}

void settings_seeds() {
    // The store as the composer writes it at exit: every setting, with a changed record.
    const fs::path scratch =
        fs::temp_directory_path() / ("fuzz-corpus-settings-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    RegistryStore store(scratch / "user.reg", "HKEY_CURRENT_USER");
    Settings record;
    record.song_folder = "/home/user/Songs";
    record.instrument_folder = "/home/user/Instr\xfcmente";
    record.main_window_pos = {10, 20, 810, 620};
    record.keyboard_base_octave = 4;
    record.repeat = 1;
    if (!write_settings(store, record)) throw std::runtime_error("cannot write the settings seed");
    put("settings", "written.reg", read_all(store.file()));
    fs::remove_all(scratch);
    // What a hand-edited or older store may hold: comments, other roots, a deleted key, a
    // default value, escapes, binary data over continued lines, a deleted value.
    put("settings", "edited.reg",
        bytes_of("Windows Registry Editor Version 5.00\r\n\r\n"
                 "; edited by hand\r\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"x\"=dword:00000001\r\n\r\n"
                 "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n\r\n"
                 "[HKEY_CURRENT_USER\\Software\\LFS\\Tunemill]\r\n"
                 "@=\"default\"\r\n"
                 "\"SongFolder\"=\"C:\\\\Songs \\\"new\\\"\"\r\n"
                 "\"Playback.SamplingRate\"=dword:0000ac44\r\n"
                 "\"MainWin.Pos\"=hex:0a,00,00,00,14,00,00,00,\\\r\n  2a,03,00,00,6c,02,00,00\r\n"
                 "\"KeyboardWin.Open\"=-\r\n"
                 "\"Octave\"=dword:ffffffff\r\n"));
}

void setup_seeds() {
    using setup::IndexRecord;
    put("setup_index", "data.idx",
        setup::encode_index({IndexRecord{"tmw", 123456, 0x1234ABCD, 1700000000},
                             IndexRecord{"tmuninst", 98765, 0x0BADF00D, 1700000100},
                             IndexRecord{"tmill.bnk", 400000, 0xFFFFFFFF, 0},
                             IndexRecord{"demos/first-steps.sn2", 2981, 7, 1}}));
    put("setup_index", "one.idx",
        setup::encode_index({IndexRecord{"help/en/index.html", 10, 20, 30}}));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: fuzz_corpus STOCK.bnk DEMO_FOLDER OUT_FOLDER\n";
        return 2;
    }
    try {
        out_root = argv[3];
        InstrumentBank bank(argv[1]);
        Song song = seed_song(bank);
        song_seeds(song, argv[2]);
        module_seeds(song);
        midi_seeds(song, argv[2], [&](const std::string& name) { return bank.load(name); });
        instrument_seeds(song);
        bank_seeds(song);
        sample_seeds(song);
        sound_file_seeds(song);
        clipboard_seeds(song, argv[2]);
        settings_seeds();
        setup_seeds();
    } catch (const tunemill::ERROR& error) {
        std::cerr << "fuzz_corpus: " << error_text(error) << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "fuzz_corpus: " << error.what() << "\n";
        return 1;
    }
    std::cout << "fuzz_corpus: " << written << " seeds in " << out_root.string() << "\n";
    return 0;
}
