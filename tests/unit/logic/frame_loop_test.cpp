#include <gtest/gtest.h>

#include <vector>

#include "capture/BackgroundSubtraction.h"

namespace {
// 3 x 2 pixels, stride 12 bytes (9 padded to 12).
struct TinyFrame {
    std::vector<uint8_t> data = std::vector<uint8_t>(24, 0);
    SCapFrame f{3, 2, 24, 24, nullptr};
    TinyFrame() { f.pData = data.data(); }
    void px(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = &data[static_cast<size_t>(y * 12 + x * 3)];
        p[0] = b, p[1] = g, p[2] = r;
    }
    uint8_t at(int x, int y, int c = 0) const { return data[static_cast<size_t>(y * 12 + x * 3 + c)]; }
};
}  // namespace

TEST(BackgroundLights, OnlyWhatTheSnapshotHeldLitIsSubtractedWhereTheFrameIsLit) {
    TinyFrame snap, frame;
    snap.px(0, 0, 240, 250, 200);  // a lamp
    snap.px(1, 0, 70, 70, 70);     // white content, faintly filmed
    snap.px(2, 1, 200, 200, 181);  // lit, but the frame is not lit there
    frame.px(0, 0, 255, 255, 255);
    frame.px(1, 0, 255, 255, 255);  // the pen over the white content keeps its core
    frame.px(2, 1, 255, 255, 180);
    frame.data[9] = 255;  // row padding
    BackgroundLights b;
    ASSERT_TRUE(b.Take(snap.f, 0));
    EXPECT_EQ(b.LitPlaces(), 2u);
    b.Subtract(frame.f, 16);
    EXPECT_EQ(frame.at(0, 0, 0), 15);
    EXPECT_EQ(frame.at(0, 0, 1), 5);
    EXPECT_EQ(frame.at(0, 0, 2), 55);
    EXPECT_EQ(frame.at(1, 0), 255);
    EXPECT_EQ(frame.at(2, 1, 2), 180);
    EXPECT_EQ(frame.data[9], 255);
}

TEST(BackgroundLights, FramesThatDoNotFitAreLeftAlone) {
    TinyFrame snap, frame;
    snap.px(0, 0, 255, 255, 255);
    frame.px(0, 0, 255, 255, 255);
    BackgroundLights b;
    SCapFrame lying{100, 100, 24, 24, snap.data.data()};  // a size that does not fit its buffer
    EXPECT_FALSE(b.Take(lying, 0));
    EXPECT_FALSE(b.Taken());
    ASSERT_TRUE(b.Take(snap.f, 0));
    SCapFrame other{2, 2, 24, 16, frame.data.data()};
    b.Subtract(other, 16);
    EXPECT_EQ(frame.at(0, 0), 255);
}
