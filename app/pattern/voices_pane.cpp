// The voices pane.
#include "app/pattern/voices_pane.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOption>

#include "app/common/category_art.h"
#include "foundation/text.h"
#include "instruments/instrument.h"

namespace tunemill {

namespace {

// The category icon and the mute mark as the voices pane shows them (bitmap 1001's sizes).
constexpr int CATEGORY_ICON_WIDTH = 21;
constexpr int CATEGORY_ICON_HEIGHT = 18;
constexpr int MUTE_MARK_WIDTH = 16;
constexpr int MUTE_MARK_HEIGHT = 18;

} // namespace

VoiceGrid voice_grid(int pane_width) {
    VoiceGrid grid;
    grid.columns = std::max(1, (pane_width + 4) / VOICE_CELL_WIDTH);
    grid.cell_width = std::max(1, (pane_width + 4) / grid.columns);
    return grid;
}

int VoiceGrid::voice_at(QPoint point, size_t voice_count) const {
    if (point.x() < 0 || point.y() < 0) return -1;
    const int column = point.x() / cell_width;
    const int row = point.y() / VOICE_ROW_HEIGHT;
    if (column >= columns) return -1;
    const size_t voice = size_t(row) * size_t(columns) + size_t(column);
    return voice < voice_count ? int(voice) : -1;
}

QRect VoiceGrid::cell(size_t voice) const {
    const int row = int(voice / size_t(columns));
    const int column = int(voice % size_t(columns));
    return QRect(column * cell_width, row * VOICE_ROW_HEIGHT, cell_width - 4, VOICE_ROW_HEIGHT);
}

VoicesPane::VoicesPane(PatternEditor& editor, QWidget* parent)
    : QAbstractScrollArea(parent), editor_(editor) {
    setObjectName(QStringLiteral("TMVoicesWindow"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
}

void VoicesPane::refresh() {
    const VoiceGrid grid = voice_grid(viewport()->width());
    const int count = int(editor_.pattern().voices.size());
    const int rows = (count + grid.columns - 1) / grid.columns;
    const int visible = std::max(1, viewport()->height() / VOICE_ROW_HEIGHT);
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, rows - visible));
    bar->setPageStep(visible + 1);
    viewport()->update();
}

void VoicesPane::show_current() {
    if (!editor_.has_voices()) return;
    const VoiceGrid grid = voice_grid(viewport()->width());
    const int row = int(editor_.voice() / size_t(grid.columns));
    const int visible = std::max(1, viewport()->height() / VOICE_ROW_HEIGHT);
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + visible)
        bar->setValue(row - visible + 1);
}

QRect VoicesPane::voice_rect(size_t voice) const {
    return voice_grid(viewport()->width())
        .cell(voice)
        .translated(0, -verticalScrollBar()->value() * VOICE_ROW_HEIGHT);
}

int VoicesPane::voice_at(QPoint viewport_point) const {
    const QPoint contents =
        viewport_point + QPoint(0, verticalScrollBar()->value() * VOICE_ROW_HEIGHT);
    return voice_grid(viewport()->width()).voice_at(contents, editor_.pattern().voices.size());
}

void VoicesPane::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colors = palette();
    painter.fillRect(viewport()->rect(), colors.color(QPalette::Window));
    const Pattern& pattern = editor_.pattern();
    const Song& song = editor_.song();
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    for (size_t v = 0; v < pattern.voices.size(); ++v) {
        const QRect cell = voice_rect(v);
        if (cell.bottom() < 0 || cell.top() > viewport()->height()) continue;
        const Voice& voice = pattern.voices[v];
        const bool current = editor_.has_voices() && v == editor_.voice();
        // A raised button-face cell; the current voice's stands out with the highlight colour
        // and a white name.
        QStyleOptionFrame frame;
        frame.rect = cell;
        frame.palette = colors;
        frame.state = current ? QStyle::State_Sunken : QStyle::State_Raised;
        frame.lineWidth = 1;
        painter.fillRect(cell, current ? colors.color(QPalette::Highlight)
                                       : colors.color(QPalette::Button));
        style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
        uint32_t category = NO_CATEGORY;
        QString name;
        if (voice.instrument < song.instruments.size()) {
            const Instrument& instrument = song.instruments[voice.instrument];
            category = instrument.category;
            name = QString::fromStdString(windows1252_to_utf8(instrument.name)).left(31);
        }
        const QRect icon(cell.left() + 2, cell.top() + 2, CATEGORY_ICON_WIDTH,
                         CATEGORY_ICON_HEIGHT);
        paint_category_icon(painter, QRectF(icon), category);
        int text_right = cell.right() - 3;
        if (voice.muted) {
            const QRect mark(cell.right() - MUTE_MARK_WIDTH - 2, cell.top() + 2, MUTE_MARK_WIDTH,
                             MUTE_MARK_HEIGHT);
            paint_mute_mark(painter, QRectF(mark));
            text_right = mark.left() - 2;
        }
        painter.setPen(current ? colors.color(QPalette::HighlightedText)
                               : colors.color(QPalette::ButtonText));
        const QRect text(icon.right() + 6, cell.top(), text_right - icon.right() - 6,
                         cell.height());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         painter.fontMetrics().elidedText(name, Qt::ElideRight, text.width()));
    }
}

void VoicesPane::mousePressEvent(QMouseEvent* event) {
    const int voice = voice_at(event->position().toPoint());
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    if (voice >= 0) {
        editor_.set_voice(size_t(voice));
        show_current();
    }
    // A right click (also on an empty cell) toggles the current voice's mute flag.
    if (event->button() == Qt::RightButton && editor_.has_voices()) emit muteRequested();
}

void VoicesPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (voice_at(event->position().toPoint()) >= 0) emit playRequested();
}

void VoicesPane::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    refresh();
}

void VoicesPane::scrollContentsBy(int, int) {
    viewport()->update();
}

} // namespace tunemill
