// Where a listener's point message goes: the mouse, a calibration dialog, or nowhere.
#pragma once
#include "config/CalibrationModes.h"

enum class PointRoute {
    Ignore,        // the cameras are not running, or the point record says nothing usable
    MousePoint,    // a pen point for the mouse emulation
    MouseNoPoint,  // "no pen in this frame" for the mouse emulation
    ManualDialog,  // status 1: the manual calibration dialog collects the point
    FrameDialog,   // status 2 or 3: a frame copy for the automatic or image position dialog
};

// status: a CalibrationStatus.
// state: the state field of the point (1 = present).
inline PointRoute RoutePoint(bool camerasRunning, int status, int searchType, int state) {
    if (!camerasRunning) return PointRoute::Ignore;
    if (status == kCrossesStep) return PointRoute::ManualDialog;
    if (TakesFrameCopies(status)) return PointRoute::FrameDialog;
    if (status != kNotCalibrating) return PointRoute::Ignore;
    if (state == 1) return PointRoute::MousePoint;
    // The multi-point search marks "nothing" with state 0 and ignores other states; the single-point
    // search takes anything but a present point as "nothing".
    if (searchType != 0 && state != 0) return PointRoute::Ignore;
    return PointRoute::MouseNoPoint;
}
