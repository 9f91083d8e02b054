// The pattern window as the frame and the other windows see it: the pattern it shows, its block
// and panes, and the rules of the commands it owns, which follow from those answers.
#pragma once

#include <cstddef>
#include <vector>

#include "app/common/command_table.h"

namespace tunemill {

struct Song;

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

} // namespace tunemill
