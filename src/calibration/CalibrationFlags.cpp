#include "calibration/CalibrationFlags.h"

volatile int32_t g_bCollate = 0;
volatile int32_t g_bCollateA = 0;
volatile int32_t g_nCalibExposure = 0;
