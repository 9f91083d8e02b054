// The MIDI Keyboard page.
#include "app/dialogs/midi_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "platform/midi_input.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

MidiPage::MidiPage(MidiInput* midi, QWidget* parent) : OptionsPage(parent), midi_(midi) {
    setObjectName(QStringLiteral("MidiPage"));
    devices_ = new QComboBox(this);
    devices_->setObjectName(QStringLiteral("MidiDevice"));
    devices_->setMinimumWidth(280);
    // "(none)" comes first, in the program's language; the devices by their own names.
    devices_->addItem(composer_text(S_NONE), QVariant::fromValue(NO_MIDI_INPUT));
    if (midi) {
        for (const MidiDeviceInfo& device : midi->devices())
            if (device.id != NO_MIDI_INPUT)
                devices_->addItem(QString::fromStdString(device.name),
                                  QVariant::fromValue(device.id));
    }
    const int stored = devices_->findData(QVariant::fromValue(settings().midi_device_id));
    devices_->setCurrentIndex(stored >= 0 ? stored : 0);

    auto* hint = new QLabel(dialog_text(D_MIDI_NOTE_HINT), this);
    hint->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(dialog_text(D_MIDI_INPUT_DEVICE), devices_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addStretch(1);
    connect(devices_, &QComboBox::currentIndexChanged, this, &OptionsPage::edited);
}

int MidiPage::help_topic() const {
    return HELP_MIDI_OPTIONS;
}

void MidiPage::apply() {
    const uint32_t id = devices_->currentData().toUInt();
    settings().midi_device_id = id;
    // Keeps the device when it is the open one; a failed open is shown and leaves MIDI off.
    if (midi_) midi_->open(id);
}

} // namespace tunemill
