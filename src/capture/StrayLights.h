// Fixed lights the detector holds back (a lamp, a window in the sun) are told to the user once
// each, with where they lie. Free of Win32.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// 0..8: the screen's ninths, row by row from the upper left; 9 beside the screen; 10 somewhere in
// the camera's view (no calibration to say more).
enum { kPlaceBesideScreen = 9, kPlaceInView = 10, kPlaceCount = 11 };
int ScreenPlace(double x, double y, double width, double height);

// Which fixed lights to tell: those that stay (a pen resting a moment is held back too, but not
// for long) and were not told before, by camera position.
class StrayLightLog {
public:
    static constexpr uint32_t kSteadyMs = 10000;
    static constexpr uint32_t kLookMs = 3000;  // between looks: the lights change slowly
    struct Spot {
        double x, y;
    };
    // The fixed lights of one look; returns the indices of those to tell now.
    std::vector<size_t> Look(const std::vector<Spot>& lights, uint32_t now);

private:
    struct Seen {
        Spot at;
        uint32_t since;
    };
    std::vector<Spot> m_told;
    std::vector<Seen> m_seen;
};

// The fixed lights each camera holds back, as its listener last looked (camera pixels of a
// width x height frame), for the aiming view to mark. Any thread.
struct FixedLightBoard {
    std::vector<StrayLightLog::Spot> lights;
    int width = 0, height = 0;
};
void PublishFixedLights(int camera, std::vector<StrayLightLog::Spot> lights, int width, int height);
FixedLightBoard FixedLightsOf(int camera);
