// What the instruments window's buttons do to one of the song's instruments: replace it in every
// voice, save it as an instrument file, export its sample as a sound file, change its category and
// rename it. Every change of the song is one undoable step; failures are shown, one message each.
#pragma once

#include <QString>
#include <cstddef>
#include <optional>
#include <string>

class QWidget;

namespace tunemill {

class Document;

// The file name Save proposes for an instrument name (Windows-1252 bytes): control characters
// and / \ * ? : " become blanks, leading blanks go, and an empty result is "Untitled".
QString suggested_instrument_file_name(const std::string& name);

// Each returns the song index of the instrument that the window should select afterwards
// (Replace: the new one), or none when nothing changed.
std::optional<size_t> replace_instrument(QWidget* owner, Document& document, size_t index);
void save_instrument(QWidget* owner, Document& document, size_t index);
void export_instrument(QWidget* owner, Document& document, size_t index);
std::optional<size_t> change_instrument_icon(QWidget* owner, Document& document, size_t index);
std::optional<size_t> rename_song_instrument(QWidget* owner, Document& document, size_t index);

} // namespace tunemill
