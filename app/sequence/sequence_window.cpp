// The sequence window: its layout, the acting list, its keys and its place in the frame.
#include "app/sequence/sequence_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <optional>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/dialogs/name_dialog.h"
#include "app/document/document.h"
#include "app/live/player.h"
#include "app/sequence/arrangement.h"
#include "app/sequence/line_delegate.h"
#include "app/sequence/list_models.h"
#include "app/shell/main_window.h"
#include "app/shell/placement.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "settings/settings.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"

namespace tunemill {

namespace {

struct ButtonText {
    SequenceWindow::Button button;
    uint32_t text;
    const char* object_name;
};

constexpr ButtonText BUTTON_TEXTS[] = {
    {SequenceWindow::OPEN, D_OPEN_PATTERN, "Open"},
    {SequenceWindow::NEW_PATTERN, D_NEW_PATTERN, "NewPattern"},
    {SequenceWindow::RENAME, D_RENAME_PATTERN, "Rename"},
    {SequenceWindow::DELETE, D_DELETE_PATTERN, "Delete"},
    {SequenceWindow::INSERT, D_INSERT_IN_SEQUENCE, "Insert"},
    {SequenceWindow::SET_REPEAT, D_SET_REPEAT, "SetRepeat"},
    {SequenceWindow::PLAY_PATTERN, D_PLAY_PATTERN, "PlayPattern"},
    {SequenceWindow::PLAY_FROM, D_PLAY_FROM, "PlayFrom"},
};

QString pattern_name(const Song& song, size_t pattern) {
    return QString::fromStdString(windows1252_to_utf8(song.patterns[pattern].name));
}

} // namespace

SequenceWindow::SequenceWindow(Document& document, MainWindow& frame, EnginePlayer* player,
                               QWidget* parent)
    : QWidget(parent), document_(document), frame_(frame), player_(player) {
    setObjectName(QStringLiteral("TMSequenceWindow"));
    setWindowTitle(composer_text(S_SEQUENCE));
    // F1 in the frame opens the page of the active window.
    setProperty("helpTopic", int(HELP_SEQUENCE_WINDOW));
    build();
    // Both selections at the top; the patterns act first.
    select_row(pattern_list_, 0);
    select_row(sequence_list_, 0);
    acting_ = List::PATTERNS;
    pattern_list_->setFocus();
}

void SequenceWindow::build() {
    patterns_ = new PatternListModel(document_, this);
    sequence_ = new SequenceListModel(document_, this);
    auto make_list = [this](QAbstractItemModel* model, List list, const char* name) {
        auto* view = new QListView(this);
        view->setObjectName(QLatin1String(name));
        view->setModel(model);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setUniformItemSizes(true);
        view->setItemDelegate(new LineDelegate([this, list] { return acting_ == list; }, view));
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, list] { make_acting(list); });
        connect(view, &QListView::doubleClicked, this, &SequenceWindow::open);
        keep_selection_across_refills(view);
        return view;
    };
    pattern_list_ = make_list(patterns_, List::PATTERNS, "PatternList");
    sequence_list_ = make_list(sequence_, List::SEQUENCE, "SequenceList");

    auto* layout = new QHBoxLayout(this);
    auto column = [this](const QString& title, QListView* view) {
        auto* box = new QVBoxLayout;
        auto* label = new QLabel(title, this);
        label->setBuddy(view);
        box->addWidget(label);
        box->addWidget(view, 1);
        return box;
    };
    layout->addLayout(column(dialog_text(D_PATTERNS), pattern_list_), 1);

    auto* middle = new QVBoxLayout;
    middle->addSpacing(QFontMetrics(font()).height() + middle->spacing());
    for (const ButtonText& entry : BUTTON_TEXTS) {
        auto* button = new QPushButton(dialog_text(entry.text), this);
        button->setObjectName(QLatin1String(entry.object_name));
        button->setAutoDefault(false);
        buttons_[entry.button] = button;
        middle->addWidget(button);
        // Pattern commands, sequence commands and playing, in three groups.
        if (entry.button == DELETE || entry.button == SET_REPEAT) middle->addSpacing(12);
    }
    middle->addStretch(1);
    layout->addLayout(middle);
    layout->addLayout(column(dialog_text(D_PLAYING_SEQUENCE), sequence_list_), 1);

    const std::array<void (SequenceWindow::*)(), BUTTON_COUNT> actions = {
        &SequenceWindow::open,         &SequenceWindow::new_pattern, &SequenceWindow::rename,
        &SequenceWindow::remove,       &SequenceWindow::insert,      &SequenceWindow::set_repeat,
        &SequenceWindow::play_pattern, &SequenceWindow::play_from};
    for (int index = 0; index < BUTTON_COUNT; ++index)
        connect(buttons_[size_t(index)], &QPushButton::clicked, this, actions[size_t(index)]);

    // Tab runs from the patterns through the buttons to the sequence.
    QWidget::setTabOrder(pattern_list_, buttons_[0]);
    for (int index = 1; index < BUTTON_COUNT; ++index)
        QWidget::setTabOrder(buttons_[size_t(index - 1)], buttons_[size_t(index)]);
    QWidget::setTabOrder(buttons_[BUTTON_COUNT - 1], sequence_list_);
}

void SequenceWindow::keep_selection_across_refills(QListView* view) {
    // A refill keeps the top line and the selection, clamped to the new last line.
    auto kept = std::make_shared<std::pair<int, int>>(0, 0);
    connect(view->model(), &QAbstractItemModel::modelAboutToBeReset, this, [view, kept] {
        *kept = {view->currentIndex().row(), view->verticalScrollBar()->value()};
    });
    connect(view->model(), &QAbstractItemModel::modelReset, this, [this, view, kept] {
        const List list = acting_;
        select_row(view, std::min(std::max(kept->first, 0), view->model()->rowCount() - 1));
        acting_ = list;
        view->verticalScrollBar()->setValue(kept->second);
    });
}

int SequenceWindow::selected_row(const QListView* view) const {
    const QModelIndex current = view->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void SequenceWindow::select_row(QListView* view, int row) {
    view->setCurrentIndex(view->model()->index(row, 0));
    view->scrollTo(view->currentIndex());
}

void SequenceWindow::make_acting(List list) {
    if (acting_ == list) return;
    acting_ = list;
    pattern_list_->viewport()->update();
    sequence_list_->viewport()->update();
}

QListView* SequenceWindow::acting_view() const {
    return acting_ == List::PATTERNS ? pattern_list_ : sequence_list_;
}

void SequenceWindow::return_focus() {
    acting_view()->setFocus();
}

// --- The buttons ------------------------------------------------------------------------------

void SequenceWindow::open() {
    const Song& song = document_.song();
    const int row = selected_row(acting_view());
    return_focus();
    if (row < 0) return;
    if (acting_ == List::PATTERNS) {
        if (size_t(row) < song.patterns.size()) frame_.open_pattern_window(size_t(row));
    } else if (size_t(row) < song.sequence.size()) {
        frame_.open_pattern_window(song.sequence[size_t(row)]);
    }
}

void SequenceWindow::new_pattern() {
    const int row = std::max(selected_row(pattern_list_), 0);
    const std::optional<QString> name =
        ask_pattern_name(NameDialogKind::NEW_PATTERN, QString(), this);
    if (name) Arrangement(document_).new_pattern(size_t(row), *name);
    return_focus();
}

void SequenceWindow::rename() {
    const int row = selected_row(pattern_list_);
    if (acting_ != List::PATTERNS || row < 0 || size_t(row) >= document_.song().patterns.size()) {
        return_focus();
        return;
    }
    const std::optional<QString> name = ask_pattern_name(
        NameDialogKind::RENAME_PATTERN, pattern_name(document_.song(), size_t(row)), this);
    if (name) Arrangement(document_).rename_pattern(size_t(row), *name);
    return_focus();
}

void SequenceWindow::remove() {
    Arrangement arrangement(document_);
    const int row = selected_row(acting_view());
    if (acting_ == List::SEQUENCE) {
        if (row >= 0) arrangement.remove_entry(size_t(row));
    } else if (row >= 0 && size_t(row) < document_.song().patterns.size()) {
        QMessageBox box(QMessageBox::Question, QString::fromUtf8(PRODUCT_NAME),
                        composer_text(S_DELETE_PATTERN_QUESTION),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("DeletePatternQuestion"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() == QMessageBox::Yes) arrangement.delete_pattern(size_t(row));
    }
    return_focus();
}

void SequenceWindow::insert() {
    const int pattern = selected_row(pattern_list_);
    const int at = std::max(selected_row(sequence_list_), 0);
    if (pattern >= 0) {
        const std::optional<size_t> entry =
            Arrangement(document_).insert_entry(size_t(pattern), size_t(at));
        // The line after the new entry: pressing Insert again appends in order.
        if (entry) {
            const List list = acting_;
            select_row(sequence_list_, int(*entry) + 1);
            make_acting(list);
        }
    }
    return_focus();
}

void SequenceWindow::set_repeat() {
    const int row = selected_row(sequence_list_);
    if (row >= 0) Arrangement(document_).set_repeat(size_t(row));
    return_focus();
}

void SequenceWindow::play_pattern() {
    const Song& song = document_.song();
    const int row = selected_row(acting_view());
    std::optional<uint32_t> pattern;
    if (acting_ == List::PATTERNS && row >= 0 && size_t(row) < song.patterns.size())
        pattern = uint32_t(row);
    if (acting_ == List::SEQUENCE && row >= 0 && size_t(row) < song.sequence.size())
        pattern = song.sequence[size_t(row)];
    return_focus();
    if (!pattern || !player_) return;
    try {
        player_->output().play_pattern(*pattern);
    } catch (...) {
        show_current_error();
    }
}

void SequenceWindow::play_from() {
    const int row = selected_row(sequence_list_);
    return_focus();
    if (row < 0 || size_t(row) >= document_.song().sequence.size() || !player_) return;
    try {
        player_->output().play_song(uint32_t(row));
    } catch (...) {
        show_current_error();
    }
}

// --- Keys -------------------------------------------------------------------------------------

QPushButton* SequenceWindow::button_for_key(const QKeyEvent& key) const {
    if (key.modifiers() != Qt::AltModifier) return nullptr;
    const QKeySequence pressed(key.keyCombination());
    for (QPushButton* button : buttons_)
        if (QKeySequence::mnemonic(button->text()) == pressed) return button;
    return nullptr;
}

bool SequenceWindow::event(QEvent* event) {
    // The buttons' Alt keys win over the frame's menu titles while this window is active, as
    // in a dialog.
    if (event->type() == QEvent::ShortcutOverride &&
        button_for_key(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::ParentChange && !child_) {
        if (auto* child = qobject_cast<QMdiSubWindow*>(parentWidget())) attach_to(child);
    }
    if (event->type() == QEvent::KeyPress) {
        if (QPushButton* button = button_for_key(*static_cast<QKeyEvent*>(event))) {
            button->click();
            return true;
        }
    }
    return QWidget::event(event);
}

bool SequenceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == child_) {
        if (event->type() == QEvent::WindowStateChange && child_->isMaximized())
            QTimer::singleShot(0, child_, [child = child_] { child->showNormal(); });
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) store_place();
        return false;
    }
    const bool on_patterns = watched == pattern_list_ || watched == pattern_list_->viewport();
    const bool on_sequence = watched == sequence_list_ || watched == sequence_list_->viewport();
    if (!on_patterns && !on_sequence) return QWidget::eventFilter(watched, event);
    const List list = on_patterns ? List::PATTERNS : List::SEQUENCE;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
        make_acting(list);
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier) break;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            make_acting(list);
            open();
            return true;
        case Qt::Key_Delete:
            make_acting(list);
            remove();
            return true;
        case Qt::Key_Insert:
            insert();
            return true;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// --- Place ------------------------------------------------------------------------------------

void SequenceWindow::attach_to(QMdiSubWindow* child) {
    // Made by the frame's MDI area, not shown yet: no maximize button, as it never stays
    // maximized.
    child_ = child;
    child->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void SequenceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!child_ || placed_) return;
    // At the stored place, fitted into the frame's area.
    placed_ = true;
    QMdiArea* mdi = child_->mdiArea();
    const auto fitted =
        mdi ? fit_window_rect(settings().sequence_window_pos, mdi->viewport()->size())
            : std::nullopt;
    if (fitted)
        child_->setGeometry(*fitted);
    else
        child_->resize(child_->sizeHint().expandedTo(QSize(560, 360)));
    child_->installEventFilter(this);
    store_place();
}

void SequenceWindow::store_place() {
    if (!child_ || child_->isMaximized() || child_->isMinimized() || !child_->isVisible()) return;
    settings().sequence_window_pos = to_window_rect(child_->geometry());
}

} // namespace tunemill
