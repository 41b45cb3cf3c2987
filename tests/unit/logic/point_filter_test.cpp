#include <gtest/gtest.h>

#include <cmath>

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
