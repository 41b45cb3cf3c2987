// Saving a finished calibration for a running camera: flash, then the file, then the detector.
#include <fstream>
#include <iterator>

#include "ACamDll.h"
#include "ProgramFolderFixture.h"
#include "capture/ListenThread.h"
#include "output/SharedMemory.h"
#include "storage/FlashRecord.h"

using CalibrationSaveTest = ProgramFolderTest;

TEST_F(CalibrationSaveTest, SaveGoesToFlashFileAndDetectorOfTheCamera) {
    WriteFile(ini, "[System]\r\nSetPtCount=25\r\n");
    LoadSettings();
    ASSERT_EQ(ALC_Initialize(), 1);
    WriteFile(dir + "\\VirtualCamera.ini", "[Camera0]\r\n");
    ASSERT_EQ(CreateMultiScreenShare(), 0);
    {
        CListenThread listener;
        SCapParam param{};
        param.nType = 1;
        param.nWidth = 640;
        param.nHeight = 480;
        ASSERT_EQ(listener.Init(param), 0);
        EXPECT_FALSE(listener.IsCalibrated());  // neither flash nor file held one

        _SCalibration posted{};
        posted.lPtCount = 25;
        posted.lWinWidth = 1920;
        posted.lWinHeight = 1080;
        posted.lScreenIndex = 1;
        posted.lType = 7;
        for (uint32_t i = 0; i < 25; ++i) {
            posted.x[i] = 100 + 20 * (i % 5);
            posted.y[i] = 80 + 15 * (i / 5);
        }
        FlashWrite written = FlashWrite::WriteFailed;
        EXPECT_EQ(listener.SaveCalibration(posted, written), CalibrationSave::Stored);
        EXPECT_EQ(written, FlashWrite::Ok);

        EXPECT_TRUE(listener.IsCalibrated());
        EXPECT_EQ(listener.Calibration().lType, 1u);
        EXPECT_EQ(ReadKey(dir + "\\Calibration.ini", "Calibration", "lWinWidth"), "1920");
        EXPECT_EQ(ReadKey(dir + "\\Calibration.ini", "Calibration", "x24"), "180");
        std::ifstream flash(dir + "\\CameraFlash.bin", std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(flash)), std::istreambuf_iterator<char>());
        ASSERT_EQ(image.size(), 8192u);
        EXPECT_EQ(static_cast<uint8_t>(image[kFlashRecordAddress + 5]), 1920 >> 8);
        EXPECT_EQ(static_cast<uint8_t>(image[kFlashRecordAddress + 6]), 1920 & 0xFF);
        ASSERT_NE(g_pMultiScreen, nullptr);
        EXPECT_EQ(g_pMultiScreen->nCount, 1);
        EXPECT_EQ(g_pMultiScreen->nWidth[0], 1920);
        EXPECT_EQ(g_pMultiScreen->nCameraId[0], 1);
    }
    CloseMultiScreenShare();
    ALC_UnInitialize();
}
