// The strip of category pictures: the 29 categories and "no category" in two rows of 15. A click
// or the arrow keys choose a category (Home the first, End "no category"); the chosen cell is
// framed in the highlight colour.
#pragma once

#include <QWidget>
#include <cstdint>

namespace tunemill {

class CategoryStrip : public QWidget {
    Q_OBJECT

  public:
    static constexpr int COLUMNS = 15;
    static constexpr int ROWS = 2;

    explicit CategoryStrip(QWidget* parent = nullptr);

    uint32_t category() const { return category_; }
    void set_category(uint32_t category);
    // The cell of a category, in widget coordinates (for clicks in tests and tool tips).
    QRect cell_rect(uint32_t category) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    void categoryChanged(uint32_t category);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    int category_at(QPoint point) const;
    QPoint origin() const;

    uint32_t category_ = 0;
};

} // namespace tunemill
