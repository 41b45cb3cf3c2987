// Golden synthetic frames for the spot detector: exact centres known, tolerances per case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "synth.h"

using tavori::irl::DetectParams;
using tavori::irl::Spot;

namespace {

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
            const auto spots = synth::detect(f, p);
            ASSERT_EQ(spots.size(), 1u) << "offset " << ox << "," << oy;
            worst = std::max(worst, worstError(spots, s.spots));
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

TEST(Detect, GaussianScenesAreFoundInPlace) {
    struct Case {
        const char* name;
        uint32_t w, h;
        double gradX, gradY, noise, tolerance;
        std::vector<synth::Spot> spots;
    };
    const Case cases[] = {
        {"several pens on a gradient with noise", 320, 240, 0.15, 0.1, 2, 0.15,
         {{30.3, 40.7, 1.5, 500}, {250.6, 30.2, 1.0, 300}, {160.1, 200.9, 2.2, 700}, {300.4, 210.5, 1.3, 260}}},
        {"two pens close together keep their own rims", 96, 64, 0, 0, 0, 0.1,
         {{40.2, 30.4, 1.3, 500}, {50.7, 31.1, 1.3, 500}}},
        {"rims touching the border", 64, 48, 0, 0, 0, 0.1, {{3.3, 20.0, 1.2, 600}, {60.8, 44.6, 1.2, 600}}},
        // Width 100: one screened group per row, then 236 tail bytes examined pixel by pixel.
        {"run ending in the row tail after dark groups", 100, 20, 0, 0, 0, 0.3, {{97.6, 9.3, 1.0, 400}}},
        // Half the light falls outside the image: the centroid moves inwards, by at most a pixel or so.
        {"spots cut by the border", 64, 48, 0, 0, 0, 1.5,
         {{0.0, 20.0, 1.5, 600}, {63.0, 47.0, 1.5, 600}, {30.0, 0.0, 1.2, 400}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        synth::Frame f(c.w, c.h);
        synth::Scene s;
        s.gradientX = c.gradX;
        s.gradientY = c.gradY;
        s.noise = c.noise;
        s.spots = c.spots;
        synth::render(f, s);
        const auto spots = synth::detect(f);
        ASSERT_EQ(spots.size(), c.spots.size());
        const double e = worstError(spots, c.spots);
        EXPECT_GE(e, 0.0);
        EXPECT_LE(e, c.tolerance);
        for (const Spot& sp : spots) EXPECT_TRUE(sp.x >= 0 && sp.x <= c.w - 1 && sp.y >= 0 && sp.y <= c.h - 1);
    }
}

TEST(Detect, SingleLitPixelPenIsFoundOnAnyRow) {
    // Sigma 0.7 leaves one pixel above the threshold but a visible rim around it. Only every second
    // row is searched: a core on a row between them, or on the last row, must be seen through its fall-off.
    for (const double y : {20.1, 21.1, 46.9}) {
        synth::Frame f(64, 48);
        synth::Scene s;
        s.spots = {{20.2, y, 0.7, 245}};
        synth::render(f, s);
        const auto spots = synth::detect(f);
        ASSERT_EQ(spots.size(), 1u) << "row " << y;
        EXPECT_EQ(spots[0].area, 1);
        EXPECT_EQ(spots[0].y0, static_cast<int32_t>(std::lround(y)));
        if (y < 40) {
            EXPECT_LE(worstError(spots, s.spots), 0.15);
        }
    }
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
