#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "MultiIRLight.h"

// Rows are padded to four bytes; a width whose row would not fit 32 bits has no stride (the
// detector refuses such frames: Api.FramesThatDisagreeWithThemselvesOrTheConfigurationAreRefused).
TEST(CapFrame, CreateCopiesOrZeroFillsPaddedRowsIntoAnAlignedBuffer) {
    EXPECT_EQ(SCapFrameStride(641), 1924u);
    EXPECT_EQ(SCapFrameStride(0xFFFFFFFFu), 0u);
    std::vector<uint8_t> src(SCapFrameStride(5) * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7);
    SCapFrame f{};
    ASSERT_EQ(SCapFrameCreate(&f, 5, 3, src.data()), 1);
    EXPECT_EQ(f.nSize, 48u);
    EXPECT_EQ(f.nBitCount, 24u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f.pData) % 16, 0u);
    EXPECT_EQ(std::memcmp(f.pData, src.data(), src.size()), 0);
    SCapFrameFree(&f);
    EXPECT_EQ(f.pData, nullptr);
    EXPECT_EQ(f.nSize, 0u);

    ASSERT_EQ(SCapFrameCreate(&f, 2, 2, nullptr), 1);
    EXPECT_EQ(f.pData[0] | f.pData[f.nSize - 1], 0);
    SCapFrameFree(&f);
    // Empty or overflowing sizes give no buffer.
    const uint32_t sizes[][2] = {{0, 10}, {100000, 100000}};
    for (const auto& wh : sizes) {
        EXPECT_EQ(SCapFrameCreate(&f, wh[0], wh[1], nullptr), 0);
        EXPECT_EQ(f.pData, nullptr);
        EXPECT_EQ(f.nSize, 0u);
    }
    EXPECT_EQ(SCapFrameCreate(nullptr, 2, 2, nullptr), 0);
    SCapFrameFree(nullptr);
}

TEST(CapFrame, CopyIsDeepAndNullSourceGivesZeroRecord) {
    SCapFrame a{}, b{};
    ASSERT_EQ(SCapFrameCreate(&a, 4, 4, nullptr), 1);
    a.pData[5] = 99;
    ASSERT_EQ(SCapFrameCopy(&b, &a), 1);
    EXPECT_NE(a.pData, b.pData);
    EXPECT_EQ(b.nWidth, 4u);
    EXPECT_EQ(b.nSize, a.nSize);
    a.pData[5] = 1;
    EXPECT_EQ(b.pData[5], 99);
    SCapFrameFree(&b);

    ASSERT_EQ(SCapFrameCopy(&b, nullptr), 1);
    EXPECT_EQ(b.nWidth | b.nHeight | b.nBitCount | b.nSize, 0u);
    EXPECT_EQ(b.pData, nullptr);
    EXPECT_EQ(SCapFrameCopy(nullptr, &a), 0);
    SCapFrameFree(&a);
}
