// Records that may be handed to the main window for saving: only the calibration dialogs' own.
// A save request naming any other address (a message from another process) is ignored.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

void RegisterCalibrationSource(_SCalibration* record);
void UnregisterCalibrationSource(_SCalibration* record);
_SCalibration* FindCalibrationSource(uintptr_t address);
