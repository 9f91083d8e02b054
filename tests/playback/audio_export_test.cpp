// Sound-file export: decoded again with libsndfile, the FLAC file is the WAV export sample for
// sample and the lossy files close to it; cancel and failure leave no file behind.
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

// MP3 and Opus against the WAV export at the rate they are written at: the same length, the same
// level, and close sample for sample.
TEST_F(AudioExportFixture, Mp3AndOpusDecodeToTheWavExportsLengthAndLevel) {
    struct Case {
        AudioFileType type;
        uint32_t asked_rate;
        int sf_format;
        uint32_t rate;
    } cases[] = {
        {AudioFileType::MP3, 44100, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
        {AudioFileType::MP3, 22050, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 22050},
        {AudioFileType::OPUS, 44100, SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(audio_file_extension(c.type)) + " " +
                     std::to_string(c.asked_rate));
        AudioExportSettings settings;
        settings.type = c.type;
        settings.render.rate = c.asked_rate;
        const fs::path lossy = dir / (std::string("song.") + audio_file_extension(c.type));
        uint64_t frames = 0;
        ASSERT_TRUE(export_song_audio(song, lossy, settings, {}, &frames));
        EXPECT_EQ(export_rate(settings), c.rate);
        settings.type = AudioFileType::WAV;
        settings.render.rate = c.rate;
        ASSERT_TRUE(export_song_audio(song, dir / "song.wav", settings));
        const Decoded decoded = decode(lossy);
        EXPECT_EQ(decoded.info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK), c.sf_format);
        EXPECT_EQ(uint32_t(decoded.info.samplerate), c.rate);
        EXPECT_EQ(decoded.info.channels, 2);
        const std::vector<int16_t> wav = wav_samples(dir / "song.wav");
        ASSERT_EQ(decoded.samples.size(), wav.size());
        EXPECT_EQ(frames * 2, wav.size());
        double error = 0, signal = 0, level = 0;
        for (size_t i = 0; i < wav.size(); ++i) {
            error += std::pow(double(decoded.samples[i]) - wav[i], 2);
            signal += std::pow(double(wav[i]), 2);
            level += std::pow(double(decoded.samples[i]), 2);
        }
        // The level within 1 dB (MP3 at 22050 Hz filters the highest partials away), and close
        // sample for sample: garbled blocks or a shift in time would not be.
        EXPECT_NEAR(std::sqrt(level / signal), 1.0, 0.1);
        EXPECT_LT(std::sqrt(error / signal), 0.1);
    }
}

// Lower quality, smaller file, for every lossy type.
TEST_F(AudioExportFixture, QualityChoosesTheSize) {
    for (AudioFileType type :
         {AudioFileType::OGG_VORBIS, AudioFileType::MP3, AudioFileType::OPUS}) {
        SCOPED_TRACE(audio_file_extension(type));
        AudioExportSettings settings;
        settings.type = type;
        settings.vorbis_quality = 0.9;
        const std::string extension = audio_file_extension(type);
        ASSERT_TRUE(export_song_audio(song, dir / ("high." + extension), settings));
        settings.vorbis_quality = 0.1;
        ASSERT_TRUE(export_song_audio(song, dir / ("low." + extension), settings));
        EXPECT_LT(fs::file_size(dir / ("low." + extension)),
                  fs::file_size(dir / ("high." + extension)));
    }
}

TEST_F(AudioExportFixture, CancelAndFailureLeaveNoFileAndKeepAnOldOne) {
    song.patterns[0].length = 400; // long enough for several blocks
    for (AudioFileType type : {AudioFileType::FLAC, AudioFileType::OGG_VORBIS, AudioFileType::MP3,
                               AudioFileType::OPUS}) {
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

// A rate the encoder refuses is resampled: the sound keeps its length in time and its level.
TEST_F(AudioExportFixture, InstrumentsAtOtherRatesAreResampledForMp3AndOpus) {
    const Instrument& tone = song.instruments[0]; // 22050 Hz
    double tone_level = 0;
    for (uint32_t i = 0; i < tone.length; ++i)
        tone_level += std::pow(double(tone.samples16()[i]), 2);
    tone_level = std::sqrt(tone_level / tone.length);
    struct Case {
        AudioFileType type;
        uint32_t rate;
    } cases[] = {{AudioFileType::MP3, 22050}, {AudioFileType::OPUS, 24000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(audio_file_extension(c.type));
        const fs::path path = dir / (std::string("i.") + audio_file_extension(c.type));
        export_instrument_audio(tone, path, c.type);
        const Decoded decoded = decode(path);
        EXPECT_EQ(uint32_t(decoded.info.samplerate), c.rate);
        EXPECT_EQ(decoded.info.channels, 1);
        EXPECT_NEAR(double(decoded.samples.size()), double(tone.length) * c.rate / tone.rate, 2);
        double level = 0;
        for (int16_t v : decoded.samples)
            level += std::pow(double(v), 2);
        EXPECT_NEAR(std::sqrt(level / double(decoded.samples.size())) / tone_level, 1.0, 0.1);
    }
}

TEST(AudioFileType, ChosenByExtensionOrName) {
    AudioFileType type = AudioFileType::WAV;
    EXPECT_TRUE(audio_file_type_of("a/b.FLAC", type));
    EXPECT_EQ(type, AudioFileType::FLAC);
    EXPECT_TRUE(audio_file_type_of("x.oga", type));
    EXPECT_EQ(type, AudioFileType::OGG_VORBIS);
    EXPECT_TRUE(audio_file_type_of("x.Wav", type));
    EXPECT_EQ(type, AudioFileType::WAV);
    EXPECT_TRUE(audio_file_type_of("x.MP3", type));
    EXPECT_EQ(type, AudioFileType::MP3);
    EXPECT_TRUE(audio_file_type_of("x.opus", type));
    EXPECT_EQ(type, AudioFileType::OPUS);
    for (const char* unknown : {"flac", "x.aac", "x.wav.txt", "x.", "mp3"})
        EXPECT_FALSE(audio_file_type_of(unknown, type)) << unknown;
    EXPECT_TRUE(audio_file_type_named("ogg", type));
    EXPECT_EQ(type, AudioFileType::OGG_VORBIS);
    EXPECT_TRUE(audio_file_type_named("MP3", type));
    EXPECT_EQ(type, AudioFileType::MP3);
    EXPECT_FALSE(audio_file_type_named("oga", type));
    EXPECT_FALSE(audio_file_type_named(".mp3", type));
    EXPECT_EQ(audio_file_type_names(), "wav, flac, ogg, mp3, opus");
    // Every type's name is one of its own extensions, so the default name chooses it again.
    for (const AudioFileTypeInfo& info : audio_file_types()) {
        EXPECT_TRUE(audio_file_type_of(std::string("x.") + info.name, type)) << info.name;
        EXPECT_EQ(type, info.type);
    }
}

TEST(AudioFileType, RatesTheEncodersTake) {
    struct Case {
        AudioFileType type;
        uint32_t asked, written;
    } cases[] = {
        {AudioFileType::WAV, 8363, 8363},    {AudioFileType::FLAC, 65535, 65535},
        {AudioFileType::MP3, 44100, 44100},  {AudioFileType::MP3, 8363, 11025},
        {AudioFileType::MP3, 65535, 48000},  {AudioFileType::MP3, 4000, 8000},
        {AudioFileType::OPUS, 44100, 48000}, {AudioFileType::OPUS, 22050, 24000},
        {AudioFileType::OPUS, 12000, 12000}, {AudioFileType::OPUS, 65535, 48000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encodable_rate(c.type, c.asked), c.written)
            << audio_file_extension(c.type) << " " << c.asked;
}

} // namespace
} // namespace tunemill
