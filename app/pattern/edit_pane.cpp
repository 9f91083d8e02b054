// The edit area of a pane.
#include "app/pattern/edit_pane.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace tunemill {

namespace {

const char* class_name(Pane pane) {
    switch (pane) {
    case Pane::VOLUME:
        return "TMVolumeEditWindow";
    case Pane::BALANCE:
        return "TMBalanceEditWindow";
    case Pane::TEMPO:
        return "TMTempoEditWindow";
    default:
        return "TMNoteEditWindow";
    }
}

} // namespace

EditPane::EditPane(PatternEditor& editor, Pane pane, QWidget* parent)
    : QWidget(parent), editor_(editor), pane_(pane), drag_(editor, pane) {
    setObjectName(QString::fromLatin1(class_name(pane)));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    drag_.repaint_columns = [this](Tick from, Tick to) { repaint_columns(from, to); };
    drag_.repaint_pane = [this] { update(); };
    drag_.failed = [this] { emit editFailed(); };
    select_timer_.setInterval(50);
    connect(&select_timer_, &QTimer::timeout, this, [this] { drag_.timer_tick(); });
}

void EditPane::repaint_columns(Tick from, Tick to) {
    const PatternGeometry& g = editor_.geometry();
    // The column left of the first visible one may reach in with a portamento join.
    const Tick low = std::max(from, g.first_tick > 0 ? g.first_tick - 1 : 0);
    const Tick high = std::min<Tick>(to, g.first_tick + Tick(g.visible_columns) + 2);
    if (low >= high) return;
    auto [left, right] = g.span_of(low, high);
    left = std::max(left, 0);
    right = std::min(right, width());
    if (right > left) update(QRect(left, 0, right - left, height()));
}

void EditPane::cancel_drag() {
    select_timer_.stop();
    drag_.cancel();
    unsetCursor();
    report_transposition();
}

void EditPane::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    PanePainter(editor_, pane_).paint(painter, event->rect(), drag_.preview());
}

void EditPane::mousePressEvent(QMouseEvent* event) {
    if (drag_.mode() != PaneDrag::Mode::NONE) return;
    const bool modified = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (event->button() == Qt::RightButton) emit focusWanted();
    if (!drag_.press(event->button(), modified, event->position().toPoint())) return;
    if (drag_.mode() == PaneDrag::Mode::SELECT) {
        setCursor(Qt::CrossCursor);
        select_timer_.start();
    }
    report_transposition();
}

void EditPane::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (rect().contains(point)) {
        const int row = editor_.geometry().row_at(editor_.rows(pane_), point.y());
        if (row != hover_row_) {
            hover_row_ = row;
            emit hoverRow(row);
        }
    } else if (hover_row_ != -1) {
        hover_row_ = -1;
        emit hoverRow(-1);
    }
    if (drag_.mode() == PaneDrag::Mode::NONE) return;
    drag_.move(point);
    report_transposition();
}

void EditPane::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_.mode() == PaneDrag::Mode::NONE) return;
    const bool right = drag_.mode() == PaneDrag::Mode::SELECT;
    if ((right && event->button() != Qt::RightButton) ||
        (!right && event->button() != Qt::LeftButton))
        return;
    select_timer_.stop();
    unsetCursor();
    drag_.release(event->position().toPoint());
    report_transposition();
}

void EditPane::leaveEvent(QEvent* event) {
    if (hover_row_ != -1) {
        hover_row_ = -1;
        emit hoverRow(-1);
    }
    QWidget::leaveEvent(event);
}

void EditPane::resizeEvent(QResizeEvent* event) {
    drag_.set_pane_size(size());
    const PatternGeometry& g = editor_.geometry();
    editor_.set_visible_rows(pane_, height() / g.cell_y);
    // All edit areas are as wide as the note pane's, which counts the visible columns.
    if (pane_ == Pane::NOTES) editor_.set_visible_columns(width() / g.cell_x);
    QWidget::resizeEvent(event);
}

void EditPane::report_transposition() {
    emit transposeChanged(drag_.transposing(), drag_.transpose_amount());
}

} // namespace tunemill
