// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/dialogs/song_options_dialog.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "app/sequence/sequence_window.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player) {
    ChildFactories factories;
    factories.sequence = [&document, &frame, player] { return new SequenceWindow(document, frame, player); };
    factories.song_options = [&document, &frame] { run_song_options(document, frame); };
    return factories;
}

} // namespace tunemill
