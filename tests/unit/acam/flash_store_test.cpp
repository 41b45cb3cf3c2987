#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FlashStore.h"

namespace fs = std::filesystem;
using acam::FlashStore;
using acam::kFlashBytes;

class FlashStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<uint8_t> FileBytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    const fs::path dir = fs::temp_directory_path() / ("acam_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string path = (dir / "CameraFlash.bin").string();
};

// A new store is erased flash, write-protected until told otherwise, and keeps what was written.
// The calibration record at 0x1FBC is 120 bytes: it runs past the end and wraps to the start.
TEST_F(FlashStoreTest, NewStoreIsErasedProtectedAndTheRecordWrapsAndPersists) {
    FlashStore store(path);
    ASSERT_TRUE(store.Open());
    std::vector<uint8_t> record(120), back(120);
    ASSERT_EQ(store.Read(0x1FBC, 4, back.data()), 4);
    EXPECT_EQ(back[0], 0xFF);
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(store.Write(0x1FBC, 120, record.data()), 0) << "written while protected";
    store.SetWriteProtect(false);
    ASSERT_EQ(store.Write(0x1FBC, 120, record.data()), 120);

    FlashStore reopened(path);
    ASSERT_TRUE(reopened.Open());
    ASSERT_EQ(reopened.Read(0x1FBC, 120, back.data()), 120);
    EXPECT_EQ(back, record);
    const auto bytes = FileBytes();
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kFlashBytes));
    EXPECT_EQ(bytes[8191], 68);  // the flash's last byte, then its first
    EXPECT_EQ(bytes[0], 69);
    EXPECT_EQ(bytes[52], 0xFF);
}

TEST_F(FlashStoreTest, AccessOutsideTheFlashIsRefused) {
    FlashStore store(path);
    ASSERT_TRUE(store.Open());
    store.SetWriteProtect(false);
    std::vector<uint8_t> buf(kFlashBytes + 1);
    const struct { uint32_t at; int n; } refused[] = {{8192, 1}, {0xFFFF, 1}, {0, kFlashBytes + 1}, {0, 0}, {0, -1}};
    for (auto r : refused) {
        EXPECT_EQ(store.Read(r.at, r.n, buf.data()), 0) << r.at << " " << r.n;
        EXPECT_EQ(store.Write(r.at, r.n, buf.data()), 0) << r.at << " " << r.n;
    }
    EXPECT_EQ(store.Read(0, kFlashBytes, buf.data()), kFlashBytes);
    EXPECT_EQ(store.Read(0, 4, nullptr), 0);
}

TEST_F(FlashStoreTest, ShortOrOversizedImageKeepsItsBytesAndIsRewrittenWhole) {
    std::ofstream(path, std::ios::binary) << "\x11\x22\x33";
    FlashStore store(path);
    ASSERT_TRUE(store.Open());
    uint8_t b[4] = {};
    ASSERT_EQ(store.Read(0, 4, b), 4);
    EXPECT_EQ(b[0], 0x11);
    EXPECT_EQ(b[2], 0x33);
    EXPECT_EQ(b[3], 0xFF);
    store.SetWriteProtect(false);
    const uint8_t v = 0x44;
    ASSERT_EQ(store.Write(100, 1, &v), 1);
    auto bytes = FileBytes();
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kFlashBytes));
    EXPECT_EQ(bytes[1], 0x22);
    EXPECT_EQ(bytes[100], 0x44);
}

// A writer killed at random moments must leave either the old or the new image, never a mix.
TEST_F(FlashStoreTest, InterruptedWritesNeverLeaveATornImage) {
    {
        FlashStore store(path);
        ASSERT_TRUE(store.Open());
        std::vector<uint8_t> zeros(kFlashBytes, 0);
        store.SetWriteProtect(false);
        ASSERT_EQ(store.Write(0, kFlashBytes, zeros.data()), kFlashBytes);
    }
    for (int round = 0; round < 20; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FlashStore store(path);
            if (!store.Open()) _exit(2);
            store.SetWriteProtect(false);
            std::vector<uint8_t> image(kFlashBytes);
            for (uint8_t v = 1;; ++v) {
                std::fill(image.begin(), image.end(), v);
                store.Write(0, kFlashBytes, image.data());
            }
        }
        usleep(static_cast<useconds_t>(2000 + 1500 * round));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        auto bytes = FileBytes();
        ASSERT_EQ(bytes.size(), static_cast<size_t>(kFlashBytes)) << "round " << round;
        for (size_t i = 1; i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i], bytes[0]) << "torn image in round " << round << " at byte " << i;
        FlashStore store(path);
        EXPECT_TRUE(store.Open());  // a leftover temporary file does not get in the way
    }
}
