// The icon engine of the pictures drawn in code.
#include "app/common/painted_icon.h"

#include <QIconEngine>
#include <QPixmap>

namespace tunemill {

namespace {

class PaintedIcon : public QIconEngine {
  public:
    explicit PaintedIcon(IconPainter painter) : painter_(std::move(painter)) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter_(*painter, rect, mode != QIcon::Disabled);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    // The size asked for is in device pixels already; the scale tells how many make a point.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        pixmap.setDevicePixelRatio(scale);
        QPainter painter(&pixmap);
        painter_(painter, QRectF(QPointF(0, 0), QSizeF(size) / scale), mode != QIcon::Disabled);
        return pixmap;
    }
    QIconEngine* clone() const override { return new PaintedIcon(painter_); }

  private:
    IconPainter painter_;
};

} // namespace

QIcon painted_icon(IconPainter painter) {
    return QIcon(new PaintedIcon(std::move(painter)));
}

} // namespace tunemill
