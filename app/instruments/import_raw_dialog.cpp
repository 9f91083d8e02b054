// Import Raw Instrument: sampling rate, resolution, mono or stereo and the header to skip.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/common/commands.h"
#include "app/common/dialog_buttons.h"
#include "app/common/help.h"
#include "app/dialogs/dialog_help.h"
#include "app/instruments/instrument_dialogs.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

constexpr uint32_t RATE_CHOICES[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};

} // namespace

uint32_t typed_raw_rate(const QString& text) {
    const QString typed = text.trimmed();
    bool number = false;
    const qulonglong value = typed.toULongLong(&number);
    if (number) return uint32_t(std::clamp<qulonglong>(value, 1, 65535));
    // Digits too many for any counter are a very large rate, not "no number".
    const bool digits = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                        [](QChar c) { return c.isDigit(); });
    return digits ? 65535 : 1;
}

uint64_t typed_header_size(const QString& text) {
    bool number = false;
    const qulonglong value = text.trimmed().toULongLong(&number);
    return number ? value : 0;
}

bool ask_raw_import_settings(QWidget* parent, RawImportSettings& settings) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ImportRawDialog"));
    dialog.setWindowTitle(dialog_text(D_IMPORT_RAW));

    auto* rate = new QComboBox(&dialog);
    rate->setObjectName(QStringLiteral("rate"));
    rate->setEditable(true);
    for (uint32_t choice : RATE_CHOICES)
        rate->addItem(QString::number(choice));
    rate->setCurrentText(QString::number(settings.rate));
    auto* rate_label = new QLabel(dialog_text(D_SAMPLING_RATE), &dialog);
    rate_label->setBuddy(rate);

    auto* resolution = new QGroupBox(dialog_text(D_SAMPLE_RESOLUTION), &dialog);
    auto* bits_8 = new QRadioButton(dialog_text(D_BITS_8), resolution);
    auto* bits_16 = new QRadioButton(dialog_text(D_BITS_16), resolution);
    bits_8->setObjectName(QStringLiteral("bits8"));
    bits_16->setObjectName(QStringLiteral("bits16"));
    (settings.sixteen_bit ? bits_16 : bits_8)->setChecked(true);
    auto* resolution_layout = new QVBoxLayout(resolution);
    resolution_layout->addWidget(bits_8);
    resolution_layout->addWidget(bits_16);

    auto* type = new QGroupBox(dialog_text(D_SAMPLE_TYPE), &dialog);
    auto* mono = new QRadioButton(dialog_text(D_MONO), type);
    auto* stereo = new QRadioButton(dialog_text(D_STEREO), type);
    mono->setObjectName(QStringLiteral("mono"));
    stereo->setObjectName(QStringLiteral("stereo"));
    (settings.stereo ? stereo : mono)->setChecked(true);
    auto* type_layout = new QVBoxLayout(type);
    type_layout->addWidget(mono);
    type_layout->addWidget(stereo);

    auto* header = new QLineEdit(QString::number(settings.header_size), &dialog);
    header->setObjectName(QStringLiteral("header"));
    auto* header_label = new QLabel(dialog_text(D_HEADER_SIZE), &dialog);
    header_label->setBuddy(header);

    QDialogButtonBox* buttons = ok_cancel_buttons(dialog);
    add_dialog_help(dialog, HELP_RAW_IMPORT, buttons);

    auto* groups = new QHBoxLayout;
    groups->addWidget(resolution);
    groups->addWidget(type);
    auto* fields = new QFormLayout;
    fields->addRow(rate_label, rate);
    fields->addRow(header_label, header);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(fields);
    layout->addLayout(groups);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return false;
    settings.rate = typed_raw_rate(rate->currentText());
    settings.sixteen_bit = bits_16->isChecked();
    settings.stereo = stereo->isChecked();
    settings.header_size = typed_header_size(header->text());
    return true;
}

} // namespace tunemill
