// Plays a module once, as a tracker would, row by row, and reports what is heard as timed
// events: notes, instrument, volume, pan and pitch changes per channel. The conversion plays a
// module twice through this player, once to learn its structure and once to record it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "modules/module.h"

namespace tunemill {

enum ModuleEventKind : uint16_t {
    MODULE_POSITION = 0, // a position boundary
    MODULE_NOTE_ON = 1,  // value: pitch value
    MODULE_NOTE_OFF = 2,
    MODULE_INSTRUMENT = 3, // value: sample slot (the recording gives the instrument number)
    MODULE_VOLUME = 4,     // value: volume * 65536 / 64
    MODULE_PAN = 5,        // value: pan * 65536 / 128
    MODULE_PITCH = 6,      // value: pitch value
};

struct ModuleEvent {
    int64_t time = 0; // microseconds
    uint16_t kind = MODULE_POSITION;
    uint16_t channel = 0;
    uint32_t value = 0;
};

// The per-channel state of the player. period 0: no note yet; sample -1: none.
struct PlayerChannel {
    int period = 0;
    int sample = -1;
    int volume = 64;
    int pan = 64;
    int target_period = 0; // of a tone portamento
    int command = CMD_NONE;
    int memory = 0; // the remembered parameter
    bool had_note = false;
    int reported_period = -1;
    int reported_sample = -1;
    int reported_volume = -1;
    int reported_pan = -1;

    bool operator==(const PlayerChannel&) const = default;
};

// What the player is at when it enters an order position. Two positions with equal entry
// states sound the same from their start.
struct EntryState {
    int pattern = 0;
    int row = 0;
    int tempo = 125;
    int speed = 6;
    std::vector<PlayerChannel> channels;

    bool operator==(const EntryState&) const = default;
};

class PlayerSink {
  public:
    virtual ~PlayerSink() = default;
    // A new order position is entered (before its first row is played).
    virtual void position(int order_index, const EntryState& state, int64_t time) = 0;
    virtual void event(const ModuleEvent& event) = 0;
};

class ModulePlayer {
  public:
    // Why the music ended.
    enum class End { PLAYING, ORDER_LIST, REVISITED, EMPTY_PATTERN };

    explicit ModulePlayer(ModuleReader& reader) : reader_(reader) {}

    void start();
    // Plays one row; false at the end of the music (a position boundary is then reported).
    bool play_row(PlayerSink& sink);

    End end() const { return end_; }
    // The order index whose second visit ended the music (with End::REVISITED).
    int end_order() const { return end_order_; }
    int64_t time() const { return time_; }

  private:
    // A jump's order and a break's row of the row being played; -1 when none.
    struct RowJumps {
        int order = -1;
        int row = -1;
    };

    // Checks where the music stands before a new position; false when it has ended.
    bool enter_position(PlayerSink& sink);
    static void finish_slide(PlayerChannel& ch, int played_speed);
    // The cell's sample, volume and note; true when a note is struck. A tone portamento that
    // sounds as a new note becomes one (command is then CMD_NONE).
    bool take_note(PlayerChannel& ch, const ModuleCell& cell, int& command) const;
    bool slides_as_note(const PlayerChannel& ch, int period, int parameter) const;
    // The cell's command; true when it cuts the note.
    bool apply_command(PlayerChannel& ch, int command, int parameter, RowJumps& jumps);
    void report(PlayerSink& sink, int channel, PlayerChannel& ch, bool struck, bool cut);
    void advance(int pattern, const RowJumps& jumps);
    void emit(PlayerSink& sink, uint16_t kind, int channel, uint32_t value);

    ModuleReader& reader_;
    int order_ = 0;
    int row_ = 0;
    int last_order_ = -1;
    int last_row_ = -1;
    int tempo_ = 125;
    int speed_ = 6;
    int64_t time_ = 0;
    int64_t row_duration_ = 0;
    std::array<bool, MODULE_MAX_ORDERS + 1> visited_{};
    std::vector<PlayerChannel> channels_;
    End end_ = End::PLAYING;
    int end_order_ = -1;
};

} // namespace tunemill
