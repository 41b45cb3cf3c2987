// Whether a camera has moved since it was calibrated: the static scene around the screen (the
// room, the screen's frame) then shows shifted or turned. For the driver itself: C++, and not part
// of the library's C surface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "MultiIRLight.h"

namespace tavori::irl {

// A camera's static scene, small: edge strength on a grid of cells `scale` camera pixels wide, and
// which cells count. The screen and a margin around it never count: what is projected changes.
struct SceneReference {
    int32_t width = 0, height = 0, scale = 0;  // the grid, and camera pixels per cell
    int32_t cameraWidth = 0, cameraHeight = 0;
    uint32_t calibrationTag = 0;               // SceneCalibrationTag of the calibration it belongs to
    float corners[8] = {};                     // the screen's corners, camera pixels (TL, TR, BR, BL)
    std::vector<float> edges;                  // width * height
    std::vector<uint8_t> weight;               // 1: static structure that counts
    bool Usable() const;
};

struct SceneShift {
    bool measured = false;  // false: the frame does not fit, or the structure was not found again
    double dx = 0, dy = 0;  // camera pixels, at the image's centre
    double angle = 0;       // radians, clockwise in the image
    double scale = 0;       // relative change of size
    double worst = 0;       // the largest displacement of the screen's corners, camera pixels
};

// Names a calibration record (its rectangle and points), so a reference is never used with another.
uint32_t SceneCalibrationTag(const _SCalibration& cal);

// From a frame of the camera's scene without a pen, and the calibration in force. False when the
// calibration cannot be fitted or too little structure lies outside the screen to watch.
bool MakeSceneReference(const SCapFrame& frame, const _SCalibration& cal, SceneReference& out);

// How the scene in `frame` lies against the reference. Moves up to about 30 camera pixels and
// turns of a few degrees are measured.
SceneShift MeasureSceneShift(const SceneReference& ref, const SCapFrame& frame);

// The reference as the bytes of a file, and back; false for anything but a whole, intact reference.
std::vector<uint8_t> SerializeSceneReference(const SceneReference& ref);
bool ParseSceneReference(const uint8_t* data, size_t size, SceneReference& out);

}  // namespace tavori::irl
