// The composer's error display: one message box per failed operation, captioned "Tunemill",
// with the text from the string table, owned by the active window.
#pragma once

#include <QString>
#include <string>

namespace tunemill {

class ERROR;

// Installs the message box as the error display of the foundation (show_error).
void install_error_box();

// The reporter the composer gives the core (the song lock, the output thread, the MIDI input,
// the instrument library): each error comes up in the message box.
void report_in_error_box(const ERROR& error);

// Shows text the way every error is shown (exclamation icon, OK).
void show_error_box(const QString& text);

// Shows the error in flight (call from a catch block) as the failure to load the file, which the
// box names: "<path> cannot be loaded:" and the error's text.
void show_load_error_box(const std::string& path);

} // namespace tunemill
