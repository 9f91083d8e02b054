// The mouse in an edit pane: the left button draws or erases notes in the note pane, draws
// straight lines in a curve pane, or (with Shift or Ctrl, or after Edit > Transpose Block)
// transposes the block; the right button selects a block, scrolling when the mouse leaves the
// pane. Each drag that changes the song is one undo step.
#pragma once

#include <QPoint>
#include <QSize>
#include <functional>
#include <optional>

#include "app/pattern/editor.h"
#include "app/pattern/pane_painter.h"

namespace tunemill {

// The transposition limits of a block in the note pane: every note of the block (of the voice,
// or of all voices) stays within pitches 0..83. Starts at -83..+83.
std::pair<int, int> transpose_limits(const Pattern& pattern, const Block& block);

class PaneDrag {
  public:
    enum class Mode { NONE, EDIT, SELECT };

    PaneDrag(PatternEditor& editor, Pane pane) : editor_(editor), pane_(pane) {}

    Mode mode() const { return mode_; }
    bool transposing() const { return mode_ == Mode::EDIT && transposing_; }
    const DragPreview& preview() const { return preview_; }
    // The amount shown in the status bar during a transposing drag.
    int transpose_amount() const { return preview_.amount; }

    // The pane's size, for the cell under the mouse and the scrolling outside it.
    void set_pane_size(QSize size) { size_ = size; }

    // Button down at a point of the edit area: left (with shift_or_control) or right. Returns
    // whether a drag began.
    bool press(Qt::MouseButton button, bool shift_or_control, QPoint point);
    // The mouse moved while a button is held.
    void move(QPoint point);
    // Button up: a curve line or a transposition is applied.
    void release(QPoint point);
    // The 50 ms timer of a selection: scrolls when the mouse is outside the pane.
    void timer_tick();
    // Ends any drag without applying it.
    void cancel();

    // What the drag touched in the pane, for its repaint: [from, to) columns, and whether the
    // whole pane changed (a transposition preview).
    std::function<void(Tick from, Tick to)> repaint_columns;
    std::function<void()> repaint_pane;
    // An edit failed with an error (shown by the caller).
    std::function<void()> failed;

  private:
    struct Cell {
        Tick column = 0;
        int row = 0;
        bool operator==(const Cell&) const = default;
    };
    Cell cell_at(QPoint point) const;
    void edit_notes(Tick column);
    void select_to(Cell cell);
    void apply_line(Cell end);
    void apply_transposition();
    void repaint_line(const DragPreview& old_preview);

    PatternEditor& editor_;
    Pane pane_;
    QSize size_;
    Mode mode_ = Mode::NONE;
    Cell anchor_;
    Cell last_;
    QPoint mouse_;
    bool erase_ = false;
    bool transposing_ = false;
    int low_ = -83;
    int high_ = 83;
    uint32_t gesture_ = 0;
    DragPreview preview_;
};

} // namespace tunemill
