// Real cameras through Media Foundation: enumeration, format negotiation over the camera's native
// types, an asynchronous source reader converting to BGR24, exposure through the camera-control
// interface.
#pragma once

#include <mfidl.h>

#include <memory>
#include <vector>

#include "DevCamera.h"

namespace tavori::dev {

// Name and symbolic link of every camera, from one enumeration.
std::vector<DeviceInfo> MfCameraList();
// The camera at index of a fresh enumeration; realCount is the number of cameras it found.
std::unique_ptr<DevCamera> CreateMfCamera(int index, int width, int height, int& realCount);
// A camera over a media source the caller hands over (the camera shuts it down and releases it).
std::unique_ptr<DevCamera> CreateMfCameraOn(IMFMediaSource* source, int width, int height);

}  // namespace tavori::dev
