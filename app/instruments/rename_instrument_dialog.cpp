// Rename Instrument: one name field, OK and Cancel.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/commands.h"
#include "app/common/dialog_buttons.h"
#include "app/instruments/instrument_dialogs.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

std::optional<QString> ask_instrument_name(QWidget* parent, const QString& current) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RenameInstrumentDialog"));
    dialog.setWindowTitle(dialog_text(D_RENAME_INSTRUMENT));
    auto* label = new QLabel(dialog_text(D_INSTRUMENT_NAME), &dialog);
    auto* name = new QLineEdit(current, &dialog);
    name->setObjectName(QStringLiteral("name"));
    // Instrument files and song files keep 16 characters of a name.
    name->setMaxLength(16);
    name->selectAll();
    label->setBuddy(name);
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(name);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(300);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return name->text();
}

} // namespace tunemill
