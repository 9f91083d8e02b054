// tmw-cli and the user's files: no command writes over its own input, however the output is
// spelled; pipes are refused at once instead of waited on; a failed write names the file the
// user gave; sound files that are empty or cut short are never taken for songs or raw data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>

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

// Runs tmw-cli in the folder; a run that takes longer than 20 seconds is stopped (exit 124).
CliRun tmw_cli_in(const fs::path& folder, const std::string& arguments) {
    const fs::path program = fs::path(TUNEMILL_BIN_DIR) / "tmw-cli";
    const fs::path out = scratch_folder() / "files.out", err = scratch_folder() / "files.err";
    const std::string command = "cd '" + folder.string() + "' && LANG=C timeout 20 " +
                                program.string() + " " + arguments + " > " + out.string() + " 2> " +
                                err.string() + " < /dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(fs::path(TUNEMILL_BIN_DIR) / "tmw-cli"))
            GTEST_SKIP() << "tmw-cli is not built";
        folder_ =
            scratch_folder() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder_);
    }

    // A song without bank instruments, and the module, sound and instrument files made of it.
    void make_inputs() {
        Song song;
        reset(song, "Files");
        add_instrument(song, sampled("Lead", 1, 1000, 200, 22050));
        add_pattern(song, "Verse");
        song.patterns[0].length = 16;
        add_voice(song.patterns[0], 0);
        song.patterns[0].voices[0].events = events("on40@0 off40@8");
        song.sequence = {0};
        write("s.sn2", encode_song(song));
        for (const char* arguments :
             {"convert s.sn2 m.mod", "render --mono s.sn2 w.wav", "instrument import w.wav i.sa2"})
            ASSERT_EQ(tmw_cli_in(folder_, arguments).exit_code, 0) << arguments;
    }

    void write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    fs::path folder_;
};

TEST_F(CliFiles, NoCommandWritesOverItsInputHoweverTheOutputIsSpelled) {
    make_inputs();
    fs::create_directory(folder_ / "sub");
    struct Command {
        std::string verb;  // the command before IN OUT
        std::string input; // a file of the folder
    };
    const std::vector<Command> commands = {
        {"render", "s.sn2"},
        {"convert", "s.sn2"},
        {"convert", "m.mod"},
        {"instrument import", "w.wav"},
        {"instrument import", "i.sa2"},
        {"instrument export", "i.sa2"},
    };
    for (const Command& command : commands) {
        const fs::path input = folder_ / command.input;
        const std::string link = "link-" + command.input, hard = "hard-" + command.input;
        fs::create_symlink(input, folder_ / link);
        fs::create_hard_link(input, folder_ / hard);
        // Each spelling names the input's file: as given, relative, roundabout, by symbolic
        // link, by hard link.
        const std::vector<std::string> spellings = {command.input,
                                                    "./" + command.input,
                                                    "sub/../" + command.input,
                                                    (folder_ / command.input).string(),
                                                    link,
                                                    hard};
        const std::vector<uint8_t> before = read_whole_file(input);
        const std::set<std::string> names = names_in(folder_);
        for (const std::string& output : spellings) {
            const std::string arguments = command.verb + " " + command.input + " " + output;
            SCOPED_TRACE(arguments);
            const CliRun run = tmw_cli_in(folder_, arguments);
            EXPECT_EQ(run.exit_code, 1);
            EXPECT_EQ(run.err, output + " is the file being read: choose another file to write\n");
            EXPECT_TRUE(run.out.empty()) << run.out;
            EXPECT_EQ(read_whole_file(input), before);
            EXPECT_TRUE(fs::is_symlink(folder_ / link));
            EXPECT_EQ(names_in(folder_), names) << "nothing is written beside it";
        }
        fs::remove(folder_ / link);
        fs::remove(folder_ / hard);
    }
    // A copy is another file: writing it is fine.
    fs::copy_file(folder_ / "s.sn2", folder_ / "copy.sn2");
    EXPECT_EQ(tmw_cli_in(folder_, "convert s.sn2 copy.sn2").exit_code, 0);
}

TEST_F(CliFiles, APipeIsRefusedAtOnceAsInputAndAsOutput) {
    make_inputs();
    for (const char* pipe : {"pipe.sn2", "pipe.wav", "pipe.sa2", "pipe.mod"})
        ASSERT_EQ(::mkfifo((folder_ / pipe).c_str(), 0600), 0);
    struct Case {
        std::string arguments;
        std::string pipe;
    };
    const std::vector<Case> cases = {
        {"info pipe.sn2", "pipe.sn2"},
        {"info pipe.wav", "pipe.wav"},
        {"convert pipe.sn2 out.sn2", "pipe.sn2"},
        {"render pipe.sn2 out.wav", "pipe.sn2"},
        {"instrument info pipe.sa2", "pipe.sa2"},
        {"instrument import pipe.wav out.sa2", "pipe.wav"},
        {"convert s.sn2 pipe.sn2", "pipe.sn2"},
        {"convert s.sn2 pipe.mod", "pipe.mod"},
        {"render s.sn2 pipe.wav", "pipe.wav"},
        {"instrument export i.sa2 pipe.wav", "pipe.wav"},
        {"instrument import w.wav pipe.sa2", "pipe.sa2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = tmw_cli_in(folder_, c.arguments);
        EXPECT_EQ(run.exit_code, 1) << "124 means it waited on the pipe";
        EXPECT_EQ(run.err, c.pipe + " is not a regular file\n");
        struct stat info {};
        ASSERT_EQ(::stat((folder_ / c.pipe).c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe stays a pipe";
    }
    for (const char* never : {"out.sn2", "out.wav", "out.sa2"})
        EXPECT_FALSE(fs::exists(folder_ / never)) << never;
}

TEST_F(CliFiles, AFailedWriteNamesTheUsersFile) {
    make_inputs();
    const std::string missing = (folder_ / "missing").string();
    for (const std::string& arguments :
         {"convert s.sn2 " + missing + "/out.sn2", "convert s.sn2 " + missing + "/out.s3m",
          "convert s.sn2 " + missing + "/out.mod", "render s.sn2 " + missing + "/out.wav",
          "render s.sn2 " + missing + "/out.flac",
          "instrument import w.wav " + missing + "/out.sa2",
          "instrument export i.sa2 " + missing + "/out.wav"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = tmw_cli_in(folder_, arguments);
        EXPECT_EQ(run.exit_code, 1);
        const std::string target = arguments.substr(arguments.rfind(' ') + 1);
        EXPECT_EQ(run.err, "Unable to create file " + target + "\n");
    }
}

TEST_F(CliFiles, SoundFilesEmptyOrCutShortAreNeitherSongsNorRawData) {
    write("empty.wav", {});
    write("riff.wav", text_bytes("RIFF"));
    write("form.aiff", {'F', 'O', 'R', 'M', 0x10, 0, 0, 0});
    for (const char* arguments :
         {"info empty.wav", "info riff.wav", "info --json form.aiff",
          "instrument import riff.wav riff.sa2", "instrument import form.aiff form.sa2",
          "instrument import empty.wav empty.sa2"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = tmw_cli_in(folder_, arguments);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.err, "Unknown or damaged sample file\n");
    }
    EXPECT_FALSE(fs::exists(folder_ / "riff.sa2"));
    EXPECT_FALSE(fs::exists(folder_ / "form.sa2"));
    EXPECT_FALSE(fs::exists(folder_ / "empty.sa2"));
}

} // namespace
} // namespace tunemill
