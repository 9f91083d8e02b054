// The File menu's commands on the document: the save prompt, New, Load, Save, Save As, Export
// as a module, Export Audio, and opening a song recovered from an autosave. They ask the frame
// only for what is the frame's: its windows and the playback.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "song/song.h"

namespace tunemill {

class Document;

class FileCommands {
  public:
    // What the commands need of the main frame.
    struct Frame {
        QWidget* parent = nullptr; // owns the dialogs and boxes
        std::function<void()> stop_playback;
        // New and Load keep one pattern window: the others go before the song changes ...
        std::function<void()> reduce_windows;
        // ... and the rest follow the new song afterwards (pointed at pattern 0).
        std::function<void()> refresh_windows;
        std::function<void()> update_title;
    };

    FileCommands(Document& document, Frame frame) : document_(document), frame_(std::move(frame)) {}

    // "Song is changed. Do you want to save it?": true when the caller may go on.
    bool save_prompt();
    void new_song();
    void load_command();
    // Loads the file (its path made absolute); on failure the open song stays and one error
    // message names the file. Returns whether the file was loaded.
    bool load_song(const std::string& path);
    // An autosaved song opened as a changed song with the path it had; false when it could not
    // be read (the error was shown).
    bool recover_song(const std::string& autosaved_file, const std::string& original_path,
                      bool song_file);
    bool save();
    bool save_as();
    void export_song();
    void export_midi();
    void export_audio();

    // The folder the Load dialog opens in (seeded from the song folder setting).
    const std::string& last_song_folder() const { return last_song_folder_; }

  private:
    std::string seeded_song_folder();
    // Saves the song to path; only then does the song take path as its own.
    bool save_to(const std::string& path);
    // A new untitled song, as New leaves.
    static void make_new_song(Song& song);

    Document& document_;
    Frame frame_;
    std::string last_song_folder_;
};

} // namespace tunemill
