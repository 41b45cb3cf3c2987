#include "output/DesktopLayout.h"

#include <algorithm>

std::vector<MonitorArea> OrderScreens(std::vector<MonitorArea> monitors) {
    std::stable_sort(monitors.begin(), monitors.end(), [](const MonitorArea& a, const MonitorArea& b) {
        if (a.primary != b.primary) return a.primary;
        if (a.monitor.left != b.monitor.left) return a.monitor.left < b.monitor.left;
        return a.monitor.top < b.monitor.top;
    });
    return monitors;
}

std::optional<MonitorArea> ScreenArea(const std::vector<MonitorArea>& screens, int screen) {
    if (screens.empty() || screen < 0) return std::nullopt;
    return screens[static_cast<size_t>(screen) % screens.size()];
}

DesktopRect DesktopBounds(const std::vector<MonitorArea>& monitors) {
    if (monitors.empty()) return {};
    int64_t l = monitors[0].monitor.left, t = monitors[0].monitor.top, r = l, b = t;
    for (const MonitorArea& m : monitors) {
        l = std::min<int64_t>(l, m.monitor.left);
        t = std::min<int64_t>(t, m.monitor.top);
        r = std::max<int64_t>(r, int64_t{m.monitor.left} + m.monitor.width);
        b = std::max<int64_t>(b, int64_t{m.monitor.top} + m.monitor.height);
    }
    return {static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r - l), static_cast<int32_t>(b - t)};
}

AbsolutePoint DesktopToAbsolute(int32_t x, int32_t y, const DesktopRect& desktop) {
    // A desktop of no size (no display) must not divide by zero: such a point goes to the origin.
    const double sx = desktop.width > 0 ? 65536.0 / desktop.width : 0.0;
    const double sy = desktop.height > 0 ? 65536.0 / desktop.height : 0.0;
    // Aim a quarter pixel into the pixel: the input system maps back to that pixel whether it
    // truncates with 65536 or rounds with 65535. Points off the desktop stay at its edge.
    const auto scale = [](int64_t offset, int32_t size, double s) {
        const double v = (static_cast<double>(std::clamp<int64_t>(offset, 0, std::max(size - 1, 0))) + 0.25) * s;
        return static_cast<uint32_t>(std::min(v, 65535.0));
    };
    return {scale(int64_t{x} - desktop.left, desktop.width, sx), scale(int64_t{y} - desktop.top, desktop.height, sy)};
}
