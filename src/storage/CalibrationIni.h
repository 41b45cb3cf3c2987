// The calibration file "Calibration.ini": the current calibration (section "Calibration") and the
// per-screen records of the active named calibration.
#pragma once
#include "MultiIRLight.h"

// Reads section "Calibration"; sets g_nExposure from the file once points are present. True for
// a record with points and a non-empty rectangle.
bool LoadIni(_SCalibration& cal);
void SaveIni(const _SCalibration& cal);
// The screen bound to a camera in the active named calibration, or -1.
int FindScreenForCamera(int captureIndex);
// Screen s's record in the active named calibration.
_SCalibration ReadScreenCalibration(int screen);
