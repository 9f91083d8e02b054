// Step entry and recording: a pitch from the PC keyboard's piano keys or a MIDI note becomes a
// note of the note length at the cursor (or, following a playback or recording, at the playback
// tick); a note struck within three quarters of the previous one's duration joins it as a chord.
// The first note of a recording pass clears what it records over and starts the recording
// playback.
#pragma once

#include <cstdint>
#include <functional>

#include "app/pattern/editor.h"
#include "playback/live_keyboard.h"

namespace tunemill {

class StepEntry {
  public:
    // Milliseconds of a steady clock; tests give their own.
    using Clock = std::function<uint64_t()>;

    explicit StepEntry(PatternEditor& editor, Clock clock = {});

    // Enters the key (0..83). Returns whether a note was entered; the cursor has moved on by
    // the note length (not for a chord note).
    bool enter(Key key);
    // A new recording pass or another pattern: the next note is no chord.
    void forget_last() { has_last_ = false; }
    void set_clock(Clock clock) { clock_ = std::move(clock); }

  private:
    uint64_t now() const;
    void sound(Key key, Tick position, Tick length, bool started_recording);

    PatternEditor& editor_;
    Clock clock_;
    bool has_last_ = false;
    uint64_t last_time_ = 0;
    uint64_t last_duration_ = 0;
    Tick last_position_ = 0;
};

} // namespace tunemill
