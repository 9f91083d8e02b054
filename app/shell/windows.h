// The composer's windows and window-like dialogs, as the main frame makes them: each window
// folder (pattern/, sequence/, instruments/, keyboard/, dialogs/) adds its maker here.
#pragma once

#include "app/shell/child_windows.h"

namespace tunemill {

class Document;
class MainWindow;
class EnginePlayer;
class MidiInput;

// The makers of every window of the composer, for the frame over the document. The player may
// be null (no sound devices), the MIDI input too.
ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player,
                                MidiInput* midi = nullptr);

} // namespace tunemill
