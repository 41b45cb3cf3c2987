#include "output/PointFilter.h"

#include <cmath>

namespace {
constexpr float kPi = 3.14159265f;
constexpr float kSpeedCutoffHz = 1.0f;  // smoothing of the speed estimate itself
// Measured points within this distance of the smoothed one are noise to smooth; beyond it, a move.
constexpr float kMaxTrailPx = 1.5f;
// A pen not seen for this long has been lifted, even if no empty frame told us so.
constexpr uint32_t kLostAfterMs = 100;

float Alpha(float cutoffHz, float dt) {
    const float tau = 1.0f / (2.0f * kPi * cutoffHz);
    return 1.0f / (1.0f + tau / dt);
}
}  // namespace

PointFilterSettings PenFilterSettings(const CSystemSettings& s) {
    PointFilterSettings f;
    f.enabled = s.PenFilter != 0;
    f.minCutoffHz = static_cast<float>(s.PenFilterMinCutoff) / 10.0f;
    f.beta = static_cast<float>(s.PenFilterBeta) / 1000.0f;
    f.hysteresisPx = static_cast<float>(s.PenFilterHysteresis) / 100.0f;
    return f;
}

void CPointFilter::Axis::Restart(int v) {
    value = static_cast<float>(v);
    speed = 0;
    shown = v;
}

int CPointFilter::Axis::Step(int measured, float dt, const PointFilterSettings& s) {
    const float raw = static_cast<float>(measured);
    speed += Alpha(kSpeedCutoffHz, dt) * ((raw - value) / dt - speed);
    const float cutoff = s.minCutoffHz + s.beta * std::fabs(speed);
    value += Alpha(cutoff, dt) * (raw - value);
    // However smooth, the point never trails the pen by more than this: a sudden move is followed
    // in its own frame instead of waiting for the smoothed speed to build up.
    if (std::fabs(raw - value) > kMaxTrailPx) value = raw - std::copysign(kMaxTrailPx, raw - value);
    if (std::fabs(value - static_cast<float>(shown)) > 0.5f + s.hysteresisPx)
        shown = static_cast<int>(std::lround(value));
    return shown;
}

void CPointFilter::Restart(int x, int y, uint32_t nowMs) {
    m_x.Restart(x);
    m_y.Restart(y);
    m_lastMs = nowMs;
}

void CPointFilter::Step(int& x, int& y, uint32_t nowMs, const PointFilterSettings& s) {
    const uint32_t elapsed = nowMs - m_lastMs;
    const float dt = static_cast<float>(elapsed > 0 ? elapsed : 1) / 1000.0f;
    m_lastMs = nowMs;
    x = m_x.Step(x, dt, s);
    y = m_y.Step(y, dt, s);
}

void CPenFilters::Apply(_SDetectPoint* points, int count, uint32_t nowMs, const PointFilterSettings& s) {
    if (!s.enabled || count <= 0) {
        m_count = 0;
        return;
    }
    if (count > kMaxPens) count = kMaxPens;
    std::array<Pen, kMaxPens> next{};
    for (int i = 0; i < count; ++i) {
        _SDetectPoint& p = points[i];
        Pen& pen = next[static_cast<size_t>(i)];
        pen.id = p.id;
        pen.lastMs = nowMs;
        const Pen* before = nullptr;
        for (int j = 0; j < m_count && !before; ++j)
            if (m_pens[static_cast<size_t>(j)].id == p.id) before = &m_pens[static_cast<size_t>(j)];
        if (before && nowMs - before->lastMs <= kLostAfterMs) {
            pen.filter = before->filter;
            pen.filter.Step(p.x, p.y, nowMs, s);
        } else {
            pen.filter.Restart(p.x, p.y, nowMs);
        }
    }
    m_pens = next;
    m_count = count;
}
