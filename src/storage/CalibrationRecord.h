// Rules about a calibration record that do not depend on where it is stored.
#pragma once
#include "MultiIRLight.h"

// The flash copy is trusted only when it looks like a real calibration: points present, a screen
// rectangle of at least 100 x 100 and every non-zero point inside it.
bool ValidateCalibration(const _SCalibration& cal);

// Number of point entries that carry meaning: never beyond the 36 the record holds.
inline unsigned UsedPoints(unsigned ptCount) { return ptCount < 36u ? ptCount : 36u; }
// n of the n x n grid a point count fills (2 to 6; counts between squares round down).
inline int GridSide(int pointCount) {
    int n = 2;
    while (n < 6 && (n + 1) * (n + 1) <= pointCount) ++n;
    return n;
}
