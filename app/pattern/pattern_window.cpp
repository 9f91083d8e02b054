// The pattern window: its pieces, their layout, and the routing of keys, positions, MIDI notes and
// commands.
#include "app/pattern/pattern_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/common/commands.h"
#include "app/common/help.h"
#include "app/document/document.h"
#include "app/instruments/instrument_browser.h"
#include "app/live/live_events.h"
#include "app/live/live_input.h"
#include "app/live/pc_piano_keys.h"
#include "app/live/player.h"
#include "app/pattern/captions.h"
#include "app/pattern/edit_pane.h"
#include "app/pattern/pane_bar.h"
#include "app/pattern/pattern_clipboard.h"
#include "app/pattern/voices_pane.h"
#include "app/shell/main_window.h"
#include "app/shell/placement.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "playback/live_keyboard.h"
#include "settings/settings.h"
#include "song/timing.h"
#include "strings/composer_strings.h"
#include "strings/pattern_strings.h"
#include "strings/steps_strings.h"

namespace tunemill {

namespace {

QString pattern_text(uint32_t id) {
    return QString::fromUtf8(load_string(pattern_strings(), id));
}

// One pane: its bar, its edit area and its vertical scroll bar side by side. The wheel scrolls
// its rows, or with Shift the beats.
class PaneRow : public QWidget {
  public:
    PaneRow(QWidget* parent, QScrollBar* beats) : QWidget(parent), beats_(beats) {}
    QScrollBar* rows = nullptr;

  protected:
    void wheelEvent(QWheelEvent* event) override {
        QScrollBar* target = event->modifiers() & Qt::ShiftModifier ? beats_ : rows;
        if (!target) return;
        const int delta =
            event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
        const int steps = delta / 120 != 0 ? delta / 120 : (delta > 0 ? 1 : delta < 0 ? -1 : 0);
        target->setValue(target->value() - steps * (target == beats_ ? 1 : 3));
        event->accept();
    }

  private:
    QScrollBar* beats_;
};

} // namespace

PatternWindow::PatternWindow(Document& document, MainWindow* frame, EnginePlayer* player,
                             QWidget* parent)
    : QWidget(parent), document_(document), frame_(frame), player_(player) {
    setObjectName(QStringLiteral("TMEditWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setProperty("helpTopic", int(HELP_PATTERN_WINDOW));
    editor_ = new PatternEditor(document, player, this);
    step_entry_ = std::make_unique<StepEntry>(*editor_);
    live_sink_ = live_note_sink(player ? &player->output() : nullptr);
    live_ = std::make_unique<LiveKeyboard>(*live_sink_, [this] {
        const Voice* voice = editor_->current_voice();
        return voice ? voice->instrument : 0xFFFFFFFFu;
    });
    live_->set_layout_query([] { return piano_swaps_y_and_z(key_mapping()); });
    if (player) poster_ = std::make_unique<PositionPoster>(player->output(), this);
    // Add Voice and Replace Instrument choose in the instrument browser.
    choose_instrument_ = [this](BrowserMode mode) {
        return run_instrument_browser(this, document_, mode);
    };

    // The settings of the pattern windows, corrected where they are out of range.
    PatternWindowSettings& stored = settings().pattern_window;
    stored.grid_size_x = clamp_cell_size(stored.grid_size_x);
    stored.grid_size_y = clamp_cell_size(stored.grid_size_y);
    if (stored.note_len < 0 || stored.note_len >= NOTE_LENGTHS) stored.note_len = 2;
    editor_->set_cell_size(stored.grid_size_x, stored.grid_size_y);
    editor_->set_note_length(stored.note_len);
    editor_->fit_note_length();
    editor_->set_follow(stored.follow_playback != 0);
    pane_sizes_ = {stored.size_note, stored.size_volume, stored.size_balance, stored.size_tempo};
    for (Pane pane : {Pane::VOLUME, Pane::BALANCE, Pane::TEMPO})
        editor_->set_shown(pane, pane_sizes_[pane_number(pane)] > 0);
    voices_size_ = stored.size_voices >= VOICE_ROW_HEIGHT ? stored.size_voices : 40;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolbar_ = new PatternToolbar(this);
    connect(toolbar_, &PatternToolbar::commandPressed, this,
            &PatternWindow::run_command_showing_errors);
    connect(toolbar_, &PatternToolbar::noteLengthChosen, this,
            [this](int index) { editor_->set_note_length(index); });
    connect(toolbar_, &PatternToolbar::patternChosen, this, &PatternWindow::point_at);
    layout->addWidget(toolbar_);
    note_caption_ = new CaptionBar(this);
    layout->addWidget(note_caption_);
    // The status bar is made before the panes, which show their transposition in it.
    status_ = new PatternStatusBar(this);
    build_panes();
    layout->addWidget(outer_splitter_, 1);
    layout->addWidget(status_);

    connect_editor();
    build_commands();
    // Whether the clipboard holds a block is asked when it changes, not at every refresh (on X11
    // the question goes to the clipboard's owner).
    clipboard_has_block_ = clipboard_holds_pattern();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        clipboard_has_block_ = clipboard_holds_pattern();
        refresh_toolbar();
    });
    focus_timer_.setInterval(500);
    connect(&focus_timer_, &QTimer::timeout, this, [this] { focus_check(); });
    focus_timer_.start();

    refresh_selector();
    refresh_title();
    refresh_captions();
    refresh_toolbar();
    refresh_status();
    resize(760, 540);
}

PatternWindow::~PatternWindow() {
    // The poster goes first, so no report reaches a half-destroyed window.
    poster_.reset();
    editor_->end_recording();
    editor_->stop_owned_block_playback();
}

// --- Building ----------------------------------------------------------------------------------

void PatternWindow::build_panes() {
    outer_splitter_ = new CaptionSplitter(this);
    outer_splitter_->setObjectName(QStringLiteral("PatternOuterSplitter"));
    auto* edit_area = new QWidget(outer_splitter_);
    auto* edit_layout = new QVBoxLayout(edit_area);
    edit_layout->setContentsMargins(0, 0, 0, 0);
    edit_layout->setSpacing(0);
    pane_splitter_ = new CaptionSplitter(edit_area);
    pane_splitter_->setObjectName(QStringLiteral("PatternPaneSplitter"));
    beat_scroll_ = new QScrollBar(Qt::Horizontal, edit_area);
    beat_scroll_->setObjectName(QStringLiteral("BeatScrollBar"));
    beat_scroll_->setFocusPolicy(Qt::NoFocus);
    for (int index = 0; index < PANE_COUNT; ++index) {
        const Pane pane = Pane(index);
        auto* row = new PaneRow(pane_splitter_, beat_scroll_);
        row->setObjectName(QStringLiteral("PaneRow%1").arg(index));
        auto* row_layout = new QHBoxLayout(row);
        row_layout->setContentsMargins(0, 0, 0, 0);
        row_layout->setSpacing(0);
        bars_[size_t(index)] = new PaneBar(*editor_, pane, row);
        panes_[size_t(index)] = new EditPane(*editor_, pane, row);
        auto* rows = new QScrollBar(Qt::Vertical, row);
        rows->setFocusPolicy(Qt::NoFocus);
        row->rows = rows;
        row_scrolls_[size_t(index)] = rows;
        row_layout->addWidget(bars_[size_t(index)]);
        row_layout->addWidget(panes_[size_t(index)], 1);
        row_layout->addWidget(rows);
        row->setMinimumHeight(3 * editor_->geometry().cell_y);
        rows_[size_t(index)] = row;
        pane_splitter_->addWidget(row);
        pane_splitter_->setStretchFactor(index, index == 0 ? 1 : 0);
        row->setVisible(editor_->shows(pane));
        connect(rows, &QScrollBar::valueChanged, this,
                [this, pane](int value) { editor_->set_first_row(pane, value); });
        EditPane* edit = panes_[size_t(index)];
        PaneBar* bar = bars_[size_t(index)];
        connect(edit, &EditPane::hoverRow, bar, &PaneBar::set_mark);
        connect(edit, &EditPane::transposeChanged, status_, &PatternStatusBar::show_transposition);
        connect(edit, &EditPane::focusWanted, this, [this] { setFocus(Qt::MouseFocusReason); });
        connect(edit, &EditPane::editFailed, this, [] { show_current_error(); });
    }
    // The horizontal scroll bar lines up with the edit areas: the bars' width at its left, the
    // vertical scroll bars' at its right.
    auto* scroll_row = new QWidget(edit_area);
    auto* scroll_layout = new QHBoxLayout(scroll_row);
    scroll_layout->setContentsMargins(BAR_WIDTH, 0, row_scrolls_[0]->sizeHint().width(), 0);
    scroll_layout->setSpacing(0);
    scroll_layout->addWidget(beat_scroll_);
    edit_layout->addWidget(pane_splitter_, 1);
    edit_layout->addWidget(scroll_row);
    connect(beat_scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!editor_->set_first_beat(value, true)) refresh_beat_scroll();
    });

    voices_ = new VoicesPane(*editor_, outer_splitter_);
    outer_splitter_->addWidget(edit_area);
    outer_splitter_->addWidget(voices_);
    outer_splitter_->setStretchFactor(0, 1);
    outer_splitter_->setStretchFactor(1, 0);
    outer_splitter_->caption(1)->setObjectName(QStringLiteral("TMVoiceCaptionWindow"));
    voices_->setMinimumHeight(VOICE_ROW_HEIGHT);
    connect(voices_, &VoicesPane::muteRequested, this,
            [this] { run_command_showing_errors(CMD_MUTE_VOICE); });
    connect(voices_, &VoicesPane::playRequested, this,
            [this] { run_command_showing_errors(CMD_PLAY_VOICE); });
    connect(pane_splitter_, &QSplitter::splitterMoved, this, [this] { store_settings(); });
    connect(outer_splitter_, &QSplitter::splitterMoved, this,
            [this] { voices_size_ = voices_->height(); });
}

void PatternWindow::connect_editor() {
    connect(editor_, &PatternEditor::repaintColumns, this, &PatternWindow::repaint_columns);
    connect(editor_, &PatternEditor::repaintAll, this, &PatternWindow::repaint_everything);
    connect(editor_, &PatternEditor::rowsScrolled, this, [this](Pane pane) {
        refresh_row_scroll(pane);
        panes_[size_t(pane_number(pane))]->update();
        bars_[size_t(pane_number(pane))]->set_mark(-1);
        bars_[size_t(pane_number(pane))]->update();
    });
    connect(editor_, &PatternEditor::scrollChanged, this, &PatternWindow::refresh_beat_scroll);
    connect(editor_, &PatternEditor::cursorMoved, this, &PatternWindow::refresh_status);
    connect(editor_, &PatternEditor::blockChanged, this, &PatternWindow::refresh_toolbar);
    connect(editor_, &PatternEditor::voicesChanged, this, [this] {
        voices_->refresh();
        voices_->show_current();
        refresh_captions();
        refresh_toolbar();
    });
    connect(editor_, &PatternEditor::patternShown, this, [this] {
        cancel_drags();
        step_entry_->forget_last();
        refresh_title();
        refresh_selector();
    });
    connect(editor_, &PatternEditor::patternListChanged, this, [this] {
        refresh_selector();
        refresh_title();
    });
    connect(editor_, &PatternEditor::stateChanged, this, [this] {
        refresh_toolbar();
        refresh_status();
    });
    connect(editor_, &PatternEditor::panesChanged, this, [this] {
        for (Pane pane : {Pane::VOLUME, Pane::BALANCE, Pane::TEMPO}) {
            QWidget* row = rows_[size_t(pane_number(pane))];
            if (row->isVisible() != editor_->shows(pane)) row->setVisible(editor_->shows(pane));
        }
    });
    connect(editor_, &PatternEditor::discardPositions, this, [this] {
        if (poster_) poster_->discard_queued();
        pending_position_.reset();
        pending_end_ = false;
    });
    connect(&document_, &Document::aboutToChange, editor_, &PatternEditor::change_begins);
    connect(&document_, &Document::changed, editor_, &PatternEditor::change_done);
    connect(&document_, &Document::voiceRemoved, editor_, &PatternEditor::voice_removed);
    connect(&document_, &Document::songReplaced, editor_, &PatternEditor::song_replaced);
    connect(&document_, &Document::instrumentsChanged, this, [this] {
        voices_->refresh();
        refresh_captions();
    });
}

// --- PatternView -----------------------------------------------------------------------------

size_t PatternWindow::pattern_index() const {
    return editor_->pattern_index();
}
void PatternWindow::point_at(size_t pattern) {
    editor_->switch_to(pattern);
}
void PatternWindow::renumber(size_t pattern) {
    editor_->renumber(pattern);
}
bool PatternWindow::has_block() const {
    return editor_->block().exists();
}
Pane PatternWindow::block_pane() const {
    return editor_->block().pane;
}
bool PatternWindow::shows_pane(Pane pane) const {
    return editor_->shows(pane);
}
bool PatternWindow::follows_playback() const {
    return editor_->follows();
}
size_t PatternWindow::current_voice() const {
    return editor_->voice();
}

void PatternWindow::refresh_block_marking() {
    if (has_block()) repaint_columns(ALL_PANES, editor_->block().from, editor_->block().to);
}

void PatternWindow::store_settings() {
    PatternWindowSettings& stored = settings().pattern_window;
    stored.follow_playback = editor_->follows() ? 1 : 0;
    stored.note_len = editor_->note_length();
    const QList<int> sizes = pane_splitter_->sizes();
    for (int index = 0; index < PANE_COUNT; ++index) {
        const bool shown = editor_->shows(Pane(index));
        if (shown && index < sizes.size() && sizes[index] > 0)
            pane_sizes_[size_t(index)] = sizes[index];
        if (!shown && index > 0) pane_sizes_[size_t(index)] = 0;
    }
    stored.size_note = std::max(pane_sizes_[0], 1);
    stored.size_volume = pane_sizes_[1];
    stored.size_balance = pane_sizes_[2];
    stored.size_tempo = pane_sizes_[3];
    if (voices_->isVisible() && voices_->height() > 0) voices_size_ = voices_->height();
    stored.size_voices = voices_size_;
    if (auto* child = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        stored.maximized = child->isMaximized() ? 1 : 0;
        if (!child->isMaximized() && !child->isMinimized())
            stored.pos = to_window_rect(child->geometry());
    }
}

void PatternWindow::apply_settings() {
    const PatternWindowSettings& stored = settings().pattern_window;
    editor_->set_cell_size(stored.grid_size_x, stored.grid_size_y);
    for (int index = 0; index < PANE_COUNT; ++index) {
        rows_[size_t(index)]->setMinimumHeight(3 * editor_->geometry().cell_y);
        EditPane* pane = panes_[size_t(index)];
        editor_->set_visible_rows(Pane(index), pane->height() / editor_->geometry().cell_y);
    }
    editor_->set_visible_columns(panes_[0]->width() / editor_->geometry().cell_x);
    repaint_everything();
}

void PatternWindow::toggle_pane(Pane pane) {
    if (pane == Pane::NOTES) return;
    const bool show = !editor_->shows(pane);
    QList<int> sizes = pane_splitter_->sizes();
    const int index = pane_number(pane);
    if (!show && sizes[index] > 0) pane_sizes_[size_t(index)] = sizes[index];
    editor_->set_shown(pane, show);
    if (show) {
        // The pane comes back at its last size (ten rows the first time), taken from the note pane.
        int size = pane_sizes_[size_t(index)] > 0 ? pane_sizes_[size_t(index)]
                                                  : 10 * editor_->geometry().cell_y + 4;
        size = std::min(size, std::max(sizes[0] - 3 * editor_->geometry().cell_y - CAPTION_HEIGHT,
                                       3 * editor_->geometry().cell_y));
        sizes[0] = std::max(sizes[0] - size - CAPTION_HEIGHT, 1);
        sizes[index] = size;
        pane_splitter_->setSizes(sizes);
    }
    refresh_captions();
}

void PatternWindow::run_command_showing_errors(int command) {
    try {
        run_command(command);
    } catch (...) {
        show_current_error();
    }
}

void PatternWindow::build_commands() {
    PatternEditor& editor = *editor_;
    // Each command with the rules every pattern window shares.
    auto add = [this](int id, std::function<void()> run) {
        const PatternCommandRule* rule = pattern_command_rule(id);
        CommandRecord record{id, std::move(run)};
        if (rule) {
            record.enabled = [this, rule](const Song& song) { return rule->enabled(*this, song); };
            record.checked = [this, rule](const Song& song) { return rule->checked(*this, song); };
        }
        commands_.add(std::move(record));
    };
    auto block_operation = [&editor](BlockOperation operation) {
        return [&editor, operation] { run_block_operation(editor, operation); };
    };
    auto record = [this, &editor](bool block) {
        return [this, &editor, block] {
            step_entry_->forget_last();
            editor.start_recording(block);
        };
    };
    add(CMD_CUT, [&editor] { cut_block_to_clipboard(editor); });
    add(CMD_COPY, [&editor] { copy_block_to_clipboard(editor); });
    add(CMD_PASTE, [&editor] { paste_block_from_clipboard(editor); });
    add(CMD_DELETE, block_operation(BlockOperation::DELETE));
    add(CMD_CLEAR_BLOCK, block_operation(BlockOperation::CLEAR));
    add(CMD_INSERT_SPACE, block_operation(BlockOperation::INSERT_SPACE));
    add(CMD_REPEAT_BLOCK, block_operation(BlockOperation::REPEAT));
    add(CMD_SET_PORTAMENTO, block_operation(BlockOperation::SET_PORTAMENTO));
    add(CMD_CLEAR_PORTAMENTO, block_operation(BlockOperation::CLEAR_PORTAMENTO));
    add(CMD_TRANSPOSE_BLOCK, [&editor] {
        if (editor.block().exists()) editor.set_transpose_mode(true);
    });
    add(CMD_RECORD_BLOCK, record(true));
    add(CMD_RECORD_VOICE, record(false));
    add(CMD_VOLUME, [this] { toggle_pane(Pane::VOLUME); });
    add(CMD_BALANCE, [this] { toggle_pane(Pane::BALANCE); });
    add(CMD_TEMPO, [this] { toggle_pane(Pane::TEMPO); });
    add(CMD_ADD_VOICE, [this, &editor] { add_voice(editor, choose_instrument_); });
    add(CMD_REPLACE_INSTRUMENT,
        [this, &editor] { replace_instrument(editor, choose_instrument_); });
    add(CMD_DELETE_VOICE, [&editor] { delete_voice(editor); });
    add(CMD_MUTE_VOICE, [&editor] { mute_voice(editor); });
    add(CMD_PLAY_PATTERN, [&editor] { play_pattern(editor); });
    add(CMD_PLAY_BLOCK, [&editor] { play_block(editor); });
    add(CMD_PLAY_VOICE, [&editor] { play_voice(editor); });
    add(CMD_FOLLOW_PLAYBACK, [&editor] { editor.set_follow(!editor.follows()); });
    // Stop, on the toolbar: the playback's, always there.
    add(CMD_STOP, [this] {
        if (player_) player_->stop();
    });
}

void PatternWindow::run_command(int command) {
    commands_.run(command);
}

// --- Events ----------------------------------------------------------------------------------

bool PatternWindow::event(QEvent* event) {
    if (event->type() == POSITION_EVENT) {
        // Every queued report is taken; only the last counts (an end clears what came before).
        const auto* position = static_cast<PositionEvent*>(event);
        if (position->ended()) {
            pending_end_ = true;
            pending_position_.reset();
        } else {
            pending_position_ = std::make_pair(position->pattern(), position->tick);
        }
        if (!flush_posted_) {
            flush_posted_ = true;
            QMetaObject::invokeMethod(this, &PatternWindow::flush_positions, Qt::QueuedConnection);
        }
        return true;
    }
    if (event->type() == MIDI_NOTE_EVENT) {
        const auto* note = static_cast<MidiNoteEvent*>(event);
        if (!note->note_off() && note->key() < KEY_COUNT) {
            try {
                step_entry_->enter(Key(note->key()));
            } catch (...) {
                show_current_error();
            }
        }
        return true;
    }
    return QWidget::event(event);
}

void PatternWindow::flush_positions() {
    flush_posted_ = false;
    if (pending_end_) {
        pending_end_ = false;
        editor_->playback_ended();
    }
    if (pending_position_) {
        const auto [pattern, tick] = *pending_position_;
        pending_position_.reset();
        editor_->show_position(pattern, tick);
    }
}

void PatternWindow::keyPressEvent(QKeyEvent* event) {
    PatternEditor& editor = *editor_;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Backspace:
        remove_step();
        return;
    case Qt::Key_Escape:
        cancel_drags();
        editor.set_transpose_mode(false);
        if (editor.recording().active) editor.end_recording();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const PaneRows& rows = editor.rows(Pane::NOTES);
        editor.set_first_row(Pane::NOTES,
                             rows.first +
                                 (event->key() == Qt::Key_PageUp ? -rows.visible : rows.visible));
        return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        editor.set_first_row(Pane::NOTES, editor.rows(Pane::NOTES).first +
                                              (event->key() == Qt::Key_Up ? -1 : 1));
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
        editor.move_cursor_key(event->key(), shift);
        return;
    default:
        break;
    }
    // The piano keys of the PC keyboard enter notes (not when the key repeats by itself), laid
    // out as the Environment page says: by position or by letter.
    const KeyMapping mapping = key_mapping();
    const uint32_t virtual_key = piano_key_of_event(*event, mapping);
    if (!virtual_key || (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (mapping == KeyMapping::BY_POSITION) PianoKeyLabels::instance().learn(*event);
    if (event->isAutoRepeat()) return;
    focus_check();
    live_->set_base_octave(uint32_t(settings().keyboard_base_octave));
    KeyState state;
    state.shift = shift;
    state.control = event->modifiers() & Qt::ControlModifier;
    const int32_t key = live_->song_key(virtual_key, state);
    if (key < 0) return;
    try {
        step_entry_->enter(Key(key));
    } catch (...) {
        show_current_error();
    }
}

void PatternWindow::keyReleaseEvent(QKeyEvent* event) {
    QWidget::keyReleaseEvent(event);
}

void PatternWindow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    focus_check();
}

void PatternWindow::focus_check() {
    QWidget* focus = QApplication::focusWidget();
    const bool focused = focus && (focus == this || isAncestorOf(focus));
    // The frame makes the focused window the MIDI keyboard's target.
    live_->activate_check(focused);
}

void PatternWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        place_in_area();
    }
    if (!sizes_restored_) {
        sizes_restored_ = true;
        restore_pane_sizes();
    }
}

void PatternWindow::place_in_area() {
    auto* child = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!child || !child->mdiArea()) return;
    WindowRect stored = settings().pattern_window.pos;
    // Another pattern window open: this one goes 20 pixels right and down of the stored place.
    if (frame_ && frame_->pattern_window_count() > 1) {
        stored.left += 20;
        stored.right += 20;
        stored.top += 20;
        stored.bottom += 20;
    }
    if (auto fitted = fit_window_rect(stored, child->mdiArea()->viewport()->size()))
        child->setGeometry(*fitted);
    else
        child->resize(std::min(760, child->mdiArea()->viewport()->width()),
                      std::min(560, child->mdiArea()->viewport()->height()));
}

void PatternWindow::restore_pane_sizes() {
    const int total = pane_splitter_->height();
    QList<int> sizes;
    int curves = 0;
    for (int index = 1; index < PANE_COUNT; ++index) {
        const int size = editor_->shows(Pane(index))
                             ? std::max(pane_sizes_[size_t(index)], 3 * editor_->geometry().cell_y)
                             : 0;
        curves += size;
    }
    sizes << std::max(total - curves, 3 * editor_->geometry().cell_y);
    for (int index = 1; index < PANE_COUNT; ++index)
        sizes << (editor_->shows(Pane(index))
                      ? std::max(pane_sizes_[size_t(index)], 3 * editor_->geometry().cell_y)
                      : 0);
    pane_splitter_->setSizes(sizes);
    const int outer = outer_splitter_->height();
    outer_splitter_->setSizes({std::max(outer - voices_size_, 1), voices_size_});
}

void PatternWindow::closeEvent(QCloseEvent* event) {
    // The first pattern window keeps its settings for the next one opened.
    if (frame_) {
        if (PatternView* first = frame_->first_pattern_window()) first->store_settings();
    } else {
        store_settings();
    }
    cancel_drags();
    editor_->end_recording();
    editor_->stop_owned_block_playback();
    event->accept();
}

// --- Keys ------------------------------------------------------------------------------------

void PatternWindow::remove_step() {
    PatternEditor& editor = *editor_;
    if (!editor.has_voices()) return;
    const size_t pattern = editor.pattern_index();
    const size_t voice = editor.voice();
    const Tick cursor = editor.cursor();
    Tick next = cursor;
    Edit edit;
    edit.name = U_REMOVE_STEP;
    edit.change.pattern = int32_t(pattern);
    edit.change.voice = int32_t(voice);
    edit.change.kind = ChangeKind::NOTES;
    edit.change.to = cursor + 1;
    try {
        if (!document_.edit(edit, [&](EditContext& context) {
                next = tunemill::remove_step(context.song().patterns[pattern], voice, cursor);
            }))
            return;
    } catch (...) {
        show_current_error();
        return;
    }
    editor.set_cursor(next);
}

void PatternWindow::cancel_drags() {
    for (EditPane* pane : panes_)
        pane->cancel_drag();
}

// --- Showing ---------------------------------------------------------------------------------

void PatternWindow::repaint_columns(unsigned panes, Tick from, Tick to) {
    for (int index = 0; index < PANE_COUNT; ++index)
        if ((panes & pane_bit(Pane(index))) && editor_->shows(Pane(index)))
            panes_[size_t(index)]->repaint_columns(from, to);
}

void PatternWindow::repaint_everything() {
    for (int index = 0; index < PANE_COUNT; ++index) {
        panes_[size_t(index)]->update();
        bars_[size_t(index)]->update();
    }
    voices_->viewport()->update();
}

void PatternWindow::refresh_beat_scroll() {
    const BeatScroll scroll = editor_->scroll();
    const QSignalBlocker blocker(beat_scroll_);
    beat_scroll_->setRange(0, scroll.max_first);
    beat_scroll_->setPageStep(std::max(scroll.page - 1, 1));
    beat_scroll_->setSingleStep(1);
    beat_scroll_->setValue(editor_->first_beat());
}

void PatternWindow::refresh_row_scroll(Pane pane) {
    const PaneRows& rows = editor_->rows(pane);
    QScrollBar* bar = row_scrolls_[size_t(pane_number(pane))];
    const QSignalBlocker blocker(bar);
    bar->setRange(0, rows.max_first());
    bar->setPageStep(std::max(rows.visible, 1));
    bar->setSingleStep(1);
    bar->setValue(rows.first);
}

void PatternWindow::refresh_toolbar() {
    toolbar_->refresh(commands_, document_.song(), editor_->ticks_per_beat(),
                      editor_->beats_per_measure(), editor_->note_length());
}

void PatternWindow::refresh_status() {
    status_->show_cursor(editor_->pattern(), editor_->cursor(), editor_->ticks_per_beat(),
                         editor_->beats_per_measure(), editor_->song().overall_tempo);
}

void PatternWindow::refresh_title() {
    const QString name = QString::fromStdString(windows1252_to_utf8(editor_->pattern().name));
    setWindowTitle(name);
}

void PatternWindow::refresh_selector() {
    toolbar_->refresh_selector(document_.song(),
                               editor_->pattern_valid() ? int(editor_->pattern_index()) : -1);
}

void PatternWindow::refresh_captions() {
    const Voice* voice = editor_->current_voice();
    const Song& song = document_.song();
    if (voice && voice->instrument < song.instruments.size())
        note_caption_->set_text(pattern_text(P_NOTES_OF)
                                    .arg(QString::fromStdString(windows1252_to_utf8(
                                        song.instruments[voice->instrument].name))));
    else
        note_caption_->set_text(pattern_text(P_NOTES));
    pane_splitter_->set_caption(1, composer_text(S_VOLUME));
    pane_splitter_->set_caption(2, composer_text(S_BALANCE));
    pane_splitter_->set_caption(3, composer_text(S_TEMPO));
    outer_splitter_->set_caption(1, composer_text(S_VOICES));
}

} // namespace tunemill
