// Sample files read through libsndfile: every container written by libsndfile at test time comes
// back as the expected mono instrument, loops are carried over, damaged files give the message.
#include "instruments/sample_import.h"
#include "instruments/sound_file.h"
#include "tests/instruments/test_files.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace tunemill {
namespace {

using namespace testing_files;

const RawImportPrompt NEVER_RAW = [](RawImportSettings&) -> bool {
    ADD_FAILURE() << "taken as raw";
    return false;
};

// Interleaved 32-bit samples (left-justified, as libsndfile's int functions take them).
std::filesystem::path write_sound(const std::string& name, int format, int channels, int rate,
                                  const std::vector<int32_t>& samples,
                                  const SF_INSTRUMENT* loop = nullptr) {
    const auto path = scratch_folder() / name;
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* sound = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(sound, nullptr) << name << ": " << sf_strerror(nullptr);
    if (!sound) return path;
    if (loop) {
        EXPECT_EQ(
            sf_command(sound, SFC_SET_INSTRUMENT, const_cast<SF_INSTRUMENT*>(loop), sizeof *loop),
            SF_TRUE);
    }
    const auto frames = sf_count_t(samples.size() / size_t(channels));
    const int encoding = format & SF_FORMAT_SUBMASK;
    if (encoding == SF_FORMAT_FLOAT || encoding == SF_FORMAT_DOUBLE) {
        // Float files hold -1..1; libsndfile stores integers written to them unscaled.
        std::vector<double> scaled;
        for (int32_t value : samples)
            scaled.push_back(value / 2147483648.0);
        EXPECT_EQ(sf_writef_double(sound, scaled.data(), frames), frames);
    } else {
        EXPECT_EQ(sf_writef_int(sound, samples.data(), frames), frames);
    }
    sf_close(sound);
    return path;
}

// A sound every codec keeps well: two sines, a different one per channel, at half scale, each
// value kept to the file's bits so that lossless files hold exactly these values.
std::vector<int32_t> tones(int channels, size_t frames, int bits, int rate) {
    std::vector<int32_t> out;
    const int32_t keep = bits >= 32 ? -1 : int32_t(~((1u << (32 - bits)) - 1));
    for (size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const double t = double(f) / rate;
            const double value = 0.3 * std::sin(2 * M_PI * (220.0 * (c + 1)) * t) +
                                 0.2 * std::sin(2 * M_PI * 330.0 * t);
            out.push_back(int32_t(std::lround(value * 2147483647.0)) & keep);
        }
    return out;
}

// What the import promises: the mean of the channels, rounded to 16 (or 8) bits.
std::vector<int32_t> mono_expected(const std::vector<int32_t>& samples, int channels,
                                   bool eight_bit) {
    std::vector<int32_t> out;
    for (size_t at = 0; at < samples.size(); at += size_t(channels)) {
        double sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += double(samples[at + size_t(c)]) / 2147483648.0;
        const double scale = eight_bit ? 128 : 32768;
        const double top = eight_bit ? 127 : 32767;
        out.push_back(int32_t(std::clamp(std::floor(sum / channels * scale + 0.5), -scale, top)));
    }
    return out;
}

std::vector<int32_t> values_of(const Instrument& instrument) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < instrument.length; ++i)
        out.push_back(instrument.bytes_per_sample == 1 ? int32_t(instrument.samples[i]) - 128
                                                       : int32_t(instrument.samples16()[i]));
    return out;
}

Instrument import(const std::filesystem::path& path) {
    std::optional<Instrument> instrument = import_sample_file(path, NEVER_RAW);
    EXPECT_TRUE(instrument.has_value()) << path;
    return instrument ? std::move(*instrument) : Instrument{};
}

TEST(SoundFileImport, LosslessFilesBecomeTheirMonoMixdown) {
    struct Case {
        const char* file;
        int format, channels, bits, rate;
        const char* container;
        const char* encoding;
    } cases[] = {
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 24, 44100, "wav", "pcm24"},
        {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 32, 22050, "wav", "pcm32"},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 24, 48000, "wav", "float"},
        {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 16, 32000, "wav", "pcm16"},
        {"quad.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 16, 8000, "wav", "pcm16"},
        {"mono.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 16, 44100, "aiff", "pcm16"},
        {"stereo24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 24, 11025, "aiff", "pcm24"},
        {"float.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 24, 16000, "aiff", "float"},
        {"mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 16, 44100, "flac", "pcm16"},
        {"stereo24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 24, 65535, "flac", "pcm24"},
        {"eight.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 1, 8, 8000, "flac", "pcm8"},
        {"eight-stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 8, 8000, "aiff", "pcm8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<int32_t> written = tones(c.channels, 3001, c.bits, c.rate);
        const auto path = write_sound(c.file, c.format, c.channels, c.rate, written);
        const bool eight_bit = c.bits == 8;
        const Instrument instrument = import(path);
        EXPECT_EQ(instrument.length, 3001u);
        EXPECT_EQ(instrument.rate, uint32_t(c.rate));
        EXPECT_EQ(instrument.bytes_per_sample, eight_bit ? 1u : 2u);
        EXPECT_EQ(instrument.loop_start, NO_LOOP);
        EXPECT_EQ(instrument.category, NO_CATEGORY);
        EXPECT_EQ(instrument.samples.size(), instrument.sample_bytes() + SAMPLE_PADDING);
        EXPECT_EQ(values_of(instrument), mono_expected(written, c.channels, eight_bit));

        const std::optional<SampleFile> described = read_sample_file(path);
        ASSERT_TRUE(described.has_value());
        EXPECT_EQ(described->format.container, c.container);
        EXPECT_EQ(described->format.encoding, c.encoding);
        EXPECT_EQ(described->format.channels, uint32_t(c.channels));
        EXPECT_EQ(described->format.frames, 3001u);
    }
}

TEST(SoundFileImport, TwentyFourBitStereoRoundsTheMeanToSixteenBits) {
    // Left and right as 24-bit values; the instrument holds round((left + right) / 2 / 256).
    struct Frame {
        int32_t left, right, expected;
    } frames[] = {
        {256128, -128000, 250},       // 64064 / 256 = 250.25
        {384, 0, 1},                  // 0.75 rounds up
        {-384, 0, -1},                // -0.75 rounds down
        {128, 0, 0},                  // a half rounds up: 0.25 + ...
        {256, 0, 1},                  // exactly a half: up
        {8388607, 8388607, 32767},    // full scale stays below the top
        {-8388608, -8388608, -32768}, // and reaches the bottom
        {8388607, -8388608, 0},
    };
    std::vector<int32_t> samples;
    for (const Frame& f : frames) {
        samples.push_back(f.left * 256);
        samples.push_back(f.right * 256);
    }
    const Instrument instrument =
        import(write_sound("exact24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44100, samples));
    ASSERT_EQ(instrument.length, std::size(frames));
    EXPECT_EQ(instrument.bytes_per_sample, 2u);
    for (size_t i = 0; i < std::size(frames); ++i)
        EXPECT_EQ(instrument.samples16()[i], frames[i].expected) << i;
}

TEST(SoundFileImport, LossyFilesDecodeCloseToWhatWasWritten) {
    struct Case {
        const char* file;
        int format, channels, rate;
    } cases[] = {
        {"tones.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100},
        {"mono.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050},
        {"tones.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000},
        {"tones.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100},
        {"mono.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 22050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<int32_t> written = tones(c.channels, size_t(c.rate), 16, c.rate);
        const Instrument instrument =
            import(write_sound(c.file, c.format, c.channels, c.rate, written));
        const std::vector<int32_t> expected = mono_expected(written, c.channels, false);
        EXPECT_EQ(instrument.rate, uint32_t(c.rate));
        EXPECT_EQ(instrument.bytes_per_sample, 2u);
        ASSERT_EQ(instrument.length, expected.size());
        // The error of a perceptual codec on two plain tones: well under 2 % of full scale.
        double error = 0, signal = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            const double d = instrument.samples16()[i] - expected[i];
            error += d * d;
            signal += double(expected[i]) * expected[i];
        }
        EXPECT_LT(std::sqrt(error / double(expected.size())), 0.02 * 32768);
        EXPECT_GT(signal, 0);
    }
}

void put_be(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int k = bytes - 1; k >= 0; --k)
        out.push_back(uint8_t(value >> (8 * k)));
}

// An AIFF file with a sustain loop: two markers and the instrument chunk that names them, added
// after the sound data (libsndfile does not write them itself).
std::vector<uint8_t> aiff_with_loop(std::vector<uint8_t> aiff, uint32_t start, uint32_t end) {
    std::vector<uint8_t> chunks;
    append_text(chunks, "MARK");
    put_be(chunks, 2 + 2 * (2 + 4 + 2), 4);
    put_be(chunks, 2, 2);
    for (auto [id, position] : {std::pair{1u, start}, std::pair{2u, end}}) {
        put_be(chunks, id, 2);
        put_be(chunks, position, 4);
        put_be(chunks, 0, 2); // an empty name and its pad byte
    }
    append_text(chunks, "INST");
    put_be(chunks, 20, 4);
    append(chunks, {60, 0, 0, 127, 1, 127, 0, 0});
    put_be(chunks, 1, 2); // sustain loop: forward, from marker 1 to marker 2
    put_be(chunks, 1, 2);
    put_be(chunks, 2, 2);
    for (int i = 0; i < 3; ++i)
        put_be(chunks, 0, 2); // no release loop
    append(aiff, chunks);
    const uint32_t form = uint32_t(aiff.size() - 8);
    for (int k = 0; k < 4; ++k)
        aiff[size_t(4 + k)] = uint8_t(form >> (24 - 8 * k));
    return aiff;
}

TEST(SoundFileImport, LoopsInTheFileBecomeTheInstrumentsLoop) {
    const std::vector<int32_t> samples = tones(1, 1000, 16, 44100);
    const std::vector<int32_t> expected = mono_expected(samples, 1, false);
    SF_INSTRUMENT loop{};
    loop.loop_count = 1;
    loop.loops[0].mode = SF_LOOP_FORWARD;
    loop.loops[0].start = 200;
    loop.loops[0].end = 700;
    loop.key_hi = loop.velocity_hi = 127;
    // libsndfile writes the "smpl" chunk of WAV files; AIFF's markers we add by hand.
    const auto wav =
        write_sound("loop24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 44100, samples, &loop);
    const auto aiff = write_scratch_file(
        "loop.aiff",
        aiff_with_loop(read_whole_file(write_sound("plain.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
                                                   1, 44100, samples)),
                       200, 700));
    for (const auto& path : {wav, aiff}) {
        SCOPED_TRACE(path.filename());
        const Instrument instrument = import(path);
        EXPECT_EQ(instrument.loop_start, 200u);
        // The loop runs to the instrument's end: what followed the loop's end is gone.
        EXPECT_EQ(instrument.length, 700u);
        EXPECT_EQ(values_of(instrument),
                  std::vector<int32_t>(expected.begin(), expected.begin() + 700));
    }
}

// A FLAC file with a Vorbis comment block holding the fields, inserted after STREAMINFO.
std::vector<uint8_t> with_comment(std::vector<uint8_t> flac,
                                  const std::vector<std::string>& fields) {
    std::vector<uint8_t> comment;
    put_le(comment, 4, 4);
    append_text(comment, "test");
    put_le(comment, uint32_t(fields.size()), 4);
    for (const std::string& field : fields) {
        put_le(comment, uint32_t(field.size()), 4);
        append_text(comment, field);
    }
    const size_t streaminfo_end = 4 + 4 + 34;
    const uint8_t last = flac[4] & 0x80;
    flac[4] &= 0x7F;
    std::vector<uint8_t> block{uint8_t(last | 4), uint8_t(comment.size() >> 16),
                               uint8_t(comment.size() >> 8), uint8_t(comment.size())};
    append(block, comment);
    flac.insert(flac.begin() + streaminfo_end, block.begin(), block.end());
    return flac;
}

TEST(SoundFileImport, FlacLoopTags) {
    const std::vector<int32_t> samples = tones(2, 1000, 16, 44100);
    const std::vector<uint8_t> flac = read_whole_file(
        write_sound("plain.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, samples));
    struct Case {
        std::vector<std::string> fields;
        uint32_t loop_start, length;
    } cases[] = {
        {{"TITLE=x", "LOOPSTART=100", "LOOPLENGTH=400"}, 100, 500},
        {{"loopstart=250"}, 250, 1000},                    // names in any case, loop to the end
        {{"LOOPSTART=100", "LOOPLENGTH=5000"}, 100, 1000}, // a loop past the end stops there
        {{"LOOPSTART=1000"}, NO_LOOP, 1000},               // starts at the end: no loop
        {{"LOOPSTART=-5"}, NO_LOOP, 1000},
        {{"LOOPLENGTH=10"}, NO_LOOP, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields.front());
        const Instrument instrument =
            import(write_scratch_file("tagged.flac", with_comment(flac, c.fields)));
        EXPECT_EQ(instrument.loop_start, c.loop_start);
        EXPECT_EQ(instrument.length, c.length);
    }
}

// An Ogg page of the given packets, each in as many 255-byte segments as it needs. The tag
// search does not check the page checksum.
std::vector<uint8_t> ogg_page(uint32_t serial, const std::vector<std::vector<uint8_t>>& packets) {
    std::vector<uint8_t> table, data;
    for (const auto& packet : packets) {
        size_t left = packet.size();
        do {
            table.push_back(uint8_t(std::min<size_t>(left, 255)));
            left -= std::min<size_t>(left, 255);
        } while (table.back() == 255 || left > 0);
        append(data, packet);
    }
    std::vector<uint8_t> page;
    append_text(page, "OggS");
    page.resize(14, 0);
    put_le(page, serial, 4);
    page.resize(26, 0);
    page.push_back(uint8_t(table.size()));
    append(page, table);
    append(page, data);
    return page;
}

TEST(SoundFileImport, OggLoopTagsInTheCommentPacket) {
    auto comment = [](const std::string& magic, const std::string& field, size_t padding) {
        std::vector<uint8_t> out;
        append_text(out, magic);
        put_le(out, uint32_t(padding), 4);
        out.resize(out.size() + padding, 'v');
        put_le(out, 1, 4);
        put_le(out, uint32_t(field.size()), 4);
        append_text(out, field);
        return out;
    };
    const std::vector<uint8_t> identification(30, 1);
    std::vector<uint8_t> vorbis = ogg_page(7, {identification});
    append(vorbis,
           ogg_page(7, {comment("\x03vorbis", "LOOPSTART=44", 600)})); // spans three segments
    std::vector<uint8_t> opus = ogg_page(9, {identification});
    append(opus, ogg_page(3, {comment("OpusTags", "LOOPSTART=1", 0)})); // another stream's page
    append(opus, ogg_page(9, {comment("OpusTags", "LOOPSTART=12", 0)}));
    const std::vector<uint8_t> cut(vorbis.begin(), vorbis.end() - 20);

    ASSERT_TRUE(find_loop_tags(vorbis).has_value());
    EXPECT_EQ(find_loop_tags(vorbis)->start, 44u);
    ASSERT_TRUE(find_loop_tags(opus).has_value());
    EXPECT_EQ(find_loop_tags(opus)->start, 12u);
    EXPECT_FALSE(find_loop_tags(cut).has_value());
}

TEST(SoundFileImport, DamagedFilesGiveTheMessage) {
    const std::vector<uint8_t> flac = read_whole_file(write_sound(
        "good.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, tones(1, 20000, 16, 44100)));
    const std::vector<uint8_t> ogg = read_whole_file(write_sound(
        "good.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 44100, tones(1, 20000, 16, 44100)));
    std::vector<uint8_t> bad_streaminfo = flac;
    std::fill(bad_streaminfo.begin() + 8, bad_streaminfo.begin() + 42, 0);
    std::vector<uint8_t> riff_junk{'R', 'I', 'F', 'F', 100, 0,   0,   0,
                                   'W', 'A', 'V', 'E', 'j', 'u', 'n', 'k'};
    riff_junk.resize(200, 0x55);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"FLAC cut in half",
         std::vector<uint8_t>(flac.begin(), flac.begin() + ptrdiff_t(flac.size() / 2))},
        {"FLAC header only", std::vector<uint8_t>(flac.begin(), flac.begin() + 4)},
        {"FLAC with a zeroed stream info", bad_streaminfo},
        {"Ogg head only", std::vector<uint8_t>(ogg.begin(), ogg.begin() + 40)},
        {"AIFF without chunks", {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'}},
        {"WAV without a format chunk", riff_junk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = write_scratch_file("damaged.bin", c.bytes);
        try {
            import_sample_file(path, NEVER_RAW);
            ADD_FAILURE() << "imported";
        } catch (const MISC_ERROR& error) {
            EXPECT_EQ(error.string_id(), S_UNKNOWN_SAMPLE_FILE);
            set_language(Language::ENGLISH);
            EXPECT_EQ(error.compose_message(), "Unknown or damaged sample file");
            set_language(Language::GERMAN);
            EXPECT_EQ(error.compose_message(), "Unbekannte oder beschädigte Sample-Datei");
            set_language(Language::ENGLISH);
        }
    }
}

TEST(SoundFileImport, RatesAndLengthsAnInstrumentCannotHold) {
    const auto fast = write_sound("fast.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 96000,
                                  tones(2, 100, 24, 96000));
    try {
        import_sample_file(fast, NEVER_RAW);
        ADD_FAILURE() << "imported";
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), S_SAMPLE_RATE_OUT_OF_RANGE);
    }
    // A stream info that announces 2^31 frames: more than a 16-bit instrument holds.
    std::vector<uint8_t> flac = read_whole_file(write_sound(
        "long.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, tones(1, 100, 16, 44100)));
    // Bytes 8 + 13 .. 8 + 17 hold the 36-bit total sample count after 4 bits of bits-per-sample.
    flac[8 + 13] = uint8_t((flac[8 + 13] & 0xF0) | 0x00);
    flac[8 + 14] = 0x80;
    flac[8 + 15] = flac[8 + 16] = flac[8 + 17] = 0;
    try {
        import_sample_file(write_scratch_file("long.flac", flac), NEVER_RAW);
        ADD_FAILURE() << "imported";
    } catch (const MISC_ERROR& error) {
        EXPECT_EQ(error.string_id(), S_SAMPLE_FILE_TOO_LONG);
    }
}

TEST(SoundFileImport, OtherBytesStayRawData) {
    // MPEG frame sync, a RIFF that is no WAVE and bytes that merely contain a magic later on:
    // libsndfile might guess at them, the raw import keeps them.
    std::vector<uint8_t> mpeg{0xFF, 0xFB, 0x90, 0x64};
    mpeg.resize(2000, 0x11);
    std::vector<uint8_t> avi{'R', 'I', 'F', 'F', 0, 1, 0, 0, 'A', 'V', 'I', ' '};
    avi.resize(300, 7);
    std::vector<uint8_t> late_magic(100, 3);
    append_text(late_magic, "fLaC");
    for (const auto& bytes : {mpeg, avi, late_magic}) {
        int asked = 0;
        const auto result =
            import_sample_file(write_scratch_file("other.raw", bytes), [&](RawImportSettings&) {
                ++asked;
                return true;
            });
        EXPECT_EQ(asked, 1);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->length, uint32_t(bytes.size()));
    }
}

} // namespace
} // namespace tunemill
