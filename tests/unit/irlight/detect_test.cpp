// The spot detector on painted pixels and edge cases; golden scenes with exact centres are in
// golden/scenes.txt.
#include <gtest/gtest.h>

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

// Painted-pixel cases are golden scenes too; row padding cannot be painted from there.
TEST(Detect, RowPaddingIsNotImage) {
    synth::Frame f(41, 10);  // stride 124: one padding byte per row
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 10; ++y) f.get()->pData[y * f.stride() + 123] = 255;
    EXPECT_TRUE(synth::detect(f).empty());
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
