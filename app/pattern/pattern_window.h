// The pattern window ("TMEditWindow"): an MDI child showing one pattern of the song. Top to bottom:
// the toolbar with the pattern selector, the note pane's caption, the note, volume, balance and
// tempo panes (each a bar, an edit area and a vertical scroll bar, with a caption that drags to
// resize), the horizontal scroll bar counted in beats, the voices caption and pane, and the status
// bar. It puts the pieces together: keys, playing positions, MIDI notes and commands reach the
// editor, the step entry and the commands from here.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "app/common/command_table.h"
#include "app/pattern/editor.h"
#include "app/pattern/pattern_commands.h"
#include "app/pattern/pattern_status_bar.h"
#include "app/pattern/pattern_toolbar.h"
#include "app/pattern/step_entry.h"
#include "app/shell/child_windows.h"

class QAction;
class QComboBox;
class QScrollBar;
class QStatusBar;

namespace tunemill {

class CaptionBar;
class CaptionSplitter;
class EditPane;
class EnginePlayer;
class LiveKeyboard;
class LiveNoteSink;
class MainWindow;
class PaneBar;
class PositionPoster;
class VoicesPane;

class PatternWindow : public QWidget, public PatternView {
    Q_OBJECT

  public:
    // The frame and the player may be null (tests of the window alone; no sound devices).
    PatternWindow(Document& document, MainWindow* frame, EnginePlayer* player,
                  QWidget* parent = nullptr);
    ~PatternWindow() override;

    // --- PatternView ---
    size_t pattern_index() const override;
    void point_at(size_t pattern) override;
    bool has_block() const override;
    Pane block_pane() const override;
    bool shows_pane(Pane pane) const override;
    bool follows_playback() const override;
    size_t current_voice() const override;
    void store_settings() override;
    void refresh_block_marking() override;
    bool clipboard_has_block() const override { return clipboard_has_block_; }
    void run_command(int command) override;
    void renumber(size_t pattern) override;
    void apply_settings() override;

    // --- Parts, for the frame, the tests and the benchmarks ---
    PatternEditor& editor() { return *editor_; }
    StepEntry& step_entry() { return *step_entry_; }
    EditPane* edit_pane(Pane pane) const { return panes_[pane_number(pane)]; }
    PaneBar* bar(Pane pane) const { return bars_[pane_number(pane)]; }
    QScrollBar* row_scroll(Pane pane) const { return row_scrolls_[pane_number(pane)]; }
    QWidget* pane_row(Pane pane) const { return rows_[pane_number(pane)]; }
    QScrollBar* beat_scroll_bar() const { return beat_scroll_; }
    VoicesPane* voices_pane() const { return voices_; }
    PatternToolbar* toolbar() const { return toolbar_; }
    QComboBox* selector() const { return toolbar_->selector(); }
    QAction* tool(int command) const { return toolbar_->tool(command); }
    QAction* note_length_button(int index) const { return toolbar_->note_length_button(index); }
    QStatusBar* status_bar() const { return status_; }
    QString status_text(int part) const { return status_->part_text(part); }
    CaptionSplitter* pane_splitter() const { return pane_splitter_; }
    CaptionSplitter* outer_splitter() const { return outer_splitter_; }
    CaptionBar* note_caption() const { return note_caption_; }
    // The instrument browser of Add Voice and Replace Instrument (a stand-in in tests).
    void set_instrument_chooser(InstrumentChooser choose) {
        choose_instrument_ = std::move(choose);
    }
    // Shows or hides a curve pane (View > Volume, Balance, Tempo).
    void toggle_pane(Pane pane);
    // Runs a command and shows its error, as the toolbar and the voices pane do.
    void run_command_showing_errors(int command);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_commands();
    void build_panes();
    void connect_editor();
    void restore_pane_sizes();
    void place_in_area();
    void flush_positions();
    void focus_check();
    void refresh_toolbar();
    void refresh_status();
    void refresh_title();
    void refresh_selector();
    void refresh_captions();
    void refresh_beat_scroll();
    void refresh_row_scroll(Pane pane);
    void repaint_columns(unsigned panes, Tick from, Tick to);
    void repaint_everything();
    void cancel_drags();
    void remove_step();

    Document& document_;
    QPointer<MainWindow> frame_;
    EnginePlayer* player_;
    PatternEditor* editor_ = nullptr;
    std::unique_ptr<StepEntry> step_entry_;
    std::unique_ptr<LiveNoteSink> live_sink_;
    std::unique_ptr<LiveKeyboard> live_;
    std::unique_ptr<PositionPoster> poster_;
    InstrumentChooser choose_instrument_;
    CommandTable commands_;

    PatternToolbar* toolbar_ = nullptr;
    CaptionBar* note_caption_ = nullptr;
    CaptionSplitter* outer_splitter_ = nullptr;
    CaptionSplitter* pane_splitter_ = nullptr;
    std::array<QWidget*, PANE_COUNT> rows_{};
    std::array<EditPane*, PANE_COUNT> panes_{};
    std::array<PaneBar*, PANE_COUNT> bars_{};
    std::array<QScrollBar*, PANE_COUNT> row_scrolls_{};
    std::array<int, PANE_COUNT> pane_sizes_{};
    int voices_size_ = 40;
    QScrollBar* beat_scroll_ = nullptr;
    VoicesPane* voices_ = nullptr;
    PatternStatusBar* status_ = nullptr;

    QTimer focus_timer_;
    bool placed_ = false;
    bool sizes_restored_ = false;
    bool flush_posted_ = false;
    bool clipboard_has_block_ = false;
    bool pending_end_ = false;
    std::optional<std::pair<uint32_t, int32_t>> pending_position_;
};

} // namespace tunemill
