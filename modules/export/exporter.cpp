// The assembly of the module: the passes in their order, the pieces as patterns, and the jump
// back to where the song repeats.
#include "modules/export/exporter.h"

#include "foundation/errors.h"
#include "foundation/string_table.h"

#include <algorithm>
#include <filesystem>

namespace tunemill::exporting {

[[noreturn]] void internal_error() {
    throw MISC_ERROR(S_INTERNAL_ERROR);
}

int effect_rank(ExportEffect effect) {
    switch (effect) {
    case ExportEffect::NONE:
        return 0;
    case ExportEffect::NOTE_CUT:
        return 1;
    case ExportEffect::SET_VOLUME:
        return 2;
    case ExportEffect::PITCH_SLIDE:
        return 3;
    case ExportEffect::TONE_PORTAMENTO:
        return 4;
    case ExportEffect::SET_BALANCE:
        return 5;
    case ExportEffect::POSITION_JUMP:
        return 6;
    case ExportEffect::SET_TEMPO:
        return 7;
    case ExportEffect::SPEED:
        return 8;
    case ExportEffect::PATTERN_BREAK:
        return 9;
    default:
        return 0;
    }
}

std::vector<ExportCell> Exporter::piece_cells(const std::vector<Track>& tracks, size_t first,
                                              size_t rows) const {
    const size_t channels = size_t(params_.channels);
    std::vector<ExportCell> cells(size_t(ROWS) * channels);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < channels; ++c) {
            ExportCell& cell = cells[r * channels + c];
            if (c < tracks.size())
                cell = tracks[c].cells[first + r];
            else if (r == 0)
                cell.effect = ExportEffect::NOTE_CUT; // nothing of the pattern before goes on
        }
    return cells;
}

ExportedModule Exporter::build() {
    prepare();
    module_.format = format_;
    module_.channels = params_.channels;
    module_.title = std::filesystem::path(song_.path).stem().string();
    module_.title.resize(std::min(module_.title.size(), params_.title_length));
    module_.description = song_.description;
    choose_samples();
    cut_orders();
    note_losses();
    entry_tempo();
    module_.initial_tempo = module_tempo(initial_value_, song_.overall_tempo);
    fill_patterns();
    if (jump_target_ != 0) place_jump();
    for (size_t order : orders_)
        module_.orders.push_back(uint8_t(order));
    return std::move(module_);
}

// Every piece as a module pattern; a pattern's tracks are made when its first piece comes.
void Exporter::fill_patterns() {
    module_.patterns.assign(pieces_.size(), {});
    std::vector<std::vector<Track>> tracks_of(patterns_.size());
    for (size_t i = 0; i < pieces_.size(); ++i) {
        const Piece& piece = pieces_[i];
        if (tracks_of[piece.pattern].empty() && pattern_pieces_[piece.pattern].front() == i)
            tracks_of[piece.pattern] = make_tracks(piece.pattern);
        module_.patterns[i] = piece_cells(tracks_of[piece.pattern], piece.first, piece.rows);
    }
    if (pieces_.empty()) {
        // Nothing plays: one empty pattern that ends on its first row.
        module_.patterns.assign(1,
                                std::vector<ExportCell>(size_t(ROWS) * size_t(params_.channels)));
        module_.patterns[0][0].effect = ExportEffect::PATTERN_BREAK;
        orders_.assign(1, 0);
    }
}

// The jump back to the repeat position goes on the last order's last row; a break there gives
// way to it.
void Exporter::place_jump() {
    size_t last = orders_.back();
    const size_t row = pieces_[last].rows - 1;
    if (jump_copy_) {
        module_.patterns.push_back(module_.patterns[last]);
        last = module_.patterns.size() - 1;
        orders_.back() = last;
    }
    const size_t channels = size_t(params_.channels);
    std::vector<ExportCell>& cells = module_.patterns[last];
    size_t chosen = channels;
    for (size_t c = 0; c < channels; ++c)
        if (cells[row * channels + c].effect == ExportEffect::PATTERN_BREAK) chosen = c;
    if (chosen == channels) {
        chosen = 0;
        for (size_t c = 1; c < channels; ++c)
            if (effect_rank(cells[row * channels + c].effect) <
                effect_rank(cells[row * channels + chosen].effect))
                chosen = c;
    }
    ExportCell& cell = cells[row * channels + chosen];
    cell.effect = ExportEffect::POSITION_JUMP;
    cell.parameter = uint8_t(jump_target_);
    cell.speed = 0;
}

} // namespace tunemill::exporting
