// The scaling of a monitor, for windows that size themselves in pixels.
#pragma once
#include <windows.h>

namespace win {

// The monitor's DPI where the system reports it per monitor (Windows 8.1 and later), else the
// system's; 96 where neither says.
int MonitorDpi(HMONITOR monitor);
// A length given in pixels at 96 DPI, in pixels at the scaling of the window's monitor: windows that
// lay their controls out in pixels grow them with the dialog font.
int ScaledPixels(HWND window, int length96);

}  // namespace win
