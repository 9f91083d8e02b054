// Loading through the order of readers, and saving safely: a failed load leaves the song as it
// was, a failed save leaves the old file as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// The song small_song() made, after an edit: changed, with a path of its own.
Song open_song() {
    Song song = small_song();
    song.path = "/songs/open.sn2";
    song.modified = true;
    return song;
}

void expect_unchanged(const Song& song) {
    expect_same_song(small_song(), song);
    EXPECT_EQ(song.path, "/songs/open.sn2");
    EXPECT_TRUE(song.modified);
}

// A module of 1084 header bytes and one empty pattern with the tag at offset 1080.
std::vector<uint8_t> tagged_module(const char* tag, uint8_t first_volume = 0) {
    std::vector<uint8_t> bytes(1084 + 1024, 0);
    bytes[20 + 25] = first_volume; // the first sample header's volume
    bytes[950] = 1;                // song length
    std::copy(tag, tag + 4, bytes.begin() + 1080);
    return bytes;
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

TEST(LoadSong, AFailedLoadLeavesTheSongAsItWas) {
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
        // Well-formed modules of kinds not read say what they are; a damaged one stays damaged.
        {"2-channel MOD", write_scratch_file("load/two.mod", tagged_module("2CHN")),
         "2-channel MOD (tag 2CHN) is not supported"},
        {"3-channel MOD", write_scratch_file("load/three.mod", tagged_module("TDZ3")),
         "3-channel MOD (tag TDZ3) is not supported"},
        {"NoiseTracker tag", write_scratch_file("load/mk.mod", tagged_module("M&K!")),
         "4-channel MOD (tag M&K!) is not supported"},
        {"9 channels", write_scratch_file("load/nine.mod", tagged_module("09CH")),
         "9-channel MOD (tag 09CH) is not supported"},
        {"StarTrekker with its synthesizer",
         write_scratch_file("load/exo.mod", tagged_module("EXO8")),
         "8-channel MOD (tag EXO8) is not supported"},
        {"damaged MOD", write_scratch_file("load/loud.mod", tagged_module("M.K.", 65)),
         "Damaged song file"},
        {"unknown tag", write_scratch_file("load/what.mod", tagged_module("WHAT")),
         "Unknown or damaged song file"},
    };
    for (const Case& c : cases) {
        Song song = open_song();
        EXPECT_EQ(failure_text([&] { load_song(song, c.path, "Untitled", TestBank{}.lookup()); }),
                  c.message)
            << c.name;
        expect_unchanged(song);
    }
    Song song = open_song();
    EXPECT_THROW(
        load_song(song, scratch_folder() / "load/none.sn2", "Untitled", TestBank{}.lookup()),
        FILE_ERROR);
    expect_unchanged(song);
}

TEST(LoadSong, ARelativePathBecomesAbsolute) {
    const fs::path folder = scratch_folder() / "load-relative";
    fs::create_directories(folder / "sub");
    write_scratch_file("load-relative/tune.sn2", encode_song(small_song()));
    const fs::path before = fs::current_path();
    fs::current_path(folder / "sub");
    Song loaded, saved = small_song();
    load_song(loaded, "../tune.sn2", "Untitled", TestBank{}.lookup());
    ASSERT_TRUE(save_song(saved, "./copy.sn2"));
    fs::current_path(before);
    EXPECT_EQ(loaded.path, (folder / "tune.sn2").string());
    EXPECT_EQ(saved.path, (folder / "sub" / "copy.sn2").string());
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

// The temporary files of our naming in the folder.
std::vector<std::string> temporaries_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp-") != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A process that saves the song to path over and over, killed while a save is under way: its
// temporary file stays behind, as after a crash or a power cut. Returns the dead writer's id.
pid_t kill_a_save_half_way(const Song& song, const fs::path& path) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const pid_t writer = ::fork();
        if (writer == 0) {
            for (;;)
                write_song_file(song, path);
        }
        const std::string mark = "." + path.filename().string() + ".tmp-" + std::to_string(writer);
        bool seen = false;
        for (int waited = 0; waited < 5000 && !seen; ++waited) {
            for (const std::string& name : temporaries_in(path.parent_path()))
                seen = seen || name.rfind(mark, 0) == 0;
            if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        for (const std::string& name : temporaries_in(path.parent_path()))
            if (name.rfind(mark, 0) == 0) return writer;
    }
    ADD_FAILURE() << "no save was caught half-way";
    return 0;
}

TEST(SaveSong, WhatAKilledSaveLeftIsRemovedByTheNextSaveOrLoad) {
    const fs::path folder = scratch_folder() / "save-killed";
    fs::create_directories(folder);
    const fs::path path = folder / "song.sn2";
    Song big = small_song();
    big.instruments[0] = sampled("Lead", 2, 600000, NO_LOOP, 44100, 6);
    const pid_t dead = kill_a_save_half_way(big, path);
    ASSERT_NE(dead, 0);
    // Files of running writers (init, this process) and the user's own files stay.
    const std::vector<std::string> kept = {".notes.tmp-first", ".song.sn2.tmp-1-0",
                                           ".song.sn2.tmp-" + std::to_string(::getpid()) + "-77"};
    for (const std::string& name : kept)
        write_scratch_file("save-killed/" + name, text_bytes("keep"));

    Song song = small_song();
    ASSERT_TRUE(save_song(song, path));
    EXPECT_EQ(temporaries_in(folder), std::vector<std::string>({kept[0], kept[1], kept[2]}));
    Song read;
    load_song(read, path, "Untitled", TestBank{}.lookup());
    expect_same_song(small_song(), read);

    // Loading the folder's song clears what a later killed save left.
    const std::string stray = ".other.sn2.tmp-" + std::to_string(dead) + "-3";
    write_scratch_file("save-killed/" + stray, text_bytes("stray"));
    load_song(read, path, "Untitled", TestBank{}.lookup());
    EXPECT_FALSE(fs::exists(folder / stray));
    EXPECT_TRUE(fs::exists(folder / kept[1]));
}

} // namespace
} // namespace tunemill
