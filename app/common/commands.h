// The composer's command ids, the layout of the main menu and the two accelerator tables: the
// global keys, tried first, and the editing keys, tried only when no dialog-like window (the
// sequence or instruments window) has the keyboard.
#pragma once

#include <QKeySequence>
#include <QString>
#include <cstdint>
#include <vector>

namespace tunemill {

enum Command : int {
    CMD_NEW = 101,
    CMD_LOAD = 102,
    CMD_SAVE = 103,
    CMD_SAVE_AS = 104,
    CMD_EXPORT = 105,
    CMD_EXIT = 106,
    CMD_CUT = 107,
    CMD_COPY = 108,
    CMD_PASTE = 109,
    CMD_CLEAR_BLOCK = 110,
    CMD_INSERT_SPACE = 111,
    CMD_REPEAT_BLOCK = 112,
    CMD_PATTERN = 113,
    CMD_VOLUME = 114,
    CMD_SEQUENCE = 115,
    CMD_INSTRUMENTS = 116,
    CMD_SONG_OPTIONS = 117,
    CMD_KEYBOARD = 118,
    CMD_BALANCE = 119,
    CMD_TEMPO = 120,
    CMD_DELETE = 121,
    CMD_TRANSPOSE_BLOCK = 122,
    CMD_ADD_VOICE = 123,
    CMD_REPLACE_INSTRUMENT = 124,
    CMD_MUTE_VOICE = 125,
    CMD_DELETE_VOICE = 126,
    CMD_PLAY_SONG = 127,
    CMD_PLAY_PATTERN = 128,
    CMD_PLAY_BLOCK = 129,
    CMD_PLAY_VOICE = 130,
    CMD_RECORD_VOICE = 131,
    CMD_STOP = 133,
    CMD_REPEAT = 134,
    CMD_HELP_TOPICS = 138,
    CMD_ABOUT = 139,
    CMD_CASCADE = 140,
    CMD_TILE = 141,
    CMD_RECORD_BLOCK = 142,
    CMD_ALL_VOICES = 143,
    CMD_OPTIONS = 144,
    CMD_SET_PORTAMENTO = 145,
    CMD_CLEAR_PORTAMENTO = 146,
    CMD_FOLLOW_PLAYBACK = 147,
    CMD_UNDO = 150,
    CMD_REDO = 151,
    CMD_HISTORY = 152,
    CMD_EXPORT_MIDI = 198,
    CMD_EXPORT_AUDIO = 199,
    CMD_WIND_FORWARD = 40003,
    CMD_WIND_BACK = 40004,
    CMD_WEB_PAGE = 40005,
    CMD_HELP_TOPIC_21 = 99,
};

// The popups of the menu bar, in their order; the index is also the help topic of the popup.
enum Popup : int {
    FILE_POPUP,
    EDIT_POPUP,
    VIEW_POPUP,
    VOICE_POPUP,
    PLAY_POPUP,
    WINDOW_POPUP,
    HELP_POPUP
};
constexpr int POPUP_COUNT = 7;
// Menu text ids of the popup titles (File is 1, Help is 7) and of the Portamento submenu.
constexpr uint32_t POPUP_TEXT_BASE = 1;
constexpr uint32_t PORTAMENTO_TEXT = 8;
// Where the Portamento submenu sits in the Edit popup (separators count).
constexpr int PORTAMENTO_POSITION = 15;

// One entry of a popup: a command, a separator (command 0) or the Portamento submenu (-1).
constexpr int SEPARATOR = 0;
constexpr int PORTAMENTO_SUBMENU = -1;
struct MenuEntry {
    int command;
    bool checkable = false;
};

// The entries of popup `popup` in order; the Portamento submenu holds Set and Clear.
const std::vector<MenuEntry>& popup_entries(int popup);
const std::vector<MenuEntry>& portamento_entries();

// The popup a command's menu item lives in, or -1 for commands without an item.
int popup_of(int command);

// Whether the command belongs to the active child window (CommandTarget) rather than the frame:
// the block, pane, voice and pattern-playing commands (those of pattern_command_rules).
bool window_command(int command);

enum class AcceleratorTable { GLOBAL, EDITING };
struct Accelerator {
    int key;       // Qt::Key
    int modifiers; // Qt::KeyboardModifiers, matched exactly (the keypad counts)
    int command;
    AcceleratorTable table;
};
const std::vector<Accelerator>& accelerators();
// The command the key gives in the table, or 0.
int accelerator_command(AcceleratorTable table, int key, int modifiers);

// The text of a menu item or popup title in the current language; a tab separates the key shown.
QString menu_text(uint32_t id);
// A dialog text in the current language.
QString dialog_text(uint32_t id);
// A composer string in the current language.
QString composer_text(uint32_t id);

} // namespace tunemill
