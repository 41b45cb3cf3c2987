#include <gtest/gtest.h>

#include <cstring>

#include "storage/CalibrationRecord.h"
#include "storage/FlashRecord.h"

namespace {
_SCalibration Grid(uint32_t w, uint32_t h, uint32_t count) {
    _SCalibration c{};
    c.lWinWidth = w;
    c.lWinHeight = h;
    c.lPtCount = count;
    for (uint32_t i = 0; i < count && i < 36; ++i) {
        c.x[i] = 10 + i;
        c.y[i] = 20 + i;
    }
    return c;
}
}  // namespace

TEST(ValidateCalibration, AcceptsOnlyRecordsThatLookReal) {
    EXPECT_TRUE(ValidateCalibration(Grid(1920, 1080, 25)));
    EXPECT_TRUE(ValidateCalibration(Grid(100, 100, 4)));
    EXPECT_FALSE(ValidateCalibration(Grid(99, 1080, 25)));  // a narrow rectangle
    EXPECT_FALSE(ValidateCalibration(Grid(1920, 99, 25)));
    EXPECT_FALSE(ValidateCalibration(Grid(1920, 1080, 0)));

    _SCalibration zeros = Grid(1920, 1080, 25);
    memset(zeros.x, 0, sizeof(zeros.x));
    memset(zeros.y, 0, sizeof(zeros.y));
    EXPECT_FALSE(ValidateCalibration(zeros));  // erased or never written

    _SCalibration outside = Grid(1920, 1080, 25);
    outside.x[24] = 1920;
    EXPECT_FALSE(ValidateCalibration(outside));
    outside.x[24] = 0;
    outside.y[24] = 0;  // a point at (0, 0) is skipped, not judged
    EXPECT_TRUE(ValidateCalibration(outside));

    _SCalibration erasedFlash = Grid(0xFFFF, 0xFFFF, 25);
    for (int i = 0; i < 25; ++i) erasedFlash.x[i] = erasedFlash.y[i] = 0xFFFF;
    EXPECT_FALSE(ValidateCalibration(erasedFlash));

    _SCalibration huge = Grid(1920, 1080, 4000);  // a count past the record never reads beyond it
    EXPECT_TRUE(ValidateCalibration(huge));
}

TEST(FlashRecord, EncodesBigEndianAndTruncatesTo16Bits) {
    FlashCalibration c;
    c.pointCount = 4;
    c.left = 70000;  // stored as 70000 - 65536
    c.top = 2;
    c.width = 1920;
    c.height = 1080;
    c.screenIndex = 256;  // stored as 0
    for (uint32_t i = 0; i < 4; ++i) {
        c.x[i] = 0x1234 + i;
        c.y[i] = 0xABCD;
    }
    uint8_t out[kFlashWriteBytes];
    memset(out, 0x5A, sizeof(out));
    ASSERT_TRUE(EncodeFlashRecord(c, out));
    const uint8_t head[] = {4, 0x11, 0x70, 0x00, 0x02, 0x07, 0x80, 0x04, 0x38, 0x00, 0x12, 0x34, 0xAB, 0xCD};
    EXPECT_EQ(memcmp(out, head, sizeof(head)), 0);
    EXPECT_EQ(out[22], 0x12);
    EXPECT_EQ(out[23], 0x37);
    for (int i = 26; i < kFlashWriteBytes; ++i) ASSERT_EQ(out[i], 0) << i;  // nothing left over

    uint8_t in[kFlashReadBytes];
    memcpy(in, out, sizeof(in));
    FlashCalibration back;
    ASSERT_TRUE(DecodeFlashRecord(in, 4, back));
    EXPECT_EQ(back.left, 4464u);
    EXPECT_EQ(back.screenIndex, 0u);
    EXPECT_EQ(back.width, 1920u);
    EXPECT_EQ(back.x[3], 0x1237u);
    EXPECT_EQ(back.y[3], 0xABCDu);
}

// 25 points fill exactly the bytes read back; 36 do not fit, and 0 is no record.
TEST(FlashRecord, CountsTheFlashCannotHoldAreRefused) {
    FlashCalibration c;
    c.pointCount = 25;
    for (uint32_t i = 0; i < 25; ++i) c.x[i] = c.y[i] = 0xFFFF;
    uint8_t out[kFlashWriteBytes];
    ASSERT_TRUE(EncodeFlashRecord(c, out));
    EXPECT_EQ(out[109] * 256 + out[110], 0xFF00);
    uint8_t in[kFlashReadBytes];
    memcpy(in, out, sizeof(in));
    FlashCalibration back;
    ASSERT_TRUE(DecodeFlashRecord(in, 25, back));
    EXPECT_EQ(back.y[24], 0xFFFFu);
    c.pointCount = 36;
    EXPECT_FALSE(EncodeFlashRecord(c, out));
    EXPECT_FALSE(DecodeFlashRecord(in, 36, back));
    EXPECT_FALSE(DecodeFlashRecord(in, 0, back));
}
