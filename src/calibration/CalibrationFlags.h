// Mode words of the calibration flow, written by the window thread and read whole by the listeners
// once per pass.
#pragma once
#include <cstdint>

extern volatile int32_t g_bCollate;        // 1 = the automatic flow was chosen
extern volatile int32_t g_bCollateA;       // 1 = automatic flow, laser check: listeners read no frames
extern volatile int32_t g_nCalibExposure;  // exposure of the automatic calibration's current attempt
