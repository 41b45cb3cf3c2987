// The centre finder's state across calls: the black background, what the stage-1 squares told,
// and the places where stage-2 squares were sighted.
#pragma once
#include <cstdint>
#include <vector>

#include "FourCorners.h"
#include "FrameScan.h"
#include "GridLabels.h"

namespace tavori::cf {

class Finder {
public:
    int Call(int stage, int mode, const uint8_t* pixels, double* points, int* type);

private:
    int Black(const uint8_t* pixels);
    int CentrePair(const uint8_t* pixels, int mode);
    int Corners(const uint8_t* pixels, double* points, int* type);
    int GridSquares(const uint8_t* pixels, double* points, int* type);
    void StartGrid();
    bool Deliver(const GridSolution& solution, double* points, int* type);
    bool DropStraySighting(const SquareShape& shape, GridSolution& solution, bool& pinned);

    struct Sighting {
        double x, y;
        int area;
    };

    Background black_;
    LightScanner scanner_;
    std::vector<Sighting> pair_;  // stage 1: recent single-square sightings
    // What stage 1 learnt.
    double centreX_ = 0, centreY_ = 0, smallX_ = 0, smallY_ = -1, upX_ = 0, upY_ = -1, squareArea_ = 0;
    // Stage 2.
    std::vector<Place> places_;
    std::vector<int> order_;
    bool clipped_ = false;
    double sightingStd_ = 0;  // largest of the sightings so far
    GridSolution known_;       // the last unique labelling
    FourCorners corners_;      // the four-point pattern
};

}  // namespace tavori::cf
