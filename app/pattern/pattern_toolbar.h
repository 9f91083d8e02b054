// The pattern window's toolbar: the pattern selector, the block commands, the note lengths and
// the playing commands. Each command button is the action of its command's record: it is greyed
// and checked as the record says, and a press asks the window to run the command.
#pragma once

#include <QToolBar>
#include <array>
#include <map>

#include "app/pattern/geometry.h"
#include "app/pattern/toolbar_icons.h"

class QAction;
class QComboBox;

namespace tunemill {

class CommandTable;
struct Song;

class PatternToolbar : public QToolBar {
    Q_OBJECT

  public:
    explicit PatternToolbar(QWidget* parent);

    QComboBox* selector() const { return selector_; }
    // The button of a command, or none.
    QAction* tool(int command) const;
    QAction* note_length_button(int index) const { return length_buttons_[size_t(index)]; }

    // Greys and checks the command buttons as their records say, and the note lengths as the
    // song's measure allows (`chosen` pressed).
    void refresh(const CommandTable& commands, const Song& song, int ticks_per_beat,
                 int beats_per_measure, int chosen);
    // The pattern names in the selector, the shown one current (-1: none).
    void refresh_selector(const Song& song, int shown);

  signals:
    void commandPressed(int command);
    void noteLengthChosen(int index);
    void patternChosen(size_t index);

  private:
    QAction* add_tool(int command, ToolIcon icon, uint32_t tip);

    QComboBox* selector_ = nullptr;
    std::map<int, QAction*> tools_;
    std::array<QAction*, NOTE_LENGTHS> length_buttons_{};
};

} // namespace tunemill
