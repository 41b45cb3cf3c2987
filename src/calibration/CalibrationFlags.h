// Mode words of the calibration flow (g_bCollate, g_bCollateA, g_nCalibExposure): the listeners
// read them too, so they live with the other shared words below the capture layer.
#pragma once
#include "config/SharedWords.h"
