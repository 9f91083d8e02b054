// Rendering of the SVG art. The pictures are rendered once and kept.
#include "app/common/art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into the program's library; a static library must register them.
static void register_art() {
    Q_INIT_RESOURCE(art);
}

namespace tunemill {

namespace {

QPixmap render(const QString& resource, QSize size, qreal ratio) {
    static const bool registered = (register_art(), true);
    (void)registered;
    QSvgRenderer renderer(resource);
    QPixmap pixmap(size * ratio);
    pixmap.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

QIcon program_icon() {
    static const QIcon icon = [] {
        QIcon made;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            made.addPixmap(render(QStringLiteral(":/art/tunemill.svg"), QSize(size, size), 1.0));
        return made;
    }();
    return icon;
}

QPixmap splash_picture(qreal device_pixel_ratio) {
    return render(QStringLiteral(":/art/splash.svg"), QSize(520, 300), device_pixel_ratio);
}

QBrush mdi_background() {
    // A quiet slate, lighter at the top, so the pattern windows stand out against it.
    QLinearGradient gradient(0, 0, 0, 900);
    gradient.setColorAt(0.0, QColor(0x5a, 0x64, 0x80));
    gradient.setColorAt(1.0, QColor(0x3a, 0x40, 0x58));
    return QBrush(gradient);
}

} // namespace tunemill
