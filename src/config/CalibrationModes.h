// The two words that say where a calibration is: the flow's status (which window gets the
// points) and the listeners' enrolment mode (what a listener does with each frame). Plain enums
// over int: the values are those the drawing program and the traces have always seen.
#pragma once
#include <cstdint>

enum CalibrationStatus : int {
    kNotCalibrating = 0,
    kCrossesStep = 1,       // the manual dialog (also the automatic run's laser check)
    kAutoSquaresStep = 2,   // the automatic dialog: frame copies
    kAimingStep = 3,        // the aiming view: frame copies
};
inline bool TakesFrameCopies(int status) { return status == kAutoSquaresStep || status == kAimingStep; }

enum EnrollMode : int32_t {
    kEnrollNormal = 0,         // detect and publish the pens
    kEnrollBrightestSpot = 1,  // the brightest spot in camera pixels, for the crosses
    kEnrollFrameCopies = 2,    // post a copy of every frame
};
