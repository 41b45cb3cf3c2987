// The four-point pattern: 140 x 140 squares at the corners of the screen's inner 80 % and one at
// its middle, shown in the order top-left, top-right, bottom-left, bottom-right, middle. The middle
// is the big stage-1 square; a corner is told by its side of the middle along the screen's up, and
// left from right by the order the squares come in (the camera may be mirrored).
#pragma once
#include <vector>

#include "FrameScan.h"
#include "GridLabels.h"

namespace tavori::cf {

class FourCorners {
public:
    // What stage 1 found; forgets the sightings of an earlier attempt, which may have filmed
    // another view.
    void Start(double centreX, double centreY, double upX, double upY, const SquareShape& shape);
    // One stage-2 frame's lights. True once the four corners are certain: points[0..7] then hold
    // bottom-left, bottom-right, top-left, top-right (type 1 order), pixel edges at whole numbers.
    bool Add(const Light* lights, int n, double* points);

private:
    enum Slot { kTopA, kTopB, kBottomA, kBottomB, kMiddle, kSlots };
    int SlotOf(const Light& l) const;
    bool SenseFits(int sense) const;
    bool Deliver(int sense, double* points);

    double centreX_ = 0, centreY_ = 0, upX_ = 0, upY_ = -1;
    SquareShape shape_;
    std::vector<Place> places_[kSlots];  // sightings of each slot, grouped by place
    std::vector<int> order_;             // slots in the order seen, without repeats
    bool refused_ = false;
};

}  // namespace tavori::cf
