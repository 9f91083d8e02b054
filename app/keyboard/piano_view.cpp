// Painting and mouse play of the keyboard window's piano.
#include "app/keyboard/piano_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace tunemill {

namespace {

const QColor SOUNDING_KEY(128, 128, 128);
const QColor KEY_LINE(40, 40, 40);
const QColor BLACK_KEY(20, 20, 20);
const QColor WHITE_LABEL_TEXT(70, 70, 70);
// The desktop's white key: the preferred width of a key when the window sizes itself.
constexpr int PREFERRED_WHITE_WIDTH = 16;
constexpr int MINIMUM_WIDTH = 587;
constexpr int MINIMUM_HEIGHT = 20;

} // namespace

PianoView::PianoView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Piano"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize PianoView::sizeHint() const {
    const int width = PianoGeometry::width_for(PREFERRED_WHITE_WIDTH);
    return {width, width / 10 + 20};
}

QSize PianoView::minimumSizeHint() const {
    return {MINIMUM_WIDTH, MINIMUM_HEIGHT};
}

void PianoView::set_sounding(const std::array<bool, PIANO_KEYS>& sounding) {
    const PianoGeometry geometry = geometry_now();
    for (uint32_t key = 0; key < PIANO_KEYS; ++key)
        if (sounding[key] != sounding_[key]) update(geometry.band(key).adjusted(-1, 0, 1, 0));
    sounding_ = sounding;
}

void PianoView::set_labels(const std::array<QString, PIANO_KEYS>& labels) {
    if (labels == labels_) return;
    labels_ = labels;
    update();
}

void PianoView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    const PianoGeometry geometry = geometry_now();
    painter.setFont(font());
    for (uint32_t key = 0; key < PIANO_KEYS; ++key) {
        if (PianoGeometry::is_black(key)) continue;
        const QRect rect = geometry.key_rect(key);
        if (!rect.intersects(event->rect())) continue;
        painter.fillRect(rect, sounding_[key] ? SOUNDING_KEY : QColor(Qt::white));
        painter.setPen(KEY_LINE);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        draw_label(painter, rect, labels_[key], false, sounding_[key]);
    }
    for (uint32_t key = 0; key < PIANO_KEYS; ++key) {
        if (!PianoGeometry::is_black(key)) continue;
        const QRect rect = geometry.key_rect(key);
        if (!rect.intersects(event->rect())) continue;
        painter.fillRect(rect, sounding_[key] ? SOUNDING_KEY : BLACK_KEY);
        painter.setPen(KEY_LINE);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        draw_label(painter, rect, labels_[key], true, sounding_[key]);
    }
}

void PianoView::draw_label(QPainter& painter, const QRect& key, const QString& label, bool black,
                           bool sounding) {
    if (label.isEmpty()) return;
    const int line = painter.fontMetrics().height();
    // The glyph near the lower end of the key, where a player's finger rests; only where it fits.
    const QRect area(key.left() + 1, key.bottom() - line - 2, key.width() - 2, line);
    if (area.top() < key.top() || painter.fontMetrics().horizontalAdvance(label) > key.width())
        return;
    painter.setPen(black ? (sounding ? QColor(Qt::white) : QColor(225, 225, 225))
                         : (sounding ? QColor(Qt::white) : WHITE_LABEL_TEXT));
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignBottom, label);
}

void PianoView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const int32_t key = geometry_now().key_at(at.x(), at.y());
    if (key < 0) return;
    mouse_key_ = key;
    emit keyPressed(uint32_t(key));
}

void PianoView::mouseMoveEvent(QMouseEvent* event) {
    if (mouse_key_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
    // Sliding over the keys plays each key the mouse reaches.
    const QPoint at = event->position().toPoint();
    const int32_t key = geometry_now().key_at(at.x(), at.y());
    if (key < 0 || key == mouse_key_) return;
    release_mouse_key();
    mouse_key_ = key;
    emit keyPressed(uint32_t(key));
}

void PianoView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) release_mouse_key();
}

void PianoView::release_mouse_key() {
    if (mouse_key_ < 0) return;
    const uint32_t key = uint32_t(mouse_key_);
    mouse_key_ = -1;
    emit keyReleased(key);
}

} // namespace tunemill
