#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "MultiIRLight.h"

// Rows are padded to four bytes in a 16-byte-aligned buffer (the detector's vector paths load whole
// blocks); a width whose row would not fit 32 bits has no stride, and a size that overflows gets no
// buffer rather than a short one. A copy owns its pixels.
TEST(CapFrame, BuffersArePaddedAlignedOwnedAndNeverShort) {
    EXPECT_EQ(SCapFrameStride(641), 1924u);
    EXPECT_EQ(SCapFrameStride(0xFFFFFFFFu), 0u);
    std::vector<uint8_t> src(SCapFrameStride(5) * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7);
    SCapFrame a{}, b{};
    ASSERT_EQ(SCapFrameCreate(&a, 5, 3, src.data()), 1);
    EXPECT_EQ(a.nSize, src.size());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.pData) % 16, 0u);
    EXPECT_EQ(std::memcmp(a.pData, src.data(), src.size()), 0);
    ASSERT_EQ(SCapFrameCopy(&b, &a), 1);
    a.pData[5] = 1;
    EXPECT_EQ(b.pData[5], src[5]);
    EXPECT_EQ(SCapFrameCopy(nullptr, &a), 0);
    SCapFrameFree(&a);
    SCapFrameFree(&b);
    EXPECT_EQ(a.pData, nullptr);
    EXPECT_EQ(a.nSize, 0u);

    ASSERT_EQ(SCapFrameCreate(&a, 2, 2, nullptr), 1);
    EXPECT_EQ(a.pData[0] | a.pData[a.nSize - 1], 0);
    SCapFrameFree(&a);
    const uint32_t sizes[][2] = {{0, 10}, {100000, 100000}};
    for (const auto& wh : sizes) {
        EXPECT_EQ(SCapFrameCreate(&a, wh[0], wh[1], nullptr), 0);
        EXPECT_EQ(a.pData, nullptr);
        EXPECT_EQ(a.nSize, 0u);
    }
    EXPECT_EQ(SCapFrameCreate(nullptr, 2, 2, nullptr), 0);
    SCapFrameFree(nullptr);
}
