// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/document/document.h"
#include "app/live/player.h"
#include "app/pattern/pattern_window.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player) {
    ChildFactories factories;
    factories.pattern = [&document, &frame, player]() -> QWidget* {
        return new PatternWindow(document, &frame, player);
    };
    return factories;
}

} // namespace tunemill
