// Step entry and recording.
#include "app/pattern/step_entry.h"

#include <chrono>

#include "app/common/error_box.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "song/note_entry.h"
#include "song/timing.h"
#include "song/voice_cursor.h"
#include "strings/steps_strings.h"

namespace tunemill {

StepEntry::StepEntry(PatternEditor& editor, Clock clock)
    : editor_(editor), clock_(std::move(clock)) {}

uint64_t StepEntry::now() const {
    if (clock_) return clock_();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

bool StepEntry::enter(Key key) {
    if (!editor_.has_voices() || key >= KEY_COUNT) return false;
    if (!editor_.note_length_usable()) return false;
    const Tick length = editor_.note_length_ticks();
    const uint64_t time = now();
    // A note struck within three quarters of the previous one's duration joins it.
    const bool chord = has_last_ && time - last_time_ < last_duration_ * 3 / 4;
    const Tick position = chord ? last_position_ : editor_.entry_position();
    PatternEditor::Recording& recording = editor_.recording_state();
    const bool clear_first = recording.active && !recording.cleared;
    const Tick clear_end = recording.block
                               ? editor_.block().to
                               : std::max(editor_.pattern().tick_length(), position + length);
    const size_t pattern = editor_.pattern_index();
    const size_t voice = editor_.voice();

    Edit edit;
    edit.name = recording.active ? U_RECORD : U_ENTER_NOTE;
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = int32_t(voice);
    edit.change.kind = ChangeKind::NOTES;
    edit.change.from = clear_first ? std::min(position, clear_end) : position;
    edit.change.to = std::max(position + length, clear_first ? clear_end : 0) + 1;
    try {
        const bool done = editor_.document().edit(edit, [&](EditContext& context) {
            Pattern& target = context.song().patterns[pattern];
            if (clear_first) clear_recorded_stretch(target, voice, position, clear_end);
            enter_note(target, voice, position, length, key);
        });
        if (!done) return false;
    } catch (...) {
        show_current_error();
        return false;
    }
    if (clear_first) recording.cleared = true;

    bool started = false;
    if (recording.active && recording.start_pending) {
        recording.start_pending = false;
        EnginePlayer* player = editor_.player();
        const Tick start = recording.block ? editor_.block().from : 0;
        const Tick end = recording.block ? editor_.block().to : editor_.pattern().tick_length();
        const bool all_voices = recording.block ? settings().all_voices != 0 : true;
        if (player) {
            try {
                started =
                    player->output().play_recording(uint32_t(pattern), start, end, uint32_t(voice),
                                                    recording.block, all_voices, &editor_);
            } catch (...) {
                show_current_error();
            }
        }
        if (started) editor_.set_block_playing(true);
    }
    sound(key, position, length, started);

    has_last_ = true;
    last_time_ = time;
    last_position_ = position;
    last_duration_ =
        duration(editor_.pattern(), position, position + length, editor_.song().overall_tempo);
    if (!chord) editor_.set_cursor(position + length);
    return true;
}

void StepEntry::sound(Key key, Tick position, Tick length, bool started_recording) {
    EnginePlayer* player = editor_.player();
    const Voice* voice = editor_.current_voice();
    if (!player || !voice || started_recording) return;
    const uint64_t ms =
        duration(editor_.pattern(), position, position + length, editor_.song().overall_tempo);
    if (editor_.playing()) {
        player->engine().audition_note(uint32_t(editor_.pattern_index()), uint32_t(editor_.voice()),
                                       key, uint32_t(ms));
        return;
    }
    // A preview with the voice's instrument at the volume and balance its curves have there.
    VoiceCursor cursor(*voice);
    cursor.seek(position + 1);
    try {
        player->output().start_preview_note(voice->instrument, key, cursor.volume(),
                                            cursor.balance(), uint32_t(ms));
    } catch (...) {
        show_current_error();
    }
}

} // namespace tunemill
