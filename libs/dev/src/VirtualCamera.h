// Virtual cameras declared in VirtualCamera.ini beside the executable: they film the desktop
// through a lens model and show the pens of the pen control block.
#pragma once

#include <memory>
#include <vector>

#include "DevCamera.h"
#include "VcamModel.h"

namespace tavori::dev {

struct VirtualDesc {
    int number = 0;  // N of [CameraN]; bit N of the unplugged mask
    vcam::Config cfg;
};

// Every declared camera in section order, present or not (no file: none).
std::vector<VirtualDesc> ReadVirtualCameras();
// Those not unplugged right now: what enumeration shows.
std::vector<VirtualDesc> PresentVirtualCameras();
DeviceInfo VirtualInfo(const VirtualDesc& d);

// Null when the configuration cannot be modelled.
std::unique_ptr<DevCamera> CreateVirtualCamera(const VirtualDesc& d, int width, int height);

}  // namespace tavori::dev
