// The virtual camera as the scenarios use it: its declaration, a calibration written from its
// lens model (the one a perfect calibration would record), and the pen control block.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Canvas.h"
#include "MultiIRLight.h"
#include "PenBlockWin.h"
#include "DriverHarness.h"
#include "VcamModel.h"
#include "output/SharedMemory.h"

namespace e2e {

class ProgramFolder;

// The screen the driver sees under the test display.
int ScreenWidth();
int ScreenHeight();

// Camera 0 as VirtualCamera.ini declares it by default (the whole primary screen filmed).
tavori::vcam::Config DefaultCamera();

// The integer camera positions a calibration of n x n points records for the camera.
_SCalibration CalibrationFromModel(const tavori::vcam::Config& camera, int n);
void WriteCalibrationIni(const ProgramFolder& folder, const _SCalibration& cal, int exposure = -8, int cameras = 1);
// CameraFlash.bin holding `cal` as the camera's flash record.
void WriteFlashRecord(const ProgramFolder& folder, const _SCalibration& cal);

// The lights, plug state and stream faults of the virtual cameras, written as penctl does. Light 0
// is the pen, the others lamps. The block outlives a scenario while any process holds it: each
// scenario starts and ends with it clean.
class PenControl {
public:
    PenControl();
    ~PenControl() { Clear(); }
    void Down(double x, double y) { Set(0, true, x, y); }
    void Up();
    // The pen from (x, y) by (dx, dy) per step, 20 ms a step after resting firstMs where it touched;
    // it stays down at the end.
    void Stroke(double x, double y, double dx, double dy, int steps, DWORD firstMs = 20);
    // sigma (camera pixels) and intensity (0..1) 0: a pen's own.
    void Set(int light, bool lit, double x, double y, double sigma = 0, double intensity = 0);
    void Unplug(int camera) { Mask(&tavori::vcam::PenBlock::unplugged, camera, true); }
    void Plug(int camera) { Mask(&tavori::vcam::PenBlock::unplugged, camera, false); }
    // Camera 0's stream fails while the camera stays listed / delivers no new frame.
    void Die(bool on) { Mask(&tavori::vcam::PenBlock::deadStream, 0, on); }
    void Stall(bool on) { Mask(&tavori::vcam::PenBlock::stalled, 0, on); }
    // Camera 0 knocked: its view moved (camera pixels) and turned, as penctl shift does.
    void Shift(double dx, double dy, double degrees = 0);
    // What Windows tells the driver's window when a camera is plugged in (virtual cameras come
    // with no such message of their own).
    static void AnnounceArrival(HWND main);

private:
    tavori::vcam::PenBlock* Block() const { return static_cast<tavori::vcam::PenBlock*>(m_block.View()); }
    void Clear();
    void Mask(uint32_t tavori::vcam::PenBlock::*mask, int camera, bool on);
    void Commit();
    tavori::dev::PenBlockMapping m_block;
};

// The frames virtual camera n ([CameraN]) has delivered to the driver so far.
uint32_t FramesDelivered(int camera = 0);
// Waits until camera n has delivered `count` frames more than when called: the driver has read them.
bool WaitForNewFrames(uint32_t count, int camera = 0, DWORD timeoutMs = 10000);
// The detector takes the lights of its first frames after a camera start, a new exposure or a
// calibration's end for lamps (30 frames at most, after automatic exposure): waited for, with a few
// to spare, before a pen touches.
constexpr uint32_t kLearningFrames = 36;

// Camera n's (counted from 1) entry in the screen table; -1 while it has none.
int ScreenEntry(const MultiScreenTable* table, int camera);

// What a drawing program sees of camera n (counted from 1): its screen-table entry and its point
// buffer, both made again whenever the camera restarts, so a view is taken after each start.
class CameraPoints {
public:
    // Waits up to timeoutMs for the entry and the buffer; with `ready` the entry is then marked ready
    // for `reader`, as a drawing program does, and the camera publishes its points there.
    explicit CameraPoints(int camera, DWORD timeoutMs = 10000, bool ready = true, HWND reader = nullptr);
    bool Ok() const { return m_points && m_points->Ok() && Entry() >= 0; }
    int Entry() const { return ScreenEntry(Table(), m_camera); }
    MultiScreenTable* Table() const { return m_table ? m_table->As<MultiScreenTable>() : nullptr; }
    int Count() const { return m_points && m_points->Ok() ? m_points->As<volatile uint8_t>()[0] : -1; }
    // Every point of the buffer as it stands now.
    std::vector<_SDetectPoint> All() const;
    // Distance from (x, y) to the nearest point published; far when there is none.
    double Nearest(double x, double y) const;
    // Frames flow: once bound to its ready entry the listener writes the count on every pass, so a
    // byte set there is overwritten within two passes.
    bool Streaming(DWORD timeoutMs) const;

private:
    int m_camera;
    std::unique_ptr<SharedView> m_table, m_points;
};

// The driver on virtual camera 0 with a calibration written from the camera's model; a driver
// still running at the end is quit (boxes answered), never killed.
struct CalibratedDriver {
    ProgramFolder folder;
    Driver driver;
    HWND main = nullptr;
    _SCalibration cal{};
    int cameras = 1;  // calibrated alike

    ~CalibratedDriver();
    bool Start(const char* settings = "[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\n", int grid = 5, int exposure = -8);
    // The camera streams and the detector's start-up learning is over.
    bool WaitUntilDetecting() const;
    void Quit() const;
};

// The calibrated driver with the canvas in front, the pen working the desktop. A canvas titled as
// the drawing program never turns a pen held still into a right click.
constexpr const char* kDrawingProgram = "Inkora window";
struct CanvasRig {
    PenControl pen;
    CalibratedDriver d;
    std::unique_ptr<Canvas> canvas;

    // VirtualCamera.ini may be written in d.folder before.
    bool Start(const std::string& title = kDrawingProgram, const char* settings = "[System]\r\nSetPtCount=25\r\n");
    std::vector<CanvasEvent> Events(size_t from = 0) const { return canvas->Events(from); }
    std::string Buttons() const { return Canvas::Buttons(Events()); }
    // The canvas logged `what` after its first `from` events.
    bool WaitForEvent(const char* what, size_t from = 0, DWORD timeoutMs = 3000) const;
    bool WaitForButtons(const std::string& expected, DWORD timeoutMs = 3000) const;
    void Touch(double x, double y, DWORD holdMs);
};

}  // namespace e2e
