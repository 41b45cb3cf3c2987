#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "output/SharedMemory.h"

namespace {
// What another process sees: open by name, map, read.
struct Opened {
    explicit Opened(const char* name, DWORD size) {
        map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
        if (map) view = static_cast<uint8_t*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, size));
    }
    ~Opened() {
        if (view) UnmapViewOfFile(view);
        if (map) CloseHandle(map);
    }
    HANDLE map = nullptr;
    uint8_t* view = nullptr;
};
}  // namespace

TEST(SharedMemoryTest, ScreenTableIsCreatedZeroed) {
    ASSERT_EQ(CreateMultiScreenShare(), 0);
    ASSERT_NE(g_pMultiScreen, nullptr);
    {
        Opened other(kMultiScreenName, 164);
        ASSERT_NE(other.view, nullptr);
        uint8_t zeros[164] = {};
        EXPECT_EQ(memcmp(other.view, zeros, 164), 0);
    }
    CloseMultiScreenShare();
    EXPECT_EQ(g_pMultiScreen, nullptr);
}

TEST(SharedMemoryTest, ANameHeldByAnotherKindOfObjectFailsTheTable) {
    HANDLE squatter = CreateMutexA(nullptr, FALSE, kMultiScreenName);
    ASSERT_NE(squatter, nullptr);
    EXPECT_NE(CreateMultiScreenShare(), 0);
    EXPECT_EQ(g_pMultiScreen, nullptr);
    CloseMultiScreenShare();
    CloseHandle(squatter);
}

TEST(SharedMemoryTest, TouchShareClearsItsTwoWords) {
    // Left-over values from a previous owner of the name are cleared.
    HANDLE early = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 400, kTouchShareName);
    auto* words = static_cast<int32_t*>(MapViewOfFile(early, FILE_MAP_ALL_ACCESS, 0, 0, 400));
    words[0] = words[4] = words[5] = 77;
    ASSERT_TRUE(CreateTouchShare());
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[4], 0);
    EXPECT_EQ(words[5], 77);
    CloseTouchShare();
    UnmapViewOfFile(words);
    CloseHandle(early);
}

TEST(SharedMemoryTest, PointBufferIsNamedAfterTheCameraAndHoldsUnalignedRecords) {
    CPointShare share;
    ASSERT_EQ(share.CreatePointShare(0), 0);
    Opened other("Multi_Lumora_Mappfile_1", 1025);
    ASSERT_NE(other.view, nullptr);
    EXPECT_EQ(other.view[0], 0);
    memset(other.view + 49, 0xAB, 16);  // what an earlier frame left after the records

    _SDetectPoint pts[3] = {{1, 10, 20, 1}, {2, 30, 40, 1}, {3, -5, 1080, 1}};
    share.Publish(pts, 3);
    EXPECT_EQ(other.view[0], 3);
    _SDetectPoint back[3];
    memcpy(back, other.view + 1, sizeof(back));
    EXPECT_EQ(back[1].x, 30);
    EXPECT_EQ(back[2].y, 1080);
    EXPECT_EQ(other.view[49], 0xAB);

    _SDetectPoint many[100] = {};
    share.Publish(many, 100);  // never beyond the 64 records the buffer holds
    EXPECT_EQ(other.view[0], 64);
    share.ClosePointShare();
    EXPECT_FALSE(share.IsOpen());
}
