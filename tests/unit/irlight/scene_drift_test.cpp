// The drift estimator on the virtual camera's own frames: a wall around the screen, a lens, noise.
#include <gtest/gtest.h>

#include <cmath>

#include "SceneDrift.h"
#include "VcamModel.h"
#include "mapping.h"

using namespace tavori;

namespace {
constexpr int kW = 1024, kH = 768;

vcam::Config Camera(bool room = true) {
    vcam::Config c;
    c.rect[2] = kW, c.rect[3] = kH;
    c.room = room;
    return c;
}

// A slide: bright with dark blocks placed by `seed` (0: all black).
vcam::ScreenImage Slide(int seed) {
    vcam::ScreenImage s;
    s.Resize(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int block = (x / 128 * 7 + y / 96 * 13 + seed * 5) % 11;
            s.Row(y)[x] = static_cast<uint8_t>(seed == 0 ? 0 : block < 4 ? 20 : 230);
        }
    return s;
}

struct Shot {
    SCapFrame f{};
    Shot(const vcam::Config& c, const vcam::ScreenImage& slide) {
        vcam::Composer comp;
        EXPECT_TRUE(comp.Configure(c));
        comp.Film(&slide);
        SCapFrameCreate(&f, static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height), nullptr);
        comp.Frame(vcam::PenState{}, f.pData);
    }
    ~Shot() { SCapFrameFree(&f); }
};

_SCalibration CalibrationOf(const vcam::Config& c) {
    vcam::LensModel lens;
    EXPECT_TRUE(lens.Init(c));
    _SCalibration cal{};
    cal.lWinWidth = kW, cal.lWinHeight = kH, cal.lPtCount = 25, cal.lType = 1;
    for (int i = 0; i < 25; ++i) {
        int32_t sx = 0, sy = 0;
        double cx = 0, cy = 0;
        irl::gridPoint(kW, kH, 5, i / 5, i % 5, sx, sy);
        lens.Project(sx, sy, cx, cy);
        cal.x[i] = static_cast<uint32_t>(std::lround(cx)), cal.y[i] = static_cast<uint32_t>(std::lround(cy));
    }
    return cal;
}

irl::SceneReference Reference(const vcam::Config& c) {
    irl::SceneReference ref;
    EXPECT_TRUE(irl::MakeSceneReference(Shot(c, Slide(1)).f, CalibrationOf(c), ref));
    return ref;
}
}  // namespace

TEST(SceneDrift, ShiftsAndTurnsAreMeasured) {
    const vcam::Config c = Camera();
    const irl::SceneReference ref = Reference(c);
    const struct { double dx, dy, degrees; } cases[] = {{0, 0, 0}, {3, 0, 0}, {0, -3, 0}, {-2.2, 1.7, 0}, {12, -9, 0}, {0, 0, 0.6}};
    for (const auto& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.dx << ", " << k.dy << ", " << k.degrees << " degrees");
        const irl::SceneShift s = irl::MeasureSceneShift(ref, Shot(vcam::Shifted(c, k.dx, k.dy, k.degrees), Slide(1)).f);
        ASSERT_TRUE(s.measured);
        EXPECT_NEAR(s.dx, k.dx, 0.5);
        EXPECT_NEAR(s.dy, k.dy, 0.5);
        EXPECT_NEAR(s.angle * 180 / M_PI, k.degrees, 0.1);
        // A turn of 0.6 degrees moves the screen's corners by about 3 pixels.
        EXPECT_EQ(s.worst > 2, k.dx != 0 || k.dy != 0 || k.degrees != 0) << s.worst;
    }
}

TEST(SceneDrift, SlidesChangingOnAStillCameraAreNoDrift) {
    const vcam::Config c = Camera();
    const irl::SceneReference ref = Reference(c);
    for (int seed : {0, 2, 3, 7}) {
        const irl::SceneShift s = irl::MeasureSceneShift(ref, Shot(c, Slide(seed)).f);
        EXPECT_TRUE(s.measured) << seed;
        EXPECT_LT(s.worst, 0.7) << seed;
    }
}

TEST(SceneDrift, NothingToWatchOrAReferenceThatIsNotWholeGivesNoWatch) {
    const vcam::Config bare = Camera(false);
    irl::SceneReference ref;
    EXPECT_FALSE(irl::MakeSceneReference(Shot(bare, Slide(1)).f, CalibrationOf(bare), ref)) << "no wall: nothing static";

    const std::vector<uint8_t> bytes = irl::SerializeSceneReference(Reference(Camera()));
    ASSERT_TRUE(irl::ParseSceneReference(bytes.data(), bytes.size(), ref));
    EXPECT_NEAR(irl::MeasureSceneShift(ref, Shot(vcam::Shifted(Camera(), 3, 0, 0), Slide(1)).f).dx, 3, 0.5);
    std::vector<uint8_t> broken = bytes;
    broken[bytes.size() / 2] ^= 1;
    EXPECT_FALSE(irl::ParseSceneReference(broken.data(), broken.size(), ref));
    EXPECT_FALSE(irl::ParseSceneReference(bytes.data(), bytes.size() - 1, ref));
    EXPECT_FALSE(irl::MeasureSceneShift(ref, Shot(Camera(), Slide(1)).f).measured) << "a refused file leaves no reference";
}
