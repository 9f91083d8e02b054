// What the main frame needs to know of its child windows. The pattern windows answer the
// questions of the menu's enabling rules and carry out the commands that act on the active
// pattern window; the sequence, instruments and keyboard windows are made by their factories.
#pragma once

#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tunemill {

struct Song;

// A child window that owns commands of the menu (the pattern window its Edit, Voice, pane and
// Play commands): the main frame asks the active one whether a command is available and checked
// when a popup opens or a key comes, and hands it the command. A command no active window owns
// is grey.
class CommandTarget {
  public:
    virtual ~CommandTarget() = default;
    virtual bool command_enabled(int command, const Song& song) const = 0;
    virtual bool command_checked(int command, const Song& song) const = 0;
    // Carries out a command that command_enabled allowed.
    virtual void run_command(int command) = 0;
};

// The panes of a pattern window in which a block can be made.
enum class Pane { NOTES, VOLUME, BALANCE, TEMPO };

// Implemented by the pattern window (the widget inside its MDI child). Its command rules follow
// from what it answers below: block commands need a block, the voice commands voices, Paste a
// pattern block on the clipboard, Portamento a block made in the note pane.
class PatternView : public CommandTarget {
  public:
    virtual size_t pattern_index() const = 0;
    // Shows another pattern (New, Load, the sequence window's Open).
    virtual void point_at(size_t pattern) = 0;
    virtual bool has_block() const = 0;
    virtual Pane block_pane() const = 0;
    virtual bool shows_pane(Pane pane) const = 0;
    virtual bool follows_playback() const = 0;
    // The current voice's index; meaningful when the pattern has voices.
    virtual size_t current_voice() const = 0;
    // Puts this window's layout into the pattern-window settings (before another one opens,
    // and for the first window at exit).
    virtual void store_settings() = 0;
    // Redraws the block marking (All Voices toggled).
    virtual void refresh_block_marking() = 0;
    // Whether the clipboard holds a pattern block (Paste is available).
    virtual bool clipboard_has_block() const;
    // The answers of the rules below (pattern_command_rules).
    bool command_enabled(int command, const Song& song) const override;
    bool command_checked(int command, const Song& song) const override;
    // The pattern it shows moved to another index (a pattern inserted or deleted before it):
    // the same pattern, the same view.
    virtual void renumber(size_t pattern) { point_at(pattern); }
    // The pattern-window settings changed (cell size, note length): lay out anew.
    virtual void apply_settings() {}
};

// The rules of one command a pattern window owns: when it is available and when its item is
// checked, from what the window answers.
struct PatternCommandRule {
    int command;
    bool (*enabled)(const PatternView& window, const Song& song);
    bool (*checked)(const PatternView& window, const Song& song);
};
// The commands every pattern window owns, with their rules.
const std::vector<PatternCommandRule>& pattern_command_rules();
const PatternCommandRule* pattern_command_rule(int command);

// Makes a child widget for the MDI area; the main frame wraps it in its MDI child window.
using ChildFactory = std::function<QWidget*()>;

struct ChildFactories {
    ChildFactory pattern; // a PatternView widget, pointed at a pattern afterwards
    ChildFactory sequence;
    ChildFactory instruments;
    ChildFactory keyboard;
    // Dialogs that come with later windows (Song Options, the Options property sheet).
    std::function<void()> song_options;
    std::function<void()> options;
};

} // namespace tunemill
