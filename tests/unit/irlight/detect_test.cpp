// Golden synthetic frames for the spot detector: exact centres known, tolerances per case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "detector.h"
#include "synth.h"

using tavori::irl::DetectParams;
using tavori::irl::ImageView;
using tavori::irl::Spot;
using tavori::irl::SpotDetector;

namespace {

struct Result {
    std::vector<Spot> spots;
    bool flooded = false;
};

Result detect(synth::Frame& f, DetectParams p = {}) {
    SpotDetector det;
    const auto w = static_cast<int32_t>(f.get()->nWidth), h = static_cast<int32_t>(f.get()->nHeight);
    det.configure(w, h);
    Spot out[SpotDetector::kMaxSpots];
    const int n = det.detect(ImageView{f.get()->pData, w, h, static_cast<std::ptrdiff_t>(f.stride())}, p, out);
    return {std::vector<Spot>(out, out + n), det.lastFrameFlooded()};
}

// Largest distance from each expected spot to the nearest detection; -1 when one is missing.
double worstError(const std::vector<Spot>& got, const std::vector<synth::Spot>& want) {
    double worst = 0;
    for (const auto& w : want) {
        double best = 1e9;
        for (const auto& g : got) best = std::min(best, std::hypot(g.x - w.x, g.y - w.y));
        if (best > 3) return -1;
        worst = std::max(worst, best);
    }
    return worst;
}

}  // namespace

// Sub-pixel centres over a grid of offsets; pens of 2 to 6 pixels across, unsaturated and saturated.
struct SpotCase {
    double sigma, amplitude, noise, tolerance;
    int threshold;  // unsaturated small spots only reach a lower threshold at every sub-pixel offset
};
class GaussianSpot : public ::testing::TestWithParam<SpotCase> {};

TEST_P(GaussianSpot, CentroidWithinTolerance) {
    const SpotCase c = GetParam();
    synth::Frame f(96, 80);
    double worst = 0;
    uint64_t seed = 1;
    for (double ox = 0; ox < 1; ox += 0.25) {
        for (double oy = 0; oy < 1; oy += 0.2) {
            synth::Scene s;
            s.noise = c.noise;
            s.seed = seed++;
            s.spots = {{40 + ox, 37 + oy, c.sigma, c.amplitude}};
            synth::render(f, s);
            DetectParams p;
            p.threshold = c.threshold;
            const Result r = detect(f, p);
            ASSERT_EQ(r.spots.size(), 1u) << "offset " << ox << "," << oy;
            worst = std::max(worst, worstError(r.spots, s.spots));
        }
    }
    EXPECT_LE(worst, c.tolerance);
    RecordProperty("worst_error", std::to_string(worst));
    std::printf("sigma %.1f amplitude %.0f noise %.0f: worst %.4f px\n", c.sigma, c.amplitude, c.noise, worst);
}

INSTANTIATE_TEST_SUITE_P(Spots, GaussianSpot,
                         ::testing::Values(SpotCase{0.8, 240, 0, 0.05, 100}, SpotCase{1.2, 240, 0, 0.03, 150},
                                           SpotCase{2.0, 240, 0, 0.03, 200}, SpotCase{1.2, 600, 0, 0.05, 220},
                                           SpotCase{2.0, 1500, 0, 0.05, 220}, SpotCase{0.8, 1000, 0, 0.1, 220},
                                           SpotCase{1.2, 240, 2, 0.1, 150}, SpotCase{2.0, 600, 2, 0.1, 220}));

TEST(Detect, SeveralPensOnGradientWithNoise) {
    synth::Frame f(320, 240);
    synth::Scene s;
    s.gradientX = 0.15;
    s.gradientY = 0.1;
    s.noise = 2;
    s.spots = {{30.3, 40.7, 1.5, 500}, {250.6, 30.2, 1.0, 300}, {160.1, 200.9, 2.2, 700}, {300.4, 210.5, 1.3, 260}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 4u);
    EXPECT_LE(worstError(r.spots, s.spots), 0.15);
}

TEST(Detect, TwoPensCloseTogetherKeepTheirOwnRims) {
    synth::Frame f(96, 64);
    synth::Scene s;
    s.spots = {{40.2, 30.4, 1.3, 500}, {50.7, 31.1, 1.3, 500}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 2u);
    EXPECT_LE(worstError(r.spots, s.spots), 0.1);
}

TEST(Detect, SpotWhoseRimTouchesTheBorderKeepsItsAccuracy) {
    synth::Frame f(64, 48);
    synth::Scene s;
    s.spots = {{3.3, 20.0, 1.2, 600}, {60.8, 44.6, 1.2, 600}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 2u);
    EXPECT_LE(worstError(r.spots, s.spots), 0.1);
}

TEST(Detect, SpotCutByTheBorderIsFoundInsideIt) {
    // Half the light falls outside the image: the centroid moves inwards, by at most a pixel or so.
    synth::Frame f(64, 48);
    synth::Scene s;
    s.spots = {{0.0, 20.0, 1.5, 600}, {63.0, 47.0, 1.5, 600}, {30.0, 0.0, 1.2, 400}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 3u);
    const double e = worstError(r.spots, s.spots);
    EXPECT_GE(e, 0.0);
    EXPECT_LE(e, 1.5);
    for (const Spot& sp : r.spots) {
        EXPECT_TRUE(sp.x >= 0 && sp.x <= 63 && sp.y >= 0 && sp.y <= 47);
    }
}

TEST(Detect, LoneHotPixelsAreNotPens) {
    synth::Frame f(64, 48);
    synth::render(f, synth::Scene{});
    f.set(10, 10, 255);
    f.set(30, 20, 255);
    f.set(31, 20, 255);  // a hot pair
    EXPECT_TRUE(detect(f).spots.empty());
}

TEST(Detect, SmallestPenWithSingleLitPixelIsFound) {
    // sigma 0.6 leaves one pixel above the threshold but a visible rim around it
    synth::Frame f(64, 48);
    synth::Scene s;
    s.spots = {{20.2, 20.1, 0.7, 245}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_EQ(r.spots[0].area, 1);
    EXPECT_LE(worstError(r.spots, s.spots), 0.15);
}

TEST(Detect, SingleLitPixelPenOnOddRowsAndLastRowIsFound) {
    // Only every second row is searched: a core one row tall on a row between them must still be
    // seen through its fall-off, in the frame and on the last row of an even-height frame.
    for (const double y : {21.1, 46.9}) {
        synth::Frame f(64, 48);
        synth::Scene s;
        s.spots = {{20.2, y, 0.7, 245}};
        synth::render(f, s);
        const Result r = detect(f);
        ASSERT_EQ(r.spots.size(), 1u) << "row " << y;
        EXPECT_EQ(r.spots[0].area, 1);
        EXPECT_EQ(r.spots[0].y0, static_cast<int32_t>(std::lround(y)));
    }
}

TEST(Detect, HugeBrightAreaIsNotAPen) {
    synth::Frame f(160, 120);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 10; y < 90; ++y)
        for (uint32_t x = 10; x < 120; ++x) f.set(x, y, 250);
    EXPECT_TRUE(detect(f).spots.empty());
}

TEST(Detect, FlatPlateauBelowContrastIsNotAPen) {
    // A uniformly bright surround at 215 with a faint bump to 225: lit, but no contrast.
    synth::Frame f(64, 48);
    synth::Scene s;
    s.background = 215;
    s.spots = {{30, 20, 2.0, 10}};
    synth::render(f, s);
    EXPECT_TRUE(detect(f).spots.empty());
    DetectParams lenient;
    lenient.minContrast = 5;
    EXPECT_EQ(detect(f, lenient).spots.size(), 1u);
}

TEST(Detect, BrightestChannelDecides) {
    synth::Frame f(64, 48);
    synth::render(f, synth::Scene{});
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) f.px(static_cast<uint32_t>(20 + dx), static_cast<uint32_t>(15 + dy))[2] = 240;
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_NEAR(r.spots[0].x, 20, 1e-9);
    EXPECT_NEAR(r.spots[0].y, 15, 1e-9);
}

TEST(Detect, DiagonalNeighboursAreOneComponent) {
    synth::Frame f(64, 48);
    synth::render(f, synth::Scene{});
    f.set(20, 20, 250);
    f.set(21, 21, 250);
    f.set(22, 22, 250);
    f.set(23, 23, 250);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_EQ(r.spots[0].area, 4);
    EXPECT_NEAR(r.spots[0].x, 21.5, 1e-9);
}

TEST(Detect, UShapeJoinedBelowIsOneComponent) {
    // Two arms that only meet three rows down: the union of labels met late must merge the sums.
    synth::Frame f(64, 48);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 10; y < 14; ++y) {
        f.set(10, y, 250);
        f.set(16, y, 250);
    }
    for (uint32_t x = 10; x <= 16; ++x) f.set(x, 14, 250);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_EQ(r.spots[0].area, 15);
    EXPECT_EQ(r.spots[0].x0, 10);
    EXPECT_EQ(r.spots[0].x1, 16);
    EXPECT_EQ(r.spots[0].y0, 10);
}

TEST(Detect, PixelStraddlingScreenGroupBoundary) {
    // Pixel 21 spans bytes 63..65, across the first 64-byte screening group; only its green and
    // red bytes, which lie in the second group, are lit.
    synth::Frame f(64, 16);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 6; y <= 8; ++y) {
        f.px(21, y)[1] = 240;
        f.px(21, y)[2] = 240;
    }
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_NEAR(r.spots[0].x, 21, 1e-9);
    EXPECT_NEAR(r.spots[0].y, 7, 1e-9);
}

TEST(Detect, RunEndingInRowTailAfterDarkGroups) {
    // Width 100: one screened group per row, then 236 tail bytes examined pixel by pixel.
    synth::Frame f(100, 20);
    synth::Scene s;
    s.spots = {{97.6, 9.3, 1.0, 400}};
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 1u);
    EXPECT_LE(worstError(r.spots, s.spots), 0.3);
}

TEST(Detect, RowPaddingIsNotImage) {
    synth::Frame f(41, 10);  // stride 124, one padding byte per row
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 10; ++y) f.get()->pData[y * f.stride() + 123] = 255;
    EXPECT_TRUE(detect(f).spots.empty());
}

TEST(Detect, FloodedFrameGivesNothing) {
    // Lit columns on every other pixel: more runs than the run buffer holds.
    synth::Frame f(640, 480);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; x += 2) f.set(x, y, 250);
    // Half the frame is lit, so the bright-background lift alone would darken it all: without the
    // lift (no contrast asked) the run buffer overflows.
    DetectParams noLift;
    noLift.minContrast = 0;
    const Result r = detect(f, noLift);
    EXPECT_TRUE(r.spots.empty());
    EXPECT_TRUE(r.flooded);
    const Result lifted = detect(f);
    EXPECT_TRUE(lifted.spots.empty());
    EXPECT_FALSE(lifted.flooded);
}

TEST(Detect, AtMostSixtyFourHeaviestSpots) {
    synth::Frame f(400, 300);
    synth::Scene s;
    for (int k = 0; k < 80; ++k) s.spots.push_back({20.0 + 40 * (k % 10), 20.0 + 35 * (k / 10), 1.2, 240.0 + k});
    synth::render(f, s);
    const Result r = detect(f);
    ASSERT_EQ(r.spots.size(), 64u);
    for (size_t i = 1; i < r.spots.size(); ++i) EXPECT_GE(r.spots[i - 1].mass, r.spots[i].mass);
}
