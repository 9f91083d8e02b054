// The lines of the pattern list and the playing sequence.
#include "app/sequence/line_delegate.h"

#include <QPainter>

#include "app/sequence/list_models.h"

namespace tunemill {

namespace {

constexpr int TEXT_LEFT = 4;          // the name's distance from the line's left edge
constexpr int REPEAT_MARK_RIGHT = 12; // the mark's distance from the line's right edge
constexpr int LINE_PADDING = 4;       // added to the text height

} // namespace

LineDelegate::LineDelegate(std::function<bool()> acts_on, QObject* parent)
    : QStyledItemDelegate(parent), acts_on_(std::move(acts_on)) {}

QFont LineDelegate::line_font(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

void LineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    painter->save();
    const QRect line = option.rect;
    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const bool highlighted = selected && acts_on_();
    painter->fillRect(line, highlighted ? palette.highlight() : palette.base());
    if (selected && !highlighted) {
        painter->setPen(palette.highlight().color());
        painter->drawRect(line.adjusted(0, 0, -1, -1));
    }
    painter->setPen(highlighted ? palette.highlightedText().color() : palette.text().color());
    const QFont font = line_font(option.font);
    painter->setFont(font);
    const bool marked = index.data(REPEAT_MARK_ROLE).toBool();
    const QFontMetrics metrics(font);
    const QString mark = QStringLiteral("\u00AB");
    const int mark_width = metrics.horizontalAdvance(mark);
    QRect text = line.adjusted(TEXT_LEFT, 0, -(REPEAT_MARK_RIGHT + mark_width + 4), 0);
    painter->drawText(
        text, Qt::AlignLeft | Qt::AlignVCenter,
        metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
    if (marked) {
        const QRect at(line.right() - REPEAT_MARK_RIGHT - mark_width, line.top(), mark_width,
                       line.height());
        painter->drawText(at, Qt::AlignLeft | Qt::AlignVCenter, mark);
    }
    painter->restore();
}

QSize LineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics metrics(line_font(option.font));
    return {metrics.horizontalAdvance(QStringLiteral("Pattern XXXVIII")),
            metrics.height() + LINE_PADDING};
}

} // namespace tunemill
