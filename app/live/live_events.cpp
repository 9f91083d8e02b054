// Position reports and MIDI notes turned into posted Qt events.
#include "app/live/live_events.h"

#include <QCoreApplication>

namespace tunemill {

bool PositionEvent::ended() const {
    return (pattern_word & REPORT_LAST) != 0;
}
bool PositionEvent::recording() const {
    return (pattern_word & REPORT_RECORDING) != 0;
}
uint32_t PositionEvent::pattern() const {
    return pattern_word & ~(REPORT_LAST | REPORT_RECORDING);
}

PositionPoster::PositionPoster(OutputThread& output, QObject* window)
    : output_(output), window_(window) {
    output_.register_receiver(this);
}

// Unregistering takes the engine's mutex, under which the thread posts: after it no report of
// the thread can reach the window any more.
PositionPoster::~PositionPoster() {
    output_.unregister_receiver(this);
}

// On the playback thread: postEvent takes ownership and only queues the event.
void PositionPoster::playback_position(uint32_t pattern_word, int32_t tick) {
    QCoreApplication::postEvent(window_, new PositionEvent(pattern_word, tick));
}

void PositionPoster::discard_queued() {
    QCoreApplication::removePostedEvents(window_, POSITION_EVENT);
}

void MidiNotePoster::midi_note(uint32_t parameter, uint32_t time_stamp) {
    QCoreApplication::postEvent(receiver_, new MidiNoteEvent(parameter, time_stamp));
}

bool MidiRouter::deliver(MidiNoteEvent& event) {
    if (!target_) return false;
    QCoreApplication::sendEvent(target_, &event);
    return true;
}

} // namespace tunemill
