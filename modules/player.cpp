// The module player: one row at a time, with the slides of the previous row finished in one
// step at the start of the next (the conversion hears rows, not tracker ticks).
#include "modules/player.h"

#include <algorithm>
#include <cstdlib>

namespace tunemill {

void ModulePlayer::start() {
    reader_.start();
    const InitialState initial = reader_.initial_state();
    order_ = 0;
    row_ = 0;
    last_order_ = -1;
    last_row_ = -1;
    tempo_ = initial.tempo;
    speed_ = initial.speed;
    time_ = 0;
    row_duration_ = 0;
    visited_.fill(false);
    channels_.assign(size_t(reader_.channel_count()), PlayerChannel{});
    for (size_t c = 0; c < channels_.size() && c < initial.channels.size(); ++c) {
        channels_[c].volume = initial.channels[c].volume;
        channels_[c].pan = initial.channels[c].pan;
    }
    end_ = End::PLAYING;
    end_order_ = -1;
}

void ModulePlayer::emit(PlayerSink& sink, uint16_t kind, int channel, uint32_t value) {
    sink.event({time_, kind, uint16_t(channel), value});
}

bool ModulePlayer::play_row(PlayerSink& sink) {
    if (end_ != End::PLAYING) return false;
    time_ += row_duration_;
    if ((order_ != last_order_ || row_ != last_row_ + 1) && !enter_position(sink)) return false;

    const int pattern = reader_.orders()[size_t(order_)];
    RowJumps jumps;
    // The previous row's slides ran at the speed that row played at; a speed command in this row
    // (on any channel, earlier ones included) changes only this row.
    const int played_speed = speed_;
    for (size_t c = 0; c < channels_.size(); ++c) {
        PlayerChannel& ch = channels_[c];
        finish_slide(ch, played_speed);
        const ModuleCell cell = reader_.cell(pattern, row_, int(c));
        int command = cell.command;
        const bool struck = take_note(ch, cell, command);
        const bool cut = apply_command(ch, command, cell.parameter, jumps);
        report(sink, int(c), ch, struck, cut);
    }
    advance(pattern, jumps);
    return true;
}

bool ModulePlayer::enter_position(PlayerSink& sink) {
    const std::vector<int>& orders = reader_.orders();
    End reason = End::PLAYING;
    if (order_ < 0 || order_ >= int(orders.size()))
        reason = End::ORDER_LIST;
    else if (visited_[size_t(order_)])
        reason = End::REVISITED;
    else if (reader_.rows(orders[size_t(order_)]) == 0)
        reason = End::EMPTY_PATTERN;
    if (reason != End::PLAYING) {
        end_ = reason;
        end_order_ = order_;
        emit(sink, MODULE_POSITION, 0, 0);
        return false;
    }
    visited_[size_t(order_)] = true;
    sink.position(order_, EntryState{orders[size_t(order_)], row_, tempo_, speed_, channels_},
                  time_);
    return true;
}

// Finishes the previous row's slide: the remaining speed - 1 tracker ticks in one step.
void ModulePlayer::finish_slide(PlayerChannel& ch, int played_speed) {
    const int step = ch.memory * (played_speed - 1);
    switch (ch.command) {
    case CMD_SLIDE_UP:
        if (ch.period) ch.period = std::clamp(ch.period - step, 16, 4096);
        break;
    case CMD_SLIDE_DOWN:
        if (ch.period) ch.period = std::clamp(ch.period + step, 16, 4096);
        break;
    case CMD_TONE_PORTAMENTO:
        if (ch.period && ch.target_period) {
            if (ch.period < ch.target_period)
                ch.period = std::min(ch.period + step, ch.target_period);
            else
                ch.period = std::max(ch.period - step, ch.target_period);
        }
        break;
    case CMD_VOLUME_UP:
        ch.volume = std::min(ch.volume + step, 64);
        break;
    case CMD_VOLUME_DOWN:
        ch.volume = std::max(ch.volume - step, 0);
        break;
    default:
        break;
    }
}

bool ModulePlayer::take_note(PlayerChannel& ch, const ModuleCell& cell, int& command) const {
    const auto& slots = reader_.slots();
    if (cell.sample != NO_SAMPLE && cell.sample < MODULE_SAMPLE_SLOTS) {
        ch.sample = cell.sample;
        ch.volume = slots[cell.sample].default_volume;
    }
    if (cell.volume != NO_VOLUME) ch.volume = cell.volume;
    if (cell.period == NO_PERIOD) return false;
    const int period = cell.period;
    if (command == CMD_TONE_PORTAMENTO && !slides_as_note(ch, period, cell.parameter)) {
        ch.target_period = period;
        return false;
    }
    if (command == CMD_TONE_PORTAMENTO) command = CMD_NONE;
    ch.period = period;
    ch.had_note = true;
    return true;
}

// A looping sound that starts its loop early would be heard as a new note anyway: a slide from
// nothing, or one that barely moves, becomes a note.
bool ModulePlayer::slides_as_note(const PlayerChannel& ch, int period, int parameter) const {
    if (ch.sample < 0) return false;
    const int slide = parameter ? parameter : ch.memory;
    const SampleSlot& slot = reader_.slots()[size_t(ch.sample)];
    const bool early_loop = slot.loop_start != NO_LOOP && slot.loop_start < slot.length / 2;
    return early_loop && (!ch.had_note || std::abs(period - ch.period) < (speed_ - 1) * slide / 2);
}

bool ModulePlayer::apply_command(PlayerChannel& ch, int command, int parameter, RowJumps& jumps) {
    if (parameter != 0)
        ch.memory = parameter;
    else if (command != CMD_NONE && (command < CMD_SLIDE_UP || command > CMD_VOLUME_DOWN))
        ch.memory = 0;

    bool cut = false;
    switch (command) {
    case CMD_SET_TEMPO:
        if (parameter >= 32) tempo_ = parameter;
        break;
    case CMD_SET_SPEED:
        if (parameter != 0) speed_ = parameter;
        break;
    case CMD_SET_PAN:
        ch.pan = parameter;
        break;
    case CMD_JUMP:
        jumps.order = parameter;
        break;
    case CMD_SET_VOLUME:
        ch.volume = parameter;
        break;
    case CMD_BREAK:
        jumps.row = parameter >= MODULE_ROWS ? 0 : parameter;
        break;
    case CMD_FINE_SLIDE_UP:
        if (ch.period) ch.period -= parameter;
        break;
    case CMD_FINE_SLIDE_DOWN:
        if (ch.period) ch.period += parameter;
        break;
    case CMD_FINE_VOLUME_UP:
        ch.volume += parameter;
        break;
    case CMD_FINE_VOLUME_DOWN:
        ch.volume -= parameter;
        break;
    case CMD_NOTE_CUT:
        cut = true;
        break;
    default:
        break;
    }
    ch.command = command;
    if (ch.period) ch.period = std::clamp(ch.period, 16, 4096);
    ch.volume = std::clamp(ch.volume, 0, 64);
    ch.pan = std::clamp(ch.pan, 0, 128);
    return cut;
}

// Tells the sink what changed on the channel since it last heard of it.
void ModulePlayer::report(PlayerSink& sink, int c, PlayerChannel& ch, bool struck, bool cut) {
    const bool has_sample = ch.sample >= 0;
    if (has_sample && ch.sample != ch.reported_sample) {
        emit(sink, MODULE_INSTRUMENT, c, uint32_t(ch.sample));
        ch.reported_sample = ch.sample;
    }
    if (cut && has_sample) emit(sink, MODULE_NOTE_OFF, c, 0);
    if (struck && has_sample) {
        emit(sink, MODULE_NOTE_OFF, c, 0);
        emit(sink, MODULE_NOTE_ON, c, reader_.pitch(uint32_t(ch.period), uint16_t(ch.sample)));
        ch.reported_period = ch.period;
    } else if (has_sample && ch.period && ch.period != ch.reported_period) {
        emit(sink, MODULE_PITCH, c, reader_.pitch(uint32_t(ch.period), uint16_t(ch.sample)));
        ch.reported_period = ch.period;
    }
    if (ch.volume != ch.reported_volume) {
        emit(sink, MODULE_VOLUME, c, uint32_t(ch.volume * 65536 / 64));
        ch.reported_volume = ch.volume;
    }
    if (ch.pan != ch.reported_pan) {
        emit(sink, MODULE_PAN, c, uint32_t(ch.pan * 65536 / 128));
        ch.reported_pan = ch.pan;
    }
}

// The next row: the following one, or where a jump or break sends the music. A jump and a break
// in one row: the jump's order, at the break's row.
void ModulePlayer::advance(int pattern, const RowJumps& jumps) {
    int next_order = order_, next_row = row_ + 1;
    if (next_row >= reader_.rows(pattern)) {
        next_order = order_ + 1;
        next_row = 0;
    }
    if (jumps.order >= 0) {
        next_order = jumps.order;
        next_row = jumps.row >= 0 ? jumps.row : 0;
    } else if (jumps.row >= 0) {
        next_order = order_ + 1;
        next_row = jumps.row;
    }
    last_order_ = order_;
    last_row_ = row_;
    order_ = next_order;
    row_ = next_row;
    row_duration_ = int64_t(speed_) * 2500000 / tempo_;
}

} // namespace tunemill
