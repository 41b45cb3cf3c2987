#include "capture/StrayLights.h"

#include <cmath>
#include <map>
#include <mutex>

int ScreenPlace(double x, double y, double width, double height) {
    if (!(width > 0 && height > 0)) return kPlaceInView;
    const double u = x / width, v = y / height;
    // A light just past the edge still shines on the screen's border.
    if (!(u > -0.05 && u < 1.05 && v > -0.05 && v < 1.05)) return kPlaceBesideScreen;
    auto third = [](double t) { return t < 1.0 / 3 ? 0 : t < 2.0 / 3 ? 1 : 2; };
    return 3 * third(v) + third(u);
}

std::vector<size_t> StrayLightLog::Look(const std::vector<Spot>& lights, uint32_t now) {
    auto near = [](const Spot& a, const Spot& b) { return std::hypot(a.x - b.x, a.y - b.y) < 12; };
    std::vector<size_t> tell;
    std::vector<Seen> seen;
    for (size_t i = 0; i < lights.size(); ++i) {
        bool told = false;
        for (const Spot& t : m_told) told = told || near(t, lights[i]);
        if (told) continue;
        Seen s{lights[i], now};
        for (const Seen& before : m_seen)
            if (near(before.at, lights[i])) s.since = before.since;
        if (now - s.since >= kSteadyMs) {
            tell.push_back(i);
            m_told.push_back(lights[i]);
        } else {
            seen.push_back(s);
        }
    }
    m_seen = std::move(seen);  // a light gone meanwhile starts again
    return tell;
}

namespace {
std::mutex g_boardLock;
std::map<int, FixedLightBoard> g_board;
}  // namespace

void PublishFixedLights(int camera, std::vector<StrayLightLog::Spot> lights, int width, int height) {
    std::lock_guard<std::mutex> lock(g_boardLock);
    FixedLightBoard& b = g_board[camera];
    b.lights = std::move(lights);
    b.width = width, b.height = height;
}

FixedLightBoard FixedLightsOf(int camera) {
    std::lock_guard<std::mutex> lock(g_boardLock);
    const auto it = g_board.find(camera);
    return it == g_board.end() ? FixedLightBoard{} : it->second;
}
