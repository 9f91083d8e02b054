// The bar at the left of an edit pane ("TMNoteBarWindow", "TMVolumeBarWindow",
// "TMBalanceBarWindow", "TMTempoBarWindow"): the label of every row (Helmholtz pitch names with
// the triangle at pitch 36, volume values, balance with L and R, tempo in beats per minute),
// scrolled with its pane, and the mark of the row under the mouse.
#pragma once

#include <QWidget>

#include "app/pattern/editor.h"

namespace tunemill {

// The width of every bar, so that the edit areas of all panes line up.
constexpr int BAR_WIDTH = 44;

class PaneBar : public QWidget {
    Q_OBJECT

  public:
    PaneBar(PatternEditor& editor, Pane pane, QWidget* parent = nullptr);

    // The row marked (-1: none).
    void set_mark(int row);
    int mark() const { return mark_; }
    // The label of a row as the bar shows it.
    QString label(int row) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    PatternEditor& editor_;
    Pane pane_;
    int mark_ = -1;
};

} // namespace tunemill
