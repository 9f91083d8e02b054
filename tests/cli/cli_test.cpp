// tmw-cli info and convert on song files of both formats: the JSON fields, the lines for people,
// the converted file, and the exit codes with their one line on stderr.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include "old_song_encoder.h"
#include "song/instrument_array.h"
#include "storage/song_file.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;
namespace fs = std::filesystem;

struct CliRun {
    int exit_code;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CliRun tmw_cli(const std::string& arguments) {
    const fs::path program = fs::path(TUNEMILL_BIN_DIR) / "tmw-cli";
    const fs::path out = scratch_folder() / "cli.out", err = scratch_folder() / "cli.err";
    const std::string command = "LANG=C " + program.string() + " " + arguments + " > " +
                                out.string() + " 2> " + err.string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(TUNEMILL_BIN_DIR) / "tmw-cli"))
            GTEST_SKIP() << "tmw-cli is not built";
    }
};

// A song without bank instruments, so the tests do not depend on the stock bank.
fs::path song_with_two_patterns() {
    Song song;
    reset(song, "Caf\xE9 song"); // Windows-1252 e acute
    song.overall_tempo = 0;
    add_instrument(song, sampled("Lead", 1, 1000, 200, 22050));
    Instrument bell = synthesized("Bell");
    bell.category = NO_CATEGORY;
    add_instrument(song, bell);
    add_pattern(song, "Verse");
    song.patterns[0].length = 16;
    song.patterns[0].tempo_points = {{0, 0, {0, 0, 0}}, {8, 30, {0, 0, 0}}};
    add_voice(song.patterns[0], 0);
    song.patterns[0].voices[0].events = events("on40@0 vol10@2 off40@4");
    add_voice(song.patterns[0], 1);
    song.patterns[0].voices[1].events = events("on50@0 off50@16");
    add_pattern(song, "Empty");
    song.sequence = {0, 1, 0};
    song.repeat_position = 1;
    return write_scratch_file("cli/song.sn2", encode_song(song));
}

TEST_F(Cli, InfoJsonHoldsEveryField) {
    const CliRun run = tmw_cli("info --json " + song_with_two_patterns().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const nlohmann::json info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["format"], "sn2");
    EXPECT_EQ(info["description"], "Caf\xC3\xA9 song");
    EXPECT_EQ(info["ticks_per_beat"], 4);
    EXPECT_EQ(info["beats_per_measure"], 4);
    EXPECT_EQ(info["overall_tempo"], 0);
    EXPECT_EQ(info["repeat_position"], 1);
    EXPECT_EQ(info["sequence"], nlohmann::json::array({0, 1, 0}));
    // Ticks at overall tempo 0: value 0 lasts 31 ms, value 30 lasts 125 ms; twice 8 of each.
    EXPECT_EQ(info["length_ms"], 2 * (8 * 31 + 8 * 125));
    ASSERT_EQ(info["patterns"].size(), 2u);
    EXPECT_EQ(info["patterns"][0]["name"], "Verse");
    EXPECT_EQ(info["patterns"][0]["length"], 16);
    EXPECT_EQ(info["patterns"][0]["tempo_points"], 2);
    EXPECT_EQ(
        info["patterns"][0]["voices"],
        nlohmann::json::parse(R"([{"instrument":0,"events":3},{"instrument":1,"events":2}])"));
    EXPECT_EQ(info["patterns"][1]["voices"].size(), 0u);
    ASSERT_EQ(info["instruments"].size(), 2u);
    const nlohmann::json& lead = info["instruments"][0];
    EXPECT_EQ(lead["name"], "Lead");
    EXPECT_EQ(lead["category"], 3);
    EXPECT_EQ(lead["from_bank"], false);
    EXPECT_EQ(lead["synthesized"], false);
    EXPECT_EQ(lead["bytes_per_sample"], 1);
    EXPECT_EQ(lead["length"], 1000);
    EXPECT_EQ(lead["rate"], 22050);
    EXPECT_EQ(lead["loop_start"], 200);
    EXPECT_EQ(info["instruments"][1]["synthesized"], true);
    EXPECT_EQ(info["instruments"][1]["category"], NO_CATEGORY);
    EXPECT_TRUE(info["instruments"][1]["loop_start"].is_null() ||
                info["instruments"][1]["loop_start"].is_number());
}

TEST_F(Cli, InfoLinesForPeople) {
    const CliRun run = tmw_cli("info " + song_with_two_patterns().string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (const char* line :
         {"format:            sn2", "overall tempo:     0 (200%)", "sequence:          0 1 0",
          "length:            0:02 (2496 ms)", "  0 \"Verse\": 16 ticks, 2 tempo points, 2 voices",
          "      voice 1: instrument 1, 2 events",
          "  0 \"Lead\": sampled, category 3, 8-bit, 1000 frames at 22050 Hz, loop from 200"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
}

TEST_F(Cli, ConvertTurnsAnOlderSongIntoASongFile) {
    OldSong old;
    OldPattern pattern;
    pattern.name = "Old";
    pattern.length = 3;
    pattern.instruments = {0};
    pattern.text_runs = {{'O', 1}, {'k', 1}, {' ', 1}};
    pattern.voices = {{{0, strike(50)}, {1, 1}}};
    old.patterns = {pattern};
    old.stored = {sampled("Pad", 2, 10)};
    const fs::path in = write_scratch_file("cli/old.sn", encode_old_song(old));
    const fs::path out = scratch_folder() / "cli" / "converted.sn2";
    CliRun run = tmw_cli("convert " + in.string() + " " + out.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("(sn)"), std::string::npos) << run.out;
    run = tmw_cli("info --json " + out.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const nlohmann::json info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["format"], "sn2");
    EXPECT_EQ(info["description"], "Old song\r\n\r\nOk \r\n");
    EXPECT_EQ(info["patterns"][0]["voices"][0]["events"], 2);
    EXPECT_EQ(info["instruments"][0]["name"], "Pad");
}

TEST_F(Cli, RenderWritesTheSameFileOnAnyNumberOfThreads) {
    const fs::path song = song_with_two_patterns();
    const fs::path folder = scratch_folder() / "cli";
    std::string first;
    for (const std::string threads : {"1", "2", "5"}) {
        const fs::path out = folder / ("threads-" + threads + ".wav");
        const CliRun run = tmw_cli("render --threads " + threads + " --8bit " + song.string() +
                                   " " + out.string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        if (first.empty()) first = slurp(out);
        EXPECT_EQ(slurp(out), first) << threads << " threads";
    }
    EXPECT_GT(first.size(), 44u);
    const CliRun refused =
        tmw_cli("render --threads 0 " + song.string() + " " + (folder / "none.wav").string());
    EXPECT_NE(refused.exit_code, 0);
    EXPECT_NE(refused.err.find("--threads"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(folder / "none.wav"));
}

TEST_F(Cli, RenderChoosesTheSoundFileTypeAndInfoReadsItBack) {
    const fs::path song = song_with_two_patterns();
    const fs::path folder = scratch_folder() / "cli";
    struct Case {
        std::string out, options, type, container, encoding;
    } cases[] = {
        {"song.flac", "", "flac", "flac", "pcm16"},
        {"song.sound", "--format ogg --quality 2", "ogg", "ogg", "vorbis"},
        {"song.wav", "--mono --8bit", "wav", "wav", "pcm8"},
        {"song.mp3", "--quality 3", "mp3", "mp3", "mpeg"},
        {"song.opus", "--rate 22050", "opus", "ogg", "opus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        CliRun run = tmw_cli("render --json " + c.options + " " + song.string() + " " +
                             (folder / c.out).string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const nlohmann::json rendered = nlohmann::json::parse(run.out);
        EXPECT_EQ(rendered["type"], c.type);
        run = tmw_cli("info --json " + (folder / c.out).string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const nlohmann::json info = nlohmann::json::parse(run.out);
        EXPECT_EQ(info["format"], "sample");
        EXPECT_EQ(info["container"], c.container);
        EXPECT_EQ(info["rate"], rendered["rate"]);
        EXPECT_EQ(info["encoding"], c.encoding);
        EXPECT_EQ(info["frames"], rendered["frames"]);
        EXPECT_EQ(info["instrument"]["length"], rendered["frames"]);
    }
    // The FLAC becomes an instrument file, and that exports as FLAC again.
    CliRun run = tmw_cli("instrument import " + (folder / "song.flac").string() + " " +
                         (folder / "song.sa2").string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("16-bit, 44100 Hz, loop none"), std::string::npos) << run.out;
    run = tmw_cli("instrument export " + (folder / "song.sa2").string() + " " +
                  (folder / "again.flac").string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(tmw_cli("info " + (folder / "again.flac").string()).out.find("channels:          1"),
              std::string::npos);

    const fs::path damaged =
        write_scratch_file("cli/damaged.flac", text_bytes("fLaC and nothing more"));
    run = tmw_cli("info " + damaged.string());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "Unknown or damaged sample file\n");
}

TEST_F(Cli, ConvertTellsWhatTheModuleCannotHold) {
    Song song;
    reset(song, "");
    add_instrument(song, sampled("Lead", 1, 1000, NO_LOOP, 22050));
    add_pattern(song, "Wall");
    song.patterns[0].length = 16;
    for (int v = 0; v < 10; ++v) {
        add_voice(song.patterns[0], 0);
        song.patterns[0].voices.back().events =
            events("on" + std::to_string(30 + v) + "@0 off" + std::to_string(30 + v) + "@8");
    }
    song.sequence = {0};
    const fs::path in = write_scratch_file("cli/wall.sn2", encode_song(song));
    const fs::path out = scratch_folder() / "cli" / "wall.mod";
    CliRun run = tmw_cli("convert --format mod8 " + in.string() + " " + out.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "Pattern \"Wall\" plays more notes at once than the module has channels; 2 "
                       "voices were merged "
                       "and notes cut\n");
    run = tmw_cli("convert --json --format mod8 " + in.string() + " " + out.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const nlohmann::json warnings = nlohmann::json::parse(run.out)["warnings"];
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0]["kind"], "voices_merged");
    EXPECT_EQ(warnings[0]["subject"], "Wall");
    EXPECT_EQ(warnings[0]["count"], 2);
    // Sixteen S3M channels hold them: nothing to tell.
    run = tmw_cli("convert --json " + in.string() + " " +
                  (scratch_folder() / "cli" / "wall.s3m").string());
    EXPECT_EQ(nlohmann::json::parse(run.out)["warnings"].size(), 0u);
}

TEST_F(Cli, FailuresGiveOneLineAndTheirExitCode) {
    const fs::path text = write_scratch_file("cli/notes.txt", text_bytes("not a song"));
    std::vector<uint8_t> cut = encode_song(Song{});
    cut.resize(20);
    const fs::path damaged = write_scratch_file("cli/cut.sn2", cut);
    struct Case {
        std::string arguments;
        int exit_code;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"info " + text.string(), 1, "Unknown or damaged song file\n"},
        {"info --json " + damaged.string(), 1, "Damaged song file\n"},
        {"convert " + text.string() + " " + (scratch_folder() / "cli/never.sn2").string(), 1,
         "Unknown or damaged song file\n"},
        {"info", 2, nullptr},
        {"convert " + text.string(), 2, nullptr},
        // An output whose type is not known is written under no name at all.
        {"render " + damaged.string() + " " + (scratch_folder() / "cli/never.mp4").string(), 2,
         nullptr},
        {"instrument export --bank Piano " + (scratch_folder() / "cli/never.aiff").string(), 2,
         nullptr},
    };
    for (const Case& c : cases) {
        const CliRun run = tmw_cli(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments;
        if (c.message) {
            EXPECT_EQ(run.err, c.message) << c.arguments;
        }
        EXPECT_TRUE(run.out.empty()) << c.arguments;
    }
    EXPECT_FALSE(fs::exists(scratch_folder() / "cli/never.sn2"));
    for (const char* never : {"cli/never.mp4", "cli/never.aiff"})
        EXPECT_FALSE(fs::exists(scratch_folder() / never)) << never;

    // The refusal names the file and every known type in one line; --format overrides.
    const fs::path song = song_with_two_patterns();
    const fs::path odd = scratch_folder() / "cli/song.m4a";
    CliRun run = tmw_cli("render " + song.string() + " " + odd.string());
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, odd.string() +
                           ": unknown sound file type; known types: wav, flac, ogg, mp3, opus "
                           "(or name one with --format)\n");
    EXPECT_FALSE(fs::exists(odd));
    run = tmw_cli("render --format FLAC " + song.string() + " " + odd.string());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(tmw_cli("info --json " + odd.string()).out.find("\"container\":\"flac\""),
              std::string::npos);
}

} // namespace
} // namespace tunemill
