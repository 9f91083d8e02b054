// The main frame: its command records, placement, the history window and the document's title;
// the menus and the child windows have files of their own.
#include "app/shell/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QUndoView>
#include <QUrl>
#include <QVBoxLayout>

#include "app/common/art.h"
#include "app/common/commands.h"
#include "app/common/error_box.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/live/live_input.h"
#include "app/live/player.h"
#include "app/shell/about_box.h"
#include "app/shell/frame_keys.h"
#include "app/shell/placement.h"
#include "foundation/string_table.h"
#include "settings/settings.h"
#include "strings/dialogs_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {

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
    add(CMD_EXPORT_MIDI, [this] { files_.export_midi(); });
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
    if (!files_.save_prompt()) {
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

} // namespace tunemill
