// The instrument commands, each through the document's edit path.
#include "app/instruments/instrument_commands.h"

#include <QApplication>
#include <QDir>
#include <filesystem>
#include <string_view>

#include "app/common/commands.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/dialogs/audio_export_dialog.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/instruments/instrument_browser.h"
#include "app/instruments/instrument_dialogs.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "instruments/instrument_file.h"
#include "playback/audio_export.h"
#include "settings/settings.h"
#include "song/instrument_array.h"
#include "strings/composer_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

bool valid(const Document& document, size_t index) {
    return index < document.song().instruments.size();
}

SongChange song_wide() {
    return SongChange{-1, -1, ChangeKind::WHOLE_PATTERN, 0, UINT32_MAX};
}

QString instrument_folder() {
    return QString::fromStdString(settings().instrument_folder);
}

// Shows the wait cursor while a file is written.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

QString suggested_instrument_file_name(const std::string& name) {
    std::string cleaned = name;
    for (char& c : cleaned) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || std::string_view("/\\*?:\"").find(c) != std::string_view::npos) c = ' ';
    }
    cleaned.erase(0, cleaned.find_first_not_of(' ') == std::string::npos
                         ? cleaned.size()
                         : cleaned.find_first_not_of(' '));
    if (cleaned.empty()) return composer_text(S_UNTITLED).left(16);
    return QString::fromStdString(windows1252_to_utf8(cleaned));
}

std::optional<size_t> replace_instrument(QWidget* owner, Document& document, size_t index) {
    if (!valid(document, index)) return std::nullopt;
    const std::optional<BrowserChoice> choice =
        run_instrument_browser(owner, document, BrowserMode::REPLACE_INSTRUMENT);
    if (!choice || choice->index == index) return std::nullopt;
    const uint32_t chosen_id = document.song().instruments[choice->index].id;
    // Every voice of the old instrument takes the new one; the clean-up then drops the old
    // instrument, which no voice names any more, and moves the later indices down.
    const bool done = document.edit(
        Edit{U_REPLACE_INSTRUMENT, song_wide(), std::pair{-1, -1}, 0}, [&](EditContext& context) {
            if (choice->temporary) context.adopt_instrument(choice->index);
            for (Pattern& pattern : context.song().patterns)
                replace_in_pattern(pattern, uint32_t(index), uint32_t(choice->index));
        });
    if (!done) {
        if (choice->temporary) document.remove_temporary_instrument();
        return std::nullopt;
    }
    const std::vector<Instrument>& instruments = document.song().instruments;
    for (size_t i = 0; i < instruments.size(); ++i)
        if (instruments[i].id == chosen_id) return i;
    return std::nullopt;
}

void save_instrument(QWidget* owner, Document& document, size_t index) {
    if (!valid(document, index)) return;
    const Instrument& instrument = document.song().instruments[index];
    if (instrument.from_bank) {
        show_error(MISC_ERROR(S_CANT_SAVE_BANK_INSTRUMENT));
        return;
    }
    FileDialogRequest request;
    request.title = composer_text(S_SAVE_INSTRUMENT);
    request.filter_id = S_INSTRUMENT_FILTER;
    request.folder = instrument_folder();
    request.name =
        QDir(instrument_folder()).filePath(suggested_instrument_file_name(instrument.name));
    request.default_suffix =
        instrument.synthesized() ? QStringLiteral("sy") : QStringLiteral("sa2");
    request.save = true;
    request.help_topic = HELP_SAVE_DIALOG;
    const std::optional<FileChoice> file = run_file_dialog(owner, request);
    if (!file || !valid(document, index)) return;
    WaitCursor wait;
    try {
        save_instrument_file(from_qstring_path(file->path), document.song().instruments[index]);
    } catch (const ERROR& error) {
        show_error(error);
    }
}

void export_instrument(QWidget* owner, Document& document, size_t index) {
    if (!valid(document, index)) return;
    // The name cleaned as for Save: a slash in it must not make a folder of the file name.
    const std::optional<InstrumentAudioFile> file = ask_instrument_audio_file(
        owner, instrument_folder(),
        QDir(instrument_folder())
            .filePath(suggested_instrument_file_name(document.song().instruments[index].name)));
    if (!file || !valid(document, index)) return;
    WaitCursor wait;
    try {
        export_instrument_audio(document.song().instruments[index], from_qstring_path(file->path),
                                file->type, file->vorbis_quality);
    } catch (const ERROR& error) {
        show_error(error);
    }
}

std::optional<size_t> change_instrument_icon(QWidget* owner, Document& document, size_t index) {
    if (!valid(document, index)) return std::nullopt;
    const Instrument& instrument = document.song().instruments[index];
    const std::optional<uint32_t> category = ask_category(
        owner, instrument.category, QString::fromStdString(windows1252_to_utf8(instrument.name)));
    if (!category || !valid(document, index) ||
        *category == document.song().instruments[index].category)
        return std::nullopt;
    if (!document.edit(
            Edit{U_CHANGE_ICON, song_wide(), std::nullopt, 0},
            [&](EditContext& context) { set_category(context.song(), index, *category); }))
        return std::nullopt;
    return index;
}

std::optional<size_t> rename_song_instrument(QWidget* owner, Document& document, size_t index) {
    if (!valid(document, index)) return std::nullopt;
    const std::optional<QString> name = ask_instrument_name(
        owner,
        QString::fromStdString(windows1252_to_utf8(document.song().instruments[index].name)));
    if (!name || name->isEmpty() || !valid(document, index)) return std::nullopt;
    const std::string stored = utf8_to_windows1252(name->toStdString());
    if (stored == document.song().instruments[index].name) return std::nullopt;
    if (!document.edit(
            Edit{U_RENAME_INSTRUMENT, song_wide(), std::nullopt, 0},
            [&](EditContext& context) { rename_instrument(context.song(), index, stored); }))
        return std::nullopt;
    return index;
}

} // namespace tunemill
