// The edit area of one pane ("TMNoteEditWindow", "TMVolumeEditWindow", "TMBalanceEditWindow",
// "TMTempoEditWindow"): draws itself with the pane painter, repainting only the columns that
// changed, and hands the mouse to its drag tool.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app/pattern/mouse_tools.h"

namespace tunemill {

class EditPane : public QWidget {
    Q_OBJECT

  public:
    EditPane(PatternEditor& editor, Pane pane, QWidget* parent = nullptr);

    Pane pane() const { return pane_; }
    PaneDrag& drag() { return drag_; }
    // Repaints the columns [from, to).
    void repaint_columns(Tick from, Tick to);
    void cancel_drag();

  signals:
    // The row under the mouse (-1 when it left the pane), for the bar's mark.
    void hoverRow(int row);
    // A transposing drag shows its amount (active false when it ended).
    void transposeChanged(bool active, int amount);
    // The right button went down: the pattern window takes the focus.
    void focusWanted();
    // An edit failed with an error that the window shows.
    void editFailed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void report_transposition();

    PatternEditor& editor_;
    Pane pane_;
    PaneDrag drag_;
    QTimer select_timer_;
    int hover_row_ = -1;
};

} // namespace tunemill
