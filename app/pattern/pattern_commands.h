// The commands that act on a pattern window's pattern: the block operations of the Edit menu on
// the current voice or on all voices, the voice commands (Add Voice, Replace Instrument, Delete
// Voice, Mute Voice) and the Play commands. Each change is one step of the document's history.
#pragma once

#include <functional>
#include <optional>

#include "app/instruments/instrument_browser.h"
#include "app/pattern/editor.h"

namespace tunemill {

enum class BlockOperation { DELETE, CLEAR, INSERT_SPACE, REPEAT, SET_PORTAMENTO, CLEAR_PORTAMENTO };

// Runs the operation on the window's block (the current voice, or all voices: AllVoices, the
// tempo pane or a pattern without voices). Delete then moves the cursor back and clears the
// block. step_name overrides the history's name (Cut). Returns whether the song was changed.
bool run_block_operation(PatternEditor& editor, BlockOperation operation, uint32_t step_name = 0);

// Chooses the instrument of a new voice or of the current voice: the instrument browser in the
// composer, a stand-in in tests. None when the user cancelled.
using InstrumentChooser = std::function<std::optional<BrowserChoice>(BrowserMode mode)>;

// Add Voice: a voice with the chosen instrument becomes the pattern's last and current voice;
// the song clean-up keeps it.
bool add_voice(PatternEditor& editor, const InstrumentChooser& choose);
// Replace Instrument: the current voice plays the chosen instrument (Add Voice without voices).
bool replace_instrument(PatternEditor& editor, const InstrumentChooser& choose);
// Delete Voice: the current voice goes, then the song clean-up; one step.
bool delete_voice(PatternEditor& editor);
// Mute Voice: toggles the current voice's mute flag, not a change of the song.
bool mute_voice(PatternEditor& editor);

// Play Pattern, Play Block (this window becomes the block-playing window) and Play Voice.
// Failures of the device are shown.
void play_pattern(PatternEditor& editor);
void play_block(PatternEditor& editor);
void play_voice(PatternEditor& editor);

} // namespace tunemill
