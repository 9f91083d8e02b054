// The warnings box: an icon and a sentence as in a message box, then the list of what changed in
// a read-only text that scrolls, since a large song can give many lines.
#include "app/dialogs/module_warnings_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "foundation/string_table.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

QStringList lines_of(const std::vector<ExportWarning>& warnings) {
    QStringList lines;
    for (const ExportWarning& warning : warnings)
        lines << QString::fromStdString(export_warning_text(warning));
    return lines;
}

} // namespace

ModuleWarningsBox::ModuleWarningsBox(const std::vector<ExportWarning>& warnings, QWidget* owner)
    : ModuleWarningsBox(composer_text(S_EXPORT_SONG), dialog_text(D_MODULE_DIFFERS),
                        lines_of(warnings), owner) {}

ModuleWarningsBox::ModuleWarningsBox(const QString& title, const QString& intro_text,
                                     const QStringList& warnings, QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("ModuleWarnings"));
    setWindowTitle(title);
    setModal(true);

    auto* icon = new QLabel(this);
    const int icon_size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                        .pixmap(icon_size, icon_size));
    icon->setAlignment(Qt::AlignTop);
    auto* intro = new QLabel(intro_text, this);
    intro->setObjectName(QStringLiteral("intro"));
    intro->setWordWrap(true);

    QStringList lines;
    for (const QString& warning : warnings)
        lines << QStringLiteral("• ") + warning;
    auto* list = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
    list->setObjectName(QStringLiteral("warnings"));
    list->setReadOnly(true);
    list->setWordWrapMode(QTextOption::WordWrap);
    // As tall as the lines (a warning takes two or three), up to twelve; more scroll.
    const int line_height = list->fontMetrics().lineSpacing();
    const int shown = std::clamp(int(warnings.size()) * 3, 3, 12);
    list->setFixedHeight(line_height * shown + 2 * list->frameWidth() +
                         2 * int(list->document()->documentMargin()));
    list->setMinimumWidth(list->fontMetrics().averageCharWidth() * 76);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(dialog_text(D_OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(intro);
    text->addWidget(list);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

void show_module_warnings(QWidget* owner, const std::vector<ExportWarning>& warnings) {
    if (warnings.empty()) return;
    ModuleWarningsBox box(warnings, owner);
    box.exec();
}

void show_warnings(QWidget* owner, const QString& title, const QString& intro,
                   const QStringList& lines) {
    if (lines.empty()) return;
    ModuleWarningsBox box(title, intro, lines, owner);
    box.exec();
}

} // namespace tunemill
