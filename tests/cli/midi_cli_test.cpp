// tmw-cli on MIDI files: convert, info and render read them, convert writes them (by the
// extension or --format mid), the import's and the export's warnings go one line each to stderr
// and into --json, and damaged files give one line, exit code 1 and no output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include "midi/smf.h"
#include "scratch_files.h"

namespace tunemill {
namespace {

using namespace testing;
namespace fs = std::filesystem;

struct CliResult {
    int exit_code;
    std::string out;
    std::string err;
};

std::string text_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CliResult midi_cli(const std::string& arguments) {
    const fs::path program = fs::path(TUNEMILL_BIN_DIR) / "tmw-cli";
    const fs::path out = scratch_folder() / "midi.out", err = scratch_folder() / "midi.err";
    const std::string command = "LANG=C " + program.string() + " " + arguments + " > " +
                                out.string() + " 2> " + err.string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text_of(out), text_of(err)};
}

// One piano note below the song's keys (MIDI 12) and one within.
std::vector<uint8_t> two_notes(uint16_t format) {
    MidiFile file;
    file.format = format;
    file.division.ticks_per_quarter = 96;
    MidiTrack track;
    for (uint8_t note : {uint8_t(12), uint8_t(60)}) {
        const uint64_t at = track.events.empty() ? 0 : 96;
        track.events.push_back({at, 0x90, note, 100, {}});
        track.events.push_back({at + 90, 0x80, note, 0, {}});
    }
    track.end_tick = 192;
    file.tracks.push_back(track);
    return write_smf(file);
}

class MidiCli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(TUNEMILL_BIN_DIR) / "tmw-cli"))
            GTEST_SKIP() << "tmw-cli is not built";
        in_ = write_scratch_file("midi/two.mid", two_notes(0));
    }
    fs::path in_;
};

TEST_F(MidiCli, ConvertReadsMidiAndTellsWhatTheSongHoldsDifferently) {
    const fs::path song = scratch_folder() / "midi" / "two.sn2";
    CliResult run = midi_cli("convert " + in_.string() + " " + song.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "1 notes lay outside the song's keys (MIDI 24 to 107) and were moved by "
                       "whole octaves\n");
    run = midi_cli("convert --json " + in_.string() + " " + song.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const nlohmann::json result = nlohmann::json::parse(run.out);
    EXPECT_EQ(result["format"], "mid");
    ASSERT_EQ(result["warnings"].size(), 1u);
    EXPECT_EQ(result["warnings"][0]["kind"], "keys_moved");
    EXPECT_EQ(result["warnings"][0]["count"], 1);

    run = midi_cli("info --json " + in_.string());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["format"], "mid");
    run =
        midi_cli("render " + in_.string() + " " + (scratch_folder() / "midi" / "two.wav").string());
    EXPECT_EQ(run.exit_code, 0) << run.err;
}

TEST_F(MidiCli, ConvertWritesMidiByExtensionOrFormat) {
    const fs::path song = scratch_folder() / "midi" / "back.sn2";
    ASSERT_EQ(midi_cli("convert " + in_.string() + " " + song.string()).exit_code, 0);
    for (const auto& [arguments, target] :
         {std::pair{std::string(), scratch_folder() / "midi" / "back.mid"},
          std::pair{std::string("--format mid "), scratch_folder() / "midi" / "back.bin"}}) {
        const CliResult run =
            midi_cli("convert " + arguments + song.string() + " " + target.string());
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const MidiFile file = read_smf(read_whole_file(target));
        EXPECT_EQ(file.format, 1);
        EXPECT_EQ(file.tracks.size(), 2u);
    }
}

TEST_F(MidiCli, DamagedAndUnsupportedFilesGiveOneLineAndNoOutput) {
    std::vector<uint8_t> cut = two_notes(0);
    cut.resize(cut.size() - 3);
    std::vector<uint8_t> format2 = two_notes(0);
    format2[9] = 2;
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {write_scratch_file("midi/cut.mid", cut), "Damaged MIDI file\n"},
        {write_scratch_file("midi/format2.mid", format2),
         "MIDI files of format 2 (independent sequences) are not supported\n"},
    };
    const fs::path never = scratch_folder() / "midi" / "never.sn2";
    for (const auto& [path, message] : cases) {
        const CliResult run = midi_cli("convert " + path.string() + " " + never.string());
        EXPECT_EQ(run.exit_code, 1) << path;
        EXPECT_EQ(run.err, message) << path;
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(fs::exists(never));
    }
}

} // namespace
} // namespace tunemill
