// FLAC and Ogg Vorbis export: decoded again with libsndfile, the FLAC file is the WAV export
// sample for sample and the Ogg file close to it; cancel and failure leave no file behind.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sndfile.h>
#include <unistd.h>

#include "foundation/errors.h"
#include "playback/audio_export.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Decoded {
    SF_INFO info{};
    std::vector<int16_t> samples; // interleaved
};

Decoded decode(const fs::path& path) {
    Decoded out;
    SNDFILE* sound = sf_open(path.c_str(), SFM_READ, &out.info);
    EXPECT_NE(sound, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!sound) return out;
    out.samples.resize(size_t(out.info.frames) * size_t(out.info.channels));
    EXPECT_EQ(sf_readf_short(sound, out.samples.data(), out.info.frames), out.info.frames);
    sf_close(sound);
    return out;
}

// The WAV export's samples as 16-bit values (8-bit ones moved to the top byte).
std::vector<int16_t> wav_samples(const fs::path& path) {
    const std::vector<uint8_t> b = read_all(path);
    const bool sixteen = b[34] == 16;
    std::vector<int16_t> out;
    for (size_t at = 44; at < b.size(); at += sixteen ? 2 : 1)
        out.push_back(sixteen ? int16_t(b[at] | b[at + 1] << 8) : int16_t((b[at] - 128) * 256));
    return out;
}

struct AudioExportFixture : ::testing::Test {
    fs::path dir;
    Song song;

    AudioExportFixture() {
        dir = fs::temp_directory_path() /
              ("tunemill-audio-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        // A looped 440 Hz tone at 22050 Hz, played as a two-note chord in two voices.
        Instrument tone = make_sampled_instrument("tone", NO_CATEGORY, 22050, 0, 22050, 2, false);
        for (uint32_t i = 0; i < tone.length; ++i)
            tone.samples16()[i] =
                int16_t(std::lround(12000 * std::sin(2 * M_PI * 440.0 * i / 22050)));
        song.instruments.push_back(std::move(tone));
        add_pattern(song, "A");
        song.patterns[0].length = 16;
        for (Key key : {36, 43}) {
            Voice& voice = song.patterns[0].voices[add_voice(song.patterns[0], 0)];
            insert_event(voice, 0, NOTE_ON, key);
            insert_event(voice, 12, NOTE_OFF, key);
        }
        song.sequence = {0};
    }
    ~AudioExportFixture() override { fs::remove_all(dir); }

    std::vector<fs::path> files() const {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(dir))
            out.push_back(entry.path().filename());
        return out;
    }
};

TEST_F(AudioExportFixture, FlacDecodesToTheWavExportSampleForSample) {
    for (bool stereo : {true, false})
        for (bool sixteen : {true, false}) {
            SCOPED_TRACE(testing::Message() << "stereo " << stereo << ", 16-bit " << sixteen);
            AudioExportSettings settings;
            settings.render.stereo = stereo;
            settings.render.sixteen_bit = sixteen;
            settings.render.rate = 32000;
            ASSERT_TRUE(export_song_audio(song, dir / "song.wav", settings));
            settings.type = AudioFileType::FLAC;
            ASSERT_TRUE(export_song_audio(song, dir / "song.flac", settings));
            const Decoded flac = decode(dir / "song.flac");
            EXPECT_EQ(flac.info.format,
                      SF_FORMAT_FLAC | (sixteen ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_S8));
            EXPECT_EQ(flac.info.channels, stereo ? 2 : 1);
            EXPECT_EQ(flac.info.samplerate, 32000);
            const std::vector<int16_t> wav = wav_samples(dir / "song.wav");
            EXPECT_GT(wav.size(), 32000u);
            EXPECT_EQ(flac.samples, wav);
            // Lossless and smaller.
            EXPECT_LT(fs::file_size(dir / "song.flac"), fs::file_size(dir / "song.wav"));
        }
}

TEST_F(AudioExportFixture, OggVorbisDecodesCloseToTheWavExport) {
    AudioExportSettings settings;
    ASSERT_TRUE(export_song_audio(song, dir / "song.wav", settings));
    settings.type = AudioFileType::OGG_VORBIS;
    ASSERT_TRUE(export_song_audio(song, dir / "song.ogg", settings));
    const Decoded ogg = decode(dir / "song.ogg");
    EXPECT_EQ(ogg.info.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(ogg.info.channels, 2);
    EXPECT_EQ(ogg.info.samplerate, 44100);
    const std::vector<int16_t> wav = wav_samples(dir / "song.wav");
    ASSERT_EQ(ogg.samples.size(), wav.size());
    double error = 0, signal = 0;
    for (size_t i = 0; i < wav.size(); ++i) {
        error += std::pow(double(ogg.samples[i]) - wav[i], 2);
        signal += std::pow(double(wav[i]), 2);
    }
    // A perceptual codec at its default quality keeps a chord of two tones to within 3 % of
    // its level (-30 dB; libvorbis reaches about -38 dB here).
    EXPECT_LT(std::sqrt(error / signal), 0.03);

    // The quality setting is the size: lower quality, smaller file.
    settings.vorbis_quality = 0.1;
    ASSERT_TRUE(export_song_audio(song, dir / "low.ogg", settings));
    EXPECT_LT(fs::file_size(dir / "low.ogg"), fs::file_size(dir / "song.ogg"));
}

TEST_F(AudioExportFixture, CancelAndFailureLeaveNoFileAndKeepAnOldOne) {
    song.patterns[0].length = 400; // long enough for several blocks
    for (AudioFileType type : {AudioFileType::FLAC, AudioFileType::OGG_VORBIS}) {
        SCOPED_TRACE(audio_file_extension(type));
        AudioExportSettings settings;
        settings.type = type;
        int calls = 0;
        auto cancel_second = [&](uint32_t, uint32_t) { return ++calls < 2; };
        const fs::path path = dir / (std::string("c.") + audio_file_extension(type));
        EXPECT_FALSE(export_song_audio(song, path, settings, cancel_second));
        EXPECT_TRUE(files().empty());

        std::ofstream(path) << "keep me";
        calls = 0;
        EXPECT_FALSE(export_song_audio(song, path, settings, cancel_second));
        EXPECT_EQ(files(), std::vector<fs::path>{path.filename()});
        EXPECT_EQ(read_all(path).size(), 7u);
        fs::remove(path);

        EXPECT_THROW(export_song_audio(song, dir / "missing" / path.filename(), settings),
                     FILE_ERROR);
        EXPECT_TRUE(files().empty());
    }
}

TEST_F(AudioExportFixture, InstrumentsExportAsTheirOwnSamples) {
    Instrument eight =
        make_sampled_instrument("eight", NO_CATEGORY, 3000, NO_LOOP, 11025, 1, false);
    for (uint32_t i = 0; i < eight.length; ++i)
        eight.samples[i] = uint8_t(i * 7);
    for (const Instrument* instrument : {&song.instruments[0], &eight}) {
        SCOPED_TRACE(instrument->name);
        export_instrument_audio(*instrument, dir / "i.flac", AudioFileType::FLAC);
        const Decoded flac = decode(dir / "i.flac");
        EXPECT_EQ(flac.info.channels, 1);
        EXPECT_EQ(uint32_t(flac.info.samplerate), instrument->rate);
        ASSERT_EQ(flac.samples.size(), instrument->length);
        for (uint32_t i = 0; i < instrument->length; ++i) {
            const int16_t expected = instrument->bytes_per_sample == 2
                                         ? instrument->samples16()[i]
                                         : int16_t((instrument->samples[i] - 128) * 256);
            ASSERT_EQ(flac.samples[i], expected) << i;
        }
    }
    export_instrument_audio(song.instruments[0], dir / "i.ogg", AudioFileType::OGG_VORBIS);
    EXPECT_EQ(decode(dir / "i.ogg").samples.size(), song.instruments[0].length);
}

TEST(AudioFileType, ChosenByExtensionOrName) {
    AudioFileType type = AudioFileType::WAV;
    EXPECT_TRUE(audio_file_type_of("a/b.FLAC", type));
    EXPECT_EQ(type, AudioFileType::FLAC);
    EXPECT_TRUE(audio_file_type_of("x.oga", type));
    EXPECT_EQ(type, AudioFileType::OGG_VORBIS);
    EXPECT_TRUE(audio_file_type_of("x.Wav", type));
    EXPECT_EQ(type, AudioFileType::WAV);
    EXPECT_FALSE(audio_file_type_of("x.mp3", type));
    EXPECT_FALSE(audio_file_type_of("flac", type));
    EXPECT_TRUE(audio_file_type_named("ogg", type));
    EXPECT_EQ(type, AudioFileType::OGG_VORBIS);
    EXPECT_FALSE(audio_file_type_named("oga", type));
    EXPECT_FALSE(audio_file_type_named("mp3", type));
}

} // namespace
} // namespace tunemill
