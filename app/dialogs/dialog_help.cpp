// F1 and the Help button of a dialog.
#include "app/dialogs/dialog_help.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QShortcut>

#include "app/common/help.h"

namespace tunemill {

void add_dialog_help(QDialog& dialog, int topic, QDialogButtonBox* buttons) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, &dialog, [topic] { open_help(topic); });
    if (buttons) {
        QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
        // The same mark in every language (the standard text would stay English).
        help->setText(QStringLiteral("?"));
        help->setToolTip(QStringLiteral("F1"));
        help->setAutoDefault(false);
        QObject::connect(buttons, &QDialogButtonBox::helpRequested, &dialog,
                         [topic] { open_help(topic); });
    }
}

} // namespace tunemill
