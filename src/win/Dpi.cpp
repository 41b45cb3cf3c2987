#include "win/Dpi.h"

#include "SystemDll.h"
#include "win/Scoped.h"

namespace win {

int MonitorDpi(HMONITOR monitor) {
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto forMonitor = tavori::sysdll::SystemFunction<ForMonitor>("shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (forMonitor && monitor && SUCCEEDED(forMonitor(monitor, 0, &x, &y)) && y > 0) return static_cast<int>(y);
    const WindowDC screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi : 96;
}

int ScaledPixels(HWND window, int length96) {
    return MulDiv(length96, MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)), 96);
}

}  // namespace win
