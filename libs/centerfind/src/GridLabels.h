// Which grid cell each sighted square is. The squares are shown row by row, left to right, and the
// finder is told neither the index nor the screen size, so the cells are inferred: in the frame
// given by the screen's "up", every choice of mirror sense, keystone and row and column spacing
// labels the sightings; a labelling is kept only when it agrees with the order of the sightings,
// the lens model fits it to well under a pixel, the whole grid it implies lies in the view, and
// the screen it implies is landscape. The gate may alias with the pattern so that some columns
// are never shown; the fit fills them. Exactly one labelling must remain: an ambiguous or
// ill-fitting set gives none.
#pragma once
#include <vector>

#include "GridModel.h"

namespace tavori::cf {

constexpr int kGrid = 5;
constexpr int kCells = kGrid * kGrid;

struct Place {
    double x = 0, y = 0;  // mean camera position
    int count = 0;
    double area = 0;  // mean lit pixels
};

// Adds a sighting of the square seen at place p. A square filmed while the screen was being
// redrawn is only partly lit, smaller and off centre: the fullest image wins, smaller ones are
// dropped.
void AddSighting(Place& p, double x, double y, double area);

struct GridSolution {
    int cellOf[kCells + 16];  // cell (row * 5 + col) of each place
    int places = 0;           // how many places it labels; 0 = none
    GridModel model;
    // Grid units of each column and row: whole numbers, or the pattern's pixel truncation.
    double colAt[kGrid] = {0, 1, 2, 3, 4}, rowAt[kGrid] = {0, 1, 2, 3, 4};
    double unitsAcross = 0, unitsDown = 0;  // a grid unit is 0.8 of these in screen pixels
};

// What the stage-1 squares told about the squares: the image of a big square (60 x 60, or 140 x
// 140 in the four-point pattern) has `area` pixels, and the small square's centre lies at
// (smallDx, smallDy) from the big one's, sideOverOffset of a side away on the screen.
struct SquareShape {
    double area = 0;
    double smallDx = 0, smallDy = 0;
    double sightingStd = 0.1;  // of a sighted centre, per axis
    double sideOverOffset = 60.0 / 70.0;
};

// A square's sides in grid units under a model: its height from the stage-1 offset (70/60 of a
// side) and the model's scale at the centre, its width from its area over that height. False for
// a degenerate model.
bool SquareSides(const GridModel& m, const SquareShape& shape, double& cols, double& rows);

// places[0] is the centre cell (known from the stage-1 squares); order lists place indices in the
// order they were sighted, without immediate repeats; up is the camera direction of screen up.
// A labelling also has to put the whole grid inside the view and imply a landscape screen.
// `known` is the last unique labelling of fewer places (places 0 = none): its fit labels the new
// places too, which carries the labelling where a strongly keystoned view defeats the spacings.
// Returns true when exactly one labelling fits; `pinned` then tells whether the fit also fixes the
// cells not seen closely enough to fill them.
bool LabelGrid(const std::vector<Place>& places, const std::vector<int>& order, double upX, double upY,
               const SquareShape& shape, const GridSolution& known, GridSolution& out, bool& pinned);

}  // namespace tavori::cf
