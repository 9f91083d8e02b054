// The song's instrument array, the purge of empty voices and unused instruments, and the song
// lock with its time-out, modified flag and consistency check.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "song/instrument_array.h"
#include "song/song.h"
#include "song_test_util.h"

namespace tunemill {
namespace {

using testing::events;

// Records what the song tells its observers, in order.
struct Recorder : SongObserver {
    std::vector<std::string> log;
    void change_begins(const SongChange& c) override {
        log.push_back("begins " + std::to_string(c.pattern));
    }
    void change_done(const SongChange& c) override {
        log.push_back("done " + std::to_string(c.pattern));
    }
    void voice_removed(int32_t p, int32_t v) override {
        log.push_back("voice " + std::to_string(p) + "." + std::to_string(v));
    }
    void pattern_changed(int32_t p) override { log.push_back("pattern " + std::to_string(p)); }
    void instrument_removed(uint32_t i) override {
        log.push_back("instrument " + std::to_string(i));
    }
    void instruments_changed() override { log.push_back("instruments"); }
};

// Captures the texts of what the song's lock reports.
struct ShownErrors {
    std::vector<std::string> texts;
    explicit ShownErrors(Song& song) {
        set_language(Language::ENGLISH);
        song.lock.set_reporter(
            [this](const ERROR& error) { texts.push_back(error.compose_message()); });
    }
};

Song song_with_instruments(int count) {
    Song song;
    for (int i = 0; i < count; ++i)
        add_sampled_instrument(song, "I" + std::to_string(i), NO_CATEGORY, 4, NO_LOOP, 8000, 1,
                               false);
    add_pattern(song, "P");
    song.sequence = {0};
    song.patterns[0].length = 8;
    return song;
}

void add_note_voice(Pattern& pattern, uint32_t instrument) {
    size_t v = add_voice(pattern, instrument);
    pattern.voices[v].events = events("on1@0 off1@4");
}

TEST(Purge, RemovingTheOnlyUserOfInstrumentZeroRenumbersTheOthers) {
    Song song = song_with_instruments(3);
    ShownErrors shown(song);
    Pattern& pattern = song.patterns[0];
    add_voice(pattern, 0); // no notes: goes
    add_note_voice(pattern, 1);
    add_note_voice(pattern, 2);
    uint32_t id1 = song.instruments[1].id;
    Recorder recorder;
    song.observers.add(&recorder);
    ASSERT_TRUE(purge(song, -1, -1));
    ASSERT_EQ(song.instruments.size(), 2u);
    EXPECT_EQ(song.instruments[0].id, id1);
    ASSERT_EQ(song.patterns[0].voices.size(), 2u);
    EXPECT_EQ(song.patterns[0].voices[0].instrument, 0u);
    EXPECT_EQ(song.patterns[0].voices[1].instrument, 1u);
    EXPECT_TRUE(song.modified);
    EXPECT_TRUE(validate(song));
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"begins 0", "voice 0.0", "pattern 0", "done 0",
                                        "instrument 0", "pattern 0", "instruments"}));
    EXPECT_TRUE(shown.texts.empty());
}

TEST(Purge, KeepsTheVoiceBeingEditedAndFollowsItsIndex) {
    Song song = song_with_instruments(2);
    Pattern& pattern = song.patterns[0];
    add_voice(pattern, 0); // empty, goes
    add_voice(pattern, 1); // empty but kept (index 1, then 0)
    add_voice(pattern, 0); // empty, goes
    add_note_voice(pattern, 0);
    uint32_t kept_id = pattern.voices[1].id;
    ASSERT_TRUE(purge(song, 0, 1));
    ASSERT_EQ(song.patterns[0].voices.size(), 2u);
    EXPECT_EQ(song.patterns[0].voices[0].id, kept_id);
    EXPECT_EQ(song.instruments.size(), 2u); // the kept voice still names instrument 1
    // The next purge without a kept voice drops it and its instrument.
    ASSERT_TRUE(purge(song, -1, -1));
    EXPECT_EQ(song.patterns[0].voices.size(), 1u);
    EXPECT_EQ(song.instruments.size(), 1u);
}

TEST(Purge, NothingToDoTakesNoLockAndLeavesTheSongUnmodified) {
    Song song = song_with_instruments(1);
    add_note_voice(song.patterns[0], 0);
    ASSERT_TRUE(purge(song, -1, -1));
    EXPECT_FALSE(song.modified);
}

TEST(Purge, StopsWhenTheLockIsRefused) {
    Song song = song_with_instruments(2);
    ShownErrors shown(song);
    add_voice(song.patterns[0], 0);
    song.lock.set_timeout(std::chrono::milliseconds(20));
    ASSERT_TRUE(song.lock.try_lock_for(std::chrono::milliseconds(0)));
    // The lock is not recursive: a purge while it is held gives up after the time-out.
    auto result = std::async(std::launch::async, [&] { return purge(song, -1, -1); });
    EXPECT_FALSE(result.get());
    song.lock.unlock();
    EXPECT_EQ(song.patterns[0].voices.size(), 1u);
    EXPECT_EQ(song.instruments.size(), 2u);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"Internal error"});
}

TEST(InstrumentArray, ReplaceVoiceInstrumentPurgesTheOldOne) {
    Song song = song_with_instruments(2);
    add_note_voice(song.patterns[0], 0);
    ASSERT_TRUE(replace_voice_instrument(song, 0, 0, 1));
    ASSERT_EQ(song.instruments.size(), 1u);
    EXPECT_EQ(song.instruments[0].name, "I1");
    EXPECT_EQ(song.patterns[0].voices[0].instrument, 0u);
}

TEST(InstrumentArray, RenameAndCategoryClearTheBankFlagOnlyWhenChanged) {
    Song song;
    add_sampled_instrument(song, "Bank", 3, 4, NO_LOOP, 8000, 1, true);
    rename_instrument(song, 0, "Bank");
    set_category(song, 0, 3);
    EXPECT_TRUE(song.instruments[0].from_bank);
    rename_instrument(song, 0, "Mine");
    EXPECT_FALSE(song.instruments[0].from_bank);
    song.instruments[0].from_bank = true;
    set_category(song, 0, NO_CATEGORY);
    EXPECT_FALSE(song.instruments[0].from_bank);
    EXPECT_EQ(song.instruments[0].category, NO_CATEGORY);
}

TEST(InstrumentArray, FindEqualUsesOtherEqualInstrumentsOnly) {
    Song song;
    add_sampled_instrument(song, "A", 1, 4, NO_LOOP, 8000, 1, false);
    add_sampled_instrument(song, "A", 2, 4, NO_LOOP, 8000, 1, false);
    add_sampled_instrument(song, "A", 1, 4, NO_LOOP, 8000, 1, false);
    EXPECT_EQ(find_equal(song, 0), std::optional<size_t>(2));
    EXPECT_EQ(find_equal(song, 2), std::optional<size_t>(0));
    EXPECT_EQ(find_equal(song, 1), std::nullopt);
    EXPECT_EQ(find_equal(song, 7), std::nullopt);
    EXPECT_LT(song.instruments[0].id, song.instruments[1].id);
}

TEST(InstrumentArray, UsesAndReplaceInPattern) {
    Song song = song_with_instruments(3);
    add_note_voice(song.patterns[0], 2);
    EXPECT_TRUE(is_used(song, 2));
    EXPECT_FALSE(is_used(song, 1));
    replace_in_pattern(song.patterns[0], 2, 1);
    EXPECT_TRUE(pattern_uses(song.patterns[0], 1));
    EXPECT_FALSE(pattern_uses(song.patterns[0], 2));
}

// --- Lock --------------------------------------------------------------------------------------

TEST(SongLock, LockForAChangeMarksTheSongModifiedMutingDoesNot) {
    Song song = song_with_instruments(1);
    add_note_voice(song.patterns[0], 0);
    ASSERT_TRUE(lock_song(song, false));
    song.patterns[0].voices[0].muted = true;
    unlock_song(song, false);
    EXPECT_FALSE(song.modified);
    {
        SongLockGuard guard(song, true);
        ASSERT_TRUE(guard);
    }
    EXPECT_TRUE(song.modified);
}

TEST(SongLock, TimeOutShowsInternalErrorAndLeavesTheSongAlone) {
    Song song = song_with_instruments(1);
    ShownErrors shown(song);
    song.lock.set_timeout(std::chrono::milliseconds(30));
    std::promise<void> held, release;
    std::thread playback([&] {
        song.lock.try_lock_for(std::chrono::milliseconds(1000));
        held.set_value();
        release.get_future().wait();
        song.lock.unlock();
    });
    held.get_future().wait();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lock_song(song, true));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_FALSE(song.modified);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"Internal error"});
    release.set_value();
    playback.join();
    EXPECT_TRUE(lock_song(song, true));
    unlock_song(song, true);
    EXPECT_EQ(SongLock::DEFAULT_TIMEOUT, std::chrono::milliseconds(10000));
}

TEST(SongLock, UnlockChecksTheSongOnlyWhenValidationIsOnAndAsked) {
    Song song = song_with_instruments(1);
    ShownErrors shown(song);
    add_voice(song.patterns[0], 0);
    song.patterns[0].voices[0].events = events("on1@0"); // never ends
    ASSERT_TRUE(lock_song(song, true));
    unlock_song(song, true); // validation off
    EXPECT_TRUE(shown.texts.empty());
    song.lock.set_validate(true);
    ASSERT_TRUE(lock_song(song, false));
    unlock_song(song, false); // the playback engine does not ask
    EXPECT_TRUE(shown.texts.empty());
    ASSERT_TRUE(lock_song(song, true));
    unlock_song(song, true);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"Damaged song file"});
    // The lock was released although the check failed.
    EXPECT_TRUE(song.lock.try_lock_for(std::chrono::milliseconds(0)));
    song.lock.unlock();
}

TEST(SongLock, UnlockReportsInconsistentSampleBlocks) {
    Song song = song_with_instruments(1);
    ShownErrors shown(song);
    song.lock.set_validate(true);
    EXPECT_TRUE(song_memory_consistent(song));
    song.instruments[0].samples.resize(3);
    EXPECT_FALSE(song_memory_consistent(song));
    ASSERT_TRUE(lock_song(song, true));
    unlock_song(song, true);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"Heap corrupted"});
}

} // namespace
} // namespace tunemill
