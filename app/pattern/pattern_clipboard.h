// Cut, Copy and Paste of a pattern window's block through the system clipboard: the block's bytes
// (storage/clipboard.h) travel under the MIME type application/x-tunemill-pattern, so a block
// copied in one running composer pastes in another.
#pragma once

#include <QString>

#include "app/pattern/editor.h"

class QMimeData;

namespace tunemill {

QString pattern_mime_type();
// Whether the system clipboard holds a pattern block now (Paste is enabled).
bool clipboard_holds_pattern();

// Copy: the block of the current voice (or all voices with AllVoices, or the tempo curve) onto
// the clipboard. False when there is nothing to copy (so Cut deletes nothing).
bool copy_block_to_clipboard(const PatternEditor& editor);
// Cut: Copy, then Delete when the copy succeeded.
bool cut_block_to_clipboard(PatternEditor& editor);
// Paste at the cursor into the current voice; the cursor moves on by what was pasted. Returns
// whether anything was pasted.
bool paste_block_from_clipboard(PatternEditor& editor);

} // namespace tunemill
