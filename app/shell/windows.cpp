// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/document/document.h"
#include "app/instruments/instruments_window.h"
#include "app/instruments/preview_keys.h"
#include "app/live/player.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player) {
    ChildFactories factories;
    // The instrument windows and dialogs sound their previews on the player while the frame lives.
    install_preview_sink(player).release()->setParent(&frame);
    factories.instruments = [&document, &frame] { return new InstrumentsWindow(document, &frame.midi_router()); };
    return factories;
}

} // namespace tunemill
