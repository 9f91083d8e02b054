// The song-to-module export: samples (chosen by use, resampled to 8 bits), the order list of
// 64-row pieces, the entry tempo of every pattern, tracks cut from the voices and merged by cost
// into the channels, and the effects that carry volume, balance, slides and tempo.
#include "modules/export.h"

#include "foundation/errors.h"
#include "foundation/file.h"
#include "foundation/string_table.h"
#include "foundation/text.h"
#include "song/timing.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <unistd.h>

namespace tunemill {

namespace {

constexpr uint16_t PERIODS[KEY_COUNT] = {
    3424, 3232, 3050, 2879, 2718, 2565, 2421, 2285, 2157, 2036, 1922, 1814, 1712, 1614,
    1524, 1438, 1358, 1282, 1210, 1142, 1078, 1017, 960,  906,  856,  808,  762,  720,
    678,  640,  604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339,  320,
    302,  285,  269,  254,  240,  226,  214,  202,  190,  180,  170,  160,  151,  143,
    135,  127,  120,  113,  107,  101,  95,   90,   85,   80,   76,   71,   67,   64,
    60,   57,   54,   50,   48,   45,   42,   40,   38,   36,   34,   32,   30,   28};

constexpr int ROWS = 64;

[[noreturn]] void internal_error() {
    throw MISC_ERROR(S_INTERNAL_ERROR);
}

// How much a track's instrument category weighs when two notes start together: the lighter
// percussion gives way.
int category_weight(uint32_t category) {
    switch (category) {
    case 15:
        return 7; // High-Hats
    case 16:
        return 6; // Cymbals
    case 24:
        return 5; // Claps
    case 19:
        return 4; // Other Percussions
    case 17:
        return 3; // Bass Drums
    case 20:
        return 2; // Electronic Drums
    case 18:
        return 1; // Snare Drums
    default:
        return 0;
    }
}

int effect_rank(uint8_t effect) {
    switch (effect) {
    case FX_NONE:
        return 0;
    case FX_NOTE_CUT:
        return 1;
    case FX_SET_VOLUME:
        return 2;
    case FX_PITCH_SLIDE:
        return 3;
    case FX_TONE_PORTAMENTO:
        return 4;
    case FX_SET_BALANCE:
        return 5;
    case FX_POSITION_JUMP:
        return 6;
    case FX_SET_TEMPO:
        return 7;
    case FX_SPEED:
        return 8;
    case FX_PATTERN_BREAK:
        return 9;
    default:
        return 0;
    }
}

int64_t key_frequency(int key) {
    return int64_t(44100.0 * std::pow(2.0, (key - 36) / 12.0));
}

struct TrackCell : ExportCell {
    uint8_t slide_target = EXPORT_SILENT; // a portamento starts here
    uint8_t slide_length = 0;
};

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

class Exporter {
  public:
    Exporter(const Song& song, ModuleFormat format)
        : song_(song), format_(format), params_(module_format_parameters(format)) {}

    ExportedModule build();

  private:
    void prepare();
    void choose_samples();
    ExportSample make_sample(uint32_t index, int default_volume, bool played);
    void note_losses();
    void cut_orders();
    void entry_tempo();
    std::vector<Track> make_tracks(size_t pattern);
    void place_effects(Track& track) const;
    void add_global(std::vector<Track>& tracks, size_t length, size_t tick, uint8_t effect,
                    uint8_t parameter) const;
    int64_t slide_pitch(int64_t frequency, uint8_t sample) const;
    int cost(const Track& a, const Track& b) const;
    void merge_into(Track& a, const Track& b) const;
    // Returns the merges forced by the channel count (those that cut notes).
    size_t merge_tracks(std::vector<Track>& tracks) const;
    void warn(ExportWarningKind kind, std::string subject, uint32_t count = 0) {
        module_.warnings.push_back({kind, std::move(subject), count});
    }
    std::vector<ExportCell> piece_cells(const std::vector<Track>& tracks, size_t first,
                                        size_t rows) const;

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

void Exporter::prepare() {
    Song copy_check;
    patterns_ = song_.patterns;
    for (Pattern& pattern : patterns_)
        normalize_pattern(pattern);
    // Validation of the normalized song: the invariants concern the patterns, sequence and
    // globals; the instruments are the song's own.
    std::swap(copy_check.patterns, patterns_);
    copy_check.sequence = song_.sequence;
    copy_check.repeat_position = song_.repeat_position;
    copy_check.overall_tempo = song_.overall_tempo;
    copy_check.ticks_per_beat = song_.ticks_per_beat;
    copy_check.beats_per_measure = song_.beats_per_measure;
    copy_check.instruments.resize(song_.instruments.size());
    for (size_t i = 0; i < song_.instruments.size(); ++i)
        copy_check.instruments[i].name = song_.instruments[i].name;
    const bool valid = validate(copy_check);
    std::swap(copy_check.patterns, patterns_);
    if (!valid) internal_error();
}

void Exporter::choose_samples() {
    const size_t count = song_.instruments.size();
    std::vector<int> notes(count, 0);
    std::vector<std::array<int, MAX_LEVEL + 1>> by_volume(count);
    for (auto& row : by_volume)
        row.fill(0);
    for (const Pattern& pattern : patterns_)
        for (const Voice& voice : pattern.voices) {
            if (voice.instrument >= count) continue;
            int volume = DEFAULT_VOLUME;
            for (size_t i = 0; i < voice.events.size();) {
                size_t j = i;
                while (j < voice.events.size() && voice.events[j].tick == voice.events[i].tick)
                    ++j;
                for (size_t k = i; k < j; ++k)
                    if (voice.events[k].kind == VOLUME) volume = voice.events[k].param1;
                for (size_t k = i; k < j; ++k)
                    if (voice.events[k].kind == NOTE_ON) {
                        ++notes[voice.instrument];
                        ++by_volume[voice.instrument][size_t(std::min<int>(volume, MAX_LEVEL))];
                    }
                i = j;
            }
        }
    std::vector<bool> kept(count, true);
    size_t remaining = count;
    while (remaining > size_t(params_.max_samples)) {
        size_t fewest = count;
        for (size_t i = 0; i < count; ++i)
            if (kept[i] && (fewest == count || notes[i] < notes[fewest])) fewest = i;
        kept[fewest] = false;
        --remaining;
    }
    sample_of_.assign(count, -1);
    for (size_t i = 0; i < count; ++i) {
        if (!kept[i]) {
            if (notes[i] > 0)
                warn(ExportWarningKind::INSTRUMENT_DROPPED, song_.instruments[i].name,
                     uint32_t(notes[i]));
            continue;
        }
        int volume = DEFAULT_VOLUME;
        if (notes[i] > 0) {
            volume = 0;
            for (int v = 0; v <= MAX_LEVEL; ++v)
                if (by_volume[i][size_t(v)] >= by_volume[i][size_t(volume)]) volume = v;
        }
        sample_of_[i] = int(module_.samples.size());
        module_.samples.push_back(make_sample(uint32_t(i), volume, notes[i] > 0));
    }
}

ExportSample Exporter::make_sample(uint32_t index, int default_volume, bool played) {
    const Instrument& instrument = song_.instruments[index];
    ExportSample sample;
    sample.instrument = index;
    sample.name = instrument.name.substr(0, 31);
    sample.default_volume = default_volume;
    const uint32_t original_rate = std::max<uint32_t>(instrument.rate, 1);
    const uint32_t clamped = std::clamp(original_rate, params_.lowest_rate, params_.highest_rate);
    uint32_t rate = clamped;
    const double q = double(instrument.length) * clamped / original_rate / params_.max_sample_bytes;
    if (q > 1) rate = std::max(params_.lowest_rate, uint32_t(clamped / q + 1));
    uint32_t length = instrument.length, loop = instrument.loop_start;
    if (rate != original_rate) {
        length = uint32_t(uint64_t(length) * rate / original_rate);
        if (loop != NO_LOOP) loop = uint32_t(uint64_t(loop) * rate / original_rate);
    }
    if (loop != NO_LOOP && loop >= length) loop = NO_LOOP;
    if (length > params_.max_sample_bytes) {
        length = params_.max_sample_bytes;
        loop = NO_LOOP;
    }
    sample.length = length;
    sample.loop_start = loop;
    sample.rate = rate;
    // Every sample becomes 8-bit and MOD resamples everything; what is told is the loss beyond
    // that.
    if (played && (rate < clamped || length < uint64_t(instrument.length) * rate / original_rate))
        warn(ExportWarningKind::SAMPLE_SHORTENED, instrument.name);
    if (played && instrument.loops() && loop == NO_LOOP)
        warn(ExportWarningKind::LOOP_DROPPED, instrument.name);

    // Linear interpolation at the new rate; frames beyond the end count as silence.
    auto frame = [&](uint64_t i) -> double {
        if (i >= instrument.length || instrument.samples.size() < instrument.sample_bytes())
            return 0;
        if (instrument.bytes_per_sample == 2) {
            const uint8_t* p = instrument.samples.data() + i * 2;
            return double(int16_t(uint16_t(p[0] | p[1] << 8)));
        }
        return (double(instrument.samples[i]) - 128.0) * 256.0;
    };
    sample.data.resize(length);
    const double step = double(original_rate) / rate;
    for (uint32_t i = 0; i < length; ++i) {
        const double position = i * step;
        const uint64_t whole = uint64_t(position);
        const double fraction = position - double(whole);
        const int value = int((1 - fraction) * frame(whole) + fraction * frame(whole + 1));
        sample.data[i] =
            params_.signed_samples ? uint8_t(int8_t(value / 256)) : uint8_t((value + 32768) / 256);
    }
    return sample;
}

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

std::vector<Track> Exporter::make_tracks(size_t index) {
    const Pattern& pattern = patterns_[index];
    const size_t length = pattern.tick_length();
    std::vector<Track> tracks;
    for (const Voice& voice : pattern.voices) {
        if (voice.instrument >= sample_of_.size() || sample_of_[voice.instrument] < 0) continue;
        const uint8_t sample = uint8_t(sample_of_[voice.instrument]);
        int sounding = 0, most = 0;
        for (const Event& event : voice.events) {
            if (event.kind == NOTE_ON) most = std::max(most, ++sounding);
            if (event.kind == NOTE_OFF) --sounding;
        }
        if (most == 0) continue;
        const size_t base = tracks.size();
        const int weight = category_weight(song_.instruments[voice.instrument].category);
        for (int k = 0; k < most; ++k) {
            Track track;
            track.cells.resize(length);
            track.weight = weight;
            tracks.push_back(std::move(track));
        }
        std::vector<int> held(size_t(most), -1);
        int volume = DEFAULT_VOLUME, balance = DEFAULT_BALANCE;
        size_t next = 0;
        for (size_t t = 0; t < length; ++t) {
            for (int k = 0; k < most; ++k) {
                TrackCell& cell = tracks[base + size_t(k)].cells[t];
                if (held[size_t(k)] >= 0) {
                    cell.key = uint8_t(held[size_t(k)]);
                    cell.sample = sample;
                }
            }
            for (; next < voice.events.size() && voice.events[next].tick == t; ++next) {
                const Event& event = voice.events[next];
                auto holding = [&](int key) {
                    for (int k = 0; k < most; ++k)
                        if (held[size_t(k)] == key) return k;
                    return -1;
                };
                switch (event.kind) {
                case NOTE_OFF: {
                    const int k = holding(event.param1);
                    if (k < 0) break;
                    held[size_t(k)] = -1;
                    TrackCell& cell = tracks[base + size_t(k)].cells[t];
                    cell.key = cell.sample = EXPORT_SILENT;
                    break;
                }
                case NOTE_ON: {
                    const int k = holding(-1);
                    if (k < 0) internal_error();
                    held[size_t(k)] = event.param1;
                    TrackCell& cell = tracks[base + size_t(k)].cells[t];
                    cell.key = event.param1;
                    cell.sample = sample;
                    cell.note_start = true;
                    break;
                }
                case VOLUME:
                    volume = event.param1;
                    break;
                case BALANCE:
                    balance = event.param1;
                    break;
                case PORTAMENTO: {
                    const int k = holding(event.param1);
                    if (k < 0) break;
                    held[size_t(k)] = event.param2;
                    TrackCell& cell = tracks[base + size_t(k)].cells[t];
                    cell.slide_target = event.param2;
                    cell.slide_length = event.param3;
                    break;
                }
                default:
                    break;
                }
            }
            for (int k = 0; k < most; ++k) {
                TrackCell& cell = tracks[base + size_t(k)].cells[t];
                cell.volume = uint8_t(volume);
                cell.balance = uint8_t(balance);
            }
        }
    }
    if (const size_t forced = merge_tracks(tracks))
        warn(ExportWarningKind::VOICES_MERGED, pattern.name, uint32_t(forced));
    for (Track& track : tracks)
        place_effects(track);

    // Global effects: tempo, the break of a short last piece, the MOD's speed.
    const int overall = song_.overall_tempo;
    for (size_t t = 0; t < length; ++t) {
        const int value = tempo_value_at(pattern, Tick(t));
        const int before = t == 0 ? recorded_[index] : tempo_value_at(pattern, Tick(t - 1));
        if (value != before || (t == 0 && marked_[index]))
            add_global(tracks, length, t, FX_SET_TEMPO, uint8_t(module_tempo(value, overall)));
    }
    if (length % ROWS != 0) add_global(tracks, length, length - 1, FX_PATTERN_BREAK, 0);
    if (!params_.tempo_in_header && int(index) == first_pattern_ && length > 0)
        add_global(tracks, length, 0, FX_SPEED, 3);
    return tracks;
}

int Exporter::cost(const Track& a, const Track& b) const {
    int total = 0;
    const size_t length = b.cells.size();
    for (size_t s = 0; s < length; ++s) {
        if (!b.starts(s)) continue;
        const size_t e = b.note_end(s);
        if (a.starts(s)) total += a.weight && b.weight ? 12 + 2 * (a.weight - b.weight) : 12;
        bool cutting = true;
        for (size_t t = s; t < e; ++t) {
            if (t > s && a.starts(t)) {
                total += int(e - t); // the rest of b's note is lost
                break;
            }
            if (cutting) {
                if (a.sounding(t))
                    ++total;
                else
                    cutting = false;
            }
        }
        if (a.cells[s].balance != b.cells[s].balance) ++total;
    }
    return total;
}

void Exporter::merge_into(Track& a, const Track& b) const {
    const size_t length = a.cells.size();
    for (size_t s = 0; s < length; ++s) {
        if (!b.starts(s)) continue;
        const size_t e = b.note_end(s);
        const size_t next_a = a.next_start(s);
        const bool a_sounds = a.sounding(s);
        const size_t stop = std::min(e, next_a);
        for (size_t t = s; t < stop; ++t)
            a.cells[t] = b.cells[t];
        if (a_sounds)
            for (size_t t = stop; t < next_a; ++t) {
                TrackCell& cell = a.cells[t];
                cell.key = cell.sample = EXPORT_SILENT;
                cell.slide_target = EXPORT_SILENT;
                cell.note_start = false;
            }
    }
}

size_t Exporter::merge_tracks(std::vector<Track>& tracks) const {
    const size_t n = tracks.size();
    std::vector<std::vector<int>> costs(n, std::vector<int>(n, 0));
    std::vector<bool> alive(n, true);
    for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b < n; ++b)
            if (a != b) costs[a][b] = cost(tracks[a], tracks[b]);
    auto merge = [&](size_t a, size_t b) {
        merge_into(tracks[a], tracks[b]);
        alive[b] = false;
        // The merged track's costs are worked out again, so that later merges see its notes.
        for (size_t x = 0; x < n; ++x)
            if (alive[x] && x != a) {
                costs[a][x] = cost(tracks[a], tracks[x]);
                costs[x][a] = cost(tracks[x], tracks[a]);
            }
    };
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t a = 0; a < n && !merged; ++a)
            for (size_t b = 0; b < n && !merged; ++b)
                if (a != b && alive[a] && alive[b] && costs[a][b] == 0) {
                    merge(a, b);
                    merged = true;
                }
    }
    size_t living = size_t(std::count(alive.begin(), alive.end(), true));
    size_t forced = 0;
    while (living > size_t(params_.channels)) {
        ++forced;
        size_t best_a = 0, best_b = 0;
        int best = -1;
        for (size_t a = 0; a < n; ++a)
            for (size_t b = 0; b < n; ++b)
                if (a != b && alive[a] && alive[b] && (best < 0 || costs[a][b] < best)) {
                    best = costs[a][b];
                    best_a = a;
                    best_b = b;
                }
        merge(best_a, best_b);
        --living;
    }
    std::vector<Track> kept;
    for (size_t i = 0; i < n; ++i)
        if (alive[i]) kept.push_back(std::move(tracks[i]));
    tracks = std::move(kept);
    return forced;
}

// MOD keys beyond ProTracker's three octaves (periods 856 to 113, keys 24 to 59) and balance
// changes that no note start carries, over the voices that are exported.
void Exporter::note_losses() {
    constexpr int LOWEST_MOD_KEY = 24, HIGHEST_MOD_KEY = 59;
    uint32_t outside = 0, balances = 0;
    for (size_t p = 0; p < patterns_.size(); ++p) {
        if (!cut_[p]) continue;
        for (const Voice& voice : patterns_[p].voices) {
            if (voice.instrument >= sample_of_.size() || sample_of_[voice.instrument] < 0) continue;
            for (const Event& event : voice.events) {
                if (event.kind == NOTE_ON && format_ != ModuleFormat::S3M &&
                    (event.param1 < LOWEST_MOD_KEY || event.param1 > HIGHEST_MOD_KEY))
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

int64_t Exporter::slide_pitch(int64_t frequency, uint8_t sample) const {
    if (frequency <= 0) frequency = 1;
    if (format_ != ModuleFormat::S3M) return 18874800 / frequency;
    const double rate = sample < module_.samples.size() ? module_.samples[sample].rate : 8363;
    return int64_t(std::llround(44100.0 * 3579364.0 / (double(frequency) * rate)));
}

void Exporter::place_effects(Track& track) const {
    bool was_sounding = true; // notes of the pattern before end where this one begins
    int current_volume = -1, last_balance = -1;
    struct Slide {
        bool active = false;
        int n = 0, done = 0;
        int64_t fa = 0, fb = 0, pitch = 0;
        uint8_t sample = 0;
    } slide;
    for (size_t t = 0; t < track.cells.size(); ++t) {
        TrackCell& cell = track.cells[t];
        const bool sounding = cell.key != EXPORT_SILENT;
        if (!sounding) {
            if (was_sounding) cell.effect = FX_NOTE_CUT;
            cell.key = cell.sample = EXPORT_SILENT;
            if (params_.volume_column) cell.volume = EXPORT_SILENT;
            slide.active = false;
            was_sounding = false;
            continue;
        }
        was_sounding = true;
        if (cell.note_start) {
            current_volume = module_.samples[cell.sample].default_volume;
            slide.active = false;
        }
        if (slide.active) {
            const int r = slide.n - 1 - slide.done++;
            const int64_t frequency = slide.fb - (slide.fb - slide.fa) * r / slide.n;
            int64_t d = slide_pitch(frequency, slide.sample) - slide.pitch;
            uint8_t kind = FX_PITCH_SLIDE;
            if (r == 0) {
                kind = FX_TONE_PORTAMENTO;
                if (d % 2 != 0) d += slide.fb <= slide.fa ? 2 : -2;
            }
            const int64_t speed =
                std::clamp<int64_t>(d / 2, -params_.largest_slide, params_.largest_slide);
            if (speed != 0) {
                cell.effect = kind;
                cell.speed = int16_t(speed);
                slide.pitch += 2 * speed;
            }
            if (r == 0) slide.active = false;
        }
        if (cell.slide_target != EXPORT_SILENT && cell.slide_length > 0) {
            slide.active = true;
            slide.n = cell.slide_length;
            slide.done = 0;
            slide.fa = key_frequency(cell.key);
            slide.fb = key_frequency(cell.slide_target);
            slide.sample = cell.sample;
            slide.pitch = slide_pitch(slide.fa, slide.sample);
        }
        if (params_.volume_column) {
            if (cell.volume == current_volume)
                cell.volume = EXPORT_SILENT;
            else
                current_volume = cell.volume;
        } else if (cell.volume != current_volume && cell.effect == FX_NONE) {
            cell.effect = FX_SET_VOLUME;
            current_volume = cell.volume;
        }
        if (cell.note_start && cell.balance != last_balance) {
            if (cell.effect == FX_NONE) {
                cell.effect = FX_SET_BALANCE;
                cell.parameter = cell.balance;
                last_balance = cell.balance;
            } else if (t > 0 && track.cells[t - 1].effect == FX_NONE &&
                       track.cells[t - 1].key == EXPORT_SILENT) {
                // Just before the note, where the channel is silent, the balance does no harm.
                track.cells[t - 1].effect = FX_SET_BALANCE;
                track.cells[t - 1].parameter = cell.balance;
                last_balance = cell.balance;
            }
        }
    }
}

void Exporter::add_global(std::vector<Track>& tracks, size_t length, size_t tick, uint8_t effect,
                          uint8_t parameter) const {
    auto empty_track = [&]() {
        Track track;
        track.cells.resize(length);
        tracks.push_back(std::move(track));
        return tracks.size() - 1;
    };
    size_t chosen = tracks.size();
    if (effect == FX_POSITION_JUMP)
        for (size_t c = 0; c < tracks.size(); ++c)
            if (tracks[c].cells[tick].effect == FX_PATTERN_BREAK) {
                chosen = c;
                break;
            }
    if (chosen == tracks.size())
        for (size_t c = 0; c < tracks.size(); ++c)
            if (chosen == tracks.size() || effect_rank(tracks[c].cells[tick].effect) <
                                               effect_rank(tracks[chosen].cells[tick].effect))
                chosen = c;
    if (chosen == tracks.size())
        chosen = empty_track();
    else if (tracks[chosen].cells[tick].effect != FX_NONE &&
             tracks.size() < size_t(params_.channels) &&
             !(effect == FX_POSITION_JUMP && tracks[chosen].cells[tick].effect == FX_PATTERN_BREAK))
        chosen = empty_track();

    TrackCell& cell = tracks[chosen].cells[tick];
    const TrackCell displaced = cell;
    cell.effect = effect;
    cell.parameter = parameter;
    cell.speed = 0;
    if (displaced.effect == FX_NONE || displaced.effect == FX_PATTERN_BREAK) return;
    if (tick + 1 >= tracks[chosen].cells.size()) return;
    TrackCell& next = tracks[chosen].cells[tick + 1];
    switch (displaced.effect) {
    case FX_SET_VOLUME:
    case FX_SET_BALANCE:
    case FX_NOTE_CUT:
        if (next.effect == FX_NONE) {
            next.effect = displaced.effect;
            next.parameter = displaced.parameter;
            if (displaced.effect == FX_SET_VOLUME) next.volume = displaced.volume;
        }
        break;
    case FX_PITCH_SLIDE:
    case FX_TONE_PORTAMENTO:
        if (next.key == EXPORT_SILENT) break;
        if (next.effect == FX_PITCH_SLIDE && displaced.effect == FX_PITCH_SLIDE) {
            next.speed = int16_t(std::clamp<int>(next.speed + displaced.speed,
                                                 -params_.largest_slide, params_.largest_slide));
        } else if (next.effect == FX_NONE) {
            next.effect = displaced.effect;
            next.speed = displaced.speed;
        }
        break;
    default:
        break;
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
                cell.effect = FX_NOTE_CUT; // nothing of the pattern before goes on
        }
    return cells;
}

ExportedModule Exporter::build() {
    prepare();
    module_.format = format_;
    module_.channels = params_.channels;
    module_.title = std::filesystem::path(song_.path).stem().string();
    module_.title.resize(
        std::min(module_.title.size(), size_t(format_ == ModuleFormat::S3M ? 27 : 19)));
    module_.description = song_.description;
    choose_samples();
    cut_orders();
    note_losses();
    entry_tempo();
    module_.initial_tempo = module_tempo(initial_value_, song_.overall_tempo);

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
        module_.patterns[0][0].effect = FX_PATTERN_BREAK;
        orders_.assign(1, 0);
    }
    if (jump_target_ != 0) {
        size_t last = orders_.back();
        const size_t row = pieces_[last].rows - 1;
        if (jump_copy_) {
            module_.patterns.push_back(module_.patterns[last]);
            last = module_.patterns.size() - 1;
            orders_.back() = last;
        }
        // The jump goes on the piece's last row; a break there gives way to it.
        const size_t channels = size_t(params_.channels);
        std::vector<ExportCell>& cells = module_.patterns[last];
        size_t chosen = channels;
        for (size_t c = 0; c < channels; ++c)
            if (cells[row * channels + c].effect == FX_PATTERN_BREAK) chosen = c;
        if (chosen == channels) {
            chosen = 0;
            for (size_t c = 1; c < channels; ++c)
                if (effect_rank(cells[row * channels + c].effect) <
                    effect_rank(cells[row * channels + chosen].effect))
                    chosen = c;
        }
        ExportCell& cell = cells[row * channels + chosen];
        cell.effect = FX_POSITION_JUMP;
        cell.parameter = uint8_t(jump_target_);
        cell.speed = 0;
    }
    for (size_t order : orders_)
        module_.orders.push_back(uint8_t(order));
    return std::move(module_);
}

} // namespace

// ---- Public pieces ----------------------------------------------------------------------------

ModuleFormatParameters module_format_parameters(ModuleFormat format) {
    switch (format) {
    case ModuleFormat::S3M:
        return {16, 99, 64000, 8000, 65535, false, 255, 100, 223, true, true, "SCRM"};
    case ModuleFormat::MOD:
        return {4, 31, 65534, 8363, 8363, true, 128, 64, 255, false, false, "M.K."};
    case ModuleFormat::MOD6:
        return {6, 31, 65534, 8363, 8363, true, 128, 128, 255, false, false, "6CHN"};
    case ModuleFormat::MOD8:
        return {8, 31, 65534, 8363, 8363, true, 128, 128, 255, false, false, "8CHN"};
    }
    return {};
}

bool module_format_of(const std::filesystem::path& path, ModuleFormat& format) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        c = char(std::tolower(uint8_t(c)));
    if (extension == ".s3m")
        format = ModuleFormat::S3M;
    else if (extension == ".mod")
        format = ModuleFormat::MOD;
    else
        return false;
    return true;
}

bool module_format_named(const std::string& name, ModuleFormat& format) {
    if (name == "s3m")
        format = ModuleFormat::S3M;
    else if (name == "mod")
        format = ModuleFormat::MOD;
    else if (name == "mod6")
        format = ModuleFormat::MOD6;
    else if (name == "mod8")
        format = ModuleFormat::MOD8;
    else
        return false;
    return true;
}

int module_volume(int volume) {
    if (volume <= 0) return 0;
    return int(std::lround(64.0 / std::pow(16.0, (30.0 - std::min(volume, 30)) / 29.0)));
}

int module_tempo(int tempo_value, int overall_tempo) {
    const int t = overall_tempo + 40;
    return (t / 2 + (40 - tempo_value) * 240) / t;
}

uint16_t module_period(int key) {
    return PERIODS[std::clamp(key, 0, KEY_COUNT - 1)];
}

std::vector<std::string> description_lines(const std::string& description, size_t width) {
    std::vector<std::string> lines;
    size_t i = 0;
    const size_t n = description.size();
    while (i < n) {
        // One text line up to CR, LF or CR LF.
        size_t end = i;
        while (end < n && description[end] != '\r' && description[end] != '\n')
            ++end;
        std::string text = description.substr(i, end - i);
        i = end;
        if (i < n && description[i] == '\r') {
            ++i;
            if (i < n && description[i] == '\n') ++i;
        } else if (i < n) {
            ++i;
        }
        if (text.empty()) {
            if (!lines.empty()) lines.push_back({});
            continue;
        }
        while (text.size() > width) {
            size_t cut = text.rfind(' ', width);
            std::string line;
            if (cut == std::string::npos || cut == 0) {
                line = text.substr(0, width);
                cut = width;
            } else {
                line = text.substr(0, cut);
            }
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            lines.push_back(line);
            size_t rest = cut;
            while (rest < text.size() && text[rest] == ' ')
                ++rest;
            text = text.substr(rest);
        }
        if (!text.empty()) lines.push_back(text);
    }
    return lines;
}

ExportedModule build_module(const Song& song, ModuleFormat format) {
    try {
        return Exporter(song, format).build();
    } catch (const std::bad_alloc&) {
        throw MEM_ERROR();
    }
}

std::vector<ExportWarning> export_module(const Song& song, File& file, ModuleFormat format) {
    const ExportedModule module = build_module(song, format);
    const std::vector<uint8_t> bytes =
        format == ModuleFormat::S3M ? encode_s3m(module) : encode_mod(module);
    file.write_exact(bytes.data(), bytes.size());
    return module.warnings;
}

std::vector<ExportWarning> export_module_file(const Song& song, const std::filesystem::path& path,
                                              ModuleFormat format) {
    const ExportedModule module = build_module(song, format);
    const std::vector<uint8_t> bytes =
        format == ModuleFormat::S3M ? encode_s3m(module) : encode_mod(module);
    // Written beside the target and renamed over it, so a failed export leaves no half file.
    const std::filesystem::path temporary = path.string() + ".tmp" + std::to_string(::getpid());
    try {
        File file = File::open_for_writing(temporary);
        file.write_exact(bytes.data(), bytes.size());
        file.sync();
        file.close();
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw FILE_ERROR(FILE_ERROR::CREATE, uint32_t(error.value()), path.string());
    }
    return module.warnings;
}

std::string export_warning_text(const ExportWarning& warning) {
    const std::string subject = windows1252_to_utf8(warning.subject);
    const std::string count = std::to_string(warning.count);
    switch (warning.kind) {
    case ExportWarningKind::INSTRUMENT_DROPPED:
        return format_message(load_string(S_WARN_INSTRUMENT_DROPPED), {subject, count});
    case ExportWarningKind::SAMPLE_SHORTENED:
        return format_message(load_string(S_WARN_SAMPLE_SHORTENED), {subject});
    case ExportWarningKind::LOOP_DROPPED:
        return format_message(load_string(S_WARN_LOOP_DROPPED), {subject});
    case ExportWarningKind::VOICES_MERGED:
        return format_message(load_string(S_WARN_VOICES_MERGED), {subject, count});
    case ExportWarningKind::KEYS_OUT_OF_RANGE:
        return format_message(load_string(S_WARN_KEYS_OUT_OF_RANGE), {count});
    case ExportWarningKind::BALANCE_LOST:
        return format_message(load_string(S_WARN_BALANCE_LOST), {count});
    case ExportWarningKind::SEQUENCE_CUT:
        return format_message(load_string(S_WARN_SEQUENCE_CUT), {count});
    }
    return {};
}

const char* export_warning_name(ExportWarningKind kind) {
    switch (kind) {
    case ExportWarningKind::INSTRUMENT_DROPPED:
        return "instrument_dropped";
    case ExportWarningKind::SAMPLE_SHORTENED:
        return "sample_shortened";
    case ExportWarningKind::LOOP_DROPPED:
        return "loop_dropped";
    case ExportWarningKind::VOICES_MERGED:
        return "voices_merged";
    case ExportWarningKind::KEYS_OUT_OF_RANGE:
        return "keys_out_of_range";
    case ExportWarningKind::BALANCE_LOST:
        return "balance_lost";
    case ExportWarningKind::SEQUENCE_CUT:
        return "sequence_cut";
    }
    return "";
}

} // namespace tunemill
