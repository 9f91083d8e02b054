// The voices pane's pictures.
#include "app/pattern/voice_icons.h"

#include <QPainterPath>
#include <QStringList>

#include "app/shell/commands.h"
#include "instruments/instrument.h"
#include "strings/composer_strings.h"

namespace tunemill {

namespace {

// A hue per family of categories: winds, keys, guitars and bass, strings, synths, drums,
// tuned percussion, the rest.
QColor category_color(uint32_t category) {
    static const int hues[] = {
        200, 30, 45, 280, 25, 15, 0, 350, 330, 320,  // woodwinds .. background strings
        260, 170, 150, 190, 210,                      // pianos, synths
        60, 55, 40, 50, 70, 90,                       // drums
        100, 120, 110, 75, 300, 230, 140, 240,        // gongs .. sound FX
    };
    if (category >= NO_CATEGORY) return QColor(150, 150, 150);
    return QColor::fromHsv(hues[category % std::size(hues)], 120, 200);
}

} // namespace

QString category_name(uint32_t category) {
    if (category >= NO_CATEGORY) return {};
    const QStringList names = composer_text(S_CATEGORY_NAMES).split(QLatin1Char('\n'));
    return category < uint32_t(names.size()) ? names[int(category)] : QString();
}

void paint_category_icon(QPainter& painter, const QRect& rect, uint32_t category) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor color = category_color(category);
    painter.setPen(color.darker(160));
    painter.setBrush(color);
    painter.drawRoundedRect(box, 3, 3);
    const QString name = category_name(category);
    if (!name.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(rect.height() - 6);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect, Qt::AlignCenter, name.left(1));
    }
    painter.restore();
}

void paint_mute_mark(QPainter& painter, const QRect& rect) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal x = rect.left();
    const qreal y = rect.top();
    const qreal h = rect.height();
    // A loudspeaker, crossed out in red.
    QPainterPath speaker;
    speaker.moveTo(x + 1, y + h * 0.38);
    speaker.lineTo(x + 4, y + h * 0.38);
    speaker.lineTo(x + 8, y + h * 0.18);
    speaker.lineTo(x + 8, y + h * 0.82);
    speaker.lineTo(x + 4, y + h * 0.62);
    speaker.lineTo(x + 1, y + h * 0.62);
    speaker.closeSubpath();
    painter.fillPath(speaker, QColor(60, 60, 60));
    painter.setPen(QPen(QColor(200, 30, 30), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(x + 10, y + h * 0.35), QPointF(x + 15, y + h * 0.65));
    painter.drawLine(QPointF(x + 15, y + h * 0.35), QPointF(x + 10, y + h * 0.65));
    painter.restore();
}

} // namespace tunemill
