// The makers of the composer's windows.
#include "app/shell/windows.h"

#include "app/dialogs/options_sheet.h"
#include "app/dialogs/song_options_dialog.h"
#include "app/document/document.h"
#include "app/instruments/instruments_window.h"
#include "app/instruments/preview_keys.h"
#include "app/keyboard/keyboard_window.h"
#include "app/live/player.h"
#include "app/pattern/pattern_window.h"
#include "app/sequence/sequence_window.h"
#include "app/shell/main_window.h"

namespace tunemill {

ChildFactories standard_windows(Document& document, MainWindow& frame, EnginePlayer* player,
                                MidiInput* midi) {
    ChildFactories factories;
    factories.pattern = [&document, &frame, player]() -> QWidget* {
        return new PatternWindow(document, &frame, player);
    };
    // The instrument windows and dialogs sound their previews on the player while the frame lives.
    install_preview_sink(player).release()->setParent(&frame);
    factories.instruments = [&document, &frame] {
        return new InstrumentsWindow(document, &frame.midi_router());
    };
    factories.sequence = [&document, &frame, player] {
        return new SequenceWindow(document, frame, player);
    };
    factories.song_options = [&document, &frame] { run_song_options(document, frame); };
    OutputThread* output = player ? &player->output() : nullptr;
    factories.keyboard = [&document, &frame, output] {
        return new KeyboardWindow(document, output, &frame.midi_router());
    };
    factories.options = [&frame, output, midi] { run_options_sheet(frame, output, midi); };
    return factories;
}

} // namespace tunemill
