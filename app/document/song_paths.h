// The song's paths as the composer shows them: the untitled path, the window title made from
// the path, and the names the file dialogs propose.
#pragma once

#include <QString>
#include <string>

#include "song/song.h"

namespace tunemill {

// The folder joined with "Untitled" in the current language (at most 49 characters of it).
std::string untitled_song_path(const std::string& song_folder);

// "Tunemill - " and the last component of the path without what follows its last ".".
QString song_window_title(const std::string& song_path);

// The path without the extension of its last component: the name the save dialogs propose.
std::string path_without_extension(const std::string& path);

// The folder part of a path (empty when it has none).
std::string folder_of(const std::string& path);

// Conversions between the byte paths of the core and the Qt side.
QString to_qstring_path(const std::string& path);
std::string from_qstring_path(const QString& path);

} // namespace tunemill
