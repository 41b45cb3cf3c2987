#include "output/Monitors.h"

#include <windows.h>

namespace {
DesktopRect FromRect(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(monitor, &info))
        reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back(
            {FromRect(info.rcMonitor), FromRect(info.rcWork), (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}
}  // namespace

std::vector<MonitorArea> ListScreens() {
    std::vector<MonitorArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        // No monitor listed (a session without a display): the primary screen as the metrics say.
        const DesktopRect primary{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        monitors.push_back({primary, primary, true});
    }
    return OrderScreens(monitors);
}

DesktopRect VirtualDesktop(int primaryWidth, int primaryHeight) {
    std::vector<MonitorArea> monitors = ListScreens();
    for (MonitorArea& m : monitors) {
        if (!m.primary) continue;
        if (primaryWidth > 0) m.monitor.width = primaryWidth;
        if (primaryHeight > 0) m.monitor.height = primaryHeight;
    }
    return DesktopBounds(monitors);
}
