// The camera-to-screen mapping against the virtual camera's geometry.
#include <gtest/gtest.h>

#include <cmath>

#include "../support/CaseFile.h"
#include "CalibrationCheck.h"
#include "mapping.h"
#include "synth.h"

using tavori::irl::CameraMapping;
using tavori::irl::MappingOptions;

namespace {

struct Errors {
    double mean = 0, max = 0;
    int unmapped = 0;
};

// Mapped error over a dense grid of screen pixels, from exact (unrounded) camera positions.
Errors screenError(const synth::VirtualCamera& cam, const CameraMapping& m, int step = 16) {
    Errors e;
    int n = 0;
    for (int y = 0; y < static_cast<int>(cam.H); y += step) {
        for (int x = 0; x < static_cast<int>(cam.W); x += step) {
            double cx, cy, sx, sy;
            cam.project(x, y, cx, cy);
            if (!m.map(cx, cy, sx, sy)) {
                ++e.unmapped;
                continue;
            }
            const double d = std::hypot(sx - x, sy - y);
            e.mean += d;
            e.max = std::max(e.max, d);
            ++n;
        }
    }
    e.mean /= std::max(n, 1);
    return e;
}

}  // namespace

namespace {
const double kMirrored[8] = {575, 62, 70, 55, 52, 418, 590, 428}, kFlipped[8] = {590, 428, 52, 418, 70, 55, 575, 62};
struct Placement {
    const char* name;
    double k1;
    const double* corners;  // null: the default placement
    int n;
    double mean, max;
};
void PrintTo(const Placement& p, std::ostream* out) { *out << p.name; }
class MappingPlacements : public testing::TestWithParam<Placement> {};
}  // namespace

// Fitted to the rounded record, mapped from exact camera positions over the whole screen.
TEST_P(MappingPlacements, FollowTheLensAndTheCameraPlacement) {
    const Placement& c = GetParam();
    synth::VirtualCamera cam;
    cam.K1 = c.k1;
    if (c.corners) std::copy(c.corners, c.corners + 8, cam.corners);
    CameraMapping m;
    ASSERT_TRUE(m.fit(cam.calibration(c.n), cam.camW, cam.camH));
    const Errors e = screenError(cam, m);
    EXPECT_EQ(e.unmapped, 0);
    EXPECT_LE(e.mean, c.mean);
    EXPECT_LE(e.max, c.max);
    for (double x : {-1e9, -5000.0, -0.5, 0.0, 319.5, 639.0, 5000.0, 1e12})  // far outside: no NaN
        for (double y : {-1e9, 0.0, 239.5, 479.0, 1e12}) {
            double sx = 0, sy = 0;
            EXPECT_TRUE(!m.map(x, y, sx, sy) || (std::isfinite(sx) && std::isfinite(sy)));
        }
    double sx, sy;
    EXPECT_FALSE(m.map(std::nan(""), 10, sx, sy));
    EXPECT_TRUE(c.k1 == 0 || !m.map(1e12, 1e12, sx, sy)) << "beyond the lens's reach";
}
INSTANTIATE_TEST_SUITE_P(, MappingPlacements, testing::Values(
    Placement{"25 points, no lens distortion", 0.0, nullptr, 5, 0.6, 2.0},
    Placement{"25 points, K1 -0.15", -0.15, nullptr, 5, 0.6, 2.0},
    Placement{"25 points, K1 -0.2", -0.2, nullptr, 5, 0.6, 2.0},
    // Only the rounding of the four stored positions is left (about 3.8 screen px per camera px).
    Placement{"4 points without distortion, a plain homography", 0.0, nullptr, 2, 1.5, 4.0},
    Placement{"mirrored camera", -0.08, kMirrored, 5, 2.5, 2.5},
    Placement{"upside-down camera", -0.08, kFlipped, 5, 2.5, 2.5}), ByName());

// One record is one draw of the rounding; over many sub-pixel placements of the picture the error
// must sit at the floor the rounding allows. Least squares alone averages about 0.58 / 2.0 px here.
TEST(Mapping, RoundingFloorOverSubPixelPlacements) {
    synth::Rng rng(11);
    double sumMean = 0, sumMax = 0;
    constexpr int kTrials = 8;
    for (int t = 0; t < kTrials; ++t) {
        synth::VirtualCamera cam;
        cam.K1 = -0.15;
        for (double& c : cam.corners) c += rng.uniform() * 2 - 1;
        const _SCalibration cal = cam.calibration(5);
        CameraMapping m;
        ASSERT_TRUE(m.fit(cal, cam.camW, cam.camH));
        // The sampling is seeded: the same record always gives the same mapping.
        if (t == 0) {
            CameraMapping again;
            double ax, ay, bx, by;
            ASSERT_TRUE(again.fit(cal, cam.camW, cam.camH));
            ASSERT_TRUE(m.map(585, 240, ax, ay) && again.map(585, 240, bx, by));
            EXPECT_TRUE(ax == bx && ay == by);
        }
        const Errors e = screenError(cam, m);
        EXPECT_EQ(e.unmapped, 0);
        sumMean += e.mean;
        sumMax += e.max;
    }
    EXPECT_LE(sumMean / kTrials, 0.5);
    EXPECT_LE(sumMax / kTrials, 1.85);
}

TEST(Mapping, CorrectionTakesUpWhatTheLensModelMisses) {
    synth::VirtualCamera cam;
    // A screen that bulges towards the camera: no lens model describes it.
    cam.K1 = -0.1;
    cam.bow = 3;
    MappingOptions off;
    off.correction = false;
    CameraMapping plain, corrected;
    ASSERT_TRUE(plain.fit(cam.calibration(5), cam.camW, cam.camH, off));
    ASSERT_TRUE(corrected.fit(cam.calibration(5), cam.camW, cam.camH));
    ASSERT_GT(plain.rmsCameraResidual(), 0.6);
    const Errors p = screenError(cam, plain), c = screenError(cam, corrected);
    EXPECT_LT(c.mean, p.mean * 0.8);
}

// Records that must give no mapping at all rather than a cursor somewhere.
namespace {
struct Spoilt {
    const char* name;
    void (*spoil)(_SCalibration&);
};
void PrintTo(const Spoilt& s, std::ostream* out) { *out << s.name; }
class DegenerateRecords : public testing::TestWithParam<Spoilt> {};
}  // namespace

TEST_P(DegenerateRecords, AreRefused) {
    _SCalibration c = synth::VirtualCamera{}.calibration(5);
    CameraMapping m;
    ASSERT_TRUE(m.fit(c, 640, 480)) << "the record before it is spoilt";
    GetParam().spoil(c);
    double sx = 0, sy = 0;
    EXPECT_FALSE(m.fit(c, 640, 480));
    EXPECT_FALSE(m.map(320, 240, sx, sy)) << "a refused record withdraws the mapping before it";
}
INSTANTIATE_TEST_SUITE_P(, DegenerateRecords, testing::Values(
    Spoilt{"repeated point", [](_SCalibration& c) { c.x[7] = c.x[8], c.y[7] = c.y[8]; }},
    Spoilt{"collinear", [](_SCalibration& c) { for (uint32_t i = 0; i < 25; ++i) c.y[i] = 200, c.x[i] = 100 + 10 * i; }},
    Spoilt{"diagonal line", [](_SCalibration& c) { for (uint32_t i = 0; i < 25; ++i) c.x[i] = c.y[i] = 100 + i; }},
    Spoilt{"zero width", [](_SCalibration& c) { c.lWinWidth = 0; }},
    Spoilt{"count 0", [](_SCalibration& c) { c.lPtCount = 0; }},
    Spoilt{"count 3", [](_SCalibration& c) { c.lPtCount = 3; }},
    Spoilt{"count 24", [](_SCalibration& c) { c.lPtCount = 24; }},
    Spoilt{"count 49", [](_SCalibration& c) { c.lPtCount = 49; }},
    Spoilt{"count 2^32-1", [](_SCalibration& c) { c.lPtCount = 0xFFFFFFFFu; }},
    Spoilt{"coordinate out of range", [](_SCalibration& c) { c.x[3] = 0xFFFFFFFFu; }},
    Spoilt{"targets out of order", [](_SCalibration& c) { std::swap(c.x[0], c.x[24]), std::swap(c.y[0], c.y[24]); }},
    Spoilt{"one point far off", [](_SCalibration& c) { c.x[12] += 25; }},
    Spoilt{"width that overflows the grid rule", [](_SCalibration& c) { c.lWinWidth = 0xFFFFFFFFu; }}), ByName());

TEST(Mapping, NoCameraSizeNoMapping) {
    CameraMapping m;
    EXPECT_FALSE(m.fit(synth::VirtualCamera{}.calibration(5), 0, 0));
}

// A calibration judges itself by predicting each point from the others, less what that leaves of a
// record without error: a record from the lens model measures under a pixel, on a coarse grid too,
// whose corners the others place 5 px off by extrapolation and rounding alone; a corner the pen
// missed by about 11 screen pixels stands out as the worst, by far, the error pointing its way.
TEST(Mapping, LeaveOneOutErrorsFindTheMissedPoint) {
    const auto error = [](const tavori::irl::PointCheck& a, const tavori::irl::PointCheck& b) { return a.error < b.error; };
    for (int n : {3, 5}) {
        SCOPED_TRACE(n);
        synth::VirtualCamera cam;
        cam.K1 = -0.12;
        _SCalibration cal = cam.calibration(n);
        tavori::irl::PointCheck exact[25], missed[25];
        const int count = n * n, corner = count - n;
        ASSERT_TRUE(tavori::irl::leaveOneOutChecks(cal, cam.camW, cam.camH, exact));
        EXPECT_LE(std::max_element(exact, exact + count, error)->error, 1.0);
        cal.x[corner] += 3;  // the lower-left corner, about 11 screen pixels off
        ASSERT_TRUE(tavori::irl::leaveOneOutChecks(cal, cam.camW, cam.camH, missed));
        const tavori::irl::PointCheck worst = missed[corner];
        EXPECT_EQ(std::max_element(missed, missed + count, error) - missed, corner);
        EXPECT_GE(worst.error, 7.0);
        EXPECT_NEAR(std::hypot(worst.predictedX - worst.x, worst.predictedY - worst.y), worst.error, 1e-9);
        std::sort(missed, missed + count, error);
        EXPECT_LE(missed[count - 2].error, worst.error / 2) << "no other point looks as bad";
    }
    _SCalibration four = synth::VirtualCamera{}.calibration(2);
    tavori::irl::PointCheck checks[4];
    EXPECT_FALSE(tavori::irl::leaveOneOutChecks(four, 640, 480, checks)) << "four points cannot judge themselves";
}
