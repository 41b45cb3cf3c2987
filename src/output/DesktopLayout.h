// Where the screens lie on the desktop, and how a desktop pixel becomes an absolute mouse position.
// Every output that aims at the desktop (the mouse now, touch and pen input later) and every
// calibration window that covers a screen takes its geometry from here. Free of Win32: the system
// lists the monitors (Monitors.h), this orders and maps them, so the fast suites test the rules.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

// A rectangle in virtual-desktop pixels: the primary monitor's top left is (0, 0), a monitor left
// of or above it has negative coordinates.
struct DesktopRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const DesktopRect&) const = default;
};

struct MonitorArea {
    DesktopRect monitor;  // the whole monitor
    DesktopRect work;     // without the task bar and docked bars
    bool primary = false;
};

// Screen numbers as calibrations record them: the primary monitor is screen 0, the others follow
// left to right (top to bottom where they are stacked), whatever order the system lists them in.
std::vector<MonitorArea> OrderScreens(std::vector<MonitorArea> monitors);
// The monitor that screen `screen` calibrates. A set-up with more screens to calibrate than monitors
// (two cameras on one projection) calibrates the monitors again from the first. None without any.
// A copy: callers pass the list fresh from the system, which is gone by the next statement.
std::optional<MonitorArea> ScreenArea(const std::vector<MonitorArea>& screens, int screen);
// The smallest rectangle holding every monitor: the virtual desktop.
DesktopRect DesktopBounds(const std::vector<MonitorArea>& monitors);

// Absolute mouse coordinates, 0..65535 across the virtual desktop, for the desktop pixel (x, y).
struct AbsolutePoint {
    uint32_t x, y;
};
AbsolutePoint DesktopToAbsolute(int32_t x, int32_t y, const DesktopRect& desktop);
