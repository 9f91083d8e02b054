// The model of one pattern window, free of widgets: which pattern and voice it shows, its block,
// cursor and playback cell, the geometry its panes share, the scrolling in beats, the modes
// (follow playback, transpose, recording) and the rules that tie them together. The panes,
// bars, voices pane, toolbar and status bar draw from it and hear of every change through its
// signals; every change of the song goes through the document's edit path.
#pragma once

#include <QObject>
#include <cstdint>
#include <optional>

#include "app/pattern/geometry.h"
#include "song/editing.h"

namespace tunemill {

class Document;
class EnginePlayer;
struct SongChange;

// The window's block: [from, to) and the pane it was made in; from < to means it exists.
struct EditorBlock {
    Tick from = 0;
    Tick to = 0;
    Pane pane = Pane::NOTES;

    bool exists() const { return from < to; }
    bool operator==(const EditorBlock&) const = default;
};

// Bit masks of panes for repaints.
constexpr unsigned pane_bit(Pane pane) {
    return 1u << unsigned(pane);
}
constexpr unsigned ALL_PANES = 0xF;

class PatternEditor : public QObject {
    Q_OBJECT

  public:
    // The player may be null (no sound devices): nothing plays then.
    PatternEditor(Document& document, EnginePlayer* player, QObject* parent = nullptr);
    ~PatternEditor() override;

    Document& document() const { return document_; }
    EnginePlayer* player() const { return player_; }
    const Song& song() const;
    int32_t ticks_per_beat() const;
    int32_t beats_per_measure() const;

    // --- The pattern and the current voice ---
    size_t pattern_index() const { return pattern_; }
    // The pattern shown (an empty one while the index lies outside the song, between a song's
    // replacement and the window being pointed at its pattern).
    const Pattern& pattern() const;
    bool pattern_valid() const;
    bool has_voices() const { return !pattern().voices.empty(); }
    // The current voice's index; below the voice count whenever there are voices.
    size_t voice() const { return voice_; }
    const Voice* current_voice() const;
    // Makes the voice current (every pane redraws for it).
    void set_voice(size_t voice);
    // Shows another pattern: nothing when it is the one shown; else a block playback or
    // recording of this window stops, block and modes are cleared, the view goes to tick 0, and
    // the current voice follows its instrument.
    void switch_to(size_t pattern);
    // The same pattern at another index (a pattern inserted or deleted before it).
    void renumber(size_t pattern);

    // --- Geometry and scrolling ---
    const PatternGeometry& geometry() const { return geometry_; }
    const PaneRows& rows(Pane pane) const { return rows_[pane_number(pane)]; }
    void set_cell_size(int cell_x, int cell_y);
    void set_visible_columns(int columns);
    // The pane was sized: its visible rows (the note pane's first sizing places pitch 36).
    void set_visible_rows(Pane pane, int visible);
    void set_first_row(Pane pane, int first);
    BeatScroll scroll() const;
    int first_beat() const;
    // Scrolls to the beat (limited); by_user is refused while following a running playback or
    // recording.
    bool set_first_beat(int beat, bool by_user);

    // --- Panes shown ---
    bool shows(Pane pane) const { return shown_[pane_number(pane)]; }
    void set_shown(Pane pane, bool shown);

    // --- Block ---
    const EditorBlock& block() const { return block_; }
    // [smaller, larger) of the two columns, each limited to 0..length; a block for a hidden
    // pane is a note-pane block; the same block again does nothing; any change stops a block or
    // recording playback of this window and ends a block recording.
    void set_block(Tick a, Tick b, Pane pane);
    void clear_block() { set_block(0, 0, Pane::NOTES); }
    // The block as the song's operations take it: for one voice (AllVoices off, not the tempo
    // pane, a pattern with voices), else for all voices (the tempo curve for a tempo block).
    Block operation_block() const;
    bool all_voices_scope() const;

    // --- Cursor ---
    Tick cursor() const { return cursor_; }
    // Moves the cursor and scrolls by whole beats so that it is visible.
    void set_cursor(Tick tick);
    // Cursor moves by the user are refused while following a running playback or recording.
    bool user_moves_allowed() const;
    // Home, End, Left and Right (Qt keys), with Shift extending the block. False when refused
    // or when nothing moved.
    bool move_cursor_key(int key, bool shift);
    // The furthest the cursor may go: before pattern length + visible columns - 1.
    Tick cursor_limit() const;

    // --- Playback ---
    // The playback cell, or none (-1).
    int64_t playback_tick() const { return playback_tick_; }
    void set_playback_tick(int64_t tick);
    // A playing position reached the window (the last of those queued): shown when following
    // or showing the playing pattern; a following (or recording) window switches and pages.
    void show_position(uint32_t pattern, int32_t tick);
    // Playback ended: the playback cell goes, a recording ends.
    void playback_ended();
    // Whether a playback is running as far as this window knows (a position has been shown and
    // no end since).
    bool playing() const { return playing_; }
    // This window started the block or recording playback that plays now.
    bool owns_block_playback() const { return block_playing_; }
    void set_block_playing(bool playing) { block_playing_ = playing; }
    // Stops a block or recording playback that this window started (the engine's
    // stop-block-if-owned).
    void stop_owned_block_playback();

    // --- Modes ---
    bool follows() const { return follow_; }
    void set_follow(bool follow);
    bool transpose_mode() const { return transpose_mode_; }
    void set_transpose_mode(bool on) { transpose_mode_ = on; }
    int note_length() const { return note_length_; }
    void set_note_length(int index);
    // Lowers the note length until it is usable (after ticks per beat changed).
    void fit_note_length();
    bool note_length_usable() const;
    Tick note_length_ticks() const;

    // --- Recording ---
    struct Recording {
        bool active = false;
        bool block = false;         // Record Block: into the block only
        bool start_pending = false; // the first note starts the recording playback
        bool cleared = false;       // the first note of the pass has cleared what it records over
    };
    const Recording& recording() const { return recording_; }
    // Record Voice (block false) or Record Block: stops playback, discards queued positions,
    // waits for the first note at the block start or tick 0. False when not possible.
    bool start_recording(bool block);
    void end_recording();
    Recording& recording_state() { return recording_; }

    // --- Change notices from the document ---
    void change_begins(const SongChange& change);
    void change_done(const SongChange& change);
    void voice_removed(int32_t pattern, int32_t voice);
    // Another song took the place of the old one: back to the start.
    void song_replaced();

    // The tick the step entry uses when not in a chord: the playback tick while following a
    // playback or recording, else the cursor.
    Tick entry_position() const;

  signals:
    // Columns [from, to) of the panes in the mask need drawing anew.
    void repaintColumns(unsigned panes, tunemill::Tick from, tunemill::Tick to);
    // Everything drawn needs drawing anew (scrolling, another voice or pattern).
    void repaintAll();
    // The rows of a pane scrolled.
    void rowsScrolled(tunemill::Pane pane);
    // The horizontal scroll position or range changed.
    void scrollChanged();
    void cursorMoved();
    void blockChanged();
    // The voice list, the current voice or a mute flag changed.
    void voicesChanged();
    // Another pattern is shown (title, selector).
    void patternShown();
    // Patterns were renamed, added or removed (the selector).
    void patternListChanged();
    // The states the toolbar and status bar show (follow, note length, block, clipboard...).
    void stateChanged();
    // The shown panes changed (the window lays itself out anew).
    void panesChanged();
    // A position report was discarded (recording start): the window drops its queued ones.
    void discardPositions();

  private:
    void clamp_first_beat();
    void scroll_to_show(Tick tick);
    void repaint_block_columns(const EditorBlock& old_block, const EditorBlock& new_block);
    unsigned panes_of(const SongChange& change) const;

    Document& document_;
    EnginePlayer* player_;
    size_t pattern_ = 0;
    size_t voice_ = 0;
    EditorBlock block_;
    Tick cursor_ = 0;
    int64_t playback_tick_ = -1;
    bool playing_ = false;
    bool block_playing_ = false;
    bool follow_ = false;
    bool transpose_mode_ = false;
    int note_length_ = 2;
    Recording recording_;
    PatternGeometry geometry_;
    PaneRows rows_[PANE_COUNT];
    bool shown_[PANE_COUNT] = {true, false, false, false};
    bool rows_scrolled_[PANE_COUNT] = {false, false, false, false};
    Tick length_before_change_ = 0;
};

} // namespace tunemill
