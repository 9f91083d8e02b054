// Merging tracks: two tracks cost what merging them would cut or change; merges that cost
// nothing are made first, then the cheapest until the channels suffice.
#include "modules/export/exporter.h"

#include <algorithm>

namespace tunemill::exporting {

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

} // namespace tunemill::exporting
