// The File menu's commands.
#include "app/document/file_commands.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdlib>

#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/dialogs/audio_export_dialog.h"
#include "app/dialogs/module_warnings_box.h"
#include "app/document/document.h"
#include "app/document/song_io.h"
#include "app/document/song_paths.h"
#include "foundation/errors.h"
#include "foundation/path_checks.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "midi/export.h"
#include "settings/settings.h"
#include "song/song_lock.h"
#include "storage/song_saver.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

bool FileCommands::save_prompt() {
    if (!document_.modified()) return true;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(PRODUCT_NAME),
                    composer_text(S_SAVE_PROMPT),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, frame_.parent);
    box.setObjectName(QStringLiteral("SavePrompt"));
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::No:
        return true;
    case QMessageBox::Yes:
        return save();
    default:
        return false;
    }
}

std::string FileCommands::seeded_song_folder() {
    if (last_song_folder_.empty()) last_song_folder_ = settings().song_folder;
    return last_song_folder_;
}

void FileCommands::new_song() {
    if (!save_prompt()) return;
    try {
        frame_.stop_playback();
        frame_.reduce_windows();
        if (!document_.replace_song(make_new_song)) return;
        frame_.update_title();
        frame_.refresh_windows();
    } catch (...) {
        // Without a song there is nothing the program could go on with.
        show_current_error();
        std::exit(-1);
    }
}

void FileCommands::make_new_song(Song& song) {
    tunemill::new_song(song, untitled_song_path(settings().song_folder));
    song.song_file = false;
}

void FileCommands::load_command() {
    if (!save_prompt()) return;
    FileDialogRequest request;
    request.title = composer_text(S_LOAD_SONG);
    request.filter_id = S_LOAD_SONG_FILTER;
    request.folder = to_qstring_path(seeded_song_folder());
    request.help_topic = HELP_LOAD_DIALOG;
    const auto choice = run_file_dialog(frame_.parent, request);
    if (!choice) return;
    const std::string path = from_qstring_path(choice->path);
    last_song_folder_ = folder_of(path);
    frame_.stop_playback();
    frame_.parent->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    load_song(path);
    QApplication::restoreOverrideCursor();
}

bool FileCommands::load_song(const std::string& given_path) {
    // Absolute from here on: the song, its title and its recovery record keep naming this file
    // wherever the program runs later.
    const std::string path = absolute_path(given_path).string();
    std::vector<LoadWarning> warnings;
    try {
        bool imported = false;
        const bool loaded = document_.replace_song([&](Song& song) {
            // A MIDI file comes in untitled and changed; anything else as it was saved.
            warnings = load_song_file(song, path, untitled_song_path(settings().song_folder));
            imported = song.modified;
        });
        if (!loaded) return false;
        // Changed, with no saved point: Save asks for a name, closing asks to save.
        if (imported) document_.mark_recovered();
        frame_.reduce_windows();
        frame_.refresh_windows();
        frame_.update_title();
    } catch (...) {
        // A file that cannot be read leaves the open song as it was; the box says which file
        // and why. The message wants the ordinary cursor (Load's wait cursor ends here).
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        show_load_error_box(path);
        return false;
    }
    // What the import had to change, told once the song is there.
    if (!warnings.empty()) {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        QStringList lines;
        for (const LoadWarning& warning : warnings)
            lines << QString::fromStdString(warning.text);
        show_warnings(frame_.parent, composer_text(S_LOAD_SONG), dialog_text(D_MIDI_IMPORT_DIFFERS),
                      lines);
    }
    return true;
}

bool FileCommands::recover_song(const std::string& autosaved_file, const std::string& original_path,
                                bool song_file) {
    frame_.stop_playback();
    if (!load_song(autosaved_file)) return false; // the error was shown
    document_.set_file(original_path, song_file);
    document_.mark_recovered();
    if (!song_file) last_song_folder_.clear();
    frame_.update_title();
    return true;
}

bool FileCommands::save() {
    if (!document_.has_file()) return save_as();
    return save_to(document_.path());
}

bool FileCommands::save_to(const std::string& path) {
    last_song_folder_ = folder_of(path);
    try {
        // The clean-up is a step of its own, so undo still finds the voices it removes.
        if (!document_.clean_up(-1, -1)) return false;
        write_song_file(document_.song(), path);
    } catch (...) {
        show_current_error();
        return false;
    }
    // The song takes the name only once the file is there: a failed Save As keeps the old one.
    document_.set_file(path, true);
    document_.mark_saved();
    frame_.update_title();
    return true;
}

bool FileCommands::save_as() {
    FileDialogRequest request;
    request.title = composer_text(S_SAVE_SONG);
    request.filter_id = S_SAVE_SONG_FILTER;
    request.name = to_qstring_path(path_without_extension(document_.path()));
    request.default_suffix = QStringLiteral("sn2");
    request.save = true;
    request.help_topic = HELP_SAVE_DIALOG;
    const auto choice = run_file_dialog(frame_.parent, request);
    if (!choice) return false;
    frame_.parent->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = save_to(absolute_path(from_qstring_path(choice->path)).string());
    QApplication::restoreOverrideCursor();
    return saved;
}

void FileCommands::export_song() {
    const Song& song = document_.song();
    FileDialogRequest request;
    request.title = composer_text(S_EXPORT_SONG);
    request.filter_id = S_MODULE_EXPORT_FILTER;
    request.name = to_qstring_path(path_without_extension(song.path));
    request.default_suffix = QString::fromLatin1(module_extension(ModuleType::S3M));
    request.save = true;
    request.help_topic = HELP_SAVE_DIALOG;
    request.type_changed = [](QFileDialog& dialog, int type) {
        dialog.setDefaultSuffix(QString::fromLatin1(module_extension(module_type_of(type))));
    };
    const auto choice = run_file_dialog(frame_.parent, request);
    if (!choice) return;
    frame_.parent->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<ExportWarning> warnings;
    try {
        const std::string target = from_qstring_path(choice->path);
        refuse_output_over_input(song.path, target);
        warnings = export_module_file(song, target, module_type_of(choice->type));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        show_current_error();
        return;
    }
    QApplication::restoreOverrideCursor();
    // What the module could not hold, told once the file is written.
    if (!warnings.empty()) show_module_warnings(frame_.parent, warnings);
}

void FileCommands::export_midi() {
    const Song& song = document_.song();
    FileDialogRequest request;
    request.title = composer_text(S_EXPORT_MIDI);
    request.filter_id = S_MIDI_EXPORT_FILTER;
    request.name = to_qstring_path(path_without_extension(song.path));
    request.default_suffix = QStringLiteral("mid");
    request.save = true;
    request.help_topic = HELP_MIDI_EXPORT_DIALOG;
    const auto choice = run_file_dialog(frame_.parent, request);
    if (!choice) return;
    frame_.parent->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<MidiWarning> warnings;
    try {
        warnings = export_midi_file(song, from_qstring_path(choice->path));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        show_current_error();
        return;
    }
    QApplication::restoreOverrideCursor();
    // What the file could not hold, in the same box as a module export's.
    QStringList lines;
    for (const MidiWarning& warning : warnings)
        lines << QString::fromStdString(midi_warning_text(warning));
    show_warnings(frame_.parent, composer_text(S_EXPORT_MIDI), dialog_text(D_MIDI_EXPORT_DIFFERS),
                  lines);
}

void FileCommands::export_audio() {
    Song& song = document_.song_for_engine();
    const auto target =
        ask_audio_export_file(frame_.parent, to_qstring_path(path_without_extension(song.path)));
    if (!target) return;
    try {
        refuse_output_over_input(song.path, from_qstring_path(*target));
    } catch (...) {
        show_current_error();
        return;
    }
    frame_.stop_playback();
    run_audio_export(frame_.parent, song, from_qstring_path(*target), audio_export_options());
}

} // namespace tunemill
