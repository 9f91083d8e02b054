// The export's working state and its passes, one file each: samples (samples.cpp), the order
// list and entry tempo (orders.cpp), tracks cut from the voices (tracks.cpp), merged by cost
// into the channels (merge.cpp), the effects that carry volume, balance and slides
// (effects.cpp), and the assembly of the module (exporter.cpp).
#pragma once

#include "modules/export.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tunemill::exporting {

constexpr int ROWS = 64;

[[noreturn]] void internal_error();

// Which effect gives way when two share a cell: the lower rank.
int effect_rank(ExportEffect effect);
// How much a track's instrument category weighs when two notes start together: the lighter
// percussion gives way.
int category_weight(uint32_t category);

struct TrackCell : ExportCell {
    uint8_t slide_target = EXPORT_SILENT; // a portamento starts here
    uint8_t slide_length = 0;
};

// One monophonic line of a pattern, a cell per tick.
struct Track {
    std::vector<TrackCell> cells;
    int weight = 0;

    bool sounding(size_t t) const { return cells[t].key != EXPORT_SILENT; }
    bool starts(size_t t) const { return cells[t].note_start; }
    // The end of the note that starts at s: the first later tick that is silent or starts anew.
    size_t note_end(size_t s) const {
        size_t e = s + 1;
        while (e < cells.size() && sounding(e) && !starts(e))
            ++e;
        return e;
    }
    size_t next_start(size_t s) const {
        size_t t = s + 1;
        while (t < cells.size() && !starts(t))
            ++t;
        return t;
    }
};

// A portamento on its way: n steps from frequency fa to fb, done of them taken.
struct Slide {
    bool active = false;
    int n = 0, done = 0;
    int64_t fa = 0, fb = 0, pitch = 0;
    uint8_t sample = 0;
};

class Exporter {
  public:
    Exporter(const Song& song, ModuleFormat format)
        : song_(song), format_(format), params_(module_format_parameters(format)) {}

    ExportedModule build();

  private:
    // samples.cpp
    void prepare();
    void choose_samples();
    ExportSample make_sample(uint32_t index, int default_volume, bool played);

    // orders.cpp
    void cut_orders();
    void entry_tempo();
    void note_losses();

    // tracks.cpp
    std::vector<Track> make_tracks(size_t pattern);
    void add_voice_tracks(const Voice& voice, size_t length, std::vector<Track>& tracks) const;
    void add_global_effects(size_t pattern, std::vector<Track>& tracks) const;
    void add_global(std::vector<Track>& tracks, size_t length, size_t tick, ExportEffect effect,
                    uint8_t parameter) const;

    // merge.cpp
    int cost(const Track& a, const Track& b) const;
    void merge_into(Track& a, const Track& b) const;
    // Returns the merges forced by the channel count (those that cut notes).
    size_t merge_tracks(std::vector<Track>& tracks) const;

    // effects.cpp
    void place_effects(Track& track) const;
    Slide start_slide(const TrackCell& cell) const;
    void continue_slide(Slide& slide, TrackCell& cell) const;
    void place_volume(TrackCell& cell, int& current_volume) const;
    void place_balance(Track& track, size_t t, int& last_balance) const;
    int64_t slide_pitch(int64_t frequency, uint8_t sample) const;

    // exporter.cpp
    std::vector<ExportCell> piece_cells(const std::vector<Track>& tracks, size_t first,
                                        size_t rows) const;
    void fill_patterns();
    void place_jump();

    void warn(ExportWarningKind kind, std::string subject, uint32_t count = 0) {
        module_.warnings.push_back({kind, std::move(subject), count});
    }

    const Song& song_;
    ModuleFormat format_;
    ModuleFormatParameters params_;
    std::vector<Pattern> patterns_; // normalized copies
    std::vector<int> sample_of_;    // per instrument: sample index, -1 dropped
    struct Piece {
        size_t pattern;
        size_t first;
        size_t rows;
    };
    std::vector<Piece> pieces_;
    std::vector<std::vector<size_t>> pattern_pieces_;
    std::vector<bool> cut_;
    std::vector<size_t> orders_;
    size_t jump_target_ = 0;
    bool jump_copy_ = false;
    std::vector<int> recorded_; // entry tempo value per pattern, -1 unknown
    std::vector<bool> marked_;
    int initial_value_ = DEFAULT_TEMPO_VALUE;
    int first_pattern_ = -1; // the first non-empty pattern played
    ExportedModule module_;
};

} // namespace tunemill::exporting
