// Painting of an instrument line.
#include "app/instruments/instrument_line_delegate.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

#include "app/common/category_art.h"
#include "app/instruments/instrument_list_model.h"

namespace tunemill {

namespace {

constexpr int ICON = 22;
constexpr int LINE = 28;
constexpr int BANK_MARK_WIDTH = 9;
constexpr int BANK_MARK_HEIGHT = 12;

} // namespace

QSize InstrumentLineDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    return QSize(text.width() + ICON + 40, std::max(LINE, text.height() + 6));
}

void InstrumentLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QStyleOptionViewItem base = option;
    initStyleOption(&base, index);
    base.text.clear();
    base.icon = QIcon();
    // The style draws the background and the selection, we draw the rest.
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &base, painter, widget);

    painter->save();
    const QRect rect = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool enabled = option.state & QStyle::State_Enabled;
    const QRect icon(rect.left() + 3, rect.top() + (rect.height() - ICON) / 2, ICON, ICON);
    paint_category_icon(*painter, icon, index.data(InstrumentListModel::CategoryRole).toUInt(),
                        enabled);

    int right = rect.right() - 6;
    if (index.data(InstrumentListModel::FromBankRole).toBool()) {
        const QRect mark(rect.right() - 12 - BANK_MARK_WIDTH + 1,
                         rect.top() + (rect.height() - BANK_MARK_HEIGHT) / 2, BANK_MARK_WIDTH,
                         BANK_MARK_HEIGHT);
        paint_bank_mark(*painter, mark);
        right = mark.left() - 8;
    }
    const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
    const QColor ink =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QRect text_rect(icon.right() + 8, rect.top(), right - icon.right() - 8, rect.height());
    const QString details = index.data(InstrumentListModel::DetailsRole).toString();
    const QString name = index.data(Qt::DisplayRole).toString();
    QFont details_font = option.font;
    details_font.setPointSizeF(option.font.pointSizeF() * 0.85);
    const QFontMetrics name_metrics(option.font);
    const QFontMetrics details_metrics(details_font);
    const int name_width = name_metrics.horizontalAdvance(name);
    painter->setFont(option.font);
    painter->setPen(ink);
    painter->drawText(text_rect, Qt::AlignVCenter | Qt::AlignLeft,
                      name_metrics.elidedText(name, Qt::ElideRight, text_rect.width()));
    // The details in a column beside the name, shortened where the line is narrow.
    const int details_left = text_rect.left() + std::max(name_width + 16, 140);
    const int details_width = text_rect.right() - details_left;
    if (!details.isEmpty() && details_width >= 60) {
        QColor soft = ink;
        soft.setAlphaF(0.6f);
        painter->setFont(details_font);
        painter->setPen(soft);
        painter->drawText(QRect(details_left, rect.top(), details_width, rect.height()),
                          Qt::AlignVCenter | Qt::AlignLeft,
                          details_metrics.elidedText(details, Qt::ElideRight, details_width));
    }
    painter->restore();
}

} // namespace tunemill
