// The instrument browser: the modal dialog in which the user picks the instrument of a new voice
// (Add Voice) or of the current voice (Replace Instrument) from the library, the song's loaded
// instruments or an imported sample file.
#pragma once

#include <cstddef>
#include <optional>

class QWidget;

namespace tunemill {

class Document;

enum class BrowserMode { ADD_VOICE, REPLACE_INSTRUMENT };

// What the user chose: an instrument of the song's list. A temporary one was added to the list
// by the browser (Document::add_temporary_instrument) and is the last of the list; the edit
// that uses it adopts it (EditContext::adopt_instrument), so undo takes it out again.
struct BrowserChoice {
    size_t index = 0;
    bool temporary = false;
};

// Runs the browser; none when the user cancelled (every temporary instrument is gone again).
std::optional<BrowserChoice> run_instrument_browser(QWidget* parent, Document& document,
                                                    BrowserMode mode);

} // namespace tunemill
