// Removes what a snapshot of the empty screen already showed from saturated pixels, so a bright but
// fixed background does not hide or imitate the pen.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

// `snapshot` holds frame.nSize bytes laid out like the frame.
void SubtractBackground(const uint8_t* snapshot, SCapFrame& frame);
