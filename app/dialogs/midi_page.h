// The MIDI Keyboard page of the Options sheet: the MIDI input devices with "(none)" first.
// Applied, the chosen device is opened (a failure is shown and leaves MIDI input off) and
// remembered for the next start.
#pragma once

#include "app/dialogs/options_page.h"

class QComboBox;

namespace tunemill {

class MidiInput;

class MidiPage : public OptionsPage {
    Q_OBJECT

  public:
    MidiPage(MidiInput* midi, QWidget* parent = nullptr);
    void apply() override;
    int help_topic() const override;

  private:
    MidiInput* midi_;
    QComboBox* devices_ = nullptr;
};

} // namespace tunemill
