// The tick grid: the intervals between recorded times grouped into tick-length candidates, the
// overall tempo chosen for them, and every event given its tick.
#include "modules/convert/passes.h"

#include <algorithm>
#include <cstdlib>

namespace tunemill::converting {

void find_candidates(TimedPattern& pattern) {
    // Events that follow closely share the earlier time.
    bool have = false;
    int64_t last = 0;
    for (ModuleEvent& event : pattern.events) {
        if (have && event.time - last < SNAP_TIME)
            event.time = last;
        else {
            last = event.time;
            have = true;
            pattern.times.push_back(event.time);
        }
    }
    std::vector<Candidate>& candidates = pattern.candidates;
    size_t previous = SIZE_MAX;
    for (size_t k = 0; k + 1 < pattern.times.size(); ++k) {
        const int64_t interval = pattern.times[k + 1] - pattern.times[k];
        int64_t common = 0;
        size_t found = SIZE_MAX;
        if (previous != SIZE_MAX && tick_lengths_fit(candidates[previous].length, interval, common))
            found = previous;
        for (size_t i = 0; found == SIZE_MAX && i < candidates.size(); ++i)
            if (tick_lengths_fit(candidates[i].length, interval, common)) found = i;
        if (found != SIZE_MAX) {
            candidates[found].length = common;
            ++candidates[found].count;
        } else {
            candidates.push_back({interval, 1, {}});
            found = candidates.size() - 1;
        }
        pattern.interval_candidate.push_back(found);
        previous = found;
    }
    for (size_t i = 0; i < candidates.size(); ++i)
        for (size_t j = i + 1; j < candidates.size(); ++j) {
            int64_t common = 0;
            if (tick_lengths_fit(candidates[i].length, candidates[j].length, common)) {
                candidates[i].length = candidates[j].length = common;
                candidates[j].count += candidates[i].count;
                candidates[i].count = 0;
            }
        }
}

int choose_overall_tempo(const std::vector<TimedPattern>& patterns) {
    int64_t shortest = 0;
    const Candidate* most = nullptr;
    for (const TimedPattern& pattern : patterns)
        for (const Candidate& candidate : pattern.candidates) {
            if (shortest == 0 || candidate.length < shortest) shortest = candidate.length;
            if (!most || candidate.count > most->count) most = &candidate;
        }
    if (!most) return DEFAULT_OVERALL_TEMPO;
    int start =
        int(std::clamp<int64_t>(rounded(shortest * 40, SNAP_TIME) - 40, 0, MAX_OVERALL_TEMPO));
    if (start >= 40) start = 40;
    const TempoChoice choice = tempo_for_length(most->length, start);
    return int(std::clamp<int64_t>(
        rounded(int64_t(40 - choice.value) * choice.tick_length, SNAP_TIME) - 40, 0,
        MAX_OVERALL_TEMPO));
}

void assign_ticks(TimedPattern& pattern, int overall_tempo) {
    for (Candidate& candidate : pattern.candidates)
        candidate.tempo = tempo_for_length(candidate.length, overall_tempo);
    std::vector<Tick> time_ticks(pattern.times.size(), 0);
    Tick tick = 0;
    int value = DEFAULT_TEMPO_VALUE;
    for (size_t k = 0; k + 1 < pattern.times.size(); ++k) {
        const Candidate& candidate = pattern.candidates[pattern.interval_candidate[k]];
        if (candidate.tempo.value != value) {
            value = candidate.tempo.value;
            pattern.tempo_points.push_back({tick, uint8_t(value), {0, 0, 0}});
        }
        // Distinct times stay distinct ticks.
        const int64_t interval = pattern.times[k + 1] - pattern.times[k];
        tick += Tick(std::max<int64_t>(1, rounded(interval, candidate.tempo.tick_length)));
        time_ticks[k + 1] = tick;
    }
    size_t k = 0;
    for (const ModuleEvent& event : pattern.events) {
        while (k + 1 < pattern.times.size() && pattern.times[k] < event.time)
            ++k;
        pattern.event_ticks.push_back(time_ticks.empty() ? 0 : time_ticks[k]);
    }
    pattern.length = time_ticks.empty() ? 0 : time_ticks.back();
}

} // namespace tunemill::converting

namespace tunemill {

using converting::FIT_TOLERANCE;
using converting::LONG_GRID;
using converting::rounded;
using converting::SNAP_TIME;

bool tick_lengths_fit(int64_t a, int64_t b, int64_t& common) {
    if (a > b) std::swap(a, b);
    if (a == b) {
        common = a;
        return true;
    }
    for (int64_t k = 1;; ++k) {
        const int64_t q = a / k;
        if (q < SNAP_TIME) return false;
        if ((b - FIT_TOLERANCE) / q != (b + FIT_TOLERANCE) / q) {
            common = q;
            return true;
        }
        if (q < LONG_GRID) return false;
    }
}

TempoChoice tempo_for_length(int64_t length, int overall_tempo) {
    const int64_t base = int64_t(overall_tempo + 40) * 31250;
    if (length <= 0) return {DEFAULT_TEMPO_VALUE, base / 20};
    int value = int(std::max<int64_t>(0, 40 - rounded(base, length)));
    auto ticks_of = [&](int v) { return std::max<int64_t>(1, rounded(length, base / (40 - v))); };
    if (value > 20) {
        // Shorter ticks than the tempo values allow: several ticks of a slower value.
        auto error = [&](int v) {
            const int64_t tick = base / (40 - v);
            return std::llabs(length - ticks_of(v) * tick);
        };
        int best = 20;
        int64_t best_error = error(20);
        for (int v = 19; v >= 11; --v)
            if (error(v) < best_error) {
                best = v;
                best_error = error(v);
            }
        value = best;
    }
    return {value, length / ticks_of(value)};
}

} // namespace tunemill
