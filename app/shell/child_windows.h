// What the main frame needs to know of its child windows. The pattern windows answer the
// questions of the menu's enabling rules and carry out the commands that act on the active
// pattern window; the sequence, instruments and keyboard windows are made by their factories.
#pragma once

#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tunemill {

// The panes of a pattern window in which a block can be made.
enum class Pane { NOTES, VOLUME, BALANCE, TEMPO };

// Implemented by the pattern window (the widget inside its MDI child).
class PatternView {
  public:
    virtual ~PatternView() = default;
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
    // Carries out a command that acts on the active pattern window (Cut to Follow Playback);
    // the menu has already checked that it applies.
    virtual void run_command(int command) = 0;
    // The pattern it shows moved to another index (a pattern inserted or deleted before it):
    // the same pattern, the same view.
    virtual void renumber(size_t pattern) { point_at(pattern); }
    // The pattern-window settings changed (cell size, note length): lay out anew.
    virtual void apply_settings() {}
};

// Makes a child widget for the MDI area; the main frame wraps it in its MDI child window.
using ChildFactory = std::function<QWidget*()>;

struct ChildFactories {
    ChildFactory pattern;      // a PatternView widget, pointed at a pattern afterwards
    ChildFactory sequence;
    ChildFactory instruments;
    ChildFactory keyboard;
    // Dialogs that come with later windows (Song Options, the Options property sheet).
    std::function<void()> song_options;
    std::function<void()> options;
};

} // namespace tunemill
