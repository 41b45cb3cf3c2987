#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "CaseFile.h"
#include "storage/CalibrationRecord.h"
#include "storage/FlashRecord.h"

TEST(ValidateCalibration, AcceptsOnlyRecordsThatLookReal) {
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/calibration_records.txt", 4)) {
        _SCalibration r{};
        std::istringstream head(c[1]), changes(c[2]);
        head >> r.lWinWidth >> r.lWinHeight >> r.lPtCount;
        for (uint32_t i = 0; i < 36; ++i) r.x[i] = 10 + i, r.y[i] = 20 + i;
        for (std::string change; changes >> change;) {
            const size_t colon = change.find(':'), comma = change.find(',');
            for (uint32_t i = 0; i < 36; ++i) {
                if (change[0] != '*' && std::to_string(i) != change.substr(0, colon)) continue;
                r.x[i] = static_cast<uint32_t>(std::stoul(change.substr(colon + 1)));
                r.y[i] = static_cast<uint32_t>(std::stoul(change.substr(comma + 1)));
            }
        }
        EXPECT_EQ(ValidateCalibration(r), c[3] == "yes") << Where(c);
    }
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
