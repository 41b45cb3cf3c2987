// Steadies pen points between the mapping and every output (point buffers and mouse). A speed-adaptive
// low-pass filter (the "one euro" design: the cut-off frequency rises with the pen's speed) smooths
// hard while the pen is still and hardly at all while it moves fast; a small hysteresis at the
// rounding to whole pixels keeps a pen resting between two pixels on one of them. Each pen's filter
// starts afresh at its touch-down, so a press lands exactly where the pen first touched.
// Free of Win32; times are milliseconds from any clock that does not jump.
#pragma once
#include <array>
#include <cstdint>

#include "MultiIRLight.h"
#include "config/Settings.h"

struct PointFilterSettings {
    bool enabled = true;
    float minCutoffHz = 0.3f;   // cut-off of a still pen: lower is steadier, but slower to start moving
    float beta = 0.05f;         // cut-off gained per pixel per second of speed: higher follows faster
    float hysteresisPx = 0.5f;  // how far past a pixel boundary the filtered point must go to change pixel
};

// The [System] PenFilter* keys in the filter's units.
PointFilterSettings PenFilterSettings(const CSystemSettings& s);

// One pen's filter, in screen pixels.
class CPointFilter {
public:
    void Restart(int x, int y, uint32_t nowMs);
    // Filters a measured point in place.
    void Step(int& x, int& y, uint32_t nowMs, const PointFilterSettings& s);

private:
    struct Axis {
        float value = 0, speed = 0;  // filtered position and filtered speed (pixels per second)
        int shown = 0;               // the whole pixel last given out
        void Restart(int v);
        int Step(int measured, float dt, const PointFilterSettings& s);
    };
    Axis m_x, m_y;
    uint32_t m_lastMs = 0;
};

// The filters of one camera's pens, matched by point id from frame to frame. A pen missing from a
// frame, or unseen for longer than a few frames, is new at its next appearance.
class CPenFilters {
public:
    void Apply(_SDetectPoint* points, int count, uint32_t nowMs, const PointFilterSettings& s);

private:
    static constexpr int kMaxPens = 64;
    struct Pen {
        int32_t id = 0;
        uint32_t lastMs = 0;
        CPointFilter filter;
    };
    std::array<Pen, kMaxPens> m_pens{};
    int m_count = 0;
};
