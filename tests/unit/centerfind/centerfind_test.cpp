// The centre finder driven through the shipping stage machine and gate, on simulated frames with
// exact ground truth: accuracy, time to the result, and refusal instead of a wrong grid.
#include <gtest/gtest.h>

#include "Placements.h"
#include "StageSim.h"

using namespace tavori;
using namespace tavori::cftest;

// Every placement of the golden list, each found to the accuracy the finder promises in its
// attempt, or refused: never a wrong grid.
class Placements : public testing::TestWithParam<Placement> {};

TEST_P(Placements, GiveAccurateGridsOrRefuse) {
    const Placement& p = GetParam();
    ASSERT_EQ(p.error, "");
    Scene s{p.Camera(int(kScreenW), int(kScreenH)), {}, {}, {}, p.light == "pen while black"};
    s.settings.setPtCount = p.Setting("SetPtCount", 25);
    s.settings.patternMs = p.Setting("AutoCalibPatternMs", 120);
    s.settings.timeoutMs = p.Setting("AutoCalibTimeoutMs", 12000);
    const bool spot = p.light == "warm spot" || p.light == "reflection after black";
    (p.light == "warm spot" ? s.always : s.later) = Extras{spot ? 420.0 : -1, 260, 14, 0.35, p.light == "pen left on" ? 400.0 : -1, 300};
    const RunResult r = RunAutoCalib(s);
    ASSERT_EQ(r.finished, p.outcome != "refused");
    if (!r.finished) return;
    EXPECT_LE(r.max, 0.3) << "a result must never be a wrong grid";
    EXPECT_LE(r.mean, 0.1);
    if (p.outcome == "found") {
        EXPECT_LE(r.elapsedMs, s.settings.setPtCount == 25 ? 6000u : 2000u) << "in the first exposure attempt";
    }
}
INSTANTIATE_TEST_SUITE_P(, Placements, testing::ValuesIn(ReadPlacements(TAVORI_PLACEMENTS)), ByName());

// Projectors of 1024 x 768 and wide ones of 768 or 800 lines: the outer grid points lie closer to
// the edge than half a square, and a square the screen cuts would pull its point off by pixels.
TEST(SmallScreens, GiveGridsAsAccurateAsLargeOnes) {
    const uint32_t sizes[][2] = {{1024, 768}, {1280, 800}, {1366, 768}};
    for (const Placement& p : ReadPlacements(TAVORI_PLACEMENTS)) {
        if (p.name != "default camera" && p.name != "rolled -15, K1 -0.2" && p.name != "mirrored") continue;
        for (const auto& size : sizes) {
            Scene s{p.Camera(int(size[0]), int(size[1])), {}, {}, {}, false};
            const RunResult r = RunAutoCalib(s, size[0], size[1]);
            EXPECT_TRUE(r.finished && r.max <= 0.3) << p.name << " on " << size[0] << " x " << size[1] << ": max " << r.max;
        }
    }
}

TEST(CentreFinder, UnknownStagesAndMissingBuffersKeepTheStage) {
    unsigned char frame[kStride * kH] = {};
    double points[50];
    int type = 7;
    EXPECT_EQ(Calibration_Point(3, 25, frame, points, &type), 3);
    EXPECT_EQ(Calibration_Point(-1, 25, frame, points, &type), -1);
    EXPECT_EQ(Calibration_Point(1, 25, nullptr, points, &type), 1);
    EXPECT_EQ(Calibration_Point(2, 25, frame, nullptr, &type), 2);
    EXPECT_EQ(type, 7);
}
