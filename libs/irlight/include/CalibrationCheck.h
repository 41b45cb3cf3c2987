// How well a calibration record predicts its own points and how the camera's view and the screen
// overlap, for the driver's calibration report: C++, and not part of the library's C surface.
#pragma once

#include <cstdint>

#include "MultiIRLight.h"

namespace tavori::irl {

// One point of the record, judged by the mapping fitted to all the other points: how far it puts the
// point's camera position from its target, less what it leaves of a record without error (the
// share of extrapolation and whole camera pixels, which no pen can remove).
struct PointCheck {
    double x = 0, y = 0;                     // its screen target, relative to the calibrated rectangle
    double predictedX = 0, predictedY = 0;   // the target moved by that error, toward the prediction
    double error = -1;                       // that error in screen pixels; -1: not predicted
};

// Fills checks[0 .. lPtCount). False for 4-point records (no point to spare) and records that
// cannot be fitted.
bool leaveOneOutChecks(const _SCalibration& cal, int32_t imgW, int32_t imgH, PointCheck* checks);

// Fractions (0..1) through the mapping fitted to all points: of the calibrated rectangle, the part
// the camera's frame sees; of the frame, the part the rectangle fills.
struct ViewCoverage {
    double screenSeen = 0, imageFilled = 0;
};
bool viewCoverage(const _SCalibration& cal, int32_t imgW, int32_t imgH, ViewCoverage& coverage);

}  // namespace tavori::irl
