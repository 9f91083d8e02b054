// The voices pane of a pattern window ("TMVoicesWindow"): the pattern's voices as cells in rows of
// 22 pixels, each with its instrument's category icon, name and mute mark. A left click makes a
// voice current, a right click also toggles its mute flag, a double click plays it.
#pragma once

#include <QAbstractScrollArea>

#include "app/pattern/editor.h"

namespace tunemill {

constexpr int VOICE_ROW_HEIGHT = 22;
constexpr int VOICE_CELL_WIDTH = 175;

// Where the voices lie in a pane of the width: columns and their width.
struct VoiceGrid {
    int columns = 1;
    int cell_width = VOICE_CELL_WIDTH;
    // The voice at a point (of the unscrolled contents), or -1 for an empty cell.
    int voice_at(QPoint point, size_t voice_count) const;
    QRect cell(size_t voice) const;
};
VoiceGrid voice_grid(int pane_width);

class VoicesPane : public QAbstractScrollArea {
    Q_OBJECT

  public:
    VoicesPane(PatternEditor& editor, QWidget* parent = nullptr);

    // The voices changed: the scroll range follows and the pane redraws.
    void refresh();
    // Scrolls so that the current voice is visible.
    void show_current();
    // The cell of a voice in the viewport's coordinates.
    QRect voice_rect(size_t voice) const;

  signals:
    void muteRequested();
    void playRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    int voice_at(QPoint viewport_point) const;

    PatternEditor& editor_;
};

} // namespace tunemill
