// What the playback thread and the MIDI input tell the windows, as Qt events: the playing position
// and live MIDI notes are posted from those threads into the user-interface thread's queue, in
// order, and neither thread ever waits for a window.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>

#include "platform/midi_input.h"
#include "playback/output_thread.h"

namespace tunemill {

constexpr QEvent::Type POSITION_EVENT = QEvent::Type(QEvent::User + 0x100);
constexpr QEvent::Type MIDI_NOTE_EVENT = QEvent::Type(QEvent::User + 0x101);

// The playing position: the pattern word of the report (pattern index, REPORT_RECORDING during a
// recording playback, REPORT_LAST when playback has ended) and the tick (-1: ended without one).
class PositionEvent : public QEvent {
  public:
    PositionEvent(uint32_t pattern_word, int32_t tick)
        : QEvent(POSITION_EVENT), pattern_word(pattern_word), tick(tick) {}
    bool ended() const;
    bool recording() const;
    // The pattern index without the flag bits.
    uint32_t pattern() const;

    const uint32_t pattern_word;
    const int32_t tick;
};

// A note of the MIDI keyboard: the key (0..83), with MIDI_NOTE_OFF set for a note-off, and the
// MIDI time stamp.
class MidiNoteEvent : public QEvent {
  public:
    MidiNoteEvent(uint32_t parameter, uint32_t time_stamp)
        : QEvent(MIDI_NOTE_EVENT), parameter(parameter), time_stamp(time_stamp) {}
    uint32_t key() const { return parameter & 0xFF; }
    bool note_off() const { return (parameter & MIDI_NOTE_OFF) != 0; }

    const uint32_t parameter;
    const uint32_t time_stamp;
};

// Registers a window for the playing position for as long as it lives: each report becomes a
// PositionEvent posted to the window. Make it a member of the window (or of an object the window
// outlives), so that it unregisters before the window's QObject is gone.
class PositionPoster : public PositionReceiver {
  public:
    PositionPoster(OutputThread& output, QObject* window);
    ~PositionPoster() override;
    PositionPoster(const PositionPoster&) = delete;
    PositionPoster& operator=(const PositionPoster&) = delete;

    void playback_position(uint32_t pattern_word, int32_t tick) override;
    // Drops the position events still queued for the window (a recording start discards them).
    void discard_queued();

  private:
    OutputThread& output_;
    QObject* window_;
};

// The MIDI input's one target: posts every note to the receiver (the main window), which hands it
// on, on the user-interface thread, to the window that takes MIDI notes now. The receiver must
// outlive the input's callbacks (the input is closed or its target cleared first).
class MidiNotePoster : public MidiTarget {
  public:
    explicit MidiNotePoster(QObject* receiver) : receiver_(receiver) {}
    void midi_note(uint32_t parameter, uint32_t time_stamp) override;

  private:
    QObject* receiver_;
};

// On the user-interface thread: the window that receives MIDI notes from now on (none: nullptr).
// It may close at any time; its notes are then dropped.
class MidiRouter {
  public:
    void set_target(QObject* window) { target_ = window; }
    QObject* target() const { return target_; }
    // Hands a MIDI note event to the target; false when there is none.
    bool deliver(MidiNoteEvent& event);

  private:
    QPointer<QObject> target_;
};

} // namespace tunemill
