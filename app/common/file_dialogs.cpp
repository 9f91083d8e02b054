// The file dialogs. They are Qt's own dialogs, not the desktop's, so that every one looks and
// behaves alike, can carry extra controls and answers F1 with its help topic.
#include "app/common/file_dialogs.h"

#include <QFileDialog>
#include <QShortcut>

#include "app/common/commands.h"
#include "app/common/help.h"

namespace tunemill {

QStringList file_dialog_filters(const QString& filter_text) {
    const QStringList fields = filter_text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString patterns = fields[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(fields[i], patterns.simplified());
    }
    return filters;
}

namespace {

// The index of a filter as the dialog names it: whole, or (with the patterns hidden) its
// description only.
int filter_index(const QStringList& filters, const QString& shown) {
    for (qsizetype i = 0; i < filters.size(); ++i)
        if (filters[i] == shown || filters[i].startsWith(shown + QStringLiteral(" (")))
            return int(i);
    return -1;
}

} // namespace

std::optional<FileChoice> run_file_dialog(QWidget* owner, const FileDialogRequest& request) {
    QFileDialog dialog(owner, request.title);
    dialog.setObjectName(request.save ? QStringLiteral("SaveDialog")
                                      : QStringLiteral("OpenDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The descriptions already show their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = file_dialog_filters(composer_text(request.filter_id));
    dialog.setNameFilters(filters);
    if (!request.folder.isEmpty()) dialog.setDirectory(request.folder);
    if (!request.name.isEmpty()) dialog.selectFile(request.name);
    if (!request.default_suffix.isEmpty()) dialog.setDefaultSuffix(request.default_suffix);
    if (request.help_topic >= 0) {
        auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
        const int topic = request.help_topic;
        QObject::connect(help, &QShortcut::activated, &dialog, [topic] { open_help(topic); });
    }
    if (request.type_changed) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&](const QString& filter) {
                             request.type_changed(dialog, filter_index(filters, filter));
                         });
    }
    if (request.extend) request.extend(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    if (request.accepted) request.accepted(dialog);
    FileChoice choice;
    choice.path = dialog.selectedFiles().first();
    choice.type = filter_index(filters, dialog.selectedNameFilter());
    if (choice.type < 0) choice.type = 0;
    return choice;
}

} // namespace tunemill
