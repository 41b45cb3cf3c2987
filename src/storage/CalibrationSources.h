// Records that may be handed to the main window for saving: only the calibration dialogs' own.
// A save request naming any other address (a message from another process) is ignored. Each
// source says which camera a posted slot belongs to, so a record is stored with that camera only.
#pragma once
#include <cstdint>
#include <functional>

#include "MultiIRLight.h"

// -1: the slot posted nothing. A source without one posts one record for every camera.
using SlotCamera = std::function<int(int slot)>;

struct CalibrationSource {
    _SCalibration* record;
    SlotCamera cameraOfSlot;
};

void RegisterCalibrationSource(_SCalibration* record, SlotCamera cameraOfSlot = {});
void UnregisterCalibrationSource(_SCalibration* record);
const CalibrationSource* FindCalibrationSource(uintptr_t address);
