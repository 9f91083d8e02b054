// The keyboard window's piano: draws the 84 keys with the sounding ones grey and the PC key
// glyphs on the keys they play, and turns mouse presses into keys (a press, a drag to another
// key, the release).
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "app/keyboard/piano_geometry.h"

namespace tunemill {

class PianoView : public QWidget {
    Q_OBJECT

  public:
    explicit PianoView(QWidget* parent = nullptr);

    PianoGeometry geometry_now() const { return PianoGeometry::for_size(width(), height()); }
    // Redraws the keys whose sounding state changed.
    void set_sounding(const std::array<bool, PIANO_KEYS>& sounding);
    const std::array<bool, PIANO_KEYS>& sounding() const { return sounding_; }
    // The glyph drawn on each key (empty: none).
    void set_labels(const std::array<QString, PIANO_KEYS>& labels);
    const std::array<QString, PIANO_KEYS>& labels() const { return labels_; }
    int32_t mouse_key() const { return mouse_key_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void keyPressed(uint32_t key);
    void keyReleased(uint32_t key);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void release_mouse_key();
    void draw_label(QPainter& painter, const QRect& key, const QString& label, bool black,
                    bool sounding);

    std::array<bool, PIANO_KEYS> sounding_{};
    std::array<QString, PIANO_KEYS> labels_;
    int32_t mouse_key_ = -1;
};

} // namespace tunemill
