// The bars beside the edit panes.
#include "app/pattern/pane_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/common/commands.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

const char* class_name(Pane pane) {
    switch (pane) {
    case Pane::VOLUME:
        return "TMVolumeBarWindow";
    case Pane::BALANCE:
        return "TMBalanceBarWindow";
    case Pane::TEMPO:
        return "TMTempoBarWindow";
    default:
        return "TMNoteBarWindow";
    }
}

} // namespace

PaneBar::PaneBar(PatternEditor& editor, Pane pane, QWidget* parent)
    : QWidget(parent), editor_(editor), pane_(pane) {
    setObjectName(QString::fromLatin1(class_name(pane)));
    setFixedWidth(BAR_WIDTH);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaneBar::set_mark(int row) {
    if (row == mark_) return;
    const int cell = editor_.geometry().cell_y;
    const PaneRows& rows = editor_.rows(pane_);
    for (int r : {mark_, row})
        if (r >= 0) update(QRect(width() - 6, (r - rows.first) * cell, 6, cell + 1));
    mark_ = row;
}

QString PaneBar::label(int row) const {
    switch (pane_) {
    case Pane::NOTES: {
        const PitchName name = pitch_name(pitch_of_row(row));
        return name.mark.isEmpty() ? name.name.trimmed() : name.name + name.mark;
    }
    case Pane::VOLUME:
        return volume_label(row);
    case Pane::BALANCE:
        return balance_label(row, composer_text(S_LEFT), composer_text(S_RIGHT));
    case Pane::TEMPO:
        return tempo_label(row, editor_.ticks_per_beat());
    }
    return {};
}

void PaneBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    const QColor face = palette().color(QPalette::Button);
    painter.fillRect(area, face);
    const int cell = editor_.geometry().cell_y;
    const PaneRows& rows = editor_.rows(pane_);
    QFont font = painter.font();
    font.setPixelSize(std::max(cell - 1, 6));
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::ButtonText));
    const int first = std::max(0, area.top() / cell + rows.first);
    const int last = std::min(rows.rows - 1, area.bottom() / cell + rows.first);
    const int text_right = width() - 8;
    for (int row = first; row <= last; ++row) {
        const int y = (row - rows.first) * cell;
        const QRect line(2, y, text_right - 2, cell);
        if (pane_ == Pane::NOTES) {
            // The name at the left, the octave mark right-aligned, the triangle at pitch 36.
            const int pitch = pitch_of_row(row);
            const PitchName name = pitch_name(pitch);
            painter.drawText(QRect(12, y, 20, cell), Qt::AlignLeft | Qt::AlignVCenter, name.name);
            painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, name.mark);
            if (pitch == MARKED_PITCH) {
                QPainterPath triangle;
                const qreal middle = y + cell / 2.0;
                const qreal half = std::max(2.0, cell / 2.0 - 1.5);
                triangle.moveTo(2, middle - half);
                triangle.lineTo(2 + half * 1.5, middle);
                triangle.lineTo(2, middle + half);
                triangle.closeSubpath();
                painter.save();
                painter.setRenderHint(QPainter::Antialiasing);
                painter.fillPath(triangle, palette().color(QPalette::ButtonText));
                painter.restore();
            }
        } else {
            painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, label(row));
        }
    }
    // The edge towards the edit area, and the mark of the row under the mouse.
    painter.fillRect(QRect(width() - 1, area.top(), 1, area.height()),
                     palette().color(QPalette::Mid));
    if (mark_ >= rows.first && mark_ < rows.rows) {
        const int y = (mark_ - rows.first) * cell;
        painter.fillRect(QRect(width() - 6, y + 1, 5, cell - 1),
                         palette().color(QPalette::Highlight));
    }
}

} // namespace tunemill
