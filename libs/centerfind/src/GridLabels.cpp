#include "GridLabels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <set>

namespace tavori::cf {

namespace {
constexpr int kMaxPlaces = kCells + 16;
constexpr int kMaxStep = 10;      // squares that may pass between two sightings
constexpr int kMaxFits = 64;      // candidate labellings worth a fit in one call
constexpr double kMaxRms = 0.5;   // camera pixels
constexpr double kMaxResidual = 1.5;
constexpr double kSightingStd = 0.05;  // camera pixels per axis: below this the lens model is the limit
constexpr size_t kMinPlacesToFill = 10;  // with fewer, the fit's own spread is no guide
// A filled centre's uncertainty that is still accepted; after half a cycle of sightings more, as
// waiting longer would lose the attempt when the camera's sightings are coarse (a camera that
// samples the screen rather than integrating it).
constexpr double kMaxFillStd = 0.15, kLateFillStd = 0.22;
constexpr size_t kPatientSightings = 12;
constexpr double kViewW = 640, kViewH = 480;
constexpr double kMinAspect = 0.9, kMaxAspect = 2.6;  // screen width over height

using Labels = std::vector<int>;

// Sightings must climb through the cells in display order.
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
    return unwrapped < 8 * kCells;
}

bool Distinct(const Labels& cell) {
    unsigned used = 0;
    for (int c : cell) {
        if (c < 0 || c >= kCells || (used >> c & 1u)) return false;
        used |= 1u << c;
    }
    return true;
}

// At least two columns and rows, three of one of them: enough to fix the projective map and bend.
bool SpansGrid(const Labels& cell) {
    unsigned rows = 0, cols = 0;
    for (int c : cell) {
        rows |= 1u << (c / kGrid);
        cols |= 1u << (c % kGrid);
    }
    const int nr = std::popcount(rows), nc = std::popcount(cols);
    return nr >= 2 && nc >= 2 && nr + nc >= 5;
}

bool GridInView(const GridModel& m, double margin) {
    for (int c = 0; c < kCells; ++c) {
        double x, y;
        m.Project(c % kGrid, c / kGrid, x, y);
        if (!(x >= margin && y >= margin && x <= kViewW - 1 - margin && y <= kViewH - 1 - margin)) return false;
    }
    return true;
}

constexpr double kUniform[kGrid] = {0, 1, 2, 3, 4};

bool FitLabels(const std::vector<Place>& places, const Labels& cell, const double* colAt, const double* rowAt,
               GridModel& model) {
    CellSighting s[kMaxPlaces];
    const int n = static_cast<int>(places.size());
    for (int i = 0; i < n; ++i) {
        const int c = cell[static_cast<size_t>(i)];
        s[i] = {colAt[c % kGrid], rowAt[c / kGrid], places[static_cast<size_t>(i)].x, places[static_cast<size_t>(i)].y};
    }
    return model.Fit(s, n);
}

// Grid positions as the pattern places them, in grid units about the centre: a tenth of a unit in
// from the edge, 0.8 u apart, each truncated to a whole screen pixel.
void TruncatedLattice(long u, double* at) {
    const double mid = std::floor(static_cast<double>(u) * 17 / 10);
    for (int c = 0; c < kGrid; ++c) at[c] = 2 + (std::floor(static_cast<double>(u) * (1 + 8 * c) / 10) - mid) / (0.8 * static_cast<double>(u));
}

// The screen's size is not known, but the truncation pattern of the grid depends only on the
// last digit of u: try the ten for each axis, keep what fits best.
void RefineLattice(const std::vector<Place>& places, GridSolution& sol) {
    const Labels cell(sol.cellOf, sol.cellOf + places.size());
    for (int axis = 0; axis < 2; ++axis) {
        double* at = axis == 0 ? sol.colAt : sol.rowAt;
        const long u0 = std::lround(axis == 0 ? sol.unitsAcross : sol.unitsDown);
        if (u0 < 20) continue;
        double trial[kGrid];
        for (long u = u0 - 5; u < u0 + 5; ++u) {
            TruncatedLattice(u, trial);
            GridModel m;
            const bool ok = axis == 0 ? FitLabels(places, cell, trial, sol.rowAt, m) : FitLabels(places, cell, sol.colAt, trial, m);
            if (ok && m.Rms() < sol.model.Rms()) {
                sol.model = m;
                std::copy(trial, trial + kGrid, at);
            }
        }
    }
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

void AddSighting(Place& p, double x, double y, double area) {
    if (area > 1.15 * p.area) {
        p = {x, y, 1, area};
    } else if (area >= 0.85 * p.area) {
        p = {(p.x * p.count + x) / (p.count + 1), (p.y * p.count + y) / (p.count + 1), p.count + 1,
             (p.area * p.count + area) / (p.count + 1)};
    }
}

bool SquareSides(const GridModel& m, const SquareShape& shape, double& cols, double& rows) {
    // The model's local scale at the centre cell, by central differences: the square sits there.
    constexpr double h = 0.05;
    auto jacobian = [&](double c, double r, double* j) {
        double xa, ya, xb, yb, xc, yc, xd, yd;
        m.Project(c + h, r, xa, ya);
        m.Project(c - h, r, xb, yb);
        m.Project(c, r + h, xc, yc);
        m.Project(c, r - h, xd, yd);
        j[0] = (xa - xb) / (2 * h), j[1] = (xc - xd) / (2 * h), j[2] = (ya - yb) / (2 * h), j[3] = (yc - yd) / (2 * h);
        return j[0] * j[3] - j[1] * j[2];
    };
    double j[4];
    const double det = jacobian(2, 2, j);
    if (std::fabs(det) < 1e-9) return false;
    // The small square's cell, by Newton steps through the model from the centre: its distance
    // up is sideOverOffset of a side; under strong perspective one linear step would be off.
    double x0, y0;
    m.Project(2, 2, x0, y0);
    double c = 2, r = 2;
    for (int it = 0; it < 6; ++it) {
        double x, y, k[4];
        m.Project(c, r, x, y);
        const double d = jacobian(c, r, k);
        if (std::fabs(d) < 1e-9) return false;
        const double ex = x0 + shape.smallDx - x, ey = y0 + shape.smallDy - y;
        c += (k[3] * ex - k[1] * ey) / d;
        r += (-k[2] * ex + k[0] * ey) / d;
    }
    rows = std::fabs(r - 2) * shape.sideOverOffset;
    cols = rows > 0 ? shape.area / std::fabs(det) / rows : 0;
    return rows > 0 && cols > 0;
}

bool LabelGrid(const std::vector<Place>& places, const std::vector<int>& order, double upX, double upY,
               const SquareShape& shape, const GridSolution& known, GridSolution& out, bool& pinned) {
    pinned = false;
    const size_t n = places.size();
    if (n < 7 || n > static_cast<size_t>(kMaxPlaces)) return false;
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
    std::vector<double> hk(n);
    for (int sense = -1; sense <= 1; sense += 2) {
        // Keystone: rows nearer the camera look wider; across is scaled by 1 + g v.
        for (double g = -0.0030; g <= 0.0030 + 1e-9; g += 0.0003) {
            bool fold = false;
            for (size_t i = 0; i < n; ++i) {
                const double w = 1.0 + g * v[i];
                fold |= w < 0.3;
                hk[i] = sense * h[i] / w;
            }
            if (fold) continue;
            Labels lastCols;
            for (double cs : spacings) {
                bool ok = true;
                for (size_t i = 0; i < n && ok; ++i) {
                    cols[i] = 2 + static_cast<int>(std::lround(hk[i] / cs));
                    ok = cols[i] >= 0 && cols[i] < kGrid;
                }
                // Neighbouring spacings mostly give the same columns: try each set once.
                if (!ok || cols == lastCols) continue;
                lastCols = cols;
                Labels lastCell;
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
                    if (cell == lastCell) continue;
                    lastCell = cell;
                    if (Distinct(cell) && SpansGrid(cell) && OrderHolds(cell, order)) candidates.insert(cell);
                }
            }
        }
    }
    if (known.places > 0 && static_cast<size_t>(known.places) <= n) {
        Labels c(known.cellOf, known.cellOf + known.places);
        c.resize(n, 0);
        Labels nearest = c;
        NearestCells(places, known.model, nearest);
        std::copy(nearest.begin() + known.places, nearest.end(), c.begin() + known.places);
        if (Distinct(c) && OrderHolds(c, order)) candidates.insert(c);
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
            if (!FitLabels(places, c, kUniform, kUniform, model)) break;
            stable = NearestCells(places, model, c);
            if (!Distinct(c) || !SpansGrid(c) || !OrderHolds(c, order)) {
                stable = false;
                break;
            }
        }
        if (!stable || c[0] != 2 * kGrid + 2 || model.Rms() > kMaxRms || model.MaxResidual() > kMaxResidual) continue;
        double sc, sr;
        if (!SquareSides(model, shape, sc, sr) || !GridInView(model, 0.5 * std::sqrt(shape.area))) continue;
        const double aspect = sr / sc;  // a grid unit is 0.8 / 3.4 of the screen's width and height
        if (aspect < kMinAspect || aspect > kMaxAspect) continue;
        if (accepted.insert(c).second) {
            std::copy(c.begin(), c.end(), best.cellOf);
            best.places = static_cast<int>(n);
            best.model = model;
            // A grid unit is 0.8 u screen pixels and a square 60: u from the square's sides.
            best.unitsAcross = 75.0 / sc;
            best.unitsDown = 75.0 / sr;
        }
    }
    if (accepted.size() != 1) return false;
    RefineLattice(places, best);

    // The cells not sighted must be pinned down by the fit, not guessed. What the fit leaves over
    // what it explains (per axis, for its nine terms) counts as well.
    const Labels c(best.cellOf, best.cellOf + n);
    const double dof = 2.0 * static_cast<double>(n) - 9.0;
    const double sigma =
        std::max({kSightingStd, shape.sightingStd, best.model.Rms() * std::sqrt(static_cast<double>(n) / dof)});
    // Rows are filled only between sighted ones: the top and bottom rows must have been seen.
    // Across, the fit may reach from one side to the other (the gate can alias with the pattern
    // so that one side's columns never show).
    unsigned seenRows = 0, seenCols = 0;
    for (int k : c) seenRows |= 1u << (k / kGrid), seenCols |= 1u << (k % kGrid);
    pinned = n >= kMinPlacesToFill && (seenRows & 0x11u) == 0x11u && (seenCols & 0x11u) != 0;
    // The looser bound only where the fill stays between sighted columns.
    const double maxFill = order.size() > kPatientSightings && (seenCols & 0x11u) == 0x11u ? kLateFillStd : kMaxFillStd;
    for (int k = 0; k < kCells && pinned; ++k)
        if (std::find(c.begin(), c.end(), k) == c.end())
            pinned = best.model.ProjectionStd(best.colAt[k % kGrid], best.rowAt[k / kGrid], sigma) <= maxFill;
    out = best;
    return true;
}

}  // namespace tavori::cf
