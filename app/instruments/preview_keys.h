// Playing an instrument from the PC keyboard and a MIDI keyboard in the instrument windows and
// dialogs: the piano keys pressed anywhere in the window (its lists and buttons too) sound the
// window's selected instrument and are consumed; every other key is left to the window. MIDI
// notes reach the window while it is active; a 500 ms timer ends the notes whose key release was
// lost.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "playback/live_keyboard.h"

class QKeyEvent;
class QWidget;

namespace tunemill {

class MidiRouter;
class EnginePlayer;

// The key of the live keyboard's layout a Qt key event stands for ('A'..'Z', '0'..'9', the
// comma and the space bar), 0 for any other key. Shifted digits count as their digit.
uint32_t live_virtual_key(const QKeyEvent& event);

// The preview notes of the run: the player's, or none without sound. The sink lives as long
// as the object that install_preview_sink() returns.
LiveNoteSink* preview_sink();
std::unique_ptr<QObject> install_preview_sink(EnginePlayer* player);
// Previews go to this sink until the returned object goes (tests and benchmarks).
std::unique_ptr<QObject> install_preview_sink(LiveNoteSink& sink);

// The MIDI notes' router of the main window the widget lives in, or none.
MidiRouter* midi_router_of(QWidget* widget);

class PreviewKeys : public QObject {
    Q_OBJECT

  public:
    // Called before a key sounds; answers the song's instrument to play, or none (-1) to play
    // nothing. The browser loads the selected item here.
    using InstrumentChoice = std::function<int32_t()>;

    // Watches the window and every widget inside it. The router may be null (no MIDI).
    PreviewKeys(QWidget* window, InstrumentChoice choice, MidiRouter* router);
    ~PreviewKeys() override;

    // Ends every sounding note (before the instrument goes away).
    void release_all();
    LiveKeyboard* keyboard() { return keyboard_.get(); }
    // Gives the MIDI notes back to the window that took them before this one.
    void hand_back_midi();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    bool focused() const;
    void check_active();
    void watch(QObject* object);
    bool key_down(QKeyEvent& event);

    QWidget* window_;
    InstrumentChoice choice_;
    MidiRouter* router_;
    QPointer<QObject> previous_target_;
    std::vector<QPointer<QObject>> watched_;
    int32_t current_ = -1;
    std::unique_ptr<LiveKeyboard> keyboard_;
    QTimer timer_;
};

} // namespace tunemill
