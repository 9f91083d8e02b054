// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/document/document.h"
#include "app/dialogs/options_sheet.h"
#include "app/keyboard/keyboard_window.h"
#include "app/live/player.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player, MidiInput* midi) {
    ChildFactories factories;
    OutputThread* output = player ? &player->output() : nullptr;
    factories.keyboard = [&document, &frame, output] {
        return new KeyboardWindow(document, output, &frame.midi_router());
    };
    factories.options = [&frame, output, midi] { run_options_sheet(frame, output, midi); };
    return factories;
}

} // namespace tunemill
