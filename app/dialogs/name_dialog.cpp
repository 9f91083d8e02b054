// The pattern name dialogs.
#include "app/dialogs/name_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/commands.h"
#include "song/song.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

NameDialog::NameDialog(NameDialogKind kind, const QString& name, QWidget* parent)
    : QDialog(parent) {
    const bool fresh = kind == NameDialogKind::NEW_PATTERN;
    setObjectName(fresh ? QStringLiteral("NewPatternDialog")
                        : QStringLiteral("RenamePatternDialog"));
    setWindowTitle(dialog_text(fresh ? D_NEW_PATTERN_TITLE : D_RENAME_PATTERN_TITLE));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(dialog_text(fresh ? D_NEW_PATTERN_NAME : D_RENAME_PATTERN_NAME), this);
    field_ = new QLineEdit(name, this);
    field_->setObjectName(QStringLiteral("PatternName"));
    field_->setMaxLength(int(MAX_PATTERN_NAME));
    field_->setMinimumWidth(field_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 22);
    field_->selectAll();
    label->setBuddy(field_);
    layout->addWidget(label);
    layout->addWidget(field_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(dialog_text(D_OK), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(dialog_text(D_CANCEL), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString NameDialog::name() const {
    return field_->text();
}

std::optional<QString> ask_pattern_name(NameDialogKind kind, const QString& name, QWidget* parent) {
    NameDialog dialog(kind, name, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.name();
}

} // namespace tunemill
