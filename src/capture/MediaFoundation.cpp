#include "capture/MediaFoundation.h"

#include <initializer_list>

#include "SystemDll.h"

bool MediaFoundationPresent() {
    // The libraries the camera library loads; the system's copies only, as it takes them.
    for (const char* dll : {"mfplat.dll", "mf.dll", "mfreadwrite.dll"})
        if (!tavori::sysdll::LoadSystemDll(dll)) return false;
    return true;
}
