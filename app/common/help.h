// The composer's help: HTML pages in help/<language>/ beside the program, opened in the user's
// browser at the page of a topic number (the menus, the file dialogs, the windows and dialogs).
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace tunemill {

// Topic numbers the program opens; 0 to 6 are the menu popups File to Help.
enum HelpTopic : int {
    HELP_CONTENTS = -1,
    HELP_LOAD_DIALOG = 7,
    HELP_SAVE_DIALOG = 8,
    HELP_AUDIO_EXPORT_DIALOG = 9,
    HELP_PATTERN_WINDOW = 10,
    HELP_SEQUENCE_WINDOW = 11,
    HELP_INSTRUMENTS_WINDOW = 12,
    HELP_SONG_OPTIONS = 13,
    HELP_KEYBOARD_WINDOW = 14,
    HELP_ENVIRONMENT = 15,
    HELP_ADD_VOICE = 17,
    HELP_RAW_IMPORT = 18,
    HELP_KEYS = 21,
    // The Options sheet's other pages.
    HELP_PLAYBACK_OPTIONS = 140,
    HELP_ADVANCED_PLAYBACK = 141,
    HELP_MIDI_OPTIONS = 142,
    HELP_MIDI_EXPORT_DIALOG = 143,
};

// The page of a topic, relative to the help folder ("index.html" for the contents).
QString help_page(int topic);
// The help folder of the current language, where the shipped data lies (find_data).
QString help_folder();
// The file URL of a topic's page, with the anchor of the topic where one page holds several.
QUrl help_url(int topic);

// Opens the topic; shows an error when the page is missing. Returns whether it was opened.
bool open_help(int topic);

// What opens a URL: the desktop's browser unless a test watches instead.
using UrlOpener = std::function<bool(const QUrl&)>;
void set_url_opener(UrlOpener opener);
bool open_url(const QUrl& url);

} // namespace tunemill
