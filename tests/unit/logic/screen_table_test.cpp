// How a calibrated camera enters the table the drawing program reads.
#include <gtest/gtest.h>

#include "output/ScreenTable.h"

namespace {
_SCalibration Rect(uint32_t left, uint32_t top, uint32_t width, uint32_t height) {
    _SCalibration c{};
    c.lWinLeft = left, c.lWinTop = top, c.lWinWidth = width, c.lWinHeight = height;
    return c;
}
}  // namespace

// A recalibration rewrites its camera's entry alone, unless a reader still holds the entry: a camera
// back after a loss then finds its rectangle as the reader knew it.
TEST(ScreenTable, CamerasGetAnEntryEachAndOnlyAnUnreadOneIsRewritten) {
    MultiScreenTable t{};
    EXPECT_TRUE(RegisterCameraScreen(t, 1, Rect(0, 0, 1920, 1080)));
    EXPECT_TRUE(RegisterCameraScreen(t, 2, Rect(1920, 0, 1280, 1024)));
    EXPECT_TRUE(RegisterCameraScreen(t, 1, Rect(10, 20, 800, 600)));
    EXPECT_EQ(t.nCount, 2);
    EXPECT_EQ(t.nLeft[0], 10);
    EXPECT_EQ(t.nHeight[0], 600);
    EXPECT_EQ(t.nLeft[1], 1920);
    t.bReady[1] = 1;
    t.bConfigured[1] = 0;  // the camera was lost
    EXPECT_FALSE(RegisterCameraScreen(t, 2, Rect(5, 5, 640, 480)));
    EXPECT_EQ(t.bConfigured[1], 1);
    EXPECT_EQ(t.nWidth[1], 1280);
}

TEST(ScreenTable, AFullOrGarbledTableIsNeverWrittenOutOfBounds) {
    MultiScreenTable t{};
    for (int id = 1; id <= kMaxScreens; ++id) EXPECT_TRUE(RegisterCameraScreen(t, id, Rect(0, 0, 100, 100)));
    EXPECT_FALSE(RegisterCameraScreen(t, 9, Rect(0, 0, 100, 100)));
    EXPECT_EQ(t.nCount, kMaxScreens);

    for (int32_t garbage : {-7, 1000}) {
        MultiScreenTable g{};
        g.nCount = garbage;
        // A negative count reads as empty, a huge one as full (the sanitizer build catches a stray write).
        EXPECT_EQ(RegisterCameraScreen(g, 4, Rect(0, 0, 100, 100)), garbage < 0) << garbage;
    }
}
