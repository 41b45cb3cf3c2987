// How well a calibration record predicts its own points, for the driver's calibration report:
// C++, and not part of the library's C surface.
#pragma once

#include <cstdint>

#include "MultiIRLight.h"

namespace tavori::irl {

// Point i's screen target against where the mapping fitted to all the other points puts its
// camera position, in screen pixels (-1 where that fit fails). False for 4-point records (no point
// to spare) and records that cannot be fitted.
bool leaveOneOutErrors(const _SCalibration& cal, int32_t imgW, int32_t imgH, double* errors);

}  // namespace tavori::irl
