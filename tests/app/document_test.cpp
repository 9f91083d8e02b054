// The document's edit path and its undo history: the order in which views, lock and engine
// hear of a change; undo and redo of every kind of change, checked by the bytes a save writes;
// the modified flag through undo back to the saved point.
#include <QSignalSpy>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app_fixture.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "song/editing.h"
#include "song/instrument_array.h"
#include "storage/song_saver.h"
#include "strings/steps_strings.h"

namespace tunemill {
namespace {

namespace fs = std::filesystem;

// Records what the engine hears, beside what the views hear.
class RecordingEngine : public SongObserver {
  public:
    explicit RecordingEngine(std::vector<std::string>& log) : log_(log) {}
    void pattern_changed(int32_t pattern) override {
        log_.push_back("engine " + std::to_string(pattern));
    }

  private:
    std::vector<std::string>& log_;
};

class DocumentTest : public test::AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        install_error_box();
        const fs::path demo = fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2";
        Song& song = document_.song_for_engine();
        load_song(song, demo, "Untitled");
        document_.song_replaced();
        ASSERT_GE(song.patterns.size(), 2u);
        ASSERT_GE(song.patterns[0].voices.size(), 2u);
        ASSERT_GE(song.instruments.size(), 2u);
    }

    // The bytes File > Save would write now.
    std::vector<uint8_t> saved_bytes() {
        const fs::path file = dir_ / "saved.sn2";
        write_song_file(document_.song(), file);
        return test::read_file(file);
    }

    Edit edit_of(uint32_t name, int32_t pattern, int32_t voice = -1,
                 ChangeKind kind = ChangeKind::NOTES) {
        Edit edit;
        edit.name = name;
        edit.change.pattern = pattern;
        edit.change.voice = voice;
        edit.change.kind = kind;
        return edit;
    }

    Document document_;
};

TEST_F(DocumentTest, ViewsLockEngineAndViewsHearOfAChangeInOrder) {
    std::vector<std::string> log;
    RecordingEngine engine(log);
    Song& song = document_.song_for_engine();
    song.observers.add(&engine);
    QObject::connect(&document_, &Document::aboutToChange, [&](const SongChange& change) {
        log.push_back("about " + std::to_string(change.pattern) + "/" +
                      std::to_string(change.voice) + " " + std::to_string(change.from) + ".." +
                      std::to_string(change.to));
        EXPECT_TRUE(song.lock.try_lock_for(std::chrono::milliseconds(0))); // not yet taken
        song.lock.unlock();
    });
    QObject::connect(&document_, &Document::changed, [&](const SongChange& change) {
        log.push_back("changed " + std::to_string(change.pattern));
    });
    Edit edit = edit_of(U_DRAW_NOTES, 1, 0);
    edit.change.from = 4;
    edit.change.to = 6;
    ASSERT_TRUE(document_.edit(edit, [&](EditContext& context) {
        // The operation runs under the lock, taken in its modifying form.
        std::thread other([&] {
            log.push_back(song.lock.try_lock_for(std::chrono::milliseconds(0)) ? "free" : "held");
        });
        other.join();
        EXPECT_TRUE(context.song().modified);
        add_note(context.song().patterns[1], 0, 4, 6, 40);
    }));
    song.observers.remove(&engine);
    EXPECT_EQ(log, (std::vector<std::string>{"about 1/0 4..6", "held", "engine 1", "changed 1"}));
    EXPECT_TRUE(song.lock.try_lock_for(std::chrono::milliseconds(0)));
    song.lock.unlock();
}

TEST_F(DocumentTest, ARefusedLockChangesNothingAndSaysInternalError) {
    Song& song = document_.song_for_engine();
    song.lock.set_timeout(std::chrono::milliseconds(50));
    const std::vector<uint8_t> before = saved_bytes();
    std::atomic<bool> holding{false}, release{false};
    std::thread holder([&] {
        song.lock.try_lock_for(std::chrono::milliseconds(1000));
        holding = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        song.lock.unlock();
    });
    while (!holding)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bool ran = false;
    bool done = true;
    const std::vector<QString> errors = test::error_boxes_during([&] {
        done = document_.edit(edit_of(U_DRAW_NOTES, 0, 0), [&](EditContext&) { ran = true; });
    });
    release = true;
    holder.join();
    EXPECT_FALSE(done);
    EXPECT_FALSE(ran);
    EXPECT_EQ(errors, std::vector<QString>{"Internal error"});
    EXPECT_FALSE(document_.history().canUndo());
    EXPECT_FALSE(document_.modified());
    EXPECT_EQ(saved_bytes(), before);
}

// Every kind of change comes back byte for byte with undo, and again with redo.
TEST_F(DocumentTest, UndoAndRedoRestoreEveryKindOfChangeExactly) {
    struct Case {
        const char* what;
        uint32_t name;
        int32_t pattern;
        std::optional<std::pair<int32_t, int32_t>> clean_up;
        std::function<void(EditContext&)> operation;
    };
    const std::vector<Case> cases = {
        {"notes of one voice",
         U_DRAW_NOTES,
         0,
         {},
         [](EditContext& c) { add_note(c.song().patterns[0], 1, 2, 9, 50); }},
        {"volume curve",
         U_DRAW_VOLUME,
         0,
         {},
         [](EditContext& c) { set_curve_range(c.song().patterns[0], 0, 0, 8, VOLUME, 12); }},
        {"all voices",
         U_DELETE_BLOCK,
         0,
         {},
         [](EditContext& c) {
             delete_block(c.song().patterns[0], Block{2, 6, Aspect::NOTES, ALL_VOICES});
         }},
        {"tempo curve",
         U_DRAW_TEMPO,
         1,
         {},
         [](EditContext& c) { set_tempo_range(c.song().patterns[1], 0, 8, 25); }},
        {"voice added with a new instrument", U_ADD_VOICE, 1, std::pair{1, -2},
         [](EditContext& c) {
             Instrument copy = make_sampled_instrument("Fresh", 3, 100, NO_LOOP, 22050, 2, false);
             const size_t index = c.add_instrument(std::move(copy));
             const size_t voice = add_voice(c.song().patterns[1], uint32_t(index));
             add_note(c.song().patterns[1], voice, 0, 4, 30);
         }},
        {"voice deleted with its instrument cleaned up", U_DELETE_VOICE, 0, std::pair{-1, -1},
         [](EditContext& c) { remove_voice(c.song().patterns[0], 0); }},
        {"empty voice added, a voice emptied elsewhere, both cleaned up", U_ADD_VOICE, -1,
         std::pair{-1, -1},
         [](EditContext& c) {
             add_voice(c.song().patterns[0], 0);
             c.song().patterns[1].voices[0].events.clear();
         }},
        {"sequence",
         U_INSERT_IN_SEQUENCE,
         -1,
         {},
         [](EditContext& c) { c.song().sequence.push_back(1); }},
        {"pattern renamed",
         U_RENAME_PATTERN,
         -1,
         {},
         [](EditContext& c) { rename_pattern(c.song(), 1, "Bridge"); }},
        {"pattern inserted",
         U_NEW_PATTERN,
         -1,
         {},
         [](EditContext& c) {
             add_pattern(c.song(), "Intro", 0);
             for (uint32_t& entry : c.song().sequence)
                 ++entry;
         }},
        {"pattern deleted", U_DELETE_PATTERN, -1, std::pair{-1, -1},
         [](EditContext& c) { delete_pattern(c.song(), 0); }},
        {"instrument renamed",
         U_RENAME_INSTRUMENT,
         -1,
         {},
         [](EditContext& c) { rename_instrument(c.song(), 0, "Renamed"); }},
        {"instrument replaced", U_REPLACE_INSTRUMENT, -1, std::pair{0, 0},
         [](EditContext& c) { c.song().patterns[0].voices[0].instrument = 1; }},
        {"song options",
         U_SONG_OPTIONS,
         -1,
         {},
         [](EditContext& c) {
             ASSERT_TRUE(align_to_ticks_per_beat(c.song(), c.song().ticks_per_beat * 2));
             c.song().ticks_per_beat *= 2;
             c.song().overall_tempo = 70;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        document_.mark_saved();
        const std::vector<uint8_t> before = saved_bytes();
        const size_t instruments_before = document_.song().instruments.size();
        Edit edit = edit_of(c.name, c.pattern);
        if (c.clean_up) {
            // -2 names the voice the operation added: the last of its pattern.
            auto [pattern, voice] = *c.clean_up;
            if (voice == -2)
                voice = int32_t(document_.song().patterns[size_t(pattern)].voices.size());
            edit.clean_up = std::pair{pattern, voice};
        }
        ASSERT_TRUE(document_.edit(edit, c.operation));
        ASSERT_TRUE(validate(document_.song()));
        const std::vector<uint8_t> after = saved_bytes();
        ASSERT_NE(after, before);
        EXPECT_TRUE(document_.modified());
        EXPECT_EQ(document_.history().undoText(), step_name(c.name));

        document_.undo();
        EXPECT_EQ(saved_bytes(), before);
        EXPECT_EQ(document_.song().instruments.size(), instruments_before);
        EXPECT_FALSE(document_.modified());
        document_.redo();
        EXPECT_EQ(saved_bytes(), after);
        EXPECT_TRUE(document_.modified());
        ASSERT_TRUE(validate(document_.song()));
    }
    // And all the way back to the loaded song.
    while (document_.history().canUndo())
        document_.undo();
    Song loaded;
    load_song(loaded, fs::path(TUNEMILL_SOURCE_DIR) / "data/demos/first-steps.sn2", "Untitled");
    const fs::path file = dir_ / "loaded.sn2";
    write_song_file(loaded, file);
    EXPECT_EQ(saved_bytes(), test::read_file(file));
}

TEST_F(DocumentTest, ADragIsOneStepAndMuteIsNone) {
    const std::vector<uint8_t> before = saved_bytes();
    const uint32_t gesture = Document::new_gesture();
    for (Tick end = 1; end <= 5; ++end) {
        Edit edit = edit_of(U_DRAW_NOTES, 0, 1);
        edit.gesture = gesture;
        ASSERT_TRUE(document_.edit(
            edit, [end](EditContext& c) { add_note(c.song().patterns[0], 1, 0, end, 70); }));
    }
    EXPECT_EQ(document_.history().count(), 1);
    document_.undo();
    EXPECT_EQ(saved_bytes(), before);
    document_.redo();

    // Muting is heard at once but changes nothing a save keeps, so it is no step.
    const int steps = document_.history().count();
    document_.mark_saved();
    ASSERT_TRUE(document_.toggle_mute(0, 0));
    EXPECT_TRUE(document_.song().patterns[0].voices[0].muted);
    EXPECT_FALSE(document_.modified());
    EXPECT_EQ(document_.history().count(), steps);
    // Undo keeps the mute flags as they are.
    document_.undo();
    EXPECT_TRUE(document_.song().patterns[0].voices[0].muted);

    // An edit that changes nothing leaves no step and the flag as it was.
    document_.mark_saved();
    const int count = document_.history().count();
    ASSERT_TRUE(document_.edit(edit_of(U_ERASE_NOTES, 0, 0), [](EditContext&) {}));
    EXPECT_EQ(document_.history().count(), count);
    EXPECT_FALSE(document_.modified());
}

TEST_F(DocumentTest, ModifiedFlagFollowsTheSavedPoint) {
    QSignalSpy flags(&document_, &Document::modifiedChanged);
    auto draw = [this](Key key) {
        return document_.edit(edit_of(U_DRAW_NOTES, 0, 0), [key](EditContext& c) {
            add_note(c.song().patterns[0], 0, 0, 2, key);
        });
    };
    ASSERT_TRUE(draw(10));
    ASSERT_TRUE(draw(11));
    EXPECT_TRUE(document_.modified());
    document_.mark_saved();
    EXPECT_FALSE(document_.modified());
    document_.undo();
    EXPECT_TRUE(document_.modified());
    document_.redo();
    EXPECT_FALSE(document_.modified()); // back at the saved point
    document_.undo();
    ASSERT_TRUE(draw(12)); // the saved point can no longer be reached
    EXPECT_TRUE(document_.modified());
    while (document_.history().canUndo())
        document_.undo();
    EXPECT_TRUE(document_.modified());
    ASSERT_GE(flags.count(), 4);
    EXPECT_EQ(flags.last().at(0).toBool(), true);
    // A recovered song is changed and has no saved point either.
    document_.mark_recovered();
    EXPECT_TRUE(document_.modified());
    ASSERT_TRUE(draw(13));
    document_.undo();
    EXPECT_TRUE(document_.modified());
}

} // namespace
} // namespace tunemill
