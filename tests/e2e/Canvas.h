// The canvas tool (tools/canvas) as the scenarios use it: a full-screen window in a process of its
// own that draws what the mouse does and logs every mouse event.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

struct CanvasEvent {
    unsigned long t;  // timeGetTime when the canvas got it
    std::string what;  // down up move rdown rup
    int x, y;
};

class Canvas {
public:
    Canvas(const std::string& logPath, const std::string& title = "Tavori canvas");
    ~Canvas();
    bool Ready() const { return m_hwnd != nullptr; }
    HWND Hwnd() const { return m_hwnd; }
    std::vector<CanvasEvent> Events(size_t from = 0) const;  // after the first `from`
    // Events other than moves, in order: "down up rdown rup ..."
    static std::string Buttons(const std::vector<CanvasEvent>& events);

private:
    std::string m_log;
    PROCESS_INFORMATION m_pi{};
    HWND m_hwnd = nullptr;
};

// Distance from a point to a polyline.
double DistanceToPath(double x, double y, const std::vector<POINT>& path);

}  // namespace e2e
