// The pattern window's toolbar pictures, drawn in code at whatever size and pixel ratio the
// toolbar asks for: Cut, Copy, Paste, Delete, the six note lengths (whole to thirty-second
// note), Play Pattern, Play Block, Play Voice, Stop and Follow Playback.
#pragma once

#include <QIcon>

namespace tunemill {

enum class ToolIcon {
    CUT,
    COPY,
    PASTE,
    DELETE_BLOCK,
    PLAY_PATTERN,
    PLAY_BLOCK,
    PLAY_VOICE,
    STOP,
    FOLLOW,
};

QIcon tool_icon(ToolIcon which);
// The note of length index 0 (whole) to 5 (thirty-second).
QIcon note_length_icon(int index);

} // namespace tunemill
