#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

#include "CaseFile.h"
#include "storage/CalibrationRecord.h"
#include "storage/CalibrationReport.h"
#include "storage/CameraCalibrations.h"
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
    ASSERT_TRUE(DecodeFlashRecord(in, back));
    EXPECT_EQ(back.left, 4464u);
    EXPECT_EQ(back.screenIndex, 0u);
    EXPECT_EQ(back.width, 1920u);
    EXPECT_EQ(back.x[3], 0x1237u);
    EXPECT_EQ(back.y[3], 0xABCDu);
}

// A record reads back as the grid it was written with, whatever count is configured now; 36 points
// do not fit, and a count that is no grid is no record.
TEST(FlashRecord, ReadsBackTheCountItWasWrittenWith) {
    FlashCalibration c, back;
    uint8_t out[kFlashWriteBytes];
    c.pointCount = 36;
    EXPECT_FALSE(EncodeFlashRecord(c, out));
    c.pointCount = 9;
    ASSERT_TRUE(EncodeFlashRecord(c, out) && DecodeFlashRecord(out, back));
    EXPECT_EQ(back.pointCount, 9u);
    for (uint8_t count : {0, 5, 0xFF}) {
        out[0] = count;
        EXPECT_FALSE(DecodeFlashRecord(out, back)) << int(count);
    }
}

// Which section of Calibration.ini each camera loads: its own; else, first come, one that names no
// camera or a camera not listed now (cameras "a", "b", "c").
TEST(CameraCalibrations, EachCameraLoadsItsOwnSectionOrOneNobodyElseHas) {
    const struct {
        const char* name;
        StoredSections stored;
        std::vector<std::string> starting, listed;
        std::vector<int> loads;
    } cases[] = {
        {"a file from before sections named cameras", {""}, {"a", "b"}, {"a", "b"}, {0, -1}},
        {"each its own, in any order", {"B", "a"}, {"a", "b"}, {"a", "b"}, {1, 0}},
        {"a camera moved to another port takes its old section", {"a", "b"}, {"a", "c"}, {"a", "c"}, {0, 1}},
        {"a new camera takes no section of a listed one", {"a", "b"}, {"a", "c"}, {"a", "b", "c"}, {0, -1}},
    };
    for (const auto& c : cases) EXPECT_EQ(AssignCalibrationSections(c.stored, c.starting, c.listed), c.loads) << c.name;
    EXPECT_EQ(SaveSection({"a", std::nullopt, "b"}, -1), 1);
}

// The report's verdict names the one thing to do: nothing, the corner that was missed, or the set-up.
TEST(CalibrationReport, VerdictNamesTheMissedPointOrTheSetUp) {
    double errors[25];
    std::fill(errors, errors + 25, 1.5);
    EXPECT_EQ(JudgeErrors(errors, 25).verdict.rfind("good", 0), 0u);
    errors[20] = 15;
    const CalibrationReport missed = JudgeErrors(errors, 25);
    EXPECT_EQ(missed.worst, 20);
    EXPECT_NE(missed.verdict.find("lower-left corner"), std::string::npos) << missed.verdict;
    std::fill(errors, errors + 25, 6.0);
    EXPECT_NE(JudgeErrors(errors, 25).verdict.find("whole screen"), std::string::npos);
    std::fill(errors, errors + 25, 1.5);
    errors[7] = -1;  // the others could not predict it at all: the worst there is
    EXPECT_EQ(JudgeErrors(errors, 25).worst, 7);
    EXPECT_FALSE(JudgeErrors(nullptr, 4).measured);
    EXPECT_EQ(PointPlace(2, 5) + "|" + PointPlace(12, 5) + "|" + PointPlace(9, 5), "top edge|middle|right edge");
}
