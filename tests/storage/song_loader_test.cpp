// Loading through the order of readers, and saving safely: a failed load leaves a new song, a
// failed save leaves the old file as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "old_song_encoder.h"
#include "song/instrument_array.h"
#include "storage/song_saver.h"
#include "storage_test_util.h"

namespace tunemill {
namespace {

using namespace storage_testing;
namespace fs = std::filesystem;

const char* const UNTITLED = "/songs/Untitled";

Song small_song() {
    Song song;
    reset(song, "A small song");
    add_instrument(song, sampled("Lead", 1, 100, NO_LOOP, 22050, 5));
    add_pattern(song, "Verse");
    song.patterns[0].length = 8;
    add_voice(song.patterns[0], 0);
    song.patterns[0].voices[0].events = events("on40@0 off40@4");
    song.sequence = {0, 0};
    return song;
}

void expect_new_song(const Song& song) {
    ASSERT_EQ(song.patterns.size(), 1u);
    EXPECT_TRUE(song.patterns[0].voices.empty());
    EXPECT_EQ(song.sequence, std::vector<uint32_t>{0});
    EXPECT_TRUE(song.instruments.empty());
    EXPECT_TRUE(song.description.empty());
    EXPECT_EQ(song.path, UNTITLED);
    EXPECT_FALSE(song.song_file);
    EXPECT_FALSE(song.modified);
}

std::string failure_text(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const std::exception& error) {
        return error_text(error);
    }
    return "no failure";
}

TEST(LoadSong, EachFormatGoesToItsReader) {
    set_language(Language::ENGLISH);
    const fs::path sn2 = write_scratch_file("load/song.sn2", encode_song(small_song()));
    Song song;
    song.modified = true;
    EXPECT_EQ(load_song(song, sn2, UNTITLED, TestBank{}.lookup()), "sn2");
    expect_same_song(small_song(), song);
    EXPECT_TRUE(song.song_file);
    EXPECT_FALSE(song.modified);
    EXPECT_EQ(song.path, sn2.string());

    OldSong old;
    OldPattern pattern;
    pattern.name = "Old";
    pattern.length = 2;
    pattern.instruments = {0};
    pattern.voices = {{{0, strike(50)}, {0, 1}}};
    old.patterns = {pattern};
    old.stored = {sampled("Pad", 1, 10)};
    // The extension does not matter: the content decides.
    const fs::path sn = write_scratch_file("load/old.sn2", encode_old_song(old));
    EXPECT_EQ(load_song(song, sn, UNTITLED, TestBank{}.lookup()), "sn");
    EXPECT_FALSE(song.song_file) << "saving an older song asks for a name";
    EXPECT_EQ(describe(song.patterns[0].voices[0].events), "on50@0 off50@1");
}

TEST(LoadSong, AFailedLoadLeavesANewSong) {
    set_language(Language::ENGLISH);
    std::vector<uint8_t> damaged = encode_song(small_song());
    damaged.resize(damaged.size() - 30); // cut inside the instrument
    struct Case {
        const char* name;
        fs::path path;
        const char* message;
    };
    const fs::path missing_bank = write_scratch_file(
        "load/bank.sn2", song_file(0, 1, chunk("INS", text_bytes("\x01Nowhere"))));
    const std::vector<Case> cases = {
        {"cut short", write_scratch_file("load/short.sn2", damaged), "Damaged song file"},
        {"old file cut short", write_scratch_file("load/short.sn", text_bytes("SNGs\x01\x00\x01")),
         "Damaged song file"},
        {"unknown", write_scratch_file("load/unknown.txt", text_bytes("Just some text")),
         "Unknown or damaged song file"},
        {"empty", write_scratch_file("load/empty", {}), "Unknown or damaged song file"},
        {"older tag without its letter",
         write_scratch_file("load/sngx", text_bytes("SNGx and so on")),
         "Unknown or damaged song file"},
        {"bank instrument missing", missing_bank,
         "This song uses instrument(s) that are not present in bank file"},
    };
    for (const Case& c : cases) {
        Song song = small_song();
        EXPECT_EQ(failure_text([&] { load_song(song, c.path, UNTITLED, TestBank{}.lookup()); }),
                  c.message)
            << c.name;
        expect_new_song(song);
    }
    Song song = small_song();
    EXPECT_THROW(load_song(song, scratch_folder() / "load/none.sn2", UNTITLED, TestBank{}.lookup()),
                 FILE_ERROR);
    expect_new_song(song);
}

TEST(SaveSong, PurgesThenWritesWhatLoadsBack) {
    Song song = small_song();
    add_instrument(song, sampled("Unused", 2, 10));
    add_voice(song.patterns[0], 1); // a voice without notes
    song.modified = true;
    const fs::path path = scratch_folder() / "save/purged.sn2";
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(save_song(song, path));
    EXPECT_FALSE(song.modified);
    EXPECT_TRUE(song.song_file);
    EXPECT_EQ(song.path, path.string());
    EXPECT_EQ(song.instruments.size(), 1u);
    EXPECT_EQ(song.patterns[0].voices.size(), 1u);
    Song read;
    load_song(read, path, UNTITLED, TestBank{}.lookup());
    expect_same_song(small_song(), read);
    // Nothing but the song is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()),
              1);
}

// Runs the operation with the process allowed to write files of at most limit bytes: a write
// beyond fails with EFBIG, as a full disk fails the write half-way.
void with_file_size_limit(rlim_t limit, const std::function<void()>& operation) {
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    try {
        operation();
    } catch (...) {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, old_handler);
        throw;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
}

TEST(SaveSong, AWriteFailingHalfWayLeavesTheOldFileIntact) {
    set_language(Language::ENGLISH);
    const fs::path folder = scratch_folder() / "save-full";
    fs::create_directories(folder);
    const fs::path path = folder / "song.sn2";
    Song first = small_song();
    ASSERT_TRUE(save_song(first, path));
    const std::vector<uint8_t> before = read_whole_file(path);

    Song bigger = small_song();
    bigger.instruments[0] = sampled("Lead", 2, 200000, NO_LOOP, 44100, 6);
    bigger.modified = true;
    std::string message;
    with_file_size_limit(64 * 1024,
                         [&] { message = failure_text([&] { save_song(bigger, path); }); });
    EXPECT_EQ(message, "File write error");
    EXPECT_EQ(read_whole_file(path), before);
    EXPECT_TRUE(bigger.modified) << "a failed save leaves the song unsaved";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no temporary file is left";

    // Without the limit the same save succeeds.
    ASSERT_TRUE(save_song(bigger, path));
    EXPECT_GT(read_whole_file(path).size(), 400000u);
}

TEST(SaveSong, AFolderThatCannotTakeTheFileReportsTheTarget) {
    Song song = small_song();
    const fs::path path = scratch_folder() / "no-such-folder" / "song.sn2";
    try {
        save_song(song, path);
        FAIL();
    } catch (const FILE_ERROR& error) {
        EXPECT_EQ(error.kind(), FILE_ERROR::CREATE);
        EXPECT_EQ(error.file_name(), path.string());
    }
    EXPECT_FALSE(fs::exists(path.parent_path()));
}

TEST(SaveSong, KeepsPermissionsAndFollowsLinks) {
    const fs::path folder = scratch_folder() / "save-link";
    fs::create_directories(folder / "real");
    const fs::path real = folder / "real" / "song.sn2";
    const fs::path link = folder / "link.sn2";
    Song song = small_song();
    ASSERT_TRUE(save_song(song, real));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(real, link);
    song.description = "Changed";
    ASSERT_TRUE(save_song(song, link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    Song read;
    load_song(read, real, UNTITLED, TestBank{}.lookup());
    EXPECT_EQ(read.description, "Changed");
}

} // namespace
} // namespace tunemill
