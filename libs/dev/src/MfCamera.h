// Real cameras through Media Foundation: enumeration, a source reader delivering RGB24, exposure
// through the camera-control interface.
#pragma once

#include <memory>

#include "DevCamera.h"

namespace tavori::dev {

int MfCameraCount();
bool MfCameraInfo(int index, DeviceInfo& info);
std::unique_ptr<DevCamera> CreateMfCamera(int index, int width, int height);

}  // namespace tavori::dev
