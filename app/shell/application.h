// The composer's run: start-up in its fixed order (string table, settings, playback engine and
// repeat flag, MIDI input, main window with its placement, splash box, the windows open at the
// last exit, the song of the command line or a new one) and shut-down (playback stopped,
// settings written).
#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "app/shell/child_windows.h"
#include "platform/midi_input.h"

namespace tunemill {

class MainWindow;
class AudioSystem;
class EnginePlayer;
class MidiNotePoster;
class Document;
class Autosaver;
class EndSignals;

class Composer {
  public:
    struct Options {
        bool splash = true;
        // The child windows; the composer's own windows when none is given.
        ChildFactories factories;
        // The sound devices; the system's own (PortAudio) unless a test gives others.
        AudioSystem* audio = nullptr;
        // The MIDI system; RtMidi unless a test gives another.
        std::function<std::unique_ptr<MidiBackend>()> midi_backend;
        // Offer the recovery files of copies that ended without saving (a box each).
        bool offer_recovery = true;
    };

    // The steps before the main window: settings read, the playback engine configured.
    explicit Composer(Options options);
    Composer() : Composer(Options{}) {}
    // Stops playback and writes the settings back (unless finish() did already).
    ~Composer();
    Composer(const Composer&) = delete;
    Composer& operator=(const Composer&) = delete;

    // Creates and shows the main window, the splash box and the windows stored as open, then
    // loads the command line's file (arguments joined by blanks) or makes a new song.
    MainWindow* start(const QStringList& arguments);
    MainWindow* main_window() const { return main_window_.get(); }
    Document& document() { return *document_; }
    Autosaver& autosaver() { return *autosaver_; }
    EnginePlayer* player() const { return player_.get(); }
    MidiInput& midi_input() { return *midi_; }

    // Shut-down: playback stopped, settings written. Returns whether they were written.
    bool finish();

    // SIGTERM or SIGINT: a song with unsaved changes is autosaved and its recovery file kept
    // for the next start, then the program ends the ordinary way.
    void end_by_signal();

  private:
    void offer_recovery();

    Options options_;
    std::unique_ptr<Document> document_;
    std::unique_ptr<Autosaver> autosaver_;
    std::unique_ptr<EnginePlayer> player_;
    std::unique_ptr<MidiInput> midi_;
    std::unique_ptr<MainWindow> main_window_;
    std::unique_ptr<MidiNotePoster> midi_poster_;
    std::unique_ptr<EndSignals> end_signals_;
    bool finished_ = false;
    bool keep_recovery_ = false;
};

// The whole program: returns its exit code. The QApplication must exist.
int run_composer(const QStringList& arguments);

// Whether the string table of the current language is there (the first start-up step).
bool string_table_present();

} // namespace tunemill
