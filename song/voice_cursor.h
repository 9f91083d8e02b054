// A walking state over one voice's events: which event makes each key sound, the last volume and
// balance events, and the next event to read. The sequencer walks voices with it, and the
// editing operations ask it what is in effect at a tick.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "song/song.h"

namespace tunemill {

// The cursor reads the voice's events in place: it is valid while they are not changed.
class VoiceCursor {
  public:
    static constexpr size_t NONE = SIZE_MAX;

    VoiceCursor() { clear(); }
    explicit VoiceCursor(const Voice& voice) { start(voice); }

    // Clears everything and points at the first event.
    void start(const Voice& voice);
    // Reads every event whose tick is less than t (the cursor only moves forward). Beyond the
    // voice's last event every note has ended: all keys are cleared and the cursor is at the end.
    void seek(Tick t);

    // Reads the next event (the sequencer's step) and returns it.
    const Event& read();
    // Applies one event to the state as reading it would.
    void apply(const Event& event, size_t index);

    bool at_end() const { return next_ >= end_; }
    size_t next_index() const { return next_; }
    const Event* next_event() const { return at_end() ? nullptr : &events_[next_]; }

    // The index of the note on or portamento that makes the key sound, or NONE.
    size_t sounding(Key key) const { return key < KEY_COUNT ? sounding_[key] : NONE; }
    bool is_sounding(Key key) const { return sounding(key) != NONE; }
    void clear_key(Key key) {
        if (key < KEY_COUNT) sounding_[key] = NONE;
    }
    const Event& event(size_t index) const { return events_[index]; }

    // The volume and balance in effect: of the last event read, or 30 and 15.
    uint8_t volume() const {
        return last_volume_ == NONE ? DEFAULT_VOLUME : events_[last_volume_].param1;
    }
    uint8_t balance() const {
        return last_balance_ == NONE ? DEFAULT_BALANCE : events_[last_balance_].param1;
    }
    size_t last_volume_index() const { return last_volume_; }
    size_t last_balance_index() const { return last_balance_; }

  private:
    void clear();

    const Event* events_ = nullptr;
    std::array<size_t, KEY_COUNT> sounding_{};
    size_t last_volume_ = NONE;
    size_t last_balance_ = NONE;
    size_t next_ = 0;
    Tick last_tick_ = 0;
    size_t end_ = 0;
};

} // namespace tunemill
