#include <gtest/gtest.h>
#include <windows.h>

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
