// Playing live in a window: the PC keys laid out as a piano, the MIDI keyboard's notes and the
// window's own presses become preview notes of the selected instrument. A window that takes live
// notes (keyboard window, instruments window, instrument browser) embeds one: it checks every
// 500 ms and on focus changes whether the window has the focus, and the first time it has,
// makes the window the target of the MIDI keyboard.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "playback/live_keyboard.h"

class QKeyEvent;
class QTimer;
class QWidget;

namespace tunemill {

class MidiRouter;
class MidiNoteEvent;
class OutputThread;

// The dynamic property that marks a widget as one that takes MIDI notes when it has the focus.
constexpr const char* TAKES_MIDI_NOTES = "takesMidiNotes";

// The widget that takes MIDI notes for a focus widget: the nearest of it and its parents that
// carries TAKES_MIDI_NOTES; null when none does.
QWidget* midi_window_of(QWidget* focus);

// Where live notes sound: the output's preview notes, or nowhere without sound devices (the
// output is null; the keys still map).
std::unique_ptr<LiveNoteSink> live_note_sink(OutputThread* output);

class LiveInput : public QObject {
    Q_OBJECT

  public:
    // current_instrument reads the window's selected instrument (an index of the song's list).
    // The output may be null (no sound devices): the keys then play nothing. The router may be
    // null (no MIDI keyboard).
    LiveInput(QWidget* window, OutputThread* output, MidiRouter* router,
              std::function<uint32_t()> current_instrument);
    ~LiveInput() override;

    // Key events of the window and of those children that pass them here (see watch()).
    // Return whether the key was the piano's (then it is consumed).
    bool key_press(QKeyEvent* event);
    bool key_release(QKeyEvent* event);
    // Key events of this child go to the piano first (a list that would otherwise search).
    void watch(QWidget* child);

    // A MIDI note for the window: a note-off releases, a note-on plays while the window is active.
    void midi_note(const MidiNoteEvent& event);
    // The mouse and other sources: start or release one of the 84 keys.
    void start_key(uint32_t key);
    void release_key(uint32_t key);
    void release_all();

    // The activate check: focus state, MIDI target, the 500 ms minimum of looped notes.
    void check();

    LiveKeyboard& keyboard() { return *keyboard_; }
    OutputThread* output() const { return output_; }

  signals:
    // Keys started or released: whoever draws them redraws.
    void keysChanged();
    // A pressed key showed what it prints at its position: the glyphs on the keys follow.
    void labelsLearned();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool window_has_focus() const;
    void take_settings();

    QWidget* window_;
    OutputThread* output_;
    MidiRouter* router_;
    std::unique_ptr<LiveNoteSink> sink_;
    std::unique_ptr<LiveKeyboard> keyboard_;
    QTimer* timer_ = nullptr;
};

} // namespace tunemill
