// The main frame: menus and their rules, the accelerator routing, the document commands and the
// bookkeeping of the child windows.
#include "app/shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QUndoView>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/common/art.h"
#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/document/song_io.h"
#include "app/document/song_paths.h"
#include "app/live/live_input.h"
#include "app/live/player.h"
#include "app/shell/about_box.h"
#include "app/shell/commands.h"
#include "app/shell/frame_keys.h"
#include "app/shell/placement.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "loading/song_loader.h"
#include "settings/settings.h"
#include "song/song_lock.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

PatternView* pattern_view_of(QMdiSubWindow* child) {
    return child ? dynamic_cast<PatternView*>(child->widget()) : nullptr;
}

} // namespace

MainWindow::MainWindow(Document& document, Player* player, ChildFactories factories,
                       QWidget* parent)
    : QMainWindow(parent), document_(document), player_(player), factories_(std::move(factories)),
      files_(document, FileCommands::Frame{
                           this, [this] { stop_playback(); }, [this] { reduce_pattern_windows(); },
                           [this] { refresh_views(); }, [this] { update_title(); }}) {
    setObjectName(QStringLiteral("TMMainWindow"));
    setWindowTitle(QString::fromUtf8(PRODUCT_NAME));
    setWindowIcon(program_icon());
    mdi_ = new FrameArea(this);
    mdi_->setObjectName(QStringLiteral("MdiArea"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setBackground(mdi_background());
    setCentralWidget(mdi_);
    build_commands();
    build_menus();
    key_router_ = new KeyRouter(this);
    qApp->installEventFilter(key_router_);
    connect(&document_, &Document::modifiedChanged, this, [this] { update_title(); });
    connect(&document_, &Document::patternInserted, this, &MainWindow::pattern_inserted);
    connect(&document_, &Document::patternDeleted, this, &MainWindow::pattern_deleted);
    // MIDI notes go to the window that takes them and was focused last.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (QWidget* window = midi_window_of(now); window && window->window() == this)
            midi_router_.set_target(window);
    });
    connect(&document_.history(), &QUndoStack::indexChanged, this, [this] { update_undo_items(); });
    connect(&document_.history(), &QUndoStack::cleanChanged, this, [this] { update_undo_items(); });
    update_undo_items();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(key_router_);
}

QAction* MainWindow::action(int command) const {
    auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu* MainWindow::popup(int index) const {
    return index >= 0 && size_t(index) < popups_.size() ? popups_[size_t(index)] : nullptr;
}

void MainWindow::build_menus() {
    auto add_item = [this](QMenu* menu, const MenuEntry& entry) {
        QAction* item = menu->addAction(menu_text(uint32_t(entry.command)));
        item->setObjectName(QStringLiteral("command%1").arg(entry.command));
        item->setData(entry.command);
        item->setCheckable(entry.checkable);
        const int command = entry.command;
        connect(item, &QAction::triggered, this, [this, command] { run_command(command); });
        actions_[command] = item;
    };
    for (int index = 0; index < POPUP_COUNT; ++index) {
        QMenu* menu = menuBar()->addMenu(menu_text(POPUP_TEXT_BASE + uint32_t(index)));
        menu->setObjectName(QStringLiteral("popup%1").arg(index));
        menu->installEventFilter(new PopupHelp(menu, index));
        popups_.push_back(menu);
        for (const MenuEntry& entry : popup_entries(index)) {
            if (entry.command == SEPARATOR) {
                menu->addSeparator();
            } else if (entry.command == PORTAMENTO_SUBMENU) {
                portamento_menu_ = menu->addMenu(menu_text(PORTAMENTO_TEXT));
                portamento_menu_->setObjectName(QStringLiteral("portamento"));
                for (const MenuEntry& sub : portamento_entries())
                    add_item(portamento_menu_, sub);
            } else {
                add_item(menu, entry);
            }
        }
        connect(menu, &QMenu::aboutToShow, this, [this, index] {
            help_context_ = index;
            update_popup(index);
            if (index == WINDOW_POPUP) fill_window_list();
        });
    }
    // Every popup starts in its proper state, so nothing looks available that is not.
    for (int index = 0; index < POPUP_COUNT; ++index)
        update_popup(index);
}

void MainWindow::set_enabled(int command, bool enabled) {
    if (QAction* item = action(command)) item->setEnabled(enabled);
}

void MainWindow::set_checked(int command, bool checked) {
    if (QAction* item = action(command)) item->setChecked(checked);
}

void MainWindow::update_item(const MenuEntry& entry) {
    const Song& song = document_.song();
    if (window_command(entry.command)) {
        // The commands the active window owns follow its answers.
        const CommandTarget* target = active_command_target();
        set_enabled(entry.command, target && target->command_enabled(entry.command, song));
        set_checked(entry.command, target && target->command_checked(entry.command, song));
        return;
    }
    set_enabled(entry.command, commands_.enabled(entry.command, song));
    if (entry.checkable) set_checked(entry.command, commands_.checked(entry.command, song));
}

void MainWindow::update_popup(int popup_index) {
    for (const MenuEntry& entry : popup_entries(popup_index))
        if (entry.command > 0) update_item(entry);
    if (popup_index != EDIT_POPUP) return;
    for (const MenuEntry& entry : portamento_entries())
        update_item(entry);
    portamento_menu_->setEnabled(action(CMD_SET_PORTAMENTO)->isEnabled());
    update_undo_items();
}

void MainWindow::fill_window_list() {
    QMenu* menu = popup(WINDOW_POPUP);
    for (QAction* entry : window_list_actions_) {
        menu->removeAction(entry);
        entry->deleteLater();
    }
    window_list_actions_.clear();
    const QList<QMdiSubWindow*> children = mdi_->subWindowList();
    if (children.isEmpty()) return;
    window_list_actions_.push_back(menu->addSeparator());
    int number = 1;
    for (QMdiSubWindow* child : children) {
        const QString label = number < 10
                                  ? QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle())
                                  : QStringLiteral("%1 %2").arg(number).arg(child->windowTitle());
        QAction* entry = menu->addAction(label);
        entry->setCheckable(true);
        entry->setChecked(child == mdi_->activeSubWindow());
        QPointer<QMdiSubWindow> target(child);
        connect(entry, &QAction::triggered, this, [this, target] {
            if (target) mdi_->setActiveSubWindow(target);
        });
        window_list_actions_.push_back(entry);
        ++number;
    }
}

void MainWindow::run_key_command(int command) {
    const int popup_index = popup_of(command);
    if (popup_index >= 0) {
        update_popup(popup_index);
        QAction* item = action(command);
        if (item && !item->isEnabled()) return;
    }
    run_command(command);
}

void MainWindow::build_commands() {
    using Rule = CommandRecord::Rule;
    auto add = [this](int id, std::function<void()> run, Rule enabled = {}, Rule checked = {}) {
        CommandRecord record{id, std::move(run)};
        if (enabled) record.enabled = std::move(enabled);
        if (checked) record.checked = std::move(checked);
        commands_.add(std::move(record));
    };
    // The windows and dialogs of the View popup are there once their makers are.
    auto made_by = [](const auto& factory) {
        return [&factory](const Song&) { return bool(factory); };
    };
    auto play = [this](std::function<void(Player&)> action) {
        return [this, action] {
            if (player_) action(*player_);
        };
    };
    add(CMD_NEW, [this] { files_.new_song(); });
    add(CMD_LOAD, [this] { files_.load_command(); });
    add(CMD_SAVE, [this] { files_.save(); });
    add(CMD_SAVE_AS, [this] { files_.save_as(); });
    add(CMD_EXPORT, [this] { files_.export_song(); });
    add(CMD_EXPORT_AUDIO, [this] { files_.export_audio(); });
    add(CMD_EXIT, [this] { close(); });
    add(
        CMD_UNDO, [this] { document_.undo(); },
        [this](const Song&) { return document_.history().canUndo(); });
    add(
        CMD_REDO, [this] { document_.redo(); },
        [this](const Song&) { return document_.history().canRedo(); });
    add(CMD_HISTORY, [this] { show_history(); });
    add(
        CMD_ALL_VOICES,
        [this] {
            settings().all_voices = settings().all_voices ? 0 : 1;
            for (PatternView* window : pattern_windows())
                window->refresh_block_marking();
        },
        {}, [](const Song&) { return settings().all_voices != 0; });
    add(
        CMD_PATTERN, [this] { open_pattern_window(0); }, made_by(factories_.pattern));
    add(
        CMD_SEQUENCE, [this] { show_sequence_window(); }, made_by(factories_.sequence));
    add(
        CMD_INSTRUMENTS, [this] { show_instruments_window(); }, made_by(factories_.instruments));
    add(
        CMD_KEYBOARD, [this] { show_keyboard_window(); }, made_by(factories_.keyboard));
    add(
        CMD_SONG_OPTIONS, [this] { factories_.song_options(); }, made_by(factories_.song_options));
    add(
        CMD_OPTIONS,
        [this] {
            factories_.options();
            write_settings();
        },
        made_by(factories_.options));
    add(CMD_PLAY_SONG, play([](Player& player) { player.play_song(); }));
    add(CMD_STOP, [this] { stop_playback(); });
    add(
        CMD_REPEAT,
        [this] {
            settings().repeat = settings().repeat ? 0 : 1;
            if (player_) player_->set_repeat(settings().repeat != 0);
        },
        {}, [](const Song&) { return settings().repeat != 0; });
    add(CMD_WIND_FORWARD, play([](Player& player) { player.wind(+2); }));
    add(CMD_WIND_BACK, play([](Player& player) { player.wind(-2); }));
    add(CMD_CASCADE, [this] { mdi_->cascadeSubWindows(); });
    add(CMD_TILE, [this] { tile_horizontally(); });
    add(CMD_HELP_TOPICS, [] { open_help(HELP_CONTENTS); });
    add(CMD_HELP_TOPIC_21, [] { open_help(HELP_KEYS); });
    add(CMD_WEB_PAGE, [] { open_url(QUrl(dialog_text(D_WEB_ADDRESS))); });
    add(CMD_ABOUT, [this] {
        AboutBox about(AboutBox::Mode::ABOUT, this);
        about.exec();
    });
}

void MainWindow::run_command(int command) {
    // A disabled maker (a View item without its window) is greyed: run_key_command asks first.
    if (const CommandRecord* record = commands_.find(command)) {
        if (record->enabled(document_.song())) record->run();
        return;
    }
    // The rest belong to the active window and do nothing without one.
    if (!window_command(command)) return;
    if (CommandTarget* window = active_command_target()) {
        try {
            window->run_command(command);
        } catch (...) {
            show_current_error();
        }
    }
}

// --- Placement ------------------------------------------------------------------------------

void MainWindow::restore_placement() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    if (auto fitted = fit_window_rect(settings().main_window_pos, area.size()))
        setGeometry(fitted->translated(area.topLeft()));
}

void MainWindow::store_placement() {
    Settings& record = settings();
    record.main_window_maximized = isMaximized() ? 1 : 0;
    QRect normal = isMaximized() || isMinimized() || isFullScreen() ? normalGeometry() : geometry();
    if (normal.isEmpty()) normal = geometry();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        normal.translate(-screen->geometry().topLeft());
    record.main_window_pos = to_window_rect(normal);
    if (PatternView* first = first_pattern_window()) first->store_settings();
    record.keyboard_window_open = keyboard_window_ ? 1 : 0;
    record.sequence_window_open = sequence_window_ ? 1 : 0;
    record.instruments_window_open = instruments_window_ ? 1 : 0;
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == MIDI_NOTE_EVENT) {
        midi_router_.deliver(*static_cast<MidiNoteEvent*>(event)); // dropped without a target
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!save_prompt()) {
        event->ignore();
        return;
    }
    store_placement();
    event->accept();
}

// --- The document ---------------------------------------------------------------------------

void MainWindow::stop_playback() {
    if (player_) player_->stop();
}

void MainWindow::update_title() {
    setWindowTitle(document_.window_title());
}

void MainWindow::update_undo_items() {
    QUndoStack& history = document_.history();
    auto named = [](uint32_t plain_id, uint32_t named_id, bool can, const QString& step) {
        const QString plain = menu_text(plain_id);
        if (!can || step.isEmpty()) return plain;
        const int tab = plain.indexOf(QLatin1Char('\t'));
        const QString key = tab < 0 ? QString() : plain.mid(tab);
        return step_name(named_id).arg(step) + key;
    };
    if (QAction* undo = action(CMD_UNDO)) {
        undo->setEnabled(history.canUndo());
        undo->setText(named(CMD_UNDO, U_UNDO_NAMED, history.canUndo(), history.undoText()));
    }
    if (QAction* redo = action(CMD_REDO)) {
        redo->setEnabled(history.canRedo());
        redo->setText(named(CMD_REDO, U_REDO_NAMED, history.canRedo(), history.redoText()));
    }
}

void MainWindow::show_history() {
    if (!history_window_) {
        auto* window = new QWidget(this, Qt::Tool);
        window->setObjectName(QStringLiteral("HistoryWindow"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(step_name(U_HISTORY_TITLE));
        auto* view = new QUndoView(&document_.history(), window);
        view->setObjectName(QStringLiteral("HistoryView"));
        view->setEmptyLabel(step_name(U_HISTORY_START));
        auto* hint = new QLabel(step_name(U_HISTORY_HINT), window);
        hint->setWordWrap(true);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->addWidget(hint);
        layout->addWidget(view);
        window->resize(280, 360);
        history_window_ = window;
    }
    history_window_->show();
    history_window_->raise();
    history_window_->activateWindow();
}

QWidget* MainWindow::history_window() const {
    return history_window_;
}

void MainWindow::reduce_pattern_windows() {
    PatternView* keep = first_pattern_window();
    std::vector<QPointer<QMdiSubWindow>> kept;
    for (const QPointer<QMdiSubWindow>& child : pattern_children_) {
        if (!child) continue;
        if (pattern_view_of(child) == keep) {
            kept.push_back(child);
        } else {
            child->close();
            delete child.data();
        }
    }
    pattern_children_ = kept;
}

void MainWindow::refresh_views() {
    document_.announce_all();
    if (PatternView* first = first_pattern_window())
        first->point_at(0);
    else
        open_pattern_window(0);
}

// --- The file commands, carried out by the document's file commands --------------------------

bool MainWindow::save_prompt() {
    return files_.save_prompt();
}
void MainWindow::new_song() {
    files_.new_song();
}
void MainWindow::load_command() {
    files_.load_command();
}
void MainWindow::load_song(const std::string& path) {
    files_.load_song(path);
}
bool MainWindow::recover_song(const std::string& autosaved_file, const std::string& original_path,
                              bool song_file) {
    return files_.recover_song(autosaved_file, original_path, song_file);
}
bool MainWindow::save() {
    return files_.save();
}
bool MainWindow::save_as() {
    return files_.save_as();
}
void MainWindow::export_song() {
    files_.export_song();
}
void MainWindow::export_audio() {
    files_.export_audio();
}

// --- Child windows --------------------------------------------------------------------------

std::vector<PatternView*> MainWindow::pattern_windows() const {
    std::vector<PatternView*> windows;
    for (const QPointer<QMdiSubWindow>& child : pattern_children_)
        if (PatternView* view = pattern_view_of(child)) windows.push_back(view);
    return windows;
}

void MainWindow::set_factories(ChildFactories factories) {
    factories_ = std::move(factories);
    for (int index = 0; index < POPUP_COUNT; ++index)
        update_popup(index);
}

void MainWindow::pattern_inserted(size_t at) {
    for (PatternView* window : pattern_windows())
        if (window->pattern_index() >= at) window->renumber(window->pattern_index() + 1);
}

void MainWindow::pattern_deleted(size_t index) {
    for (const QPointer<QMdiSubWindow>& child :
         std::vector<QPointer<QMdiSubWindow>>(pattern_children_)) {
        PatternView* window = pattern_view_of(child);
        if (!window) continue;
        if (window->pattern_index() == index) {
            child->close();
        } else if (window->pattern_index() > index) {
            window->renumber(window->pattern_index() - 1);
        }
    }
}

void MainWindow::apply_pattern_settings() {
    for (PatternView* window : pattern_windows())
        window->apply_settings();
}

size_t MainWindow::pattern_window_count() const {
    return pattern_windows().size();
}

PatternView* MainWindow::active_pattern_window() const {
    return pattern_view_of(mdi_->activeSubWindow());
}

CommandTarget* MainWindow::active_command_target() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    return active ? dynamic_cast<CommandTarget*>(active->widget()) : nullptr;
}

PatternView* MainWindow::first_pattern_window() const {
    const QList<QMdiSubWindow*> stacking = mdi_->subWindowList(QMdiArea::StackingOrder);
    for (auto at = stacking.rbegin(); at != stacking.rend(); ++at)
        if (PatternView* view = pattern_view_of(*at)) return view;
    const std::vector<PatternView*> windows = pattern_windows();
    return windows.empty() ? nullptr : windows.front();
}

QMdiSubWindow* MainWindow::add_child(QWidget* widget) {
    QMdiSubWindow* child = mdi_->addSubWindow(widget);
    child->setAttribute(Qt::WA_DeleteOnClose);
    return child;
}

void MainWindow::open_pattern_window(size_t pattern) {
    if (!factories_.pattern) return;
    if (PatternView* first = first_pattern_window()) first->store_settings();
    QWidget* widget = factories_.pattern();
    if (!widget || !dynamic_cast<PatternView*>(widget)) {
        delete widget;
        show_error(MISC_ERROR(S_UNABLE_TO_CREATE_WINDOW));
        return;
    }
    widget->setProperty(TAKES_MIDI_NOTES, true);
    QMdiSubWindow* child = add_child(widget);
    pattern_children_.push_back(child);
    dynamic_cast<PatternView*>(widget)->point_at(pattern);
    if (settings().pattern_window.maximized)
        child->showMaximized();
    else
        child->show();
    mdi_->setActiveSubWindow(child);
}

void MainWindow::show_single_window(QPointer<QMdiSubWindow>& window, const ChildFactory& factory) {
    if (window) {
        mdi_->setActiveSubWindow(window);
        return;
    }
    if (!factory) return;
    QWidget* widget = factory();
    if (!widget) {
        show_error(MISC_ERROR(S_UNABLE_TO_CREATE_WINDOW));
        return;
    }
    window = add_child(widget);
    window->show();
    mdi_->setActiveSubWindow(window);
}

void MainWindow::show_sequence_window() {
    show_single_window(sequence_window_, factories_.sequence);
}
void MainWindow::show_instruments_window() {
    show_single_window(instruments_window_, factories_.instruments);
}
void MainWindow::show_keyboard_window() {
    show_single_window(keyboard_window_, factories_.keyboard);
}

bool MainWindow::dialog_child_active() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    return active && (active == sequence_window_ || active == instruments_window_);
}

void MainWindow::tile_horizontally() {
    // One above the other, each as wide as the area, like the frame's horizontal tiling; with
    // more than three windows a grid keeps them usable.
    QList<QMdiSubWindow*> children;
    for (QMdiSubWindow* child : mdi_->subWindowList())
        if (child->isVisible() && !child->isMinimized()) children << child;
    if (children.size() > 3 || children.isEmpty()) {
        mdi_->tileSubWindows();
        return;
    }
    const QRect area = mdi_->viewport()->rect();
    const int height = area.height() / int(children.size());
    int top = 0;
    for (QMdiSubWindow* child : children) {
        child->showNormal();
        child->setGeometry(0, top, area.width(), height);
        top += height;
    }
}

} // namespace tunemill
