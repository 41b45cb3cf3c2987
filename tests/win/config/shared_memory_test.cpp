#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "output/SharedMemory.h"

// Values a previous owner of a name left behind: the screen table is cleared whole, the touch block
// only in its two words.
TEST(SharedMemoryTest, LeftOverValuesAreCleared) {
    HANDLE early[2] = {CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 400, kMultiScreenName),
                       CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 400, kTouchShareName)};
    int32_t* words[2];
    for (int i = 0; i < 2; ++i) {
        words[i] = static_cast<int32_t*>(MapViewOfFile(early[i], FILE_MAP_ALL_ACCESS, 0, 0, 400));
        ASSERT_NE(words[i], nullptr);
        words[i][0] = words[i][4] = words[i][5] = words[i][40] = 77;
    }
    ASSERT_EQ(CreateMultiScreenShare(), 0);
    EXPECT_EQ(g_pMultiScreen->nCount, 0);
    EXPECT_EQ(words[0][0] | words[0][4] | words[0][5] | words[0][40], 0);
    ASSERT_TRUE(CreateTouchShare());
    EXPECT_EQ(words[1][0] | words[1][4], 0);
    EXPECT_EQ(words[1][5], 77);
    CloseTouchShare();
    CloseMultiScreenShare();
    EXPECT_EQ(g_pMultiScreen, nullptr);
    for (int i = 0; i < 2; ++i) UnmapViewOfFile(words[i]), CloseHandle(early[i]);
}

TEST(SharedMemoryTest, PointBufferIsNamedAfterTheCameraAndHoldsUnalignedRecords) {
    CPointShare share;
    ASSERT_EQ(share.CreatePointShare(0), 0);
    // What another process sees: open by name, map, read.
    HANDLE map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "Multi_Lumora_Mappfile_1");
    auto* view = static_cast<uint8_t*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 1025));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[0], 0);
    memset(view + 49, 0xAB, 16);  // what an earlier frame left after the records

    _SDetectPoint pts[3] = {{1, 10, 20, 1}, {2, 30, 40, 1}, {3, -5, 1080, 1}};
    share.Publish(pts, 3);
    EXPECT_EQ(view[0], 3);
    _SDetectPoint back[3];
    memcpy(back, view + 1, sizeof(back));
    EXPECT_EQ(back[1].x, 30);
    EXPECT_EQ(back[2].y, 1080);
    EXPECT_EQ(view[49], 0xAB);

    _SDetectPoint many[100] = {};
    share.Publish(many, 100);  // never beyond the 64 records the buffer holds
    EXPECT_EQ(view[0], 64);
    share.ClosePointShare();
    EXPECT_FALSE(share.IsOpen());
    UnmapViewOfFile(view);
    CloseHandle(map);
}
