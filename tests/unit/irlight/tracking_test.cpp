// Identity of lights across frames and the learned ambient model, through the C surface.
#include <gtest/gtest.h>

#include <vector>

#include "MultiIRLight.h"
#include "synth.h"
#include "tracker.h"

using tavori::irl::Tracker;

namespace {

class Scene {
public:
    Scene() {
        const _SImgPara para{160, 120, 0, 95, 50};
        IRLSetImgConfig(h_, &para);
    }
    ~Scene() { IRLUninit(h_); }
    HMULTIIRLIGHT h() const { return h_; }

    // Shows the lights in the next frame; returns the brightest reported light, if any.
    std::vector<_SDetectPoint> frame(const std::vector<synth::Spot>& spots) {
        synth::Scene s;
        s.noise = 1.5;
        s.seed = ++seed_;
        s.spots = spots;
        synth::render(f_, s);
        _SDetectPoint pt{};
        std::vector<_SDetectPoint> out;
        if (IRLFindMostLight(h_, f_.get(), &pt)) out.push_back(pt);
        return out;
    }

private:
    HMULTIIRLIGHT h_ = IRLCreate();
    synth::Frame f_{160, 120};
    uint64_t seed_ = 0;
};

// A lamp that stands still in view; brighter than any pen of these tests.
synth::Spot lamp() { return {120.3, 30.6, 2.0, 800}; }

}  // namespace

TEST(Tracking, IdsStayWithTheirPensWhileTheyMove) {
    tavori::irl::Tracker t;
    t.restart(0);
    std::vector<tavori::irl::Spot> spots(2);
    tavori::irl::TrackedSpot out[64];
    int32_t idA = 0, idB = 0;
    for (int k = 0; k < 40; ++k) {
        // Two pens moving towards each other, ten pixels per frame, passing 8 pixels apart.
        spots[0].x = 20.0 + 10 * k;
        spots[0].y = 100;
        spots[1].x = 420.0 - 10 * k;
        spots[1].y = 108;
        spots[0].mass = 100 + k % 3;  // order of detection changes from frame to frame
        spots[1].mass = 101;
        if (k % 2) std::swap(spots[0], spots[1]);
        ASSERT_EQ(t.update(spots.data(), 2, out), 2);
        for (int i = 0; i < 2; ++i) {
            const bool isA = out[i].spot.y == 100;
            int32_t& id = isA ? idA : idB;
            if (k == 0) id = out[i].id;
            EXPECT_EQ(out[i].id, id) << "frame " << k;
        }
        if (k % 2) std::swap(spots[0], spots[1]);
    }
    EXPECT_NE(idA, idB);
}

TEST(Tracking, FlickeringPenKeepsItsIdAndAFreshPenGetsTheSmallestFreeId) {
    tavori::irl::Tracker t;
    t.restart(0);
    tavori::irl::Spot a;
    a.x = 50;
    a.y = 50;
    tavori::irl::TrackedSpot out[64];
    ASSERT_EQ(t.update(&a, 1, out), 1);
    const int32_t id = out[0].id;
    EXPECT_EQ(id, 1);
    EXPECT_EQ(t.update(&a, 0, out), 0);  // one frame lost
    a.x = 58;
    ASSERT_EQ(t.update(&a, 1, out), 1);
    EXPECT_EQ(out[0].id, id);
    for (int k = 0; k < Tracker::kCoastFrames + 1; ++k) t.update(&a, 0, out);
    a.x = 120;
    ASSERT_EQ(t.update(&a, 1, out), 1);
    EXPECT_EQ(out[0].id, 1);
}

TEST(Ambient, StillLampIsLearnedWhileAMovingPenIsReportedAtOnce) {
    Scene sc;
    int penReports = 0, lampReports = 0;
    for (int k = 0; k < Tracker::kEnrollFrames + 30; ++k) {
        std::vector<synth::Spot> spots = {lamp()};
        // The pen is dimmer than the lamp: the lamp would win if it were reported.
        if (k >= 5) spots.push_back({20.0 + k, 80, 1.3, 400});
        const auto pts = sc.frame(spots);
        if (!pts.empty()) (pts[0].x > 110 ? lampReports : penReports) += 1;
    }
    EXPECT_EQ(lampReports, 0);
    EXPECT_GE(penReports, Tracker::kEnrollFrames + 30 - 5 - 4);  // held back until it has moved 3 px
}

TEST(Ambient, PenHeldStillAfterLearningIsReportedUntilAbsorbed) {
    Scene sc;
    for (int k = 0; k < Tracker::kEnrollFrames; ++k) sc.frame({});
    int reported = 0;
    const int rightClickHold = 600;  // ten seconds at 60 frames per second
    for (int k = 0; k < rightClickHold; ++k) reported += !sc.frame({{60.2, 60.7, 1.4, 500}}).empty();
    EXPECT_EQ(reported, rightClickHold);
    for (int k = rightClickHold; k < Tracker::kAbsorbFrames + 5; ++k) reported += !sc.frame({{60.2, 60.7, 1.4, 500}}).empty();
    EXPECT_LT(reported, Tracker::kAbsorbFrames + 5);
    EXPECT_TRUE(sc.frame({{60.2, 60.7, 1.4, 500}}).empty());
}

TEST(Ambient, MaskedRegionFreesWhenItGoesDark) {
    Scene sc;
    for (int k = 0; k < Tracker::kEnrollFrames + 5; ++k) ASSERT_TRUE(sc.frame({lamp()}).empty());
    for (int k = 0; k < Tracker::kDarkFrames + 1; ++k) sc.frame({});
    // A pen now held at the lamp's old place is a pen.
    int reported = 0;
    for (int k = 0; k < 10; ++k) reported += !sc.frame({lamp()}).empty();
    EXPECT_EQ(reported, 10);
}

TEST(Ambient, ResetStartsLearningAgain) {
    Scene sc;
    for (int k = 0; k < Tracker::kEnrollFrames + 5; ++k) sc.frame({});
    // After learning, a new still light is taken for a pen held still...
    EXPECT_FALSE(sc.frame({lamp()}).empty());
    sc.frame({});
    sc.frame({});
    sc.frame({});
    sc.frame({});
    // ...but right after a reset it is learned as ambient.
    ASSERT_EQ(IRLResetEnroll(sc.h()), 1);
    int reported = 0;
    for (int k = 0; k < Tracker::kEnrollFrames + 60; ++k) reported += !sc.frame({lamp()}).empty();
    EXPECT_EQ(reported, 0);
    ASSERT_EQ(IRLResetAutoEnroll(sc.h()), 1);
    for (int k = 0; k < Tracker::kAutoEnrollFrames + 10; ++k) reported += !sc.frame({lamp()}).empty();
    EXPECT_EQ(reported, 0);
}

TEST(Tracking, OnePointFollowsTheSamePenWhenABrighterLightAppears) {
    synth::VirtualCamera cam;
    HMULTIIRLIGHT h = IRLCreate();
    const _SCalibration cal = cam.calibration(5);
    const _SImgPara para{640, 480, 0, 95, 50};
    ASSERT_EQ(IRLSetConfig(h, &cal), 1);
    ASSERT_EQ(IRLSetImgConfig(h, &para), 1);
    synth::Frame f(640, 480);
    _SDetectPoint pt{};
    int32_t followed = 0;
    for (int k = 0; k < 20; ++k) {
        synth::Scene s;
        s.spots = {{200.0 + 3 * k, 200, 1.2, 300}};
        if (k >= 10) s.spots.push_back({420.0 - 3 * k, 300, 2.5, 900});
        synth::render(f, s);
        if (!IRLFindWinPointOne(h, f.get(), &pt)) continue;
        if (!followed) followed = pt.id;
        EXPECT_EQ(pt.id, followed) << "frame " << k;
    }
    EXPECT_NE(followed, 0);
    IRLUninit(h);
}
