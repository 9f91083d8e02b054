// The tempo fit.
#include "midi/song_timing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "song/song.h"
#include "song/timing.h"

namespace tunemill {

FileClock::FileClock(const MidiDivision& division, const std::vector<FileTempo>& tempos) {
    if (division.ticks_per_quarter == 0) {
        // SMPTE time: a fixed number of ticks per second; 29 stands for 29.97 frames.
        const double fps = division.frames_per_second == 29 ? 29.97 : division.frames_per_second;
        const double ms_per_tick = 1000.0 / (fps * division.ticks_per_frame);
        segments_.push_back({0, 0, ms_per_tick});
        quarter_ticks_ = 500.0 / ms_per_tick;
        return;
    }
    quarter_ticks_ = division.ticks_per_quarter;
    const auto ms_per_tick = [&](uint32_t micros) { return micros / 1000.0 / quarter_ticks_; };
    segments_.push_back({0, 0, ms_per_tick(500000)});
    for (const FileTempo& tempo : tempos) {
        Segment& last = segments_.back();
        const double tick = double(tempo.tick);
        if (tick == last.tick) {
            last.ms_per_tick = ms_per_tick(tempo.micros_per_quarter);
            continue;
        }
        segments_.push_back({tick, last.ms + (tick - last.tick) * last.ms_per_tick,
                             ms_per_tick(tempo.micros_per_quarter)});
    }
}

double FileClock::ms_at(double tick) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                               [](double t, const Segment& s) { return t < s.tick; });
    const Segment& s = *std::prev(it);
    return s.ms + (tick - s.tick) * s.ms_per_tick;
}

double FileClock::quarter_ms_at(double tick) const {
    auto it = std::upper_bound(segments_.begin(), segments_.end(), tick,
                               [](double t, const Segment& s) { return t < s.tick; });
    return std::prev(it)->ms_per_tick * quarter_ticks_;
}

uint32_t SongTiming::tick_at_ms(double time) const {
    auto it = std::lower_bound(ms.begin(), ms.end(), time,
                               [](uint64_t m, double t) { return double(m) < t; });
    if (it == ms.end()) return length;
    size_t i = size_t(it - ms.begin());
    if (i > 0 && time - double(ms[i - 1]) <= double(ms[i]) - time) --i;
    return uint32_t(std::min<size_t>(i, length));
}

namespace {

struct BeatSpeeds {
    double dominant_ms, fastest_ms, slowest_ms;
};

// The beat lengths the file plays at: the one that lasts longest in file ticks, the shortest
// and the longest, over the stretch up to the file's end.
BeatSpeeds beat_speeds(const FileClock& clock, const std::vector<FileTempo>& tempos, double beat,
                       uint64_t end) {
    std::vector<std::pair<double, double>> spans; // beat ms, file ticks
    std::vector<uint64_t> starts = {0};
    for (const FileTempo& tempo : tempos)
        if (tempo.tick < end && tempo.tick != starts.back()) starts.push_back(tempo.tick);
    for (size_t i = 0; i < starts.size(); ++i) {
        const double from = double(starts[i]);
        const double to =
            i + 1 < starts.size() ? double(starts[i + 1]) : double(std::max(end, starts[i] + 1));
        const double ms = clock.quarter_ms_at(from) * beat / clock.quarter_ticks();
        auto same = std::find_if(spans.begin(), spans.end(),
                                 [&](const auto& s) { return std::abs(s.first - ms) < 1e-9; });
        if (same == spans.end())
            spans.push_back({ms, to - from});
        else
            same->second += to - from;
    }
    BeatSpeeds speeds{spans[0].first, spans[0].first, spans[0].first};
    double longest = -1;
    for (const auto& [ms, ticks] : spans) {
        if (ticks > longest) longest = ticks, speeds.dominant_ms = ms;
        speeds.fastest_ms = std::min(speeds.fastest_ms, ms);
        speeds.slowest_ms = std::max(speeds.slowest_ms, ms);
    }
    return speeds;
}

// The smallest ticks per beat on whose grid nearly every note starts (99 %); when none is,
// the one that holds the most.
int32_t grid_ticks_per_beat(const FileContent& content, double beat, int32_t most) {
    if (content.notes.empty()) return 1;
    int32_t best = most;
    double best_share = -1;
    for (int32_t tpb = 1; tpb <= most; ++tpb) {
        const double step = beat / tpb;
        const double tolerance = std::max(0.5, step / 32);
        size_t on_grid = 0;
        for (const FileNote& note : content.notes) {
            const double offset = std::fmod(double(note.start), step);
            if (offset <= tolerance || step - offset <= tolerance) ++on_grid;
        }
        const double share = double(on_grid) / double(content.notes.size());
        if (share >= 0.99) return tpb;
        if (share > best_share + 1e-9) best_share = share, best = tpb;
    }
    return best;
}

struct TempoChoice {
    int32_t overall;
    uint8_t value;
};

// The overall tempo and starting value whose tick lasts closest to the wanted length, among
// those whose 31 values reach from the fastest to the slowest tick the file needs.
TempoChoice choose_tempo(double wanted, double fastest, double slowest) {
    TempoChoice best{DEFAULT_OVERALL_TEMPO, DEFAULT_TEMPO_VALUE};
    double best_cost = std::numeric_limits<double>::infinity();
    for (int32_t overall = 0; overall <= MAX_OVERALL_TEMPO; ++overall) {
        const TickDurations durations = tick_durations(overall);
        const double out_of_reach =
            std::max(0.0, durations[0] - fastest) + std::max(0.0, slowest - durations[MAX_LEVEL]);
        for (uint8_t value = 0; value <= MAX_LEVEL; ++value) {
            const double cost = std::abs(durations[value] - wanted) + 1000 * out_of_reach +
                                (value == DEFAULT_TEMPO_VALUE ? 0 : 0.001);
            if (cost < best_cost) best_cost = cost, best = {overall, value};
        }
    }
    return best;
}

std::vector<uint32_t> measure_starts(const FileContent& content, double quarter,
                                     double song_ticks_per_file_tick, uint32_t length) {
    std::vector<uint32_t> measures = {0};
    FileSignature signature;
    size_t next = 0;
    double at = 0;
    while (true) {
        while (next < content.signatures.size() && double(content.signatures[next].tick) <= at)
            signature = content.signatures[next++];
        // At least one song tick per measure, whatever the signature claims.
        const double measure = std::max(quarter * 4 * signature.numerator / signature.denominator,
                                        1.0 / song_ticks_per_file_tick);
        double end = at + measure;
        if (next < content.signatures.size() && double(content.signatures[next].tick) < end)
            end = double(content.signatures[next].tick);
        at = end;
        const uint32_t tick = uint32_t(std::llround(at * song_ticks_per_file_tick));
        if (tick >= length) return measures;
        if (tick > measures.back()) measures.push_back(tick);
    }
}

} // namespace

SongTiming fit_song_timing(const MidiFile& file, const FileContent& content,
                           const FileClock& clock) {
    (void)file;
    SongTiming timing;
    const double quarter = clock.quarter_ticks();
    FileSignature first;
    if (!content.signatures.empty() && content.signatures[0].tick == 0)
        first = content.signatures[0];
    double beat = quarter;
    int32_t beats = first.numerator * 4 / first.denominator;
    if ((first.numerator * 4) % first.denominator != 0) {
        beat = quarter * 4 / first.denominator;
        beats = first.numerator;
    }
    timing.beats_per_measure = std::clamp(beats, 1, MAX_BEATS_PER_MEASURE);

    const BeatSpeeds speeds = beat_speeds(clock, content.tempos, beat, content.end_tick);
    const int32_t most =
        std::clamp(int32_t(speeds.fastest_ms / SHORTEST_TICK_MS), 1, MAX_TICKS_PER_BEAT);
    int32_t tpb = grid_ticks_per_beat(content, beat, most);
    // Finer ticks on the same grid while a tick would last long.
    const int32_t grid = tpb;
    for (int32_t k = 2; speeds.dominant_ms / tpb > LONGEST_WANTED_TICK_MS && grid * k <= most; ++k)
        tpb = grid * k;
    timing.ticks_per_beat = tpb;
    timing.song_ticks_per_file_tick = tpb / beat;

    const TempoChoice choice =
        choose_tempo(speeds.dominant_ms / tpb, speeds.fastest_ms / tpb, speeds.slowest_ms / tpb);
    timing.overall_tempo = choice.overall;
    const TickDurations durations = tick_durations(choice.overall);

    // Follow the file's beats tick by tick: keep the tempo value while the song stays within
    // the slack of the file, else take the value that lands closest.
    const double end_ms = clock.ms_at(double(content.end_tick));
    const double file_ticks_per_song_tick = beat / tpb;
    uint8_t value = choice.value;
    uint64_t song_ms = 0;
    timing.ms.push_back(0);
    for (uint32_t tick = 0;; ++tick) {
        if (tick > 0 && double(song_ms) + durations[value] / 2.0 > end_ms) break;
        const double target = clock.ms_at((tick + 1) * file_ticks_per_song_tick);
        if (std::abs(double(song_ms + durations[value]) - target) > TEMPO_SLACK_MS) {
            double best = std::abs(double(song_ms + durations[value]) - target);
            for (uint8_t v = 0; v <= MAX_LEVEL; ++v) {
                const double error = std::abs(double(song_ms + durations[v]) - target);
                if (error < best) best = error, value = v;
            }
        }
        timing.values.push_back(value);
        song_ms += durations[value];
        timing.ms.push_back(song_ms);
    }
    timing.length = uint32_t(timing.values.size());
    timing.measures =
        measure_starts(content, quarter, timing.song_ticks_per_file_tick, timing.length);
    return timing;
}

} // namespace tunemill
