// The pattern window's status bar: the cursor's measure and time, and the transposition while
// a block is being transposed.
#pragma once

#include <QStatusBar>
#include <cstdint>

#include "song/song.h"

class QLabel;

namespace tunemill {

class PatternStatusBar : public QStatusBar {
  public:
    explicit PatternStatusBar(QWidget* parent);

    // The measure and time of the cursor tick in the pattern (redrawn only when they change).
    void show_cursor(const Pattern& pattern, Tick cursor, int32_t ticks_per_beat,
                     int32_t beats_per_measure, int32_t overall_tempo);
    // The transposition of a block; inactive clears it.
    void show_transposition(bool active, int amount);
    // The text of a part as numbered by the window: 1 measure, 3 time, 5 transposition.
    QString part_text(int part) const;

  private:
    QLabel* measure_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* transposition_ = nullptr;
    int32_t shown_measure_ = -1;
    uint64_t shown_time_ = UINT64_MAX;
};

} // namespace tunemill
