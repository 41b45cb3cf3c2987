#include "Canvas.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "DriverHarness.h"

namespace e2e {

Canvas::Canvas(const std::string& logPath, const std::string& title) : m_log(logPath) {
    if (!StartProcess(WinPath(TAVORI_CANVAS_EXE), "\"" + logPath + "\" --title \"" + title + "\"", nullptr, m_pi)) return;
    // A Wine process can take seconds to start on a loaded machine; a condition costs nothing when quick.
    WaitFor([&] { return (m_hwnd = FindWindowA("TavoriCanvas", title.c_str())) != nullptr; }, 15000);
}

Canvas::~Canvas() {
    if (m_hwnd) PostMessageA(m_hwnd, WM_CLOSE, 0, 0);
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(m_pi.hProcess, 1);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

std::vector<CanvasEvent> Canvas::Events(size_t from) const {
    std::vector<CanvasEvent> events;
    std::ifstream in(m_log);
    std::string line;
    for (size_t n = 0; std::getline(in, line);) {
        std::istringstream fields(line);
        CanvasEvent e{};
        if (fields >> e.t >> e.what >> e.x >> e.y && n++ >= from) events.push_back(e);
    }
    return events;
}

std::string Canvas::Buttons(const std::vector<CanvasEvent>& events) {
    std::string s;
    for (const CanvasEvent& e : events) {
        if (e.what == "move") continue;
        if (!s.empty()) s += ' ';
        s += e.what;
    }
    return s;
}

double DistanceToPath(double x, double y, const std::vector<POINT>& path) {
    double best = 1e9;
    for (size_t i = 0; i < path.size(); ++i) {
        const POINT& a = path[i];
        const POINT& b = path[i + 1 < path.size() ? i + 1 : i];
        double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        best = std::min(best, std::hypot(x - (a.x + t * dx), y - (a.y + t * dy)));
    }
    return best;
}

}  // namespace e2e
