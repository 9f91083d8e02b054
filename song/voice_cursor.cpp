// The voice cursor: the state of one voice at a tick, read forward from the voice's start.
#include "song/voice_cursor.h"

namespace tunemill {

void VoiceCursor::clear() {
    sounding_.fill(NONE);
    last_volume_ = NONE;
    last_balance_ = NONE;
    next_ = 0;
}

void VoiceCursor::start(const Voice& voice) {
    clear();
    events_ = voice.events.data();
    end_ = voice.events.size();
    last_tick_ = end_ ? voice.events.back().tick : 0;
}

void VoiceCursor::apply(const Event& e, size_t index) {
    switch (e.kind) {
    case NOTE_ON:
        if (e.param1 < KEY_COUNT) sounding_[e.param1] = index;
        break;
    case NOTE_OFF:
        if (e.param1 < KEY_COUNT) sounding_[e.param1] = NONE;
        break;
    case PORTAMENTO:
        if (e.param1 < KEY_COUNT) sounding_[e.param1] = NONE;
        if (e.param2 < KEY_COUNT) sounding_[e.param2] = index;
        break;
    case VOLUME:
        last_volume_ = index;
        break;
    case BALANCE:
        last_balance_ = index;
        break;
    default:
        break;
    }
}

const Event& VoiceCursor::read() {
    const Event& e = events_[next_];
    apply(e, next_);
    ++next_;
    return e;
}

void VoiceCursor::seek(Tick t) {
    if (end_ > 0 && t > last_tick_) {
        // Past the last event every note has ended; only the curves keep their last values.
        while (next_ < end_)
            read();
        sounding_.fill(NONE);
        return;
    }
    while (next_ < end_ && events_[next_].tick < t)
        read();
}

} // namespace tunemill
