// Which grid cell each sighted square is. The squares are shown row by row, left to right, and the
// finder is told neither the index nor the screen size, so the cells are inferred: in the frame
// given by the screen's "up", every choice of mirror sense and row and column spacing labels the
// sightings; a labelling is kept only when it covers all rows and columns, agrees with the order
// of the sightings, and the lens model fits it to well under a pixel. Exactly one such labelling
// must remain: an ambiguous or ill-fitting set gives none.
#pragma once
#include <vector>

#include "GridModel.h"

namespace tavori::cf {

constexpr int kGrid = 5;
constexpr int kCells = kGrid * kGrid;

struct Place {
    double x = 0, y = 0;  // mean camera position
    int count = 0;
};

struct GridSolution {
    int cellOf[kCells + 16];  // cell (row * 5 + col) of each place
    GridModel model;
};

// places[0] is the centre cell (known from the stage-1 squares); order lists place indices in the
// order they were sighted, without immediate repeats; up is the camera direction of screen up.
bool LabelGrid(const std::vector<Place>& places, const std::vector<int>& order, double upX, double upY,
               GridSolution& out);

}  // namespace tavori::cf
