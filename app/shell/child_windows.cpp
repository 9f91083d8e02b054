// The pattern window's rules for the commands it owns.
#include "app/shell/child_windows.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "app/shell/commands.h"
#include "settings/settings.h"
#include "song/song.h"

namespace tunemill {

namespace {

bool has_voices(const PatternView& window, const Song& song) {
    return window.pattern_index() < song.patterns.size() &&
           !song.patterns[window.pattern_index()].voices.empty();
}

bool clipboard_holds_block() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(QString::fromLatin1(PATTERN_MIME_TYPE));
}

} // namespace

bool PatternView::command_enabled(int command, const Song& song) const {
    switch (command) {
    case CMD_CUT:
    case CMD_COPY:
    case CMD_CLEAR_BLOCK:
    case CMD_DELETE:
    case CMD_INSERT_SPACE:
    case CMD_REPEAT_BLOCK:
    case CMD_TRANSPOSE_BLOCK:
    case CMD_RECORD_BLOCK:
    case CMD_PLAY_BLOCK:
        return has_block();
    case CMD_PASTE:
        return clipboard_holds_block();
    case CMD_SET_PORTAMENTO:
    case CMD_CLEAR_PORTAMENTO:
        return has_block() && block_pane() == Pane::NOTES;
    case CMD_VOLUME:
    case CMD_BALANCE:
    case CMD_TEMPO:
    case CMD_ADD_VOICE:
    case CMD_PLAY_PATTERN:
    case CMD_FOLLOW_PLAYBACK:
        return true;
    case CMD_REPLACE_INSTRUMENT:
    case CMD_DELETE_VOICE:
    case CMD_MUTE_VOICE:
    case CMD_RECORD_VOICE:
    case CMD_PLAY_VOICE:
        return has_voices(*this, song);
    default:
        return false;
    }
}

bool PatternView::command_checked(int command, const Song& song) const {
    switch (command) {
    case CMD_VOLUME:
        return shows_pane(Pane::VOLUME);
    case CMD_BALANCE:
        return shows_pane(Pane::BALANCE);
    case CMD_TEMPO:
        return shows_pane(Pane::TEMPO);
    case CMD_FOLLOW_PLAYBACK:
        return follows_playback();
    case CMD_MUTE_VOICE: {
        if (!has_voices(*this, song)) return false;
        const Pattern& pattern = song.patterns[pattern_index()];
        return current_voice() < pattern.voices.size() && pattern.voices[current_voice()].muted;
    }
    default:
        return false;
    }
}

} // namespace tunemill
