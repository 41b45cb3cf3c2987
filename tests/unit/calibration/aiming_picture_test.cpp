// The live picture of the aiming view: mirrored, scaled into the box, bad frames refused.
#include <gtest/gtest.h>

#include <vector>

#include "calibration/AimingPicture.h"
#include "calibration/GuidePicture.h"

namespace {
struct Frame {
    std::vector<uint8_t> bytes;
    SCapFrame view{};
    Frame(uint32_t w, uint32_t h, uint32_t bits = 24) : bytes(static_cast<size_t>(w) * h * (bits / 8)) {
        view = {w, h, bits, static_cast<uint32_t>(bytes.size()), bytes.data()};
    }
    void Set(uint32_t x, uint32_t y, uint8_t v) {
        for (uint32_t i = 0; i < 3; ++i) bytes[(y * view.nWidth + x) * (view.nBitCount / 8) + i] = v;
    }
};
uint8_t Box(const CAimingPicture& p, int x, int y) { return p.Pixels()[y * CAimingPicture::kStride + x * 3]; }
}  // namespace

TEST(AimingPicture, MirrorsLeftToRightAndScalesOtherSizes) {
    struct {
        uint32_t w, h, bits, x, y;
        int boxX, boxY;
    } cases[] = {
        {640, 480, 24, 10, 20, 629, 20},   // same size: column 639 - x, same row
        {1280, 960, 24, 20, 41, 629, 20},  // twice the size: halved
        {320, 240, 32, 5, 10, 628, 20},    // half the size, 32 bits: doubled
    };
    for (auto c : cases) {
        Frame f(c.w, c.h, c.bits);
        f.Set(c.x, c.y, 200);
        CAimingPicture p;
        ASSERT_TRUE(p.Compose(f.view));
        EXPECT_EQ(Box(p, c.boxX, c.boxY), 200) << c.w;
        EXPECT_EQ(Box(p, 639 - c.boxX, c.boxY), 0) << c.w;
    }
}

TEST(AimingPicture, RefusesFramesWhoseSizeAndBufferDisagree) {
    Frame f(640, 480);
    CAimingPicture p;
    SCapFrame shortBuffer = f.view;
    shortBuffer.nSize = 1000;
    SCapFrame noPixels = f.view;
    noPixels.pData = nullptr;
    SCapFrame grey = f.view;
    grey.nBitCount = 8;
    SCapFrame empty = f.view;
    empty.nWidth = 0;
    for (const SCapFrame& bad : {shortBuffer, noPixels, grey, empty}) EXPECT_FALSE(p.Compose(bad));
}

TEST(GuidePicture, GradientAndWhiteCornerMarks) {
    const std::vector<uint8_t> g = guide::DrawGuidePicture();
    auto at = [&](int x, int y) { return &g[(static_cast<size_t>(y) * guide::kWidth + x) * 3]; };
    EXPECT_EQ(at(0, 0)[2], 94);                        // red at the top left
    EXPECT_EQ(at(1023, 767)[0], 212);                  // blue at the bottom right
    const int white[][2] = {{149, 100}, {212, 102}, {151, 163}, {874, 100}, {811, 100}, {874, 667}, {149, 604}};
    for (auto& p : white) EXPECT_EQ(at(p[0], p[1])[1], 255) << p[0] << "," << p[1];
    const int plain[][2] = {{213, 100}, {152, 103}, {148, 100}, {874, 99}, {512, 384}};
    for (auto& p : plain) EXPECT_LT(at(p[0], p[1])[1], 255) << p[0] << "," << p[1];
}
