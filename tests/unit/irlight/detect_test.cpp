// The spot detector on painted pixels and edge cases; golden scenes with exact centres are in
// golden/scenes.txt.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "synth.h"

using tavori::irl::DetectParams;
using tavori::irl::Spot;
using tavori::irl::SpotDetector;

// Laser-write mode asks for a threshold of 5 or 25, below the faintly filmed screen (60 over 8).
TEST(LowThresholdOverFilmedScreen, HighThresholdUnchangedAndLiftFollowsContrast) {
    synth::Frame f(160, 120);
    synth::Scene s;
    s.background = 8;
    s.noise = 2;
    s.seed = 9;
    s.areas = {{10, 10, 150, 110, 60}};
    s.spots = {{80.4, 60.2, 1.5, 900}};
    synth::render(f, s);
    SpotDetector det;
    det.configure(160, 120);
    Spot out[SpotDetector::kMaxSpots];
    const tavori::irl::ImageView view{f.get()->pData, 160, 120, static_cast<std::ptrdiff_t>(f.stride())};
    DetectParams p;
    ASSERT_EQ(det.detect(view, p, out), 1);
    EXPECT_EQ(det.lastThreshold(), 220) << "a threshold above the screen is taken as it is";
    p.threshold = 5;
    ASSERT_EQ(det.detect(view, p, out), 1);
    const int32_t lifted = det.lastThreshold();
    EXPECT_GE(lifted, 68 + 15);
    EXPECT_LE(lifted, 68 + 15 + 10) << "the lift is the screen level plus the contrast, not more";
    p.minContrast = 40;
    ASSERT_EQ(det.detect(view, p, out), 1);
    EXPECT_EQ(det.lastThreshold(), lifted + 25);
}

TEST(Detect, PaintedPixels) {
    struct Case {
        const char* name;
        uint32_t w, h;
        std::function<void(synth::Frame&)> paint;
        size_t count;
        int32_t area = -1, x0 = -1, x1 = -1, y0 = -1;
        double x = NAN, y = NAN;
    };
    auto block = [](uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
        return [=](synth::Frame& f) {
            for (uint32_t y = y0; y <= y1; ++y)
                for (uint32_t x = x0; x <= x1; ++x) f.set(x, y, 250);
        };
    };
    const Case cases[] = {
        {"lone hot pixels and a hot pair are not pens", 64, 48,
         [](synth::Frame& f) { f.set(10, 10, 255), f.set(30, 20, 255), f.set(31, 20, 255); }, 0},
        {"a huge bright area is not a pen", 160, 120, block(10, 10, 119, 89), 0},
        {"row padding is not image", 41, 10,  // stride 124, one padding byte per row
         [](synth::Frame& f) {
             for (uint32_t y = 0; y < 10; ++y) f.get()->pData[y * f.stride() + 123] = 255;
         },
         0},
        {"the brightest channel decides", 64, 48,
         [](synth::Frame& f) {
             for (uint32_t y = 14; y <= 16; ++y)
                 for (uint32_t x = 19; x <= 21; ++x) f.px(x, y)[2] = 240;
         },
         1, -1, -1, -1, -1, 20, 15},
        {"diagonal neighbours are one component", 64, 48,
         [](synth::Frame& f) {
             for (uint32_t k = 20; k < 24; ++k) f.set(k, k, 250);
         },
         1, 4, -1, -1, -1, 21.5},
        // Two arms that only meet three rows down: the union of labels met late must merge the sums.
        {"a U joined below is one component", 64, 48,
         [&](synth::Frame& f) { block(10, 10, 10, 13)(f), block(16, 10, 16, 13)(f), block(10, 14, 16, 14)(f); }, 1,
         15, 10, 16, 10},
        // Pixel 21 spans bytes 63..65, across the first 64-byte screening group; only its green and
        // red bytes, which lie in the second group, are lit.
        {"a pixel straddling a screening group boundary", 64, 16,
         [](synth::Frame& f) {
             for (uint32_t y = 6; y <= 8; ++y) f.px(21, y)[1] = f.px(21, y)[2] = 240;
         },
         1, -1, -1, -1, -1, 21, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        synth::Frame f(c.w, c.h);
        synth::render(f, synth::Scene{});
        c.paint(f);
        const auto spots = synth::detect(f);
        ASSERT_EQ(spots.size(), c.count);
        if (c.count == 0) continue;
        const Spot& sp = spots[0];
        EXPECT_TRUE(c.area < 0 || sp.area == c.area) << sp.area;
        EXPECT_TRUE(c.x0 < 0 || sp.x0 == c.x0) << sp.x0;
        EXPECT_TRUE(c.x1 < 0 || sp.x1 == c.x1) << sp.x1;
        EXPECT_TRUE(c.y0 < 0 || sp.y0 == c.y0) << sp.y0;
        EXPECT_TRUE(std::isnan(c.x) || std::fabs(sp.x - c.x) < 1e-9) << sp.x;
        EXPECT_TRUE(std::isnan(c.y) || std::fabs(sp.y - c.y) < 1e-9) << sp.y;
    }
}

TEST(Detect, FlatPlateauBelowContrastIsNotAPen) {
    // A uniformly bright surround at 215 with a faint bump to 225: lit, but no contrast.
    synth::Frame f(64, 48);
    synth::Scene s;
    s.background = 215;
    s.spots = {{30, 20, 2.0, 10}};
    synth::render(f, s);
    EXPECT_TRUE(synth::detect(f).empty());
    DetectParams lenient;
    lenient.minContrast = 5;
    EXPECT_EQ(synth::detect(f, lenient).size(), 1u);
}

TEST(Detect, FloodedFrameGivesNothing) {
    // Lit columns on every other pixel: more runs than the run buffer holds. Half the frame is lit,
    // so the bright-background lift alone darkens it all; without the lift the run buffer overflows.
    synth::Frame f(640, 480);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; x += 2) f.set(x, y, 250);
    DetectParams noLift;
    noLift.minContrast = 0;
    bool flooded = false;
    EXPECT_TRUE(synth::detect(f, noLift, &flooded).empty());
    EXPECT_TRUE(flooded);
    EXPECT_TRUE(synth::detect(f, {}, &flooded).empty());
    EXPECT_FALSE(flooded);
}

TEST(Detect, AtMostSixtyFourHeaviestSpots) {
    synth::Frame f(400, 300);
    synth::Scene s;
    for (int k = 0; k < 80; ++k) s.spots.push_back({20.0 + 40 * (k % 10), 20.0 + 35 * (k / 10), 1.2, 240.0 + k});
    synth::render(f, s);
    const auto spots = synth::detect(f);
    ASSERT_EQ(spots.size(), 64u);
    for (size_t i = 1; i < spots.size(); ++i) EXPECT_GE(spots[i - 1].mass, spots[i].mass);
}
