// The composer's file dialogs: the open and save dialogs with the filter lists of the string
// table, a help topic on F1, and room for extra controls below (the WAV export options).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace tunemill {

// A filter text of the string table ("description\npatterns\n..." with ";" between patterns)
// as Qt's filter list ("description (pattern pattern)").
QStringList file_dialog_filters(const QString& filter_text);

struct FileDialogRequest {
    QString title;
    uint32_t filter_id = 0; // string id of the filter list
    QString folder;         // where the dialog opens
    QString name;           // proposed file name (may carry a folder)
    QString default_suffix; // appended when the typed name has none
    bool save = false;
    int help_topic = -1;
    // Called once the dialog is built: extra controls go in here.
    std::function<void(QFileDialog&)> extend;
    // Called when the user confirmed the name, while the dialog and its extra controls exist.
    std::function<void(QFileDialog&)> accepted;
    // Called when the user picks another file type (index into the filter list).
    std::function<void(QFileDialog&, int)> type_changed;
};

struct FileChoice {
    QString path;
    int type = 0; // index of the chosen filter
};

// Runs the dialog modally over owner; none when cancelled.
std::optional<FileChoice> run_file_dialog(QWidget* owner, const FileDialogRequest& request);

} // namespace tunemill
