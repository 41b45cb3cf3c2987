#include "ProgramFolderFixture.h"
#include "config/IniFile.h"
#include "storage/CalibrationIni.h"

class CalibrationIniTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        calib = dir + "\\Calibration.ini";
        LoadSettings();
    }
    std::string calib;
};

TEST_F(CalibrationIniTest, LoadNeedsPointsAndARectangle) {
    g_nExposure = -11;
    _SCalibration c{};
    EXPECT_FALSE(LoadIni(c));  // no file
    WriteFile(calib, "[Calibration]\r\nlPtCount=0\r\nExposure=-3\r\nlWinWidth=800\r\n");
    EXPECT_FALSE(LoadIni(c));
    EXPECT_EQ(g_nExposure, -11);  // nothing read without points

    WriteFile(calib, "[Calibration]\r\nlPtCount=4\r\nExposure=-5\r\nlWinWidth=0\r\nlWinHeight=600\r\nx0=7\r\n");
    EXPECT_FALSE(LoadIni(c));
    EXPECT_EQ(g_nExposure, -5);  // taken before the rectangle is judged
    EXPECT_EQ(c.x[0], 7u);

    WriteFile(calib, "[Calibration]\r\nlPtCount=4\r\nlWinWidth=50\r\nlWinHeight=50\r\nlType=1\r\nlWinLeft=1920\r\n");
    _SCalibration small{};
    EXPECT_TRUE(LoadIni(small));  // the 100-pixel minimum applies to flash records only
    EXPECT_EQ(small.lWinLeft, 1920u);
    EXPECT_EQ(small.lType, 1u);
}

TEST_F(CalibrationIniTest, CountsAboveTheRecordReadOnly36Points) {
    std::string text = "[Calibration]\r\nlPtCount=40\r\nlWinWidth=1920\r\nlWinHeight=1080\r\n";
    for (int i = 0; i < 40; ++i) text += 'x' + std::to_string(i) + '=' + std::to_string(100 + i) + "\r\n";
    WriteFile(calib, text);
    _SCalibration c{};
    ASSERT_TRUE(LoadIni(c));
    EXPECT_EQ(c.lPtCount, 40u);
    EXPECT_EQ(c.x[35], 135u);
}

TEST_F(CalibrationIniTest, SavingFewerPointsLeavesTheOldOnesInPlace) {
    _SCalibration big{};
    big.lPtCount = 25;
    big.lWinWidth = 1920;
    big.lWinHeight = 1080;
    for (int i = 0; i < 25; ++i) big.x[i] = big.y[i] = static_cast<uint32_t>(i + 1);
    SaveIni(big);
    _SCalibration four = big;
    four.lPtCount = 4;
    four.x[0] = 999;
    g_nExposure = -7;
    SaveIni(four);
    EXPECT_EQ(ReadKey(calib, "Calibration", "lPtCount"), "4");
    EXPECT_EQ(ReadKey(calib, "Calibration", "x0"), "999");
    EXPECT_EQ(ReadKey(calib, "Calibration", "x24"), "25");
    EXPECT_EQ(ReadKey(calib, "Calibration", "Exposure"), "-7");
    _SCalibration back{};
    ASSERT_TRUE(LoadIni(back));
    EXPECT_EQ(back.lPtCount, 4u);
    EXPECT_EQ(back.x[0], 999u);
}

TEST_F(CalibrationIniTest, ScreensOfANamedCalibration) {
    WriteFile(ini, "[System]\r\nMultiScreen=2\r\n");
    LoadSettings();
    const std::string entry = "C20261205120000";
    WriteFile(calib,
              "[C20261205120000]\r\nCamScreen0=3\r\nCamScreen1=3\r\nx012=12\r\ny012=21\r\nx112=112\r\n"
              "winleft1=1920\r\nwinwidth1=1280\r\n");
    EXPECT_EQ(FindScreenForCamera(entry, "", 3), 0);  // the first match wins
    EXPECT_EQ(FindScreenForCamera(entry, "", 5), -1);

    g_nPtCount = 25;
    _SCalibration s0 = ReadScreenCalibration(entry, 0);
    EXPECT_EQ(s0.x[12], 12u);
    EXPECT_EQ(s0.y[12], 21u);
    EXPECT_EQ(s0.lWinWidth, 1024u);  // absent keys: 1024 x 768
    EXPECT_EQ(s0.lWinHeight, 768u);
    EXPECT_EQ(s0.lPtCount, 25u);
    _SCalibration s1 = ReadScreenCalibration(entry, 1);
    EXPECT_EQ(s1.x[2], 0u);
    EXPECT_EQ(s1.x[12], 112u);  // "x112" is screen 1, point 12
    EXPECT_EQ(s1.lWinLeft, 1920u);
    EXPECT_EQ(s1.lWinWidth, 1280u);

    g_nPtCount = 100;  // never read past the record
    EXPECT_EQ(ReadScreenCalibration(entry, 0).lPtCount, 100u);
    g_nPtCount = 0;

    // The first named calibration is the section "[]", and a binding written a moment ago is what
    // the next read sees (the file's time stamp may not have moved in between).
    WriteFile(calib, "[System]\r\nActive=\r\n[]\r\nCamScreen0=4\r\n");
    EXPECT_EQ(FindScreenForCamera(ActiveCalibrationEntry(), "", 4), 0);
    for (int camera : {6, 7, 8}) {
        ini::WriteInt(calib, "", "CamScreen0", camera);
        EXPECT_EQ(FindScreenForCamera("", "", camera), 0) << camera;
    }
}
