// The fixed lights a detector holds back (lamps, reflections, bright windows, lights there when its
// learning restarted), for the driver itself: C++, and not part of the library's C surface.
#pragma once

#include <cstdint>

#include "MultiIRLight.h"

namespace tavori::irl {

// Camera pixels: the centre and the lit box the light had when it was learned.
struct FixedLight {
    double x, y;
    int32_t x0, y0, x1, y1;
};

// Copies up to `capacity` of the detector's fixed lights to `out`; returns how many. Call it on the
// thread that makes the find calls, between them. 0 for an invalid handle.
int ReadFixedLights(HMULTIIRLIGHT h, FixedLight* out, int capacity);

// Where the light lies on the calibrated rectangle (width x height screen pixels; unclamped, so
// possibly beside it), through the mapping of the last find call. False without a calibration.
// The same thread as ReadFixedLights.
bool ScreenPlaceOfLight(HMULTIIRLIGHT h, const FixedLight& light, double& sx, double& sy, int32_t& width, int32_t& height);

}  // namespace tavori::irl
