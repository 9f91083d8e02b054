// The order list: every played pattern cut into 64-row pieces, the tempo each pattern is entered
// with, and the notes and balances the format loses.
#include "modules/export/exporter.h"

#include "song/timing.h"

#include <algorithm>

namespace tunemill::exporting {

void Exporter::cut_orders() {
    pattern_pieces_.assign(patterns_.size(), {});
    cut_.assign(patterns_.size(), false);
    bool jump_known = false;
    for (size_t entry = 0; entry < song_.sequence.size(); ++entry) {
        const size_t p = song_.sequence[entry];
        if (int32_t(entry) == song_.repeat_position) {
            jump_target_ = orders_.size();
            jump_known = true;
        }
        bool full = false;
        if (!cut_[p]) {
            cut_[p] = true;
            const size_t length = patterns_[p].tick_length();
            for (size_t first = 0; first < length; first += ROWS) {
                if (pieces_.size() >= size_t(params_.max_patterns)) {
                    full = true;
                    break;
                }
                pattern_pieces_[p].push_back(pieces_.size());
                pieces_.push_back({p, first, std::min<size_t>(ROWS, length - first)});
            }
        }
        bool done = false;
        for (size_t piece : pattern_pieces_[p]) {
            if (orders_.size() >= size_t(params_.max_orders)) {
                done = true;
                break;
            }
            orders_.push_back(piece);
        }
        // A pattern that no longer fits ends the module there.
        if (done || full) {
            // This entry (whole or in part) and every later one.
            warn(ExportWarningKind::SEQUENCE_CUT, {}, uint32_t(song_.sequence.size() - entry));
            break;
        }
    }
    if (!jump_known || jump_target_ >= orders_.size()) jump_target_ = 0;
    if (jump_target_ != 0) {
        // The jump goes on the last order; a piece that also plays elsewhere gets a copy.
        const size_t last = orders_.back();
        if (std::count(orders_.begin(), orders_.end(), last) > 1) {
            if (pieces_.size() >= size_t(params_.max_patterns))
                jump_target_ = 0; // no room for it
            else
                jump_copy_ = true;
        }
    }
}

void Exporter::entry_tempo() {
    recorded_.assign(patterns_.size(), -1);
    marked_.assign(patterns_.size(), false);
    for (uint32_t p : song_.sequence)
        if (patterns_[p].length > 0) {
            first_pattern_ = int(p);
            const auto& points = patterns_[p].tempo_points;
            initial_value_ = !points.empty() && points.front().tick == 0 ? points.front().value
                                                                         : DEFAULT_TEMPO_VALUE;
            break;
        }
    int running = initial_value_;
    for (uint32_t p : song_.sequence) {
        const Pattern& pattern = patterns_[p];
        if (pattern.length <= 0) continue; // plays nothing, changes nothing
        if (recorded_[p] < 0)
            recorded_[p] = running;
        else if (recorded_[p] != running)
            marked_[p] = true;
        running = tempo_value_at(pattern, pattern.tick_length() - 1);
    }
    if (!params_.tempo_in_header && first_pattern_ >= 0) marked_[size_t(first_pattern_)] = true;
    for (size_t entry = size_t(std::max(0, song_.repeat_position)); entry < song_.sequence.size();
         ++entry) {
        const uint32_t p = song_.sequence[entry];
        if (patterns_[p].length <= 0) continue;
        if (recorded_[p] != running) marked_[p] = true;
        break;
    }
}

// MOD keys beyond ProTracker's three octaves (periods 856 to 113, keys 24 to 59) and balance
// changes that no note start carries, over the voices that are exported.
void Exporter::note_losses() {
    uint32_t outside = 0, balances = 0;
    for (size_t p = 0; p < patterns_.size(); ++p) {
        if (!cut_[p]) continue;
        for (const Voice& voice : patterns_[p].voices) {
            if (voice.instrument >= sample_of_.size() || sample_of_[voice.instrument] < 0) continue;
            for (const Event& event : voice.events) {
                if (event.kind == NOTE_ON &&
                    (event.param1 < params_.lowest_key || event.param1 > params_.highest_key))
                    ++outside;
                if (event.kind == BALANCE &&
                    std::none_of(voice.events.begin(), voice.events.end(), [&](const Event& e) {
                        return e.kind == NOTE_ON && e.tick == event.tick;
                    }))
                    ++balances;
            }
        }
    }
    if (outside) warn(ExportWarningKind::KEYS_OUT_OF_RANGE, {}, outside);
    if (balances) warn(ExportWarningKind::BALANCE_LOST, {}, balances);
}

} // namespace tunemill::exporting
