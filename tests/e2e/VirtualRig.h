// The virtual camera as the scenarios use it: its declaration, a calibration written from its
// lens model (the one a perfect calibration would record), and the pen control block.
#pragma once
#include <windows.h>

#include <string>

#include "MultiIRLight.h"
#include "PenBlockWin.h"
#include "DriverHarness.h"
#include "VcamModel.h"

namespace e2e {

class ProgramFolder;

// The screen the driver sees under the test display.
int ScreenWidth();
int ScreenHeight();

// Camera 0 as VirtualCamera.ini declares it by default (the whole primary screen filmed).
tavori::vcam::Config DefaultCamera();
void DeclareVirtualCameras(const ProgramFolder& folder, const std::string& sections);

// The integer camera positions a calibration of n x n points records for the camera.
_SCalibration CalibrationFromModel(const tavori::vcam::Config& camera, int n);
void WriteCalibrationIni(const ProgramFolder& folder, const _SCalibration& cal);
// CameraFlash.bin holding `cal` as the camera's flash record.
void WriteFlashRecord(const ProgramFolder& folder, const _SCalibration& cal);

// The pens and the plug state of the virtual cameras, written as penctl does.
class PenControl {
public:
    PenControl();
    void Down(double x, double y);
    void Up();
    void Unplug(int camera);
    void Plug(int camera);

private:
    void Commit();
    tavori::dev::PenBlockMapping m_block;
};

// The driver on virtual camera 0 with a calibration written from the camera's model.
struct CalibratedDriver {
    ProgramFolder folder;
    Driver driver;
    HWND main = nullptr;
    _SCalibration cal{};

    bool Start(const char* settings = "[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\n");
    // The camera streams and the detector's start-up learning is over.
    bool WaitUntilDetecting() const;
    void Quit() const;
};

}  // namespace e2e
