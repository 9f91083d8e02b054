// The Environment page of the Options sheet: the pattern windows' cell size, the range the PC
// keyboard plays, whether PC keys count by position or by letter, and the folders the song and
// instrument file dialogs open in.
#pragma once

#include "app/dialogs/options_page.h"

class QComboBox;
class QLineEdit;

namespace tunemill {

class MainWindow;

class EnvironmentPage : public OptionsPage {
    Q_OBJECT

  public:
    EnvironmentPage(MainWindow& frame, QWidget* parent = nullptr);
    void apply() override;
    int help_topic() const override;

  private:
    void choose_folder(QLineEdit* edit);

    MainWindow& frame_;
    QComboBox* cell_size_ = nullptr;
    QComboBox* range_ = nullptr;
    QComboBox* mapping_ = nullptr;
    QLineEdit* song_folder_ = nullptr;
    QLineEdit* instrument_folder_ = nullptr;
};

// The cell sizes of the list: Small, Medium, Large.
constexpr int CELL_SIZES[] = {6, 10, 15};

} // namespace tunemill
