// Change Icon: the category strip with the chosen category's name, OK and Cancel.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "app/common/dialog_buttons.h"
#include "app/instruments/category_strip.h"
#include "app/instruments/instrument_dialogs.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

std::optional<uint32_t> ask_category(QWidget* parent, uint32_t current,
                                     const QString& instrument_name) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ChangeIconDialog"));
    dialog.setWindowTitle(dialog_text(D_CHANGE_ICON) + QStringLiteral(" - ") + instrument_name);
    auto* strip = new CategoryStrip(&dialog);
    strip->setObjectName(QStringLiteral("categories"));
    strip->set_category(current);
    auto* name = new QLabel(&dialog);
    name->setObjectName(QStringLiteral("categoryName"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto show_name = [name](uint32_t category) {
        name->setText(QStringLiteral(" ") + category_name(category));
    };
    show_name(strip->category());
    QObject::connect(strip, &CategoryStrip::categoryChanged, name, show_name);
    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(strip);
    layout->addWidget(name);
    layout->addWidget(buttons);
    strip->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return strip->category();
}

} // namespace tunemill
