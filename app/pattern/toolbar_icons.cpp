// The toolbar pictures, painted on a 16 by 16 grid scaled to the icon's size.
#include "app/pattern/toolbar_icons.h"

#include "app/common/painted_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace tunemill {

namespace {

using Drawing = std::function<void(QPainter&)>;

// The pictures are drawn on a 16 by 16 grid; a disabled one is drawn faint.
QIcon painted(Drawing drawing) {
    return painted_icon([drawing](QPainter& painter, const QRectF& rect, bool enabled) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(rect.topLeft());
        painter.scale(rect.width() / 16.0, rect.height() / 16.0);
        if (!enabled) painter.setOpacity(0.3);
        drawing(painter);
        painter.restore();
    });
}

const QColor INK(40, 40, 48);
const QColor PLAY(30, 150, 60);

void play_triangle(QPainter& p, qreal left, qreal top, qreal size) {
    QPainterPath path;
    path.moveTo(left, top);
    path.lineTo(left + size * 0.85, top + size / 2);
    path.lineTo(left, top + size);
    path.closeSubpath();
    p.fillPath(path, PLAY);
}

void note(QPainter& p, int index) {
    // Head, stem and flags of the note of length index (0 whole .. 5 thirty-second).
    p.setPen(QPen(INK, 1.3));
    const QRectF head(3.0, 10.5, 5.6, 4.0);
    p.save();
    p.translate(head.center());
    p.rotate(-20);
    p.translate(-head.center());
    if (index <= 1) {
        p.setBrush(Qt::NoBrush);
    } else {
        p.setBrush(INK);
    }
    p.drawEllipse(head);
    p.restore();
    if (index == 0) return;
    p.drawLine(QPointF(8.3, 12.0), QPointF(8.3, 1.5));
    for (int flag = 0; flag < index - 2; ++flag) {
        const qreal y = 1.5 + flag * 3.0;
        QPainterPath path;
        path.moveTo(8.3, y);
        path.cubicTo(10.5, y + 1.5, 13.0, y + 2.5, 11.5, y + 5.5);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

} // namespace

QIcon tool_icon(ToolIcon which) {
    switch (which) {
    case ToolIcon::CUT:
        return painted([](QPainter& p) {
            p.setPen(QPen(INK, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(1.5, 10.0, 4.5, 4.5));
            p.drawEllipse(QRectF(10.0, 10.0, 4.5, 4.5));
            p.drawLine(QPointF(5.2, 10.6), QPointF(11.5, 1.5));
            p.drawLine(QPointF(10.8, 10.6), QPointF(4.5, 1.5));
        });
    case ToolIcon::COPY:
        return painted([](QPainter& p) {
            p.setPen(QPen(INK, 1.1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 1.5, 8.5, 10.0));
            p.drawRect(QRectF(6.0, 4.5, 8.5, 10.0));
            for (int line = 0; line < 3; ++line)
                p.drawLine(QPointF(8.0, 7.5 + line * 2.2), QPointF(12.5, 7.5 + line * 2.2));
        });
    case ToolIcon::PASTE:
        return painted([](QPainter& p) {
            p.setPen(QPen(INK, 1.1));
            p.setBrush(QColor(200, 160, 100));
            p.drawRoundedRect(QRectF(2.0, 2.5, 10.0, 12.5), 1.2, 1.2);
            p.setBrush(QColor(120, 120, 130));
            p.drawRect(QRectF(4.5, 1.0, 5.0, 3.0));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(7.0, 6.5, 7.5, 8.5));
        });
    case ToolIcon::DELETE_BLOCK:
        return painted([](QPainter& p) {
            p.setPen(QPen(QColor(200, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        });
    case ToolIcon::PLAY_PATTERN:
        return painted([](QPainter& p) { play_triangle(p, 3.5, 2.0, 12.0); });
    case ToolIcon::PLAY_BLOCK:
        return painted([](QPainter& p) {
            p.setPen(QPen(INK, 1.3));
            p.drawLine(QPointF(1.5, 2.0), QPointF(1.5, 14.0));
            p.drawLine(QPointF(1.5, 2.0), QPointF(3.5, 2.0));
            p.drawLine(QPointF(1.5, 14.0), QPointF(3.5, 14.0));
            p.drawLine(QPointF(14.5, 2.0), QPointF(14.5, 14.0));
            p.drawLine(QPointF(14.5, 2.0), QPointF(12.5, 2.0));
            p.drawLine(QPointF(14.5, 14.0), QPointF(12.5, 14.0));
            play_triangle(p, 5.0, 4.0, 8.0);
        });
    case ToolIcon::PLAY_VOICE:
        return painted([](QPainter& p) {
            play_triangle(p, 1.0, 3.0, 10.0);
            p.setPen(QPen(INK, 1.2));
            p.setBrush(INK);
            p.drawEllipse(QRectF(9.5, 11.0, 4.0, 3.0));
            p.drawLine(QPointF(13.3, 12.5), QPointF(13.3, 3.0));
        });
    case ToolIcon::STOP:
        return painted([](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 60, 70));
            p.drawRoundedRect(QRectF(3.0, 3.0, 10.0, 10.0), 1.0, 1.0);
        });
    case ToolIcon::FOLLOW:
        return painted([](QPainter& p) {
            p.setPen(QPen(INK, 1.2));
            p.drawLine(QPointF(2.0, 2.0), QPointF(2.0, 14.0));
            p.drawLine(QPointF(14.0, 2.0), QPointF(14.0, 14.0));
            p.setPen(QPen(QColor(200, 60, 60), 1.6));
            p.drawLine(QPointF(6.0, 2.5), QPointF(6.0, 13.5));
            QPainterPath arrow;
            arrow.moveTo(7.5, 8.0);
            arrow.lineTo(12.5, 8.0);
            p.setPen(QPen(INK, 1.4));
            p.drawPath(arrow);
            QPainterPath head;
            head.moveTo(12.8, 8.0);
            head.lineTo(10.0, 5.5);
            head.lineTo(10.0, 10.5);
            head.closeSubpath();
            p.fillPath(head, INK);
        });
    }
    return {};
}

QIcon note_length_icon(int index) {
    return painted([index](QPainter& p) { note(p, index); });
}

} // namespace tunemill
