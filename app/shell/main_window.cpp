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
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QUndoView>
#include <QVBoxLayout>
#include <cstdlib>

#include "app/shell/about_box.h"
#include "app/common/art.h"
#include "app/shell/commands.h"
#include "app/document/document.h"
#include "app/document/song_paths.h"
#include "app/common/error_box.h"
#include "app/common/file_dialogs.h"
#include "app/common/help.h"
#include "app/shell/placement.h"
#include "app/live/live_input.h"
#include "app/live/player.h"
#include "app/document/song_io.h"
#include "app/document/wav_export.h"
#include "foundation/errors.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "song/song_lock.h"
#include "strings/composer_strings.h"
#include "strings/dialogs_strings.h"
#include "strings/steps_strings.h"
#include "storage/song_loader.h"

namespace tunemill {

// The MIME type under which pattern blocks travel through the clipboard.
constexpr const char* PATTERN_MIME_TYPE = "application/x-tunemill-pattern";

// The help topic of the window that holds the widget (its "helpTopic" property), else the
// contents.
static int help_topic_of(QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const QVariant topic = widget->property("helpTopic");
        if (topic.isValid()) return topic.toInt();
    }
    return HELP_CONTENTS;
}

// Routes the keys of the two accelerator tables to the frame, in the order the frame wants:
// the global keys first; then, while the sequence or instruments window is active, the key
// belongs to that window; else the editing keys. Keys meant for a modal dialog are left alone.
class KeyRouter : public QObject {
  public:
    explicit KeyRouter(MainWindow* frame) : QObject(frame), frame_(frame) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != frame_ || QApplication::activeModalWidget()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const int modifiers = int(key->modifiers());
        int command = accelerator_command(AcceleratorTable::GLOBAL, key->key(), modifiers);
        if (!command && !frame_->dialog_child_active())
            command = accelerator_command(AcceleratorTable::EDITING, key->key(), modifiers);
        const bool help = !command && key->key() == Qt::Key_F1 && (modifiers & ~Qt::KeypadModifier) == 0;
        if (!command && !help) return false;
        // Claim the key before any shortcut (a menu title's Alt+letter) sees it.
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            if (help) open_help(help_topic_of(widget));
            else frame_->run_key_command(command);
        }
        return true;
    }

  private:
    MainWindow* frame_;
};

namespace {

// The MDI area with the program's mark in the corner of its empty backdrop.
class FrameArea : public QMdiArea {
  public:
    explicit FrameArea(QWidget* parent) : QMdiArea(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        QMdiArea::paintEvent(event);
        QPainter painter(viewport());
        painter.setOpacity(0.18);
        const int size = std::min(220, std::min(viewport()->width(), viewport()->height()) / 3);
        if (size < 48) return;
        const QRect mark(viewport()->width() - size - 32, viewport()->height() - size - 32, size, size);
        program_icon().paint(&painter, mark);
    }
};

// F1 while a popup is open asks for the popup's topic.
class PopupHelp : public QObject {
  public:
    PopupHelp(QMenu* menu, int topic) : QObject(menu), topic_(topic) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            open_help(topic_);
            return true;
        }
        return false;
    }

  private:
    int topic_;
};

bool pattern_has_voices(const Song& song, const PatternView* window) {
    return window && window->pattern_index() < song.patterns.size() &&
           !song.patterns[window->pattern_index()].voices.empty();
}

bool current_voice_muted(const Song& song, const PatternView* window) {
    if (!pattern_has_voices(song, window)) return false;
    const Pattern& pattern = song.patterns[window->pattern_index()];
    return window->current_voice() < pattern.voices.size() && pattern.voices[window->current_voice()].muted;
}

PatternView* pattern_view_of(QMdiSubWindow* child) {
    return child ? dynamic_cast<PatternView*>(child->widget()) : nullptr;
}

} // namespace

MainWindow::MainWindow(Document& document, Player* player, ChildFactories factories, QWidget* parent)
    : QMainWindow(parent), document_(document), player_(player), factories_(std::move(factories)) {
    setObjectName(QStringLiteral("TMMainWindow"));
    setWindowTitle(QString::fromUtf8(PRODUCT_NAME));
    setWindowIcon(program_icon());
    mdi_ = new FrameArea(this);
    mdi_->setObjectName(QStringLiteral("MdiArea"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setBackground(mdi_background());
    setCentralWidget(mdi_);
    build_menus();
    key_router_ = new KeyRouter(this);
    qApp->installEventFilter(key_router_);
    connect(&document_, &Document::modifiedChanged, this, [this] { update_title(); });
    // MIDI notes go to the window that takes them and was focused last.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (QWidget* window = midi_window_of(now); window && window->window() == this) midi_router_.set_target(window);
    });
    connect(&document_.history(), &QUndoStack::indexChanged, this, [this] { update_undo_items(); });
    connect(&document_.history(), &QUndoStack::cleanChanged, this, [this] { update_undo_items(); });
    update_undo_items();
}

MainWindow::~MainWindow() { qApp->removeEventFilter(key_router_); }

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
                for (const MenuEntry& sub : portamento_entries()) add_item(portamento_menu_, sub);
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
    for (int index = 0; index < POPUP_COUNT; ++index) update_popup(index);
}

void MainWindow::set_enabled(int command, bool enabled) {
    if (QAction* item = action(command)) item->setEnabled(enabled);
}

void MainWindow::set_checked(int command, bool checked) {
    if (QAction* item = action(command)) item->setChecked(checked);
}

void MainWindow::update_popup(int popup_index) {
    PatternView* window = active_pattern_window();
    const bool block = window && window->has_block();
    const bool voices = pattern_has_voices(document_.song(), window);
    switch (popup_index) {
    case EDIT_POPUP: {
        update_undo_items();
        for (int command : {CMD_CUT, CMD_COPY, CMD_CLEAR_BLOCK, CMD_DELETE, CMD_INSERT_SPACE,
                            CMD_REPEAT_BLOCK, CMD_TRANSPOSE_BLOCK, CMD_RECORD_BLOCK})
            set_enabled(command, block);
        const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
        set_enabled(CMD_PASTE, window && clipboard && clipboard->hasFormat(QString::fromLatin1(PATTERN_MIME_TYPE)));
        const bool note_block = block && window->block_pane() == Pane::NOTES;
        portamento_menu_->setEnabled(note_block);
        set_enabled(CMD_SET_PORTAMENTO, note_block);
        set_enabled(CMD_CLEAR_PORTAMENTO, note_block);
        set_checked(CMD_ALL_VOICES, settings().all_voices != 0);
        break;
    }
    case VIEW_POPUP:
        // The windows and dialogs of the View popup are there once their makers are.
        set_enabled(CMD_PATTERN, bool(factories_.pattern));
        set_enabled(CMD_SEQUENCE, bool(factories_.sequence));
        set_enabled(CMD_INSTRUMENTS, bool(factories_.instruments));
        set_enabled(CMD_KEYBOARD, bool(factories_.keyboard));
        set_enabled(CMD_SONG_OPTIONS, bool(factories_.song_options));
        set_enabled(CMD_OPTIONS, bool(factories_.options));
        set_enabled(CMD_VOLUME, window != nullptr);
        set_enabled(CMD_BALANCE, window != nullptr);
        set_enabled(CMD_TEMPO, window != nullptr);
        set_checked(CMD_VOLUME, window && window->shows_pane(Pane::VOLUME));
        set_checked(CMD_BALANCE, window && window->shows_pane(Pane::BALANCE));
        set_checked(CMD_TEMPO, window && window->shows_pane(Pane::TEMPO));
        break;
    case VOICE_POPUP:
        set_enabled(CMD_ADD_VOICE, window != nullptr);
        for (int command : {CMD_REPLACE_INSTRUMENT, CMD_DELETE_VOICE, CMD_MUTE_VOICE, CMD_RECORD_VOICE})
            set_enabled(command, voices);
        set_checked(CMD_MUTE_VOICE, current_voice_muted(document_.song(), window));
        break;
    case PLAY_POPUP:
        set_enabled(CMD_PLAY_SONG, true);
        set_enabled(CMD_STOP, true);
        set_enabled(CMD_PLAY_PATTERN, window != nullptr);
        set_enabled(CMD_FOLLOW_PLAYBACK, window != nullptr);
        set_enabled(CMD_PLAY_VOICE, voices);
        set_enabled(CMD_PLAY_BLOCK, block);
        set_checked(CMD_FOLLOW_PLAYBACK, window && window->follows_playback());
        set_checked(CMD_REPEAT, settings().repeat != 0);
        break;
    default:
        break;  // File, Window and Help have no rules
    }
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
        const QString label = number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(child->windowTitle())
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

void MainWindow::run_command(int command) {
    switch (command) {
    case CMD_NEW: new_song(); return;
    case CMD_LOAD: load_command(); return;
    case CMD_SAVE: save(); return;
    case CMD_SAVE_AS: save_as(); return;
    case CMD_EXPORT: export_song(); return;
    case CMD_EXPORT_WAV: export_wav(); return;
    case CMD_EXIT: close(); return;
    case CMD_UNDO: document_.undo(); return;
    case CMD_REDO: document_.redo(); return;
    case CMD_HISTORY: show_history(); return;
    case CMD_ALL_VOICES:
        settings().all_voices = settings().all_voices ? 0 : 1;
        for (PatternView* window : pattern_windows()) window->refresh_block_marking();
        return;
    case CMD_PATTERN: open_pattern_window(0); return;
    case CMD_SEQUENCE: show_sequence_window(); return;
    case CMD_INSTRUMENTS: show_instruments_window(); return;
    case CMD_KEYBOARD: show_keyboard_window(); return;
    case CMD_SONG_OPTIONS:
        if (factories_.song_options) factories_.song_options();
        return;
    case CMD_OPTIONS:
        if (factories_.options) {
            factories_.options();
            write_settings();
        }
        return;
    case CMD_PLAY_SONG:
        if (player_) player_->play_song();
        return;
    case CMD_STOP: stop_playback(); return;
    case CMD_REPEAT:
        settings().repeat = settings().repeat ? 0 : 1;
        if (player_) player_->set_repeat(settings().repeat != 0);
        return;
    case CMD_WIND_FORWARD:
    case CMD_WIND_BACK:
        if (player_) player_->wind(command == CMD_WIND_FORWARD ? +2 : -2);
        return;
    case CMD_CASCADE: mdi_->cascadeSubWindows(); return;
    case CMD_TILE: tile_horizontally(); return;
    case CMD_HELP_TOPICS: open_help(HELP_CONTENTS); return;
    case CMD_HELP_TOPIC_21: open_help(HELP_KEYS); return;
    case CMD_WEB_PAGE: open_url(QUrl(dialog_text(D_WEB_ADDRESS))); return;
    case CMD_ABOUT: {
        AboutBox about(AboutBox::Mode::ABOUT, this);
        about.exec();
        return;
    }
    default:
        break;
    }
    // The rest act on the active pattern window and do nothing without one.
    if (popup_of(command) < 0) return;
    if (PatternView* window = active_pattern_window()) {
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
    if (QScreen* screen = QGuiApplication::primaryScreen()) normal.translate(-screen->geometry().topLeft());
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

bool MainWindow::save_prompt() {
    if (!document_.modified()) return true;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(PRODUCT_NAME), composer_text(S_SAVE_PROMPT),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, mdi_);
    box.setObjectName(QStringLiteral("SavePrompt"));
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::No: return true;
    case QMessageBox::Yes: return save();
    default: return false;
    }
}

void MainWindow::stop_playback() {
    if (player_) player_->stop();
}

std::string MainWindow::seeded_song_folder() {
    if (last_song_folder_.empty()) last_song_folder_ = settings().song_folder;
    return last_song_folder_;
}

void MainWindow::update_title() { setWindowTitle(document_.window_title()); }

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
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        window->resize(280, 360);
        history_window_ = window;
    }
    history_window_->show();
    history_window_->raise();
    history_window_->activateWindow();
}

QWidget* MainWindow::history_window() const { return history_window_; }

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
    if (PatternView* first = first_pattern_window()) first->point_at(0);
    else open_pattern_window(0);
}

void MainWindow::new_song() {
    if (!save_prompt()) return;
    try {
        stop_playback();
        reduce_pattern_windows();
        Song& song = document_.song_for_engine();
        {
            SongLockGuard lock(song, false, false);
            if (!lock) return;
            new_song_in(song);
        }
        document_.song_replaced();
        update_title();
        refresh_views();
    } catch (...) {
        // Without a song there is nothing the program could go on with.
        show_current_error();
        std::exit(-1);
    }
}

void MainWindow::new_song_in(Song& song) {
    tunemill::new_song(song, untitled_song_path(settings().song_folder));
    song.song_file = false;
    song.modified = false;
    for (size_t index = 0; index < song.patterns.size(); ++index) song.observers.pattern_changed(int32_t(index));
}

void MainWindow::load_command() {
    if (!save_prompt()) return;
    FileDialogRequest request;
    request.title = composer_text(S_LOAD_SONG);
    request.filter_id = S_LOAD_SONG_FILTER;
    request.folder = to_qstring_path(seeded_song_folder());
    request.help_topic = HELP_LOAD_DIALOG;
    const auto choice = run_file_dialog(this, request);
    if (!choice) return;
    const std::string path = from_qstring_path(choice->path);
    last_song_folder_ = folder_of(path);
    stop_playback();
    repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    load_song(path);
    QApplication::restoreOverrideCursor();
}

void MainWindow::load_song(const std::string& path) {
    Song& song = document_.song_for_engine();
    try {
        {
            SongLockGuard lock(song, false, false);
            if (!lock) return;
            song.path = path;
            load_song_file(song, path, untitled_song_path(settings().song_folder));
            song.modified = false;
            for (size_t index = 0; index < song.patterns.size(); ++index)
                song.observers.pattern_changed(int32_t(index));
        }
        document_.song_replaced();
        reduce_pattern_windows();
        refresh_views();
        update_title();
    } catch (...) {
        const std::string text = current_error_text();
        song.modified = false;
        // A file that cannot be read leaves a new song, then says why.
        stop_playback();
        reduce_pattern_windows();
        {
            SongLockGuard lock(song, false, false);
            if (lock) new_song_in(song);
        }
        document_.song_replaced();
        update_title();
        refresh_views();
        // The message wants the ordinary cursor (Load's wait cursor ends here).
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        show_error_box(QString::fromUtf8(text));
    }
}

bool MainWindow::recover_song(const std::string& autosaved_file, const std::string& original_path, bool song_file) {
    stop_playback();
    load_song(autosaved_file);
    Song& song = document_.song_for_engine();
    if (song.path != autosaved_file) return false;  // it could not be read; the error was shown
    song.path = original_path;
    song.song_file = song_file;
    document_.mark_recovered();
    if (!song_file) last_song_folder_.clear();
    update_title();
    return true;
}

bool MainWindow::save() {
    Song& song = document_.song_for_engine();
    if (!song.song_file) return save_as();
    last_song_folder_ = folder_of(song.path);
    try {
        // The clean-up is a step of its own, so undo still finds the voices it removes.
        if (!document_.clean_up(-1, -1)) return false;
        write_song_file(song, song.path);
        song.song_file = true;
        document_.mark_saved();
        return true;
    } catch (...) {
        show_current_error();
        return false;
    }
}

bool MainWindow::save_as() {
    Song& song = document_.song_for_engine();
    FileDialogRequest request;
    request.title = composer_text(S_SAVE_SONG);
    request.filter_id = S_SAVE_SONG_FILTER;
    request.name = to_qstring_path(path_without_extension(song.path));
    request.default_suffix = QStringLiteral("sn2");
    request.save = true;
    request.help_topic = HELP_SAVE_DIALOG;
    const auto choice = run_file_dialog(this, request);
    if (!choice) return false;
    repaint();
    song.path = from_qstring_path(choice->path);
    song.song_file = true;
    update_title();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = save();
    QApplication::restoreOverrideCursor();
    return saved;
}

void MainWindow::export_song() {
    const Song& song = document_.song();
    FileDialogRequest request;
    request.title = composer_text(S_EXPORT_SONG);
    request.filter_id = S_MODULE_EXPORT_FILTER;
    request.name = to_qstring_path(path_without_extension(song.path));
    request.default_suffix = QString::fromLatin1(module_extension(ModuleType::S3M));
    request.save = true;
    request.help_topic = HELP_SAVE_DIALOG;
    request.type_changed = [](QFileDialog& dialog, int type) {
        dialog.setDefaultSuffix(QString::fromLatin1(module_extension(module_type_of(type))));
    };
    const auto choice = run_file_dialog(this, request);
    if (!choice) return;
    repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        export_module_file(song, from_qstring_path(choice->path), module_type_of(choice->type));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        show_current_error();
        return;
    }
    QApplication::restoreOverrideCursor();
}

void MainWindow::export_wav() {
    Song& song = document_.song_for_engine();
    const auto target = ask_wav_export_file(this, to_qstring_path(path_without_extension(song.path)));
    if (!target) return;
    stop_playback();
    run_wav_export(this, song, from_qstring_path(*target), wav_export_options());
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
    for (int index = 0; index < POPUP_COUNT; ++index) update_popup(index);
}

void MainWindow::pattern_inserted(size_t at) {
    for (PatternView* window : pattern_windows())
        if (window->pattern_index() >= at) window->renumber(window->pattern_index() + 1);
}

void MainWindow::pattern_deleted(size_t index) {
    for (const QPointer<QMdiSubWindow>& child : std::vector<QPointer<QMdiSubWindow>>(pattern_children_)) {
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
    for (PatternView* window : pattern_windows()) window->apply_settings();
}

size_t MainWindow::pattern_window_count() const { return pattern_windows().size(); }

PatternView* MainWindow::active_pattern_window() const { return pattern_view_of(mdi_->activeSubWindow()); }

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
    if (settings().pattern_window.maximized) child->showMaximized();
    else child->show();
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

void MainWindow::show_sequence_window() { show_single_window(sequence_window_, factories_.sequence); }
void MainWindow::show_instruments_window() { show_single_window(instruments_window_, factories_.instruments); }
void MainWindow::show_keyboard_window() { show_single_window(keyboard_window_, factories_.keyboard); }

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
