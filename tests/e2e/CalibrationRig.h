// The calibration scenarios' rig is the one of VirtualRig.h.
#pragma once
#include "VirtualRig.h"
