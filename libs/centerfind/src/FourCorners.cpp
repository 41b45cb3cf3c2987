#include "FourCorners.h"

#include <algorithm>
#include <cmath>

namespace tavori::cf {

namespace {
constexpr int kSightings = 2;      // of a corner before it counts
constexpr double kMaxResidual = 1.5;
// Display order of top-left, top-right, bottom-left, bottom-right, middle for each slot, when the
// camera's "A" side is the screen's left (sense 0) or its right (sense 1).
constexpr int kElement[2][5] = {{0, 1, 2, 3, 4}, {1, 0, 3, 2, 4}};
// Cells of the grid model for the elements: the corners 4 cells apart, the middle between them.
constexpr double kCol[5] = {0, 4, 0, 4, 2}, kRow[5] = {0, 0, 4, 4, 2};
}  // namespace

void FourCorners::Start(double centreX, double centreY, double upX, double upY, const SquareShape& shape) {
    centreX_ = centreX, centreY_ = centreY, upX_ = upX, upY_ = upY;
    shape_ = shape;
    for (auto& p : places_) p.clear();
    order_.clear();
    refused_ = false;
}

int FourCorners::SlotOf(const Light& l) const {
    const double side = std::sqrt(shape_.area);
    const double dx = l.x - centreX_, dy = l.y - centreY_;
    if (std::hypot(dx, dy) < 0.3 * side) return kMiddle;
    const double v = -(dx * upX_ + dy * upY_), h = dx * -upY_ + dy * upX_;  // v grows downward
    // The corners lie several sides from the middle either way; anything between is no square
    // of the pattern.
    if (std::fabs(h) < side || std::fabs(v) < 0.75 * side) return -1;
    return (v < 0 ? kTopA : kBottomA) + (h > 0 ? 1 : 0);
}

// Consecutive sightings step forward through the display order by one element, or two when the
// camera missed one.
bool FourCorners::SenseFits(int sense) const {
    for (size_t i = 1; i < order_.size(); ++i) {
        const int step = (kElement[sense][order_[i]] - kElement[sense][order_[i - 1]] + 5) % 5;
        if (step != 1 && step != 2) return false;
    }
    return true;
}

bool FourCorners::Add(const Light* lights, int n, double* points) {
    if (refused_ || n != 1) return false;  // a second light (pen, reflection) tells nothing sure
    const Light& l = lights[0];
    if (l.touchesBorder) refused_ = true;  // a corner outside the view: no calibration from it
    const int slot = SlotOf(l);
    if (refused_ || slot < 0 || l.area < 0.3 * shape_.area || l.area > 3.0 * shape_.area) return false;
    const double same = 0.3 * std::sqrt(shape_.area);
    auto& places = places_[slot];
    auto at = std::find_if(places.begin(), places.end(),
                           [&](const Place& p) { return std::hypot(p.x - l.x, p.y - l.y) < same; });
    if (at == places.end())
        places.push_back({l.x, l.y, 1, double(l.area)});
    else
        AddSighting(*at, l.x, l.y, l.area);
    if (order_.empty() || order_.back() != slot) order_.push_back(slot);

    const bool fits[2] = {SenseFits(0), SenseFits(1)};
    if (!fits[0] && !fits[1]) refused_ = true;  // no display order explains the sightings
    if (refused_ || fits[0] == fits[1]) return false;
    // Every corner seen steadily in one place; a single odd sighting (a frame taken while the
    // screen was redrawn) is outvoted.
    for (int s = kTopA; s <= kBottomB; ++s) {
        int steady = 0;
        for (const Place& p : places_[s]) steady += p.count >= kSightings;
        if (steady != 1) return false;
    }
    return Deliver(fits[0] ? 0 : 1, points);
}

bool FourCorners::Deliver(int sense, double* points) {
    double x[5], y[5];
    CellSighting cells[5];
    for (int s = 0; s < kSlots; ++s) {
        const int e = kElement[sense][s];
        if (s == kMiddle) {
            x[e] = centreX_, y[e] = centreY_;
        } else {
            const Place& p = *std::max_element(places_[s].begin(), places_[s].end(),
                                               [](const Place& a, const Place& b) { return a.count < b.count; });
            x[e] = p.x, y[e] = p.y;
        }
        cells[e] = {kCol[e], kRow[e], x[e], y[e]};
    }
    // Each centroid lies off the image of its square's centre by perspective and lens, the
    // middle's too: fit, take the shifts off the sightings, fit again. The middle must sit where
    // the corners put it; the lens may bend it a little.
    GridModel model;
    double sideCols = 0, sideRows = 0, dx[5] = {}, dy[5] = {};
    for (int round = 0; round < 3; ++round) {
        for (int e = 0; e < 5; ++e) cells[e].x = x[e] - dx[e], cells[e].y = y[e] - dy[e];
        if (!model.Fit(cells, 5) || model.MaxResidual() > kMaxResidual || !SquareSides(model, shape_, sideCols, sideRows))
            return false;
        for (int e = 0; e < 5; ++e) SquareCentroidShift(model, kCol[e], kRow[e], sideCols, sideRows, dx[e], dy[e]);
    }
    // The record pairs each corner with its target, half a screen pixel past the middle of a
    // square drawn from 70 pixels before it.
    const double halfCol = 0.5 * sideCols / 140, halfRow = 0.5 * sideRows / 140;
    static const int kOut[4] = {2, 3, 0, 1};  // element -> output: bottom row first
    for (int e = 0; e < 4; ++e) {
        double cx, cy, tx, ty;
        model.Project(kCol[e], kRow[e], cx, cy);
        model.Project(kCol[e] + halfCol, kRow[e] + halfRow, tx, ty);
        points[2 * kOut[e]] = x[e] - dx[e] + (tx - cx) + 0.5;
        points[2 * kOut[e] + 1] = y[e] - dy[e] + (ty - cy) + 0.5;
    }
    return true;
}

}  // namespace tavori::cf
