// Drawing of one edit pane of a pattern window, layer by layer as the pattern editor draws it:
// white background with the block's columns and the playback cell, the grid (rows, beats,
// measures, the pattern's end), the other voices in grey and the current voice in black (notes
// with their portamento joins, or curves as bars), the drag's preview and the cursor. Works in
// logical pixels on any QPainter, so a 2x screen is sharp without extra code.
#pragma once

#include <QColor>
#include <QRect>
#include <optional>

#include "app/pattern/editor.h"

class QPainter;

namespace tunemill {

// The colours of the pattern editor.
namespace pane_colors {
inline const QColor BACKGROUND{255, 255, 255};
inline const QColor BLOCK_ONE_VOICE{255, 255, 128};
inline const QColor BLOCK_ALL_VOICES{128, 255, 128};
inline const QColor PLAYBACK_CELL{255, 128, 128};
inline const QColor CURSOR{128, 128, 255};
inline const QColor OTHER_VOICES{128, 128, 128};
inline const QColor CURRENT_VOICE{0, 0, 0};
inline const QColor BEAT_LINE{160, 160, 160};
inline const QColor MEASURE_LINE{0, 0, 0};
// Row lines: a light grey rather than black, so the notes stand out of the grid.
inline const QColor ROW_LINE{222, 222, 222};
// The drag's preview (the line being drawn, the transposed block).
inline const QColor PREVIEW{40, 80, 220};
} // namespace pane_colors

// What a drag in the pane shows while the button is down.
struct DragPreview {
    enum class Kind { NONE, LINE, TRANSPOSE };
    Kind kind = Kind::NONE;
    // LINE: from the anchor cell to the current cell (columns, rows of the pane).
    Tick anchor_column = 0;
    int anchor_row = 0;
    Tick column = 0;
    int row = 0;
    // TRANSPOSE: the amount in rows (semitones or values) upwards.
    int amount = 0;
};

// The row of each column of a straight line from (a, row a) to (b, row b), rounded to the nearest
// row: what a curve drag writes.
int line_row(Tick a, int row_a, Tick b, int row_b, Tick column);

class PanePainter {
  public:
    PanePainter(const PatternEditor& editor, Pane pane) : editor_(editor), pane_(pane) {}

    // Draws the area (logical pixels of the pane's edit area) of a pane `size` big.
    void paint(QPainter& painter, const QRect& area, const DragPreview& preview) const;

    void paint_background(QPainter& painter, const QRect& area) const;
    void paint_grid(QPainter& painter, const QRect& area) const;
    void paint_content(QPainter& painter, const QRect& area) const;
    void paint_preview(QPainter& painter, const QRect& area, const DragPreview& preview) const;
    void paint_cursor(QPainter& painter, const QRect& area) const;

  private:
    // One voice's notes (or, shifted by `transpose`, those inside [from, to) only).
    void paint_notes(QPainter& painter, const QRect& area, const Voice& voice, const QColor& color,
                     int transpose = 0, Tick from = 0, Tick to = UINT32_MAX) const;
    void paint_curve(QPainter& painter, const QRect& area, const Voice* voice, const QColor& color,
                     int shift = 0, Tick from = 0, Tick to = UINT32_MAX) const;
    void paint_bar(QPainter& painter, const QRect& area, Tick from, Tick to, int row,
                   const QColor& color) const;
    // The first and last columns (exclusive) that reach into the area.
    std::pair<Tick, Tick> columns_in(const QRect& area) const;

    const PatternEditor& editor_;
    Pane pane_;
};

} // namespace tunemill
