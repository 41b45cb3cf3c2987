// The live picture of the aiming view: mirrored, scaled into the box, bad frames refused.
#include <gtest/gtest.h>

#include <vector>

#include "calibration/AimingPicture.h"

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
    const SCapFrame good = f.view;
    const SCapFrame bad[] = {{640, 480, 24, 1000, good.pData}, {640, 480, 24, good.nSize, nullptr},
                             {640, 480, 8, good.nSize, good.pData}, {0, 480, 24, good.nSize, good.pData}};
    CAimingPicture p;
    for (const SCapFrame& frame : bad) EXPECT_FALSE(p.Compose(frame)) << frame.nSize << " " << frame.nBitCount;
}
