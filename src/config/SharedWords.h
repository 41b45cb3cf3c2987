// Mode words shared by the window thread (writer) and the listener threads (readers, once per
// pass). Each is declared here and nowhere else.
#pragma once
#include "config/CalibrationModes.h"
#include <cstdint>

#include "config/RelaxedWord.h"

using SharedWord = RelaxedWord<int32_t>;

extern SharedWord g_nExposure;       // exposure of the running cameras
extern SharedWord g_nPtCount;        // calibration points of the camera model
extern SharedWord enrollSign;        // an EnrollMode
extern SharedWord searchType;        // 0 single point, otherwise every point
extern SharedWord g_bCollate;        // 1 = the automatic calibration flow was chosen
extern SharedWord g_bCollateA;       // 1 = automatic flow, laser check: listeners read no frames
extern SharedWord g_nCalibExposure;  // exposure of the automatic calibration's current attempt
extern SharedWord g_nBackgroundMode;  // 2 = background subtraction on
extern SharedWord g_nBackgroundSnap;
extern SharedWord g_bContactOutput;   // 1 = the touch or pen output is in force: every pen is posted  // 1 = a snapshot is wanted, 2 = taken
