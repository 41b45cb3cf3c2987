// Configuration parsing and the lens model of the virtual camera.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "VcamModel.h"

using namespace tavori::vcam;

namespace {

Config FromMap(const std::map<std::string, std::string>& kv) {
    return ReadConfig([&](const char* key, std::string& value) {
        auto it = kv.find(key);
        if (it == kv.end()) return false;
        value = it->second;
        return true;
    });
}

// Every field of a configuration, to compare in one go.
auto Fields(std::string vid, std::string pid, int w, int h, int fps, bool hasRect, std::vector<double> rect,
            std::vector<double> corners, double k1, double k2, double noise, double ambient, double gain,
            bool mirror) {
    return std::make_tuple(vid, pid, w, h, fps, hasRect, rect, corners, k1, k2, noise, ambient, gain, mirror);
}
auto Fields(const Config& c) {
    return Fields(c.vendorId, c.productId, c.width, c.height, c.fps, c.hasScreenRect,
                  std::vector<double>(c.rect, c.rect + 4), std::vector<double>(c.corners, c.corners + 8), c.k1, c.k2,
                  c.noise, c.ambient, c.screenGain, c.mirror);
}

Config WithRect(Config c, int32_t l, int32_t t, int32_t w, int32_t h) {
    c.hasScreenRect = true;
    c.rect[0] = l;
    c.rect[1] = t;
    c.rect[2] = w;
    c.rect[3] = h;
    return c;
}

}  // namespace

TEST(VcamConfig, KeysAreReadAndGarbageFallsBackKeyByKey) {
    using V = std::vector<double>;
    const Config d = FromMap({});
    EXPECT_EQ(Fields(d), Fields("0AC8", "3610", 640, 480, 60, false, V{0, 0, 0, 0},
                                V{70, 55, 575, 62, 590, 428, 52, 418}, -0.08, 0, 2, 8, 60, false))
        << "the documented defaults";
    const Config c = FromMap({{"VendorId", " 1a2b "}, {"ProductId", "00ff"}, {"Width", "320"}, {"Height", "240"},
                              {"Fps", "30"}, {"ScreenRect", "-1920, 0,1920,1080"},
                              {"Corners", "10,10  300,12 310,230   5,220"}, {"K1", "0.05"}, {"K2", "-0.01"},
                              {"Noise", "0"}, {"Ambient", "20.5"}, {"ScreenGain", "100"}, {"Mirror", "1"}});
    EXPECT_EQ(Fields(c), Fields("1A2B", "00FF", 320, 240, 30, true, V{-1920, 0, 1920, 1080},
                                V{10, 10, 300, 12, 310, 230, 5, 220}, 0.05, -0.01, 0, 20.5, 100, true));
    const Config g = FromMap({{"VendorId", "0AC"}, {"ProductId", "zz10"}, {"Width", "640x"}, {"Height", "-480"},
                              {"Fps", "99999999999999999999"}, {"ScreenRect", "0,0,0,100"}, {"Corners", "nonsense"},
                              {"K1", "nan"}, {"K2", "inf"}, {"Noise", "-1"}, {"Ambient", "1e400"},
                              {"ScreenGain", ""}, {"Mirror", "2"}});
    EXPECT_EQ(Fields(g), Fields(d));
}

TEST(VcamConfig, ScreenRectRejectsMalformedLists) {
    int32_t r[4] = {7, 7, 7, 7};
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "0,0,100,0", "0,0,-5,10", "1.5,0,10,10",
                            "0,0,100000,10", ",,,", "0,0,10,10junk"}) {
        EXPECT_FALSE(ParseScreenRect(bad, r)) << bad;
    }
    EXPECT_EQ(r[0], 7) << "a rejected value leaves the output alone";
    ASSERT_TRUE(ParseScreenRect(" 10 , 20 , 300 , 200 ", r));
    EXPECT_EQ(r[0], 10);
    EXPECT_EQ(r[1], 20);
    EXPECT_EQ(r[2], 300);
    EXPECT_EQ(r[3], 200);
}

TEST(VcamConfig, CornersMustFormAValidQuadrilateral) {
    double c[8];
    EXPECT_FALSE(ParseCorners("70,55 575,62 590,428", c)) << "three points";
    EXPECT_FALSE(ParseCorners("70,55 575,62 590,428 52,418 1,1", c)) << "five points";
    EXPECT_FALSE(ParseCorners("70,55 575,62 52,418 590,428", c)) << "self-crossing order";
    EXPECT_FALSE(ParseCorners("0,0 100,0 200,0 300,0", c)) << "collinear";
    EXPECT_FALSE(ParseCorners("0,0 100,0 100,100 0,100x", c));
    EXPECT_FALSE(ParseCorners("0,0 100,0 100,nan 0,100", c));
    EXPECT_FALSE(ParseCorners("0,0 100,0 60,40 0,100", c)) << "not convex";
    EXPECT_FALSE(ParseCorners("0,0 1,0 1,1 0,1", c)) << "no real area";
    EXPECT_TRUE(ParseCorners("575,62 70,55 52,418 590,428", c)) << "mirrored order is valid";
    EXPECT_TRUE(ParseCorners("590,428 52,418 70,55 575,62", c)) << "upside-down order is valid";
}

TEST(VcamConfig, ScalingKeepsPixelCentreConvention) {
    Config c;
    c.corners[0] = -0.5;
    c.corners[1] = -0.5;
    c.corners[4] = 639.5;
    c.corners[5] = 479.5;
    const Config s = ScaledTo(c, 320, 240);
    EXPECT_EQ(s.width, 320);
    EXPECT_DOUBLE_EQ(s.corners[0], -0.5);
    EXPECT_DOUBLE_EQ(s.corners[1], -0.5);
    EXPECT_DOUBLE_EQ(s.corners[4], 319.5);
    EXPECT_DOUBLE_EQ(s.corners[5], 239.5);
}

// The outer screen corners land on Corners moved by the documented radial formula (not at all
// without distortion), wherever the filmed rectangle sits on the desktop.
TEST(VcamLens, ScreenCornersFollowTheDocumentedRadialFormula) {
    for (auto [k1, k2] : {std::pair{0.0, 0.0}, {-0.08, 0.01}}) {
        Config c = WithRect(Config{}, 100, 50, 1024, 768);
        c.k1 = k1;
        c.k2 = k2;
        LensModel m;
        ASSERT_TRUE(m.Init(c));
        const double cx0 = 319.5, cy0 = 239.5;
        for (int i = 0; i < 4; ++i) {
            const double ux = c.corners[2 * i], uy = c.corners[2 * i + 1];
            const double r2 = ((ux - cx0) * (ux - cx0) + (uy - cy0) * (uy - cy0)) / (320.0 * 320.0);
            const double f = 1 + k1 * r2 + k2 * r2 * r2;
            double cx, cy;
            ASSERT_TRUE(m.Project(i == 1 || i == 2 ? 1023.5 : -0.5, i >= 2 ? 767.5 : -0.5, cx, cy));
            EXPECT_NEAR(cx, cx0 + (ux - cx0) * f, 1e-9) << "k1 " << k1 << " corner " << i;
            EXPECT_NEAR(cy, cy0 + (uy - cy0) * f, 1e-9) << "k1 " << k1 << " corner " << i;
        }
    }
}

TEST(VcamLens, UnprojectInvertsProjectAcrossTheScreen) {
    for (bool mirror : {false, true}) {
        Config c = WithRect(Config{}, 0, 0, 1920, 1080);
        c.mirror = mirror;
        LensModel m;
        ASSERT_TRUE(m.Init(c));
        for (double sy = 0; sy < 1080; sy += 97.3) {
            for (double sx = 0; sx < 1920; sx += 131.7) {
                double cx, cy, bx, by;
                ASSERT_TRUE(m.Project(sx, sy, cx, cy));
                ASSERT_TRUE(m.Unproject(cx, cy, bx, by));
                EXPECT_NEAR(bx, sx, 1e-6);
                EXPECT_NEAR(by, sy, 1e-6);
            }
        }
    }
}

TEST(VcamLens, MirrorFlipsTheDeliveredImageLeftToRight) {
    Config c = WithRect(Config{}, 0, 0, 800, 600);
    LensModel plain, mirrored;
    ASSERT_TRUE(plain.Init(c));
    c.mirror = true;
    ASSERT_TRUE(mirrored.Init(c));
    double ax, ay, bx, by;
    ASSERT_TRUE(plain.Project(123.25, 456.5, ax, ay));
    ASSERT_TRUE(mirrored.Project(123.25, 456.5, bx, by));
    EXPECT_NEAR(bx, 639 - ax, 1e-9);
    EXPECT_NEAR(by, ay, 1e-9);
}

TEST(VcamLens, RejectsUnusableGeometry) {
    LensModel m;
    Config c;  // no screen rectangle filled in
    EXPECT_FALSE(m.Init(c));
    c = WithRect(Config{}, 0, 0, 100, 100);
    for (int i = 0; i < 8; ++i) c.corners[i] = 5;  // all corners on one point
    EXPECT_FALSE(m.Init(c));
}

TEST(VcamLens, StrongBarrelDistortionDoesNotFoldTheImage) {
    // Past the radius where the distortion stops growing, camera pixels have no screen position
    // rather than a second, wrong one.
    Config c = WithRect(Config{}, 0, 0, 640, 480);
    c.k1 = -0.5;
    LensModel m;
    ASSERT_TRUE(m.Init(c));
    double sx, sy;
    EXPECT_FALSE(m.Unproject(0, 0, sx, sy));
    ASSERT_TRUE(m.Unproject(319.5, 239.5, sx, sy));
    double cx, cy;
    ASSERT_TRUE(m.Project(sx, sy, cx, cy));
    EXPECT_NEAR(cx, 319.5, 1e-6);
}
