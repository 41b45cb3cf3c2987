#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "CaseFile.h"
#include "calibration/CollatePoints.h"
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

namespace {
// A camera that sees the W x H screen unscaled at (dx, dy) of its frame: every stored point exact.
_SCalibration Unscaled(int n, int W, int H, int dx, int dy) {
    _SCalibration c{};
    c.lWinWidth = static_cast<uint32_t>(W), c.lWinHeight = static_cast<uint32_t>(H), c.lPtCount = static_cast<uint32_t>(n * n);
    for (int i = 0; i < n * n; ++i) {
        const collate::GridPoint p = collate::TargetPosition({i / n, i % n}, n, W, H);
        c.x[i] = static_cast<uint32_t>(p.x + dx), c.y[i] = static_cast<uint32_t>(p.y + dy);
    }
    return c;
}
}  // namespace

// The report from the points themselves: an exact calibration measures under half a pixel; one
// point moved by 10 px is the worst and the verdict names its corner; a screen cut by the frame's
// edge or small in it is the set-up to change, whatever the errors; four points cannot judge
// themselves but still measure the view.
TEST(CalibrationReport, ErrorsAndViewGiveTheVerdict) {
    _SCalibration cal = Unscaled(5, 640, 480, 80, 60);
    CalibrationReport r = JudgeCalibration(cal, 800, 600);
    EXPECT_TRUE(r.measured);
    EXPECT_LT(r.max, 0.5);
    EXPECT_GE(r.worst, 0) << "a worst point even among equals: the file needs one";
    EXPECT_EQ(r.verdict, ReportVerdict::Good);
    EXPECT_DOUBLE_EQ(r.screenSeen, 1.0);
    EXPECT_NEAR(r.imageFilled, 0.64, 0.02);
    cal.x[20] += 10;  // the lower-left corner
    r = JudgeCalibration(cal, 800, 600);
    EXPECT_EQ(r.worst, 20);
    EXPECT_NEAR(r.max, 10, 2);
    EXPECT_EQ(r.verdict, ReportVerdict::PoorPoint);
    EXPECT_EQ(PointPlace(r.worst, 5), 6) << "lower left";
    EXPECT_EQ(PointPlace(2, 5) * 100 + PointPlace(12, 5) * 10 + PointPlace(9, 5), 145) << "top edge, middle, right edge";
    r = JudgeCalibration(Unscaled(5, 640, 480, -10, -10), 640, 480);  // the screen's top and left strips unseen
    EXPECT_NEAR(r.screenSeen, (630.0 / 640) * (470.0 / 480), 0.02);
    EXPECT_EQ(r.verdict, ReportVerdict::TooClose);
    r = JudgeCalibration(Unscaled(5, 640, 480, 480, 360), 1600, 1200);
    EXPECT_NEAR(r.imageFilled, 0.16, 0.02);
    EXPECT_EQ(r.verdict, ReportVerdict::MoveCloser);
    r = JudgeCalibration(Unscaled(2, 640, 480, 80, 60), 800, 600);
    EXPECT_FALSE(r.measured);
    EXPECT_EQ(r.verdict, ReportVerdict::Unmeasured);
    EXPECT_NEAR(r.imageFilled, 0.64, 0.02);
}

// The file keeps what the picture needs; what a damaged file lost is left out, never made up.
TEST(CalibrationReport, FileKeepsThePointsAndDropsWhatIsDamaged) {
    _SCalibration cal = Unscaled(3, 640, 480, 80, 60);
    cal.x[4] += 6;
    const CalibrationReport r = JudgeCalibration(cal, 800, 600);
    std::map<std::string, std::string> file;
    for (const auto& [key, value] : ReportValues(r)) file[key] = value;
    const auto read = [&] { return ReportFromValues([&](const std::string& key) { return file.count(key) ? file[key] : ""; }); };
    std::optional<CalibrationReport> back = read();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->verdict, r.verdict);
    EXPECT_EQ(back->worst, 4);
    EXPECT_NEAR(back->max, r.max, 0.01);
    ASSERT_EQ(back->checks.size(), 9u);
    EXPECT_NEAR(back->checks[4].predictedX, r.checks[4].predictedX, 0.01);
    file["P4"] = "320,240,nan,1", file["P5"] = "garbage", file["ScreenSeenPercent"] = "250";
    back = read();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->checks.size(), 8u) << "P5 dropped";
    EXPECT_LT(back->checks[4].error, 0) << "P4 kept, its prediction not";
    EXPECT_LT(back->screenSeen, 0);
    for (const char* points : {"", "-1", "37", "9x"}) {
        file["Points"] = points;
        EXPECT_FALSE(read()) << points;
    }
    file["Points"] = "9", file["Verdict"] = "splendid";
    EXPECT_FALSE(read());
}
