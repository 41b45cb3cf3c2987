#include <gtest/gtest.h>

#include <vector>

#include "capture/BackgroundSubtraction.h"
#include "capture/FramePacing.h"

TEST(FramePacing, SleepsTheRestOfThePeriodOrAWholePeriodAfterAnOverrun) {
    EXPECT_EQ(SleepAfterPass(16, 3), 13u);
    EXPECT_EQ(SleepAfterPass(33, 0), 33u);
    EXPECT_EQ(SleepAfterPass(16, 16), 16u);
    EXPECT_EQ(SleepAfterPass(16, 40), 16u);
    EXPECT_EQ(SleepAfterPass(16, 0xFFFFFFF0u), 16u);  // a timer that wrapped during the pass
}

TEST(BackgroundSubtraction, OnlyPixelsBrightInAllChannelsAreCorrected) {
    // 3 x 2 pixels: stride 12 bytes (9 padded to 12).
    SCapFrame f{3, 2, 24, 24, nullptr};
    std::vector<uint8_t> data(24, 0), snap(24, 0);
    f.pData = data.data();
    auto px = [](std::vector<uint8_t>& v, int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        v[y * 12 + x * 3] = b;
        v[y * 12 + x * 3 + 1] = g;
        v[y * 12 + x * 3 + 2] = r;
    };
    px(data, 0, 0, 200, 200, 200);
    px(snap, 0, 0, 50, 250, 0);
    px(data, 1, 0, 255, 255, 180);  // one channel at 180: left alone
    px(snap, 1, 0, 100, 100, 100);
    px(data, 2, 1, 190, 190, 190);
    px(snap, 2, 1, 10, 10, 10);
    data[9] = data[10] = data[11] = 255;  // row padding is never touched
    SubtractBackground(snap.data(), f);
    EXPECT_EQ(data[0], 150);
    EXPECT_EQ(data[1], 0);  // clamped at 0
    EXPECT_EQ(data[2], 200);
    EXPECT_EQ(data[3], 255);
    EXPECT_EQ(data[5], 180);
    EXPECT_EQ(data[12 + 6], 180);
    EXPECT_EQ(data[9], 255);

    SCapFrame lying{100, 100, 24, 24, data.data()};  // a size that does not fit its buffer
    SubtractBackground(snap.data(), lying);
    EXPECT_EQ(data[12 + 6], 180);
}
