// The C surface: refusals of bad arguments, frames and records, and the edge of the screen.
#include <gtest/gtest.h>

#include "MultiIRLight.h"
#include "synth.h"

namespace {

struct Handle {
    HMULTIIRLIGHT h = IRLCreate();
    ~Handle() { IRLUninit(h); }
};

_SImgPara imgPara(int w, int h) { return _SImgPara{w, h, 0, 95, 50}; }

// Lets the ambient learning that starts with every detector run out on dark frames.
void settle(HMULTIIRLIGHT h, synth::Frame& f) {
    synth::render(f, synth::Scene{});
    _SDetectPoint pt;
    for (int i = 0; i < 50; ++i) IRLFindMostLight(h, f.get(), &pt);
}

}  // namespace

TEST(Api, NullHandleAndNullPointersAreRefused) {
    _SDetectPoint pts[64];
    synth::Frame f(64, 48);
    const _SImgPara para = imgPara(64, 48);
    const _SCalibration cal = synth::VirtualCamera{}.calibration(5);
    EXPECT_EQ(IRLInit(nullptr), 0);
    EXPECT_EQ(IRLUninit(nullptr), 0);
    EXPECT_EQ(GreyValue(nullptr, 100), 0);
    EXPECT_EQ(IRLSetImgConfig(nullptr, &para), 0);
    EXPECT_EQ(IRLSetConfig(nullptr, &cal), 0);
    EXPECT_EQ(IRLSetCmpPara(nullptr, 15), 0);
    EXPECT_EQ(IRLResetEnroll(nullptr), 0);
    EXPECT_EQ(IRLResetAutoEnroll(nullptr), 0);
    EXPECT_EQ(IRLFindMostLight(nullptr, f.get(), pts), 0);
    EXPECT_EQ(IRLFindWinPoint(nullptr, f.get(), pts, 64), 0);
    EXPECT_EQ(IRLFindWinPointOne(nullptr, f.get(), pts), 0);

    Handle d;
    ASSERT_NE(d.h, nullptr);
    EXPECT_EQ(IRLSetImgConfig(d.h, nullptr), 0);
    EXPECT_EQ(IRLSetConfig(d.h, nullptr), 0);
    EXPECT_EQ(IRLFindMostLight(d.h, nullptr, pts), 0);
    EXPECT_EQ(IRLFindMostLight(d.h, f.get(), nullptr), 0);
    EXPECT_EQ(IRLFindWinPoint(d.h, f.get(), pts, 0), 0);
    EXPECT_EQ(IRLFindWinPoint(d.h, f.get(), pts, -5), 0);
    EXPECT_EQ(IRLFindWinPointOne(d.h, f.get(), nullptr), 0);
}

TEST(Api, FramesThatDisagreeWithThemselvesOrTheConfigurationAreRefused) {
    Handle d;
    const _SImgPara para = imgPara(64, 48);
    ASSERT_EQ(IRLSetImgConfig(d.h, &para), 1);
    synth::Frame f(64, 48);
    settle(d.h, f);
    synth::Scene s;
    s.spots = {{30, 20, 1.5, 600}};
    synth::render(f, s);
    _SDetectPoint pts[1];
    const struct {
        const char* what;
        void (*spoil)(SCapFrame&);
    } cases[] = {
        {"size field disagrees with the dimensions", [](SCapFrame& b) { b.nSize -= 1; }},
        {"not 24 bits", [](SCapFrame& b) { b.nBitCount = 32; }},
        {"other size than configured", [](SCapFrame& b) { b.nHeight = 96, b.nSize = SCapFrameStride(64) * 96; }},
        {"empty frame", [](SCapFrame& b) { b.nWidth = b.nHeight = b.nSize = 0; }},
        {"no pixels", [](SCapFrame& b) { b.pData = nullptr; }},
        {"width whose stride overflows", [](SCapFrame& b) { b.nWidth = 0xFFFFFFFFu; }},
    };
    for (const auto& c : cases) {
        SCapFrame bad = *f.get();
        c.spoil(bad);
        EXPECT_EQ(IRLFindMostLight(d.h, &bad, pts), 0) << c.what;
    }
    EXPECT_EQ(IRLFindMostLight(d.h, f.get(), pts), 1) << "the frame itself is taken";
    const _SImgPara zero{0, 48, 0, 95, 50}, negative{-64, 48, 0, 95, 50};
    EXPECT_EQ(IRLSetImgConfig(d.h, &zero), 0);
    EXPECT_EQ(IRLSetImgConfig(d.h, &negative), 0);
}

TEST(Api, UnconfiguredDetectorTakesTheFirstFrameSizeAndGreyValueSetsTheThreshold) {
    Handle d;
    synth::Frame f(80, 60);
    _SDetectPoint pts[1];
    auto show = [&](double x) {  // a spot peaking at 190
        synth::Scene s;
        s.spots = {{x, 30.4, 2.0, 180}};
        synth::render(f, s);
        return IRLFindMostLight(d.h, f.get(), pts);
    };
    for (int i = 0; i < 4; ++i) EXPECT_EQ(show(50.0 - 6 * i), 0) << "below the default threshold of 220";
    ASSERT_EQ(GreyValue(d.h, 150), 1);
    EXPECT_EQ(show(20.0), 0) << "first seen in the start frames, it may be a lamp until it moves";
    ASSERT_EQ(show(26.0), 1) << "above the threshold of 150, in a frame of the first frame's size";
    EXPECT_EQ(pts[0].x, 20) << "first reported where it stood";
    EXPECT_EQ(pts[0].state, 1);
}

TEST(Api, PointsBeyondTheEdgeMarginAreDroppedAndWithinItClamped) {
    synth::Calibrated c(-0.08);
    _SDetectPoint pts[1];
    ASSERT_EQ(IRLFindWinPointOne(c.h, c.penAt(950, 500), pts), 1);
    ASSERT_EQ(IRLFindWinPointOne(c.h, c.penAt(-20, 500), pts), 1);  // 20 px outside, margin 48
    EXPECT_EQ(pts[0].x, 0);
    ASSERT_EQ(IRLFindWinPointOne(c.h, c.penAt(1930, 1085), pts), 1);
    EXPECT_EQ(pts[0].x, 1919);
    EXPECT_EQ(pts[0].y, 1079);
    EXPECT_EQ(IRLFindWinPointOne(c.h, c.penAt(-150, 500), pts), 0);  // well off the screen
}

// A refused record also withdraws the one before it: no points without a usable calibration.
TEST(Api, ARefusedCalibrationRecordLeavesNoMapping) {
    synth::Calibrated c;
    _SCalibration cal = c.cam.calibration(5);
    cal.lPtCount = 7;
    EXPECT_EQ(IRLSetConfig(c.h, &cal), 0);
    _SDetectPoint pts[1];
    for (int i = 0; i < 5; ++i) EXPECT_EQ(IRLFindWinPointOne(c.h, c.penAt(900 + 8 * i, 500), pts), 0) << i;
    EXPECT_EQ(IRLFindMostLight(c.h, c.penAt(960, 500), pts), 1) << "camera positions need no calibration";
}
