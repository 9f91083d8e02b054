// Painting, hit-testing and keys of the category strip.
#include "app/instruments/category_strip.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "instruments/instrument.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

constexpr int CELL = 34;  // a cell's side
constexpr int ICON = 26;  // the picture inside it
constexpr int MARGIN = 3; // around the cells

} // namespace

CategoryStrip::CategoryStrip(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

QSize CategoryStrip::sizeHint() const {
    return QSize(COLUMNS * CELL + 2 * MARGIN, ROWS * CELL + 2 * MARGIN);
}

QPoint CategoryStrip::origin() const {
    // Centred in the control.
    const QSize used = sizeHint();
    return QPoint(std::max(0, (width() - used.width()) / 2) + MARGIN,
                  std::max(0, (height() - used.height()) / 2) + MARGIN);
}

QRect CategoryStrip::cell_rect(uint32_t category) const {
    const QPoint at = origin();
    return QRect(at.x() + int(category % COLUMNS) * CELL, at.y() + int(category / COLUMNS) * CELL,
                 CELL, CELL);
}

int CategoryStrip::category_at(QPoint point) const {
    for (uint32_t category = 0; category <= NO_CATEGORY; ++category)
        if (cell_rect(category).contains(point)) return int(category);
    return -1;
}

void CategoryStrip::set_category(uint32_t category) {
    if (category > NO_CATEGORY) category = NO_CATEGORY;
    if (category == category_) return;
    update(cell_rect(category_));
    category_ = category;
    update(cell_rect(category_));
    emit categoryChanged(category_);
}

void CategoryStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPoint hover = mapFromGlobal(QCursor::pos());
    for (uint32_t category = 0; category <= NO_CATEGORY; ++category) {
        const QRectF cell = cell_rect(category);
        const bool chosen = category == category_;
        if (chosen || (underMouse() && cell.contains(hover))) {
            QPainterPath frame;
            frame.addRoundedRect(cell.adjusted(1, 1, -1, -1), 6, 6);
            QColor fill = palette().color(QPalette::Highlight);
            fill.setAlpha(chosen ? 70 : 30);
            painter.fillPath(frame, fill);
            if (chosen)
                painter.strokePath(
                    frame, QPen(palette().color(QPalette::Highlight), hasFocus() ? 2.2 : 1.4));
        }
        const qreal inset = (CELL - ICON) / 2.0;
        paint_category_icon(painter, cell.adjusted(inset, inset, -inset, -inset), category,
                            isEnabled());
    }
}

void CategoryStrip::mousePressEvent(QMouseEvent* event) {
    const int category = category_at(event->position().toPoint());
    if (category >= 0) set_category(uint32_t(category));
    setFocus(Qt::MouseFocusReason);
}

void CategoryStrip::keyPressEvent(QKeyEvent* event) {
    const int at = int(category_);
    int next = at;
    switch (event->key()) {
    case Qt::Key_Left:
        next = at - 1;
        break;
    case Qt::Key_Right:
        next = at + 1;
        break;
    case Qt::Key_Up:
        next = at - COLUMNS;
        break;
    case Qt::Key_Down:
        next = at + COLUMNS;
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = int(NO_CATEGORY);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (next >= 0 && next <= int(NO_CATEGORY)) set_category(uint32_t(next));
}

bool CategoryStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int category = category_at(help->pos());
        if (category < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const QString name = category == int(NO_CATEGORY) ? dialog_text(D_NO_CATEGORY)
                                                          : category_name(uint32_t(category));
        QToolTip::showText(help->globalPos(), name, this, cell_rect(uint32_t(category)));
        return true;
    }
    if (event->type() == QEvent::HoverMove || event->type() == QEvent::HoverLeave) update();
    return QWidget::event(event);
}

} // namespace tunemill
