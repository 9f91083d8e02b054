// The OK and Cancel row.
#include "app/common/dialog_buttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "app/common/commands.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

QDialogButtonBox* ok_cancel_buttons(QDialog& dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(dialog_text(D_OK));
    buttons->button(QDialogButtonBox::Cancel)->setText(dialog_text(D_CANCEL));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

} // namespace tunemill
