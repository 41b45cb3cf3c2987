// The calibration file "Calibration.ini": the current calibration (section "Calibration") and the
// per-screen records of the active named calibration.
#pragma once
#include "MultiIRLight.h"

class CListenThread;

// Reads section "Calibration"; sets g_nExposure from the file once points are present. True for
// a record with points and a non-empty rectangle.
bool LoadIni(_SCalibration& cal);
void SaveIni(const _SCalibration& cal);
// The screen bound to a camera in the active named calibration, or -1.
int FindScreenForCamera(int captureIndex);
// Builds screen s's record from the active named calibration and applies it to the listener.
void LoadScreenCalibration(CListenThread& listener, int screen);
// The record LoadScreenCalibration applies (exposed for the tests).
_SCalibration ReadScreenCalibration(int screen);
