// The caption bars.
#include "app/pattern/captions.h"

#include <QLinearGradient>
#include <QPainter>

namespace tunemill {

void paint_caption(QWidget& widget, const QString& text, bool draggable) {
    QPainter painter(&widget);
    const QRect area = widget.rect();
    const QPalette& colors = widget.palette();
    QLinearGradient shade(area.topLeft(), area.bottomLeft());
    shade.setColorAt(0.0, colors.color(QPalette::Button).lighter(104));
    shade.setColorAt(1.0, colors.color(QPalette::Button).darker(112));
    painter.fillRect(area, shade);
    painter.setPen(colors.color(QPalette::Light));
    painter.drawLine(area.topLeft(), area.topRight());
    painter.setPen(colors.color(QPalette::Mid));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colors.color(QPalette::ButtonText));
    painter.drawText(area.adjusted(6, 0, -24, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, area.width() - 30));
    if (draggable) {
        // A grip at the right end says that the caption can be dragged.
        painter.setPen(colors.color(QPalette::Mid));
        const int middle = area.center().y();
        for (int line = -2; line <= 2; line += 2)
            painter.drawLine(area.right() - 16, middle + line, area.right() - 6, middle + line);
    }
}

CaptionBar::CaptionBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TMCaptionWindow"));
    setFixedHeight(CAPTION_HEIGHT);
}

void CaptionBar::set_text(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void CaptionBar::paintEvent(QPaintEvent*) {
    paint_caption(*this, text_, false);
}

CaptionHandle::CaptionHandle(Qt::Orientation orientation, QSplitter* parent)
    : QSplitterHandle(orientation, parent) {
    setObjectName(QStringLiteral("TMCaptionWindow"));
}

void CaptionHandle::set_text(const QString& text) {
    text_ = text;
    update();
}

void CaptionHandle::paintEvent(QPaintEvent*) {
    paint_caption(*this, text_, true);
}

CaptionSplitter::CaptionSplitter(QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setHandleWidth(CAPTION_HEIGHT);
    setChildrenCollapsible(false);
    // The border shows as a line while dragging and moves on release.
    setOpaqueResize(false);
}

QSplitterHandle* CaptionSplitter::createHandle() {
    return new CaptionHandle(orientation(), this);
}

CaptionHandle* CaptionSplitter::caption(int index) const {
    return static_cast<CaptionHandle*>(handle(index));
}

void CaptionSplitter::set_caption(int index, const QString& text) {
    if (CaptionHandle* handle = caption(index)) handle->set_text(text);
}

} // namespace tunemill
