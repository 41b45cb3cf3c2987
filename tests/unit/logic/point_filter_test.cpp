#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "output/PointFilter.h"

namespace {
constexpr uint32_t kFrameMs = 16;

struct Pen {
    CPenFilters filters;
    PointFilterSettings settings;
    uint32_t now = 5000;
    _SDetectPoint Frame(int id, double x, double y) {
        _SDetectPoint p{id, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), 1};
        filters.Apply(&p, 1, now, settings);
        now += kFrameMs;
        return p;
    }
    void Lift() {
        filters.Apply(nullptr, 0, now, settings);
        now += kFrameMs;
    }
};
}  // namespace

// A pen held still between pixels, with the camera's noise, gives out one pixel near the pen.
TEST(PointFilter, AStillPenStaysOnOnePixel) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.35);
    for (double x0 : {400.0, 400.5, 400.25, 400.75}) {
        Pen pen;
        int lo = 1 << 30, hi = -1;
        for (int frame = 0; frame < 240; ++frame) {
            const _SDetectPoint p = pen.Frame(1, x0 + noise(rng), 300.5 + noise(rng));
            if (frame < 20) continue;  // settling after the touch
            lo = std::min(lo, p.x);
            hi = std::max(hi, p.x);
            EXPECT_LE(std::abs(p.y - 300.5), 1.0);
        }
        EXPECT_EQ(lo, hi) << x0;
        EXPECT_LE(std::abs(lo - x0), 1.0) << x0;
    }
}

TEST(PointFilter, EachTouchDownStartsExactlyAtTheMeasuredPoint) {
    Pen pen;
    for (int i = 0; i < 30; ++i) pen.Frame(1, 100 + 10 * i, 100);
    pen.Lift();
    EXPECT_EQ(pen.Frame(1, 900, 700).x, 900);  // same id after a lift: a new touch
    pen.Frame(1, 905, 700);
    EXPECT_EQ(pen.Frame(2, 200, 50).x, 200);  // another light took over
    pen.now += 500;                           // no empty frame, but a long silence
    EXPECT_EQ(pen.Frame(2, 600, 50).x, 600);
    pen.settings.enabled = false;
    pen.Frame(2, 600, 50);
    EXPECT_EQ(pen.Frame(2, 640, 50).x, 640);
}

// A fast stroke is followed closely and the pen's resting place is reached soon after it stops.
TEST(PointFilter, AFastStrokeLagsLittle) {
    Pen pen;
    double worstLag = 0;
    for (int i = 0; i <= 40; ++i) {
        const double x = 200 + 16.0 * i;  // 1000 pixels a second
        const _SDetectPoint p = pen.Frame(1, x, 500);
        if (i >= 8) worstLag = std::max(worstLag, x - p.x);
        EXPECT_EQ(p.y, 500);
    }
    EXPECT_LE(worstLag, 5.0);
    int settled = 0;
    while (pen.Frame(1, 840, 500).x != 840 && settled < 100) ++settled;
    EXPECT_LE(settled, 12);  // frames after the stop
}
