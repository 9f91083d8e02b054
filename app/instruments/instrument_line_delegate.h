// Draws one instrument line of the instrument lists: the category picture, the name, a grey line
// of details beside it and, for instruments of the instrument bank, the bank mark at the right.
// It reads the rows' roles of InstrumentListModel (the browser's library list sets the same).
#pragma once

#include <QStyledItemDelegate>

namespace tunemill {

class InstrumentLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tunemill
