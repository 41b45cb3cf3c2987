// Configuration parsing and the lens model of the virtual camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>

#include "CaseFile.h"
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

// Every field of a configuration as text, to compare in one go.
std::string Fields(const Config& c) {
    std::ostringstream s;
    s << c.vendorId << ' ' << c.productId << ' ' << c.width << 'x' << c.height << '@' << c.fps << " rect " << c.hasScreenRect;
    for (double v : c.rect) s << ' ' << v;
    s << " corners";
    for (double v : c.corners) s << ' ' << v;
    s << " k " << c.k1 << ' ' << c.k2 << " noise " << c.noise << " ambient " << c.ambient << " gain " << c.screenGain
      << " mirror " << c.mirror;
    return s.str();
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
    const Config d = FromMap({});  // the defaults, as declared beside the fields
    const Config c = FromMap({{"VendorId", " 1a2b "}, {"ProductId", "00ff"}, {"Width", "320"}, {"Height", "240"},
                              {"Fps", "30"}, {"ScreenRect", "-1920, 0,1920,1080"},
                              {"Corners", "10,10  300,12 310,230   5,220"}, {"K1", "0.05"}, {"K2", "-0.01"},
                              {"Noise", "0"}, {"Ambient", "20.5"}, {"ScreenGain", "100"}, {"Mirror", "1"}});
    EXPECT_EQ(Fields(c), "1A2B 00FF 320x240@30 rect 1 -1920 0 1920 1080 corners 10 10 300 12 310 230 5 220 "
                         "k 0.05 -0.01 noise 0 ambient 20.5 gain 100 mirror 1");
    const Config g = FromMap({{"VendorId", "0AC"}, {"ProductId", "zz10"}, {"Width", "640x"}, {"Height", "-480"},
                              {"Fps", "99999999999999999999"}, {"ScreenRect", "0,0,0,100"}, {"Corners", "nonsense"},
                              {"K1", "nan"}, {"K2", "inf"}, {"Noise", "-1"}, {"Ambient", "1e400"},
                              {"ScreenGain", ""}, {"Mirror", "2"}});
    EXPECT_EQ(Fields(g), Fields(d));
}

using VcamLists = CaseTest;
using VcamCorners = CaseTest;

TEST_P(VcamLists, ScreenRectAndCornersAcceptOnlyWellFormedValues) {
    const CaseLine& c = GetParam();
    int32_t r[4] = {7, 7, 7, 7};
    double q[8];
    const bool ok = c[1] == "rect" ? ParseScreenRect(c[2], r) : ParseCorners(c[2], q);
    EXPECT_EQ(ok, c[3] == "yes");
    EXPECT_EQ(r[0], ok && c[1] == "rect" ? 10 : 7) << "a rejected value leaves the output alone";
}
INSTANTIATE_TEST_SUITE_P(, VcamLists, CasesIn("vcam_lists.txt", 4), ByName());

// The outer screen corners land on Corners without distortion and where the radial formula moves
// them with it, wherever the filmed rectangle sits on the desktop; a mirrored camera flips them, and
// a smaller image keeps the pixel-centre convention.
TEST_P(VcamCorners, ScreenCornersLandOnTheDistortedCorners) {
    const CaseLine& e = GetParam();
    Config c = WithRect(Config{}, 100, 50, 1024, 768);
    c.k1 = std::stod(e[1]), c.k2 = std::stod(e[2]), c.mirror = e[3] == "1";
    const int width = std::stoi(e[4]);
    LensModel m;
    ASSERT_TRUE(m.Init(ScaledTo(c, width, width * 3 / 4)));
    for (int i = 0; i < 4; ++i) {
        double cx, cy, x, y;
        std::istringstream(e[5 + i]) >> x >> y;
        ASSERT_TRUE(m.Project(i == 1 || i == 2 ? 1023.5 : -0.5, i >= 2 ? 767.5 : -0.5, cx, cy));
        EXPECT_NEAR(cx, x, 1e-6) << "corner " << i;
        EXPECT_NEAR(cy, y, 1e-6) << "corner " << i;
    }
}
INSTANTIATE_TEST_SUITE_P(, VcamCorners, CasesIn("vcam_corners.txt", 9), ByName());

// No model without a screen rectangle or from corners on one point; past the radius where strong
// barrel distortion stops growing, camera pixels have no screen position rather than a second,
// wrong one.
TEST(VcamLens, RejectsUnusableGeometryAndDoesNotFoldTheImage) {
    LensModel m;
    EXPECT_FALSE(m.Init(Config{}));
    Config c = WithRect(Config{}, 0, 0, 640, 480);
    std::fill_n(c.corners, 8, 5.0);
    EXPECT_FALSE(m.Init(c));
    c = WithRect(Config{}, 0, 0, 640, 480);
    c.k1 = -0.5;
    ASSERT_TRUE(m.Init(c));
    double sx, sy;
    EXPECT_FALSE(m.Unproject(0, 0, sx, sy));
    EXPECT_TRUE(m.Unproject(319.5, 239.5, sx, sy)) << "the centre still has one";
}
