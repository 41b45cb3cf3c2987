#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "output/PointFilter.h"

namespace {
// One camera's pens seen every 16 ms; a frame of count 0 has no pen.
struct Pens {
    CPenFilters filters;
    PointFilterSettings settings;
    uint32_t now = 5000;
    int X(int id, double x, double y = 500, int count = 1) {
        _SDetectPoint p{id, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), 1};
        filters.Apply(&p, count, now, settings);
        now += 16;
        return p.x;
    }
};
}  // namespace

// A pen held still between pixels, with the camera's noise, gives out one pixel near the pen.
TEST(PointFilter, AStillPenStaysOnOnePixel) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.35);
    for (double x0 : {400.0, 400.5, 400.25, 400.75}) {
        Pens pen;
        for (int frame = 0; frame < 20; ++frame) pen.X(1, x0 + noise(rng), 300.5 + noise(rng));  // settling
        const int held = pen.X(1, x0 + noise(rng));
        int moved = 0;
        for (int frame = 0; frame < 240; ++frame) moved += pen.X(1, x0 + noise(rng), 300.5 + noise(rng)) != held;
        EXPECT_EQ(moved, 0) << x0;
        EXPECT_LE(std::abs(held - x0), 1.0) << x0;
    }
}

TEST(PointFilter, EachTouchDownStartsExactlyAtTheMeasuredPoint) {
    Pens pen;
    for (int i = 0; i < 30; ++i) pen.X(1, 100 + 10 * i);
    pen.X(1, 0, 0, 0);                // lifted
    EXPECT_EQ(pen.X(1, 900), 900);    // same id after a lift: a new touch
    pen.X(1, 905);
    EXPECT_EQ(pen.X(2, 200), 200);    // another light took over
    pen.now += 500;                   // no empty frame, but a long silence
    EXPECT_EQ(pen.X(2, 600), 600);
}

// A fast stroke is followed closely, its end and a sudden jump at once.
TEST(PointFilter, AFastStrokeLagsLittle) {
    Pens pen;
    double worstLag = 0;
    for (int i = 0; i <= 40; ++i) worstLag = std::max(worstLag, 200 + 16.0 * i - pen.X(1, 200 + 16.0 * i));
    EXPECT_LE(worstLag, 2.0);  // 1000 pixels a second
    EXPECT_LE(std::abs(pen.X(1, 840) - 840), 1);
    EXPECT_LE(std::abs(pen.X(1, 880) - 880), 2);
}
