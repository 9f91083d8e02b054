// Topic numbers to help pages, and the opening of pages and web addresses.
#include "app/common/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "foundation/data_folders.h"
#include "platform/paths.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

UrlOpener& url_opener() {
    static UrlOpener opener;
    return opener;
}

struct TopicPage {
    int topic;
    const char* page;
    const char* anchor;
};

// Each menu popup has its section on the menu page; the rest have pages of their own. A window
// or dialog brings its page and its line here; a topic without one opens the contents.
constexpr TopicPage TOPIC_PAGES[] = {
    {0, "menus.html", "file"},
    {1, "menus.html", "edit"},
    {2, "menus.html", "view"},
    {3, "menus.html", "voice"},
    {4, "menus.html", "play"},
    {5, "menus.html", "window"},
    {6, "menus.html", "help"},
    {HELP_LOAD_DIALOG, "files.html", "load"},
    {HELP_SAVE_DIALOG, "files.html", "save"},
    {HELP_AUDIO_EXPORT_DIALOG, "audio-export.html", nullptr},
    {HELP_MIDI_EXPORT_DIALOG, "midi-files.html", "export"},
    {HELP_PATTERN_WINDOW, "pattern-window.html", nullptr},
    {HELP_INSTRUMENTS_WINDOW, "instruments.html", nullptr},
    {HELP_ADD_VOICE, "instrument-browser.html", nullptr},
    {HELP_RAW_IMPORT, "instrument-browser.html", "raw"},
    {HELP_KEYS, "keys.html", nullptr},
    {HELP_SEQUENCE_WINDOW, "sequence.html", nullptr},
    {HELP_SONG_OPTIONS, "song-options.html", nullptr},
    {HELP_KEYBOARD_WINDOW, "keyboard.html", nullptr},
    {HELP_PLAYBACK_OPTIONS, "options.html", "playback"},
    {HELP_ADVANCED_PLAYBACK, "options.html", "advanced"},
    {HELP_ENVIRONMENT, "options.html", "environment"},
    {HELP_MIDI_OPTIONS, "options.html", "midi"},
};

const TopicPage* find_topic(int topic) {
    for (const TopicPage& entry : TOPIC_PAGES)
        if (entry.topic == topic) return &entry;
    return nullptr;
}

} // namespace

QString help_page(int topic) {
    const TopicPage* entry = find_topic(topic);
    return entry ? QString::fromLatin1(entry->page) : QStringLiteral("index.html");
}

QString help_folder() {
    return QString::fromStdString(
        find_data(dialog_text(D_HELP_FOLDER).toStdString()).lexically_normal().string());
}

QUrl help_url(int topic) {
    QUrl url = QUrl::fromLocalFile(QDir(help_folder()).filePath(help_page(topic)));
    if (const TopicPage* entry = find_topic(topic); entry && entry->anchor)
        url.setFragment(QString::fromLatin1(entry->anchor));
    return url;
}

bool open_help(int topic) {
    const QUrl url = help_url(topic);
    if (!QFileInfo::exists(url.toLocalFile())) {
        show_error_box(
            dialog_text(D_HELP_MISSING).replace(QStringLiteral("%s"), url.toLocalFile()));
        return false;
    }
    return open_url(url);
}

void set_url_opener(UrlOpener opener) {
    url_opener() = std::move(opener);
}

bool open_url(const QUrl& url) {
    if (url_opener()) return url_opener()(url);
    return QDesktopServices::openUrl(url);
}

} // namespace tunemill
