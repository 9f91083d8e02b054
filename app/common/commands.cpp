// The main menu's layout and the accelerator tables, and the lookup of menu and dialog texts.
#include "app/common/commands.h"

#include <Qt>

#include "foundation/string_table.h"
#include "strings/dialogs_strings.h"
#include "strings/menu_strings.h"

namespace tunemill {

namespace {

const std::vector<MenuEntry> FILE_ENTRIES = {
    {CMD_NEW},    {CMD_LOAD},        {CMD_SAVE},         {CMD_SAVE_AS}, {SEPARATOR},
    {CMD_EXPORT}, {CMD_EXPORT_MIDI}, {CMD_EXPORT_AUDIO}, {SEPARATOR},   {CMD_EXIT},
};
const std::vector<MenuEntry> EDIT_ENTRIES = {
    {CMD_UNDO},
    {CMD_REDO},
    {CMD_HISTORY},
    {SEPARATOR},
    {CMD_CUT},
    {CMD_COPY},
    {CMD_PASTE},
    {CMD_DELETE},
    {SEPARATOR},
    {CMD_CLEAR_BLOCK},
    {CMD_INSERT_SPACE},
    {CMD_REPEAT_BLOCK},
    {CMD_TRANSPOSE_BLOCK},
    {CMD_RECORD_BLOCK},
    {SEPARATOR},
    {PORTAMENTO_SUBMENU},
    {SEPARATOR},
    {CMD_ALL_VOICES, true},
};
const std::vector<MenuEntry> VIEW_ENTRIES = {
    {CMD_PATTERN},      {CMD_SEQUENCE},      {CMD_INSTRUMENTS}, {CMD_KEYBOARD},
    {SEPARATOR},        {CMD_SONG_OPTIONS},  {CMD_OPTIONS},     {SEPARATOR},
    {CMD_VOLUME, true}, {CMD_BALANCE, true}, {CMD_TEMPO, true},
};
const std::vector<MenuEntry> VOICE_ENTRIES = {
    {CMD_ADD_VOICE}, {CMD_REPLACE_INSTRUMENT}, {CMD_RECORD_VOICE},
    {SEPARATOR},     {CMD_DELETE_VOICE},       {CMD_MUTE_VOICE, true},
};
const std::vector<MenuEntry> PLAY_ENTRIES = {
    {CMD_PLAY_SONG}, {CMD_PLAY_PATTERN}, {CMD_PLAY_BLOCK},   {CMD_PLAY_VOICE},
    {CMD_STOP},      {SEPARATOR},        {CMD_REPEAT, true}, {CMD_FOLLOW_PLAYBACK, true},
};
const std::vector<MenuEntry> WINDOW_ENTRIES = {{CMD_CASCADE}, {CMD_TILE}};
const std::vector<MenuEntry> HELP_ENTRIES = {
    {CMD_HELP_TOPICS},
    {CMD_WEB_PAGE},
    {SEPARATOR},
    {CMD_ABOUT},
};
const std::vector<MenuEntry> PORTAMENTO_ENTRIES = {{CMD_SET_PORTAMENTO}, {CMD_CLEAR_PORTAMENTO}};

constexpr int ALT = Qt::AltModifier;
constexpr int SHIFT = Qt::ShiftModifier;
constexpr int CTRL = Qt::ControlModifier;
constexpr int KEYPAD = Qt::KeypadModifier;
constexpr auto GLOBAL = AcceleratorTable::GLOBAL;
constexpr auto EDITING = AcceleratorTable::EDITING;

const std::vector<Accelerator> ACCELERATORS = {
    // Global keys. Undo and Redo come first in every window, before the keys that play notes.
    {Qt::Key_Z, CTRL, CMD_UNDO, GLOBAL},
    {Qt::Key_Backspace, ALT, CMD_UNDO, GLOBAL},
    {Qt::Key_Y, CTRL, CMD_REDO, GLOBAL},
    {Qt::Key_Z, CTRL | SHIFT, CMD_REDO, GLOBAL},
    {Qt::Key_F2, 0, CMD_LOAD, GLOBAL},
    {Qt::Key_F5, ALT, CMD_PATTERN, GLOBAL},
    {Qt::Key_F7, ALT, CMD_SEQUENCE, GLOBAL},
    {Qt::Key_F8, ALT, CMD_INSTRUMENTS, GLOBAL},
    {Qt::Key_F9, ALT, CMD_SONG_OPTIONS, GLOBAL},
    {Qt::Key_F10, ALT, CMD_KEYBOARD, GLOBAL},
    {Qt::Key_F5, 0, CMD_PLAY_SONG, GLOBAL},
    {Qt::Key_F9, 0, CMD_STOP, GLOBAL},
    {Qt::Key_Plus, KEYPAD, CMD_WIND_FORWARD, GLOBAL},
    {Qt::Key_Minus, KEYPAD, CMD_WIND_BACK, GLOBAL},
    // Editing keys.
    {Qt::Key_Delete, SHIFT, CMD_CUT, EDITING},
    {Qt::Key_Insert, CTRL, CMD_COPY, EDITING},
    {Qt::Key_Insert, SHIFT, CMD_PASTE, EDITING},
    {Qt::Key_Delete, 0, CMD_DELETE, EDITING},
    {Qt::Key_L, ALT, CMD_CLEAR_BLOCK, EDITING},
    {Qt::Key_I, ALT, CMD_INSERT_SPACE, EDITING},
    {Qt::Key_R, ALT, CMD_REPEAT_BLOCK, EDITING},
    {Qt::Key_S, ALT, CMD_SET_PORTAMENTO, EDITING},
    {Qt::Key_C, ALT, CMD_CLEAR_PORTAMENTO, EDITING},
    {Qt::Key_A, ALT, CMD_ALL_VOICES, EDITING},
    {Qt::Key_F1, ALT, CMD_VOLUME, EDITING},
    {Qt::Key_F2, ALT, CMD_BALANCE, EDITING},
    {Qt::Key_F3, ALT, CMD_TEMPO, EDITING},
    {Qt::Key_F3, 0, CMD_ADD_VOICE, EDITING},
    {Qt::Key_F4, 0, CMD_REPLACE_INSTRUMENT, EDITING},
    {Qt::Key_F6, 0, CMD_PLAY_PATTERN, EDITING},
    {Qt::Key_F7, 0, CMD_PLAY_BLOCK, EDITING},
    {Qt::Key_F8, 0, CMD_PLAY_VOICE, EDITING},
};

bool contains(const std::vector<MenuEntry>& entries, int command) {
    for (const MenuEntry& entry : entries)
        if (entry.command == command) return true;
    return false;
}

QString text_of(const StringTable& table, uint32_t id) {
    return QString::fromUtf8(load_string(table, id));
}

} // namespace

const std::vector<MenuEntry>& popup_entries(int popup) {
    static const std::vector<MenuEntry> none;
    switch (popup) {
    case FILE_POPUP:
        return FILE_ENTRIES;
    case EDIT_POPUP:
        return EDIT_ENTRIES;
    case VIEW_POPUP:
        return VIEW_ENTRIES;
    case VOICE_POPUP:
        return VOICE_ENTRIES;
    case PLAY_POPUP:
        return PLAY_ENTRIES;
    case WINDOW_POPUP:
        return WINDOW_ENTRIES;
    case HELP_POPUP:
        return HELP_ENTRIES;
    default:
        return none;
    }
}

const std::vector<MenuEntry>& portamento_entries() {
    return PORTAMENTO_ENTRIES;
}

int popup_of(int command) {
    if (contains(PORTAMENTO_ENTRIES, command)) return EDIT_POPUP;
    for (int popup = 0; popup < POPUP_COUNT; ++popup)
        if (contains(popup_entries(popup), command)) return popup;
    return -1;
}

const std::vector<Accelerator>& accelerators() {
    return ACCELERATORS;
}

int accelerator_command(AcceleratorTable table, int key, int modifiers) {
    constexpr int RELEVANT =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
    for (const Accelerator& entry : ACCELERATORS) {
        if (entry.table != table || entry.key != key) continue;
        // The keypad keys are keys of their own; the other entries ignore where the key sits
        // (the keypad's Del is still Del).
        if ((entry.modifiers & Qt::KeypadModifier) && !keypad) continue;
        if ((modifiers & RELEVANT) == (entry.modifiers & RELEVANT)) return entry.command;
    }
    return 0;
}

QString menu_text(uint32_t id) {
    // The table keeps "\t" readable; the menu wants the tab itself.
    return text_of(menu_strings(), id).replace(QStringLiteral("\\t"), QStringLiteral("\t"));
}

QString dialog_text(uint32_t id) {
    return text_of(dialog_strings(), id);
}

QString composer_text(uint32_t id) {
    return text_of(composer_strings(), id);
}

} // namespace tunemill
