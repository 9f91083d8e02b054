// Painting one line of the sequence window's lists: the name in a bold face, the selection in the
// highlight colours when its list is the one the buttons act on (else outlined), and the repeat
// mark « at the right of the sequence line where playback goes on.
#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace tunemill {

class LineDelegate : public QStyledItemDelegate {
  public:
    // `acts_on` tells whether the delegate's list is the one the buttons act on.
    LineDelegate(std::function<bool()> acts_on, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The face of the lines: the list's font in a semi-bold weight.
    static QFont line_font(const QFont& base);

  private:
    std::function<bool()> acts_on_;
};

} // namespace tunemill
