// The flash image written while another program reads it, as the C runtime opens files (no delete
// sharing): the write waits the reader out instead of failing.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "FlashStore.h"

TEST(FlashStoreHeld, AWriteLandsOnceAReaderLetsGo) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "tavori_flash_held.bin";
    DeleteFileA(path.c_str());
    acam::FlashStore store(path);
    ASSERT_TRUE(store.Open());
    store.SetWriteProtect(false);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread letGo([&] {
        Sleep(150);
        CloseHandle(reader);
    });
    const uint8_t record[4] = {1, 2, 3, 4};
    EXPECT_EQ(store.Write(0x1FBC, 4, record), 4);
    letGo.join();
    acam::FlashStore again(path);
    ASSERT_TRUE(again.Open());
    uint8_t back[4] = {};
    again.Read(0x1FBC, 4, back);
    EXPECT_EQ(back[3], 4);
    DeleteFileA(path.c_str());
}
