#include "GridLabels.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace tavori::cf {

namespace {
constexpr int kMaxPlaces = kCells + 16;
constexpr int kMaxStep = 10;      // squares that may pass between two sightings
constexpr int kMaxFits = 64;      // candidate labellings worth a fit in one call
constexpr double kMaxRms = 0.5;   // camera pixels
constexpr double kMaxResidual = 1.5;

using Labels = std::vector<int>;

// Sightings must climb through the cells in display order, wrapping at most twice.
bool OrderHolds(const Labels& cell, const std::vector<int>& order) {
    int unwrapped = -1, prev = -1;
    for (int p : order) {
        const int c = cell[static_cast<size_t>(p)];
        if (prev < 0) {
            if (c > kMaxStep) return false;  // the grid restarts at its first cell
            unwrapped = c;
        } else {
            const int step = ((c - prev) % kCells + kCells) % kCells;
            if (step < 1 || step > kMaxStep) return false;
            unwrapped += step;
        }
        prev = c;
    }
    return unwrapped < 3 * kCells;
}

bool Distinct(const Labels& cell) {
    unsigned used = 0;
    for (int c : cell) {
        if (c < 0 || c >= kCells || (used >> c & 1u)) return false;
        used |= 1u << c;
    }
    return true;
}

bool SpansGrid(const Labels& cell) {
    unsigned rows = 0, cols = 0;
    for (int c : cell) {
        rows |= 1u << (c / kGrid);
        cols |= 1u << (c % kGrid);
    }
    return rows == 0x1Fu && cols == 0x1Fu;
}

bool FitLabels(const std::vector<Place>& places, const Labels& cell, GridModel& model) {
    CellSighting s[kMaxPlaces];
    const int n = static_cast<int>(places.size());
    for (int i = 0; i < n; ++i)
        s[i] = {static_cast<double>(cell[static_cast<size_t>(i)] % kGrid),
                static_cast<double>(cell[static_cast<size_t>(i)] / kGrid), places[static_cast<size_t>(i)].x,
                places[static_cast<size_t>(i)].y};
    return model.Fit(s, n);
}

// Relabels every place by the nearest cell of the fitted grid; true when nothing changed.
bool NearestCells(const std::vector<Place>& places, const GridModel& model, Labels& cell) {
    double gx[kCells], gy[kCells];
    for (int c = 0; c < kCells; ++c) model.Project(c % kGrid, c / kGrid, gx[c], gy[c]);
    bool same = true;
    for (size_t i = 0; i < places.size(); ++i) {
        int best = 0;
        double bd = 1e300;
        for (int c = 0; c < kCells; ++c) {
            const double d = std::hypot(gx[c] - places[i].x, gy[c] - places[i].y);
            if (d < bd) bd = d, best = c;
        }
        if (best != cell[i]) same = false;
        cell[i] = best;
    }
    return same;
}
}  // namespace

bool LabelGrid(const std::vector<Place>& places, const std::vector<int>& order, double upX, double upY,
               GridSolution& out) {
    const size_t n = places.size();
    if (n < 8 || n > static_cast<size_t>(kMaxPlaces)) return false;
    // Screen-aligned offsets from the centre cell: v grows downward, h across (either sense).
    std::vector<double> h(n), v(n);
    for (size_t i = 0; i < n; ++i) {
        const double dx = places[i].x - places[0].x, dy = places[i].y - places[0].y;
        v[i] = -(dx * upX + dy * upY);
        h[i] = dx * -upY + dy * upX;
    }
    std::vector<double> spacings;
    for (double s = 6.0; s < 500.0; s *= 1.03) spacings.push_back(s);

    std::set<Labels> candidates;
    Labels cols(n), cell(n);
    for (int sense = -1; sense <= 1; sense += 2) {
        for (double cs : spacings) {
            bool ok = true;
            unsigned colMask = 0;
            for (size_t i = 0; i < n && ok; ++i) {
                cols[i] = 2 + static_cast<int>(std::lround(sense * h[i] / cs));
                ok = cols[i] >= 0 && cols[i] < kGrid;
                if (ok) colMask |= 1u << cols[i];
            }
            if (!ok || colMask != 0x1Fu) continue;
            for (double rs : spacings) {
                for (size_t i = 0; i < n && ok; ++i) {
                    const int r = 2 + static_cast<int>(std::lround(v[i] / rs));
                    ok = r >= 0 && r < kGrid;
                    cell[i] = r * kGrid + cols[i];
                }
                if (!ok) {
                    ok = true;
                    continue;
                }
                if (Distinct(cell) && SpansGrid(cell) && OrderHolds(cell, order)) candidates.insert(cell);
            }
        }
    }
    if (candidates.empty() || candidates.size() > static_cast<size_t>(kMaxFits)) return false;

    // Each candidate is fitted and then relabelled by its own fit until stable; only labellings
    // that survive with a tight fit count.
    std::set<Labels> accepted;
    GridSolution best;
    for (Labels c : candidates) {
        GridModel model;
        bool stable = false;
        for (int round = 0; round < 3 && !stable; ++round) {
            if (!FitLabels(places, c, model)) break;
            stable = NearestCells(places, model, c);
            if (!Distinct(c) || !SpansGrid(c) || !OrderHolds(c, order)) {
                stable = false;
                break;
            }
        }
        if (!stable || model.Rms() > kMaxRms || model.MaxResidual() > kMaxResidual) continue;
        if (accepted.insert(c).second) {
            std::copy(c.begin(), c.end(), best.cellOf);
            best.model = model;
        }
    }
    if (accepted.size() != 1) return false;
    out = best;
    return true;
}

}  // namespace tavori::cf
