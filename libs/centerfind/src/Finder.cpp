#include "Finder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CenterFind.h"
#include "CenterFindTrace.h"

namespace tavori::cf {

namespace {
TraceSink g_trace = nullptr;

template <class... A>
void Trace(const char* format, A... args) {
    if (!g_trace) return;
    char line[200];
    std::snprintf(line, sizeof line, format, args...);
    g_trace(line);
}

constexpr int kPairHistory = 16;
constexpr double kSamePlace = 1.5;  // camera pixels between sightings of one stage-1 square
constexpr size_t kMinPlacesForStray = 11;  // enough that the rest still decide the grid
constexpr double kMaxScreenPerCameraPixel = 6.0;
}  // namespace

void SetTraceSink(TraceSink sink) { g_trace = sink; }

int Finder::Call(int stage, int mode, const uint8_t* pixels, double* points, int* type) {
    if (!pixels || !points || !type) return stage;
    switch (stage) {
    case 0: return Black(pixels);
    case 1: return CentrePair(pixels, mode);
    case 2: return mode == 25 ? GridSquares(pixels, points, type) : mode == 5 ? Corners(pixels, points, type) : 2;
    default: return stage;
    }
}

int Finder::Black(const uint8_t* pixels) {
    if (black_.Ready() || pair_.size() || places_.size()) {
        // A new attempt: forget everything but start a fresh background.
        black_.Reset();
        pair_.clear();
        places_.clear();
        order_.clear();
    }
    return black_.Add(pixels) ? 1 : 0;
}

int Finder::CentrePair(const uint8_t* pixels, int mode) {
    if (!black_.Ready()) return 1;
    Light lights[2];
    const int n = scanner_.Scan(pixels, black_, 6, lights, 2);
    // Only a frame with one clean square is evidence; a second light (pen, reflection) or a
    // square cut by the border says nothing certain.
    if (n != 1 || lights[0].touchesBorder) return 1;
    pair_.push_back({lights[0].x, lights[0].y, lights[0].area});
    if (pair_.size() > kPairHistory) pair_.erase(pair_.begin());

    // Group the sightings by place; a place counts when seen twice with the same size.
    struct Group {
        double x, y, area;
        int count;
    };
    std::vector<Group> groups;
    for (const Sighting& s : pair_) {
        auto g = std::find_if(groups.begin(), groups.end(), [&](const Group& k) {
            return std::hypot(k.x - s.x, k.y - s.y) < kSamePlace && std::abs(k.area - s.area) < 0.15 * k.area;
        });
        if (g == groups.end()) {
            groups.push_back({s.x, s.y, static_cast<double>(s.area), 1});
        } else {
            g->x = (g->x * g->count + s.x) / (g->count + 1);
            g->y = (g->y * g->count + s.y) / (g->count + 1);
            g->area = (g->area * g->count + s.area) / (g->count + 1);
            ++g->count;
        }
    }
    for (const Group& big : groups) {
        for (const Group& small : groups) {
            if (big.count < 2 || small.count < 2) continue;
            const double ratio = big.area / small.area;
            const double dist = std::hypot(small.x - big.x, small.y - big.y);
            const double rel = dist / std::sqrt(big.area);
            // 60 and 40 pixel squares 70 pixels apart (140 and 92, 164 apart in the four-point
            // pattern): areas 2.25 : 1, distance 1.17 sides; perspective bends both.
            if (ratio < 1.5 || ratio > 3.6 || rel < 0.6 || rel > 2.0) continue;
            // The record holds whole camera pixels: where one spans more screen pixels than this,
            // no calibration from it places the pen within a pixel or two.
            if ((mode == 5 ? 140 : 60) / std::sqrt(big.area) > kMaxScreenPerCameraPixel) {
                Trace("screen too small in the view: %.1f screen pixels a camera pixel", (mode == 5 ? 140 : 60) / std::sqrt(big.area));
                return 1;
            }
            centreX_ = big.x;
            centreY_ = big.y;
            upX_ = (small.x - big.x) / dist;
            upY_ = (small.y - big.y) / dist;
            squareArea_ = big.area;
            smallX_ = small.x;
            smallY_ = small.y;
            Trace("centre pair: centre %.2f,%.2f up %.3f,%.3f area %.0f", centreX_, centreY_, upX_, upY_,
                  squareArea_);
            if (mode == 5) {
                SquareShape shape{squareArea_, smallX_ - centreX_, smallY_ - centreY_};
                shape.sideOverOffset = 140.0 / 164.0;
                corners_.Start(centreX_, centreY_, upX_, upY_, shape);
            } else {
                StartGrid();
            }
            return 2;
        }
    }
    return 1;
}

void Finder::StartGrid() {
    places_.assign(1, Place{centreX_, centreY_, 1, squareArea_});
    order_.clear();
    clipped_ = false;
    sightingStd_ = 0;
    known_.places = 0;
}

int Finder::GridSquares(const uint8_t* pixels, double* points, int* type) {
    if (!black_.Ready() || places_.empty()) return 2;
    Light lights[2];
    const int minArea = std::max(4, static_cast<int>(0.1 * squareArea_));
    const int n = scanner_.Scan(pixels, black_, minArea, lights, 2);
    if (n != 1) return 2;
    const Light& l = lights[0];
    if (l.touchesBorder) {
        // Part of the grid lies outside the view: a calibration from it would be wrong there.
        if (!clipped_) Trace("grid square cut by the image border at %.1f,%.1f: refusing", l.x, l.y);
        clipped_ = true;
    }
    if (clipped_) return 2;
    if (l.area < 0.3 * squareArea_ || l.area > 3.0 * squareArea_) return 2;

    const double same = 0.3 * std::sqrt(squareArea_);
    int at = -1;
    for (size_t i = 0; i < places_.size(); ++i)
        if (std::hypot(places_[i].x - l.x, places_[i].y - l.y) < same) at = static_cast<int>(i);
    if (at < 0) {
        if (places_.size() >= static_cast<size_t>(kCells + 16)) return 2;
        places_.push_back({l.x, l.y, 1, double(l.area)});
        at = static_cast<int>(places_.size()) - 1;
    } else {
        AddSighting(places_[static_cast<size_t>(at)], l.x, l.y, l.area);
    }
    if (order_.empty() || order_.back() != at) order_.push_back(at);

    GridSolution solution;
    sightingStd_ = std::max(sightingStd_, l.std);
    const SquareShape shape{squareArea_, smallX_ - centreX_, smallY_ - centreY_, sightingStd_};
    bool pinned = false;
    if (!LabelGrid(places_, order_, upX_, upY_, shape, known_, solution, pinned) && !DropStraySighting(shape, solution, pinned))
        return 2;
    known_ = solution;
    if (!pinned) return 2;
    return Deliver(solution, points, type) ? 25 : 2;
}

int Finder::Corners(const uint8_t* pixels, double* points, int* type) {
    if (!black_.Ready() || squareArea_ <= 0) return 2;
    Light lights[2];
    const int n = scanner_.Scan(pixels, black_, std::max(4, static_cast<int>(0.1 * squareArea_)), lights, 2);
    if (!corners_.Add(lights, std::min(n, 2), points)) return 2;
    *type = 1;
    Trace("four corners found: %.2f,%.2f %.2f,%.2f %.2f,%.2f %.2f,%.2f", points[4], points[5], points[6], points[7],
          points[0], points[1], points[2], points[3]);
    return 5;
}

// A frame taken while the screen was being redrawn can show part of a square: one sighting in
// the wrong place, which no grid fits. When the grid stops fitting, the place seen only once whose
// removal lets it fit again is dropped for good.
bool Finder::DropStraySighting(const SquareShape& shape, GridSolution& solution, bool& pinned) {
    if (places_.size() < kMinPlacesForStray) return false;
    for (size_t drop = 1; drop < places_.size(); ++drop) {
        if (places_[drop].count > 1) continue;
        std::vector<Place> places = places_;
        places.erase(places.begin() + static_cast<std::ptrdiff_t>(drop));
        std::vector<int> order;
        for (int p : order_) {
            if (p == static_cast<int>(drop)) continue;
            const int q = p > static_cast<int>(drop) ? p - 1 : p;
            if (order.empty() || order.back() != q) order.push_back(q);
        }
        GridSolution none;
        if (!LabelGrid(places, order, upX_, upY_, shape, none, solution, pinned)) continue;
        Trace("dropped a stray sighting at %.1f,%.1f", places_[drop].x, places_[drop].y);
        places_.swap(places);
        order_.swap(order);
        return true;
    }
    return false;
}

bool Finder::Deliver(const GridSolution& s, double* points, int* type) {
    if (s.cellOf[0] != 2 * kGrid + 2) return false;
    double sideCols, sideRows;
    if (!SquareSides(s.model, {squareArea_, smallX_ - centreX_, smallY_ - centreY_}, sideCols, sideRows)) return false;
    double x[kCells], y[kCells];
    bool seen[kCells] = {};
    CellSighting fixed[kCells + 16];
    const int n = static_cast<int>(places_.size());
    for (int i = 0; i < n; ++i) {
        const int c = s.cellOf[i];
        double dx, dy;
        SquareCentroidShift(s.model, s.colAt[c % kGrid], s.rowAt[c / kGrid], sideCols, sideRows, dx, dy);
        x[c] = places_[static_cast<size_t>(i)].x - dx;
        y[c] = places_[static_cast<size_t>(i)].y - dy;
        seen[c] = true;
        fixed[i] = {s.colAt[c % kGrid], s.rowAt[c / kGrid], x[c], y[c]};
    }
    GridModel model = s.model;
    if (!model.Fit(fixed, n)) return false;
    // Every centre comes from the fit, sighted ones too: one sighting is a single frame, and a
    // camera that samples the screen coarsely moves it by a fraction of a pixel, which the fit over
    // all of them averages out.
    // The record pairs each centre with its grid target, and a 60-pixel square drawn from 30 pixels
    // before the target has its middle half a screen pixel before it: report the target itself.
    const double halfCol = s.unitsAcross > 0 ? 0.5 / (0.8 * s.unitsAcross) : 0;
    const double halfRow = s.unitsDown > 0 ? 0.5 / (0.8 * s.unitsDown) : 0;
    for (int c = 0; c < kCells; ++c)
        model.Project(s.colAt[c % kGrid] + halfCol, s.rowAt[c / kGrid] + halfRow, x[c], y[c]);
    // Filled cells must lie where a whole square would have been visible.
    const double margin = 0.5 * std::sqrt(squareArea_);
    int observed = 0;
    for (int c = 0; c < kCells; ++c) {
        observed += seen[c];
        if (x[c] < margin || y[c] < margin || x[c] > kWidth - 1 - margin || y[c] > kHeight - 1 - margin) {
            Trace("grid cell %d would lie outside the view: refusing", c);
            clipped_ = true;
            return false;
        }
    }
    for (int c = 0; c < kCells; ++c) {
        const int out = (kGrid - 1 - c / kGrid) * kGrid + c % kGrid;
        points[2 * out] = x[c] + 0.5;
        points[2 * out + 1] = y[c] + 0.5;
    }
    *type = 1;
    Trace("grid found: %d cells observed, %d filled from the fit (rms %.3f px, max %.3f px, k1 %.3f)", observed,
          kCells - observed, model.Rms(), model.MaxResidual(), model.K1());
    return true;
}

}  // namespace tavori::cf

extern "C" int TAVORI_CDECL Calibration_Point(int stage, int mode, const unsigned char* pixels, double* points,
                                              int* type) {
    static tavori::cf::Finder finder;
    return finder.Call(stage, mode, pixels, points, type);
}
