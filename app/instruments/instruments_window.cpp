// The instruments window's layout, selection, placement and buttons.
#include "app/instruments/instruments_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/common/category_art.h"
#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/instruments/instrument_commands.h"
#include "app/instruments/instrument_line_delegate.h"
#include "app/instruments/instrument_list_model.h"
#include "app/instruments/preview_keys.h"
#include "app/shell/placement.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

InstrumentsWindow::InstrumentsWindow(Document& document, MidiRouter* router, QWidget* parent)
    : QWidget(parent), document_(document) {
    setObjectName(QStringLiteral("InstrumentsWindow"));
    setWindowTitle(composer_text(S_INSTRUMENTS));
    setWindowIcon(category_icon(10));
    // F1 in this window opens its own page.
    setProperty("helpTopic", int(HELP_INSTRUMENTS_WINDOW));

    model_ = new InstrumentListModel(document_, this);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("instruments"));
    list_->setModel(model_);
    list_->setItemDelegate(new InstrumentLineDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    empty_note_ = new QLabel(dialog_text(D_NO_INSTRUMENTS), this);
    empty_note_->setWordWrap(true);
    empty_note_->setForegroundRole(QPalette::PlaceholderText);

    struct ButtonSpec {
        uint32_t text;
        const char* name;
        Qt::Key hidden_key;
        void (InstrumentsWindow::*run)();
    };
    const ButtonSpec buttons[] = {
        {D_REPLACE, "replace", Qt::Key_R, &InstrumentsWindow::replace},
        {D_SAVE, "save", Qt::Key_S, &InstrumentsWindow::save},
        {D_EXPORT_AUDIO, "export", Qt::Key_E, &InstrumentsWindow::export_audio},
        {D_CHANGE_ICON_BUTTON, "changeIcon", Qt::Key_C, &InstrumentsWindow::change_icon},
        {D_RENAME, "rename", Qt::Key_N, &InstrumentsWindow::rename},
    };
    auto* column = new QVBoxLayout;
    for (const ButtonSpec& entry : buttons) {
        auto* button = new QPushButton(dialog_text(entry.text), this);
        button->setObjectName(QString::fromLatin1(entry.name));
        connect(button, &QPushButton::clicked, this, entry.run);
        // Alt with the English letter works in every language, besides the letter the text marks.
        alt_keys_[entry.hidden_key] = entry.run;
        if (const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
            !mnemonic.isEmpty())
            alt_keys_[mnemonic[0].key()] = entry.run;
        column->addWidget(button);
        buttons_.push_back(button);
    }
    column->addStretch();
    auto* left = new QVBoxLayout;
    left->addWidget(list_, 1);
    left->addWidget(empty_note_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);

    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        remember_selection();
        update_buttons();
    });
    connect(list_, &QListView::doubleClicked, this, &InstrumentsWindow::rename);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            &InstrumentsWindow::remember_selection);
    connect(model_, &QAbstractItemModel::modelReset, this, &InstrumentsWindow::restore_selection);
    connect(model_, &QAbstractItemModel::dataChanged, this, &InstrumentsWindow::update_buttons);
    if (model_->rowCount() > 0) list_->setCurrentIndex(model_->index(0));
    update_buttons();

    // The window's Alt keys come before the main window's menu titles (Alt+E is also Edit).
    list_->installEventFilter(this);
    for (QPushButton* button : buttons_)
        button->installEventFilter(this);

    keys_ = new PreviewKeys(
        this, [this]() -> int32_t { return selected() ? int32_t(*selected()) : -1; }, router);
    resize(480, 320);
}

InstrumentsWindow::~InstrumentsWindow() {
    // Nothing may call into this window while Qt takes it apart.
    if (QWidget* child = parentWidget()) child->removeEventFilter(this);
}

std::optional<size_t> InstrumentsWindow::selected() const {
    const QModelIndex current = list_->currentIndex();
    if (!current.isValid() || size_t(current.row()) >= document_.song().instruments.size())
        return std::nullopt;
    return size_t(current.row());
}

void InstrumentsWindow::select(size_t index) {
    if (index < size_t(model_->rowCount())) list_->setCurrentIndex(model_->index(int(index)));
}

void InstrumentsWindow::remember_selection() {
    const QModelIndex current = list_->currentIndex();
    if (current.isValid())
        selected_id_ = current.data(InstrumentListModel::InstrumentIdRole).toUInt();
}

void InstrumentsWindow::restore_selection() {
    // The same instrument where it is still there, else the nearest row.
    int row = model_->row_of_id(selected_id_);
    if (row < 0) row = std::min(std::max(list_->currentIndex().row(), 0), model_->rowCount() - 1);
    if (row >= 0) list_->setCurrentIndex(model_->index(row));
    update_buttons();
}

void InstrumentsWindow::update_buttons() {
    const bool any = selected().has_value();
    for (QPushButton* button : buttons_)
        button->setEnabled(any);
    empty_note_->setVisible(model_->rowCount() == 0);
}

void InstrumentsWindow::replace() {
    if (const std::optional<size_t> index = selected())
        if (const std::optional<size_t> now = replace_instrument(this, document_, *index))
            select(*now);
}

void InstrumentsWindow::save() {
    if (const std::optional<size_t> index = selected()) save_instrument(this, document_, *index);
}

void InstrumentsWindow::export_audio() {
    if (const std::optional<size_t> index = selected()) export_instrument(this, document_, *index);
}

void InstrumentsWindow::change_icon() {
    if (const std::optional<size_t> index = selected())
        if (const std::optional<size_t> now = change_instrument_icon(this, document_, *index))
            select(*now);
}

void InstrumentsWindow::rename() {
    if (const std::optional<size_t> index = selected())
        if (const std::optional<size_t> now = rename_song_instrument(this, document_, *index))
            select(*now);
}

void InstrumentsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    auto* child = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (placed_ || !child) return;
    placed_ = true;
    child->setWindowIcon(windowIcon());
    if (QMdiArea* area = child->mdiArea()) {
        if (const std::optional<QRect> rect =
                fit_window_rect(settings().instruments_window_pos, area->viewport()->size()))
            child->setGeometry(*rect);
    }
    // From now on every move and resize is kept, so the place is right however the program ends.
    child->installEventFilter(this);
}

bool InstrumentsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto found = alt_keys_.find(Qt::Key(key->key()));
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier &&
            found != alt_keys_.end()) {
            event->accept();
            if (event->type() == QEvent::KeyPress) (this->*found->second)();
            return true;
        }
    }
    if (watched == parentWidget() &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        auto* child = static_cast<QWidget*>(watched);
        if (!child->isMaximized() && !child->isMinimized())
            settings().instruments_window_pos = to_window_rect(child->geometry());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tunemill
