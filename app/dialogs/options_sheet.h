// The Options sheet (View > Options): the Playback, Environment and MIDI Keyboard pages with OK,
// Cancel, Apply and Help. Apply and OK put the pages' values into effect at once; whatever button
// closes it, the settings are written afterwards.
#pragma once

#include <QDialog>
#include <vector>

class QDialogButtonBox;
class QTabWidget;

namespace tunemill {

class MainWindow;
class MidiInput;
class OptionsPage;
class OutputThread;

class OptionsSheet : public QDialog {
    Q_OBJECT

  public:
    // The output and the MIDI input may be null (no sound or MIDI layer): their pages then
    // still store the settings for the next start.
    OptionsSheet(MainWindow& frame, OutputThread* output, MidiInput* midi);

    QTabWidget* pages() const { return tabs_; }
    QDialogButtonBox* buttons() const { return buttons_; }
    // Applies every page (Apply, and OK before it closes).
    void apply();

  private:
    QTabWidget* tabs_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    std::vector<OptionsPage*> page_list_;
};

// Runs the sheet modally over the frame.
void run_options_sheet(MainWindow& frame, OutputThread* output, MidiInput* midi);

} // namespace tunemill
