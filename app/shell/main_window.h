// The composer's main frame ("TMMainWindow"): an MDI area holding the pattern windows and at most
// one sequence, instruments and keyboard window, the menu with its enabling rules, the keys of
// the two accelerator tables, and the song-as-document commands (New, Load, Save, Save As,
// Export, Export to WAV, Exit) with the save prompt.
#pragma once

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <map>
#include <string>
#include <vector>

#include "app/common/command_table.h"
#include "app/document/file_commands.h"
#include "app/live/live_events.h"
#include "app/shell/child_windows.h"
#include "song/song.h"

class QMdiArea;
class QMenu;
class QAction;

namespace tunemill {

class Player;
class KeyRouter;
class Document;
struct MenuEntry;

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The player may be null (no output device layer); the playback commands then do nothing.
    explicit MainWindow(Document& document, Player* player, ChildFactories factories = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    QMdiArea* mdi_area() const { return mdi_; }
    QAction* action(int command) const;
    QMenu* popup(int index) const;
    QMenu* portamento_menu() const { return portamento_menu_; }
    // The help topic of the popup opened last (0 File .. 6 Help).
    int help_context() const { return help_context_; }

    // Carries out a command of the menu (what WM_COMMAND does).
    void run_command(int command);
    // A command given by an accelerator: its popup's enabling rules run first, and a greyed
    // item's key does nothing.
    void run_key_command(int command);
    // The enabling and check-mark rules of one popup.
    void update_popup(int popup);

    // Moves the frame to the stored placement fitted to the screen (before it is shown).
    void restore_placement();
    // Stores the placement and which windows are open into the settings (when the frame goes).
    void store_placement();

    // --- The document ---
    Document& document() const { return document_; }
    // Edit > History: the list of steps, where a click goes back to any of them.
    void show_history();
    QWidget* history_window() const;
    // The File menu's commands on the document.
    FileCommands& files() { return files_; }
    void new_song() { files_.new_song(); }
    // Loads the file at path into the song; on failure the song stays and one error message
    // names the file. Returns whether it was loaded.
    bool load_song(const std::string& path) { return files_.load_song(path); }
    bool save() { return files_.save(); }
    void update_title();

    // --- Child windows ---
    // The makers of the child windows and dialogs (the composer's own, or a test's).
    void set_factories(ChildFactories factories);
    PatternView* active_pattern_window() const;
    // The active child window as the owner of its commands, or none.
    CommandTarget* active_command_target() const;
    std::vector<PatternView*> pattern_windows() const;
    // A pattern was inserted at `at`: windows on it and after it follow their patterns.
    void pattern_inserted(size_t at);
    // A pattern was deleted: its windows close, the ones after it follow their patterns.
    void pattern_deleted(size_t index);
    // The pattern-window settings changed: every pattern window lays itself out anew.
    void apply_pattern_settings();
    // From the active child along the stacking order to the first pattern window, else the
    // first of the list.
    PatternView* first_pattern_window() const;
    size_t pattern_window_count() const;
    void open_pattern_window(size_t pattern);
    // The sequence, instruments and keyboard windows: activated when open, else made.
    void show_sequence_window();
    void show_instruments_window();
    void show_keyboard_window();
    bool sequence_window_open() const { return sequence_window_ != nullptr; }
    bool instruments_window_open() const { return instruments_window_ != nullptr; }
    bool keyboard_window_open() const { return keyboard_window_ != nullptr; }
    // True while the sequence or instruments window is the active child: the editing keys then
    // belong to it.
    bool dialog_child_active() const;

    // The window that receives the MIDI keyboard's notes (MidiNoteEvent) from now on.
    MidiRouter& midi_router() { return midi_router_; }

    // The folder the Load dialog opens in (seeded from the song folder setting).
    const std::string& last_song_folder() const { return files_.last_song_folder(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void build_commands();
    void build_menus();
    void fill_window_list();
    void set_enabled(int command, bool enabled);
    void set_checked(int command, bool checked);
    // The enabling and check mark of one item, from its record or the active window.
    void update_item(const MenuEntry& entry);
    QMdiSubWindow* add_child(QWidget* widget);
    void show_single_window(QPointer<QMdiSubWindow>& window, const ChildFactory& factory);
    void stop_playback();
    void reduce_pattern_windows();
    void refresh_views();
    void tile_horizontally();

    void update_undo_items();

    Document& document_;
    Player* player_;
    ChildFactories factories_;
    QPointer<QWidget> history_window_;
    FileCommands files_;
    CommandTable commands_;
    QMdiArea* mdi_ = nullptr;
    std::map<int, QAction*> actions_;
    std::vector<QMenu*> popups_;
    QMenu* portamento_menu_ = nullptr;
    std::vector<QAction*> window_list_actions_;
    QPointer<QMdiSubWindow> sequence_window_;
    QPointer<QMdiSubWindow> instruments_window_;
    QPointer<QMdiSubWindow> keyboard_window_;
    std::vector<QPointer<QMdiSubWindow>> pattern_children_;
    int help_context_ = 0;
    KeyRouter* key_router_ = nullptr;
    MidiRouter midi_router_;
};

} // namespace tunemill
