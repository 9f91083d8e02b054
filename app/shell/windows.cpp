// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/document/document.h"
#include "app/live/player.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player) {
    ChildFactories factories;
    (void)document;
    (void)frame;
    (void)player;
    return factories;
}

} // namespace tunemill
