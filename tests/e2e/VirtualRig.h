// The virtual camera as the scenarios use it: its declaration, a calibration written from its
// lens model (the one a perfect calibration would record), the pen control block, and the rig of a
// driver on it with its dialogs and published points.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Canvas.h"
#include "MultiIRLight.h"
#include "PenBlockWin.h"
#include "DriverHarness.h"
#include "VcamModel.h"
#include "calibration/CalibrationMessages.h"
#include "libs/irlight/src/mapping.h"
#include "output/SharedMemory.h"
#include "res/resource.h"
#include "win/Messages.h"

namespace e2e {

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
    // The exposure camera 0 last applied (flags 2: set by hand), as penctl exposure shows it.
    std::pair<int, int> Exposure() const { const volatile auto& e = Block()->exposure[0]; return {e.value, e.flags}; }
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

// A top-level window of the driver holding child `childId`: a message box has text 0xFFFF (the
// calibration windows are dialogs too).
inline HWND WindowWithChild(const Driver& d, int childId) {
    for (HWND w : d.Windows(true))
        if (GetDlgItem(w, childId)) return w;
    return nullptr;
}
inline HWND WaitForBox(const Driver& d, DWORD timeoutMs = 15000) {
    HWND box = nullptr;
    WaitFor([&] { return (box = WindowWithChild(d, 0xFFFF)); }, timeoutMs);
    return box;
}
inline void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }
inline std::string DialogText(HWND dialog, int id) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}
// The calibration report that ends a run or comes from the tray (1051: its picture), once it shows
// the finished report of `section` (the file no longer says it is being judged); null when none.
inline HWND WaitForReport(const Driver& d, const ProgramFolder& f, const char* section = "Calibration", DWORD timeoutMs = 8000) {
    HWND report = nullptr;
    const bool shown = WaitFor([&] { return (report = WindowWithChild(d, 1051)) && IsWindowVisible(report) &&
                                            f.ReadKey("CalibrationReport.ini", section, "Verdict") != "judging"; }, timeoutMs);
    Sleep(300);  // the window reads the file again when the report comes in
    return shown ? report : nullptr;
}
inline std::string FileBytes(const ProgramFolder& f, const char* name) {
    std::ifstream in(f.Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
// Every monitor at once: the crosses of a second screen are right of the primary one.
inline Screen Desktop() {
    return Screen(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                  GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
}
// Point i of the 9 x 6 grid over which a calibration is measured.
inline void GridPoint(int i, double& x, double& y) {
    x = 60 + i % 9 * (ScreenWidth() - 120) / 8.0, y = 60 + i / 9 * (ScreenHeight() - 120) / 5.0;
}

// The driver on virtual camera 0 (and `cameras` more) in a folder of its own, its pen, and the points
// it publishes to this process. A driver still running at the end is quit as a user does, boxes
// answered, never killed: a killed driver's balloon outlives it in Wine's tray, which then takes the
// next case's clicks.
struct Rig {
    PenControl pen;
    ProgramFolder folder;
    Driver driver;
    HWND main = nullptr;
    tavori::vcam::Config camera = DefaultCamera();
    _SCalibration cal{};  // the calibration Start wrote
    int cameras = 1;      // calibrated alike; each is aimed in turn
    // The detector's learning after a start, in each camera's frames: 30 at most for the learning
    // proper, but an uncalibrated start needs about two seconds before an automatic run succeeds.
    uint32_t learnFrames = 150;
    std::optional<CameraPoints> points;  // closed with the rig: no mapping outlives its case
    int missCross = -1;    // the cross the scripted user holds the pen 200 px beside
    std::function<void(HWND aim, int camera)> onAim;  // looks at each camera's aiming view
    std::string reportVerdict;  // the report that ended the last automatic calibration ("" for none)

    ~Rig() {
        if (driver.Running()) Quit(), driver.WaitForExitCountingBoxes();
    }
    void Quit() const { driver.Quit(); }
    // Tavori.ini holding `settings` and a calibration of grid x grid points from the camera's model
    // (0: none); the driver started, its main window there.
    static constexpr const char* kSettings = "[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\n";
    bool Launch(const std::string& settings = kSettings, int grid = 5, int exposure = -8) {
        folder.Write("Tavori.ini", settings);
        if (grid) WriteCalibrationIni(folder, cal = CalibrationFromModel(camera, grid), exposure, cameras);
        return (main = driver.Launch(folder)) != nullptr;
    }
    // The same, and the detector's start-up learning over.
    bool Start(const std::string& settings = kSettings, int grid = 5, int exposure = -8) { return Launch(settings, grid, exposure) && WaitUntilDetecting(); }
    // A camera with strong lens distortion, SetPtCount `ptCount`: started, and its learning over.
    bool Start(int ptCount, bool calibrated, const std::string& moreSystemKeys = "",
               const std::string& cameraIni = "[Camera0]\r\nK1=-0.12\r\n") {
        camera.k1 = -0.12;
        folder.Write("VirtualCamera.ini", cameraIni);
        return Launch("[System]\r\nSearchPtType=1\r\nSetPtCount=" + std::to_string(ptCount) + "\r\n" + moreSystemKeys, calibrated ? 5 : 0) &&
               WaitUntilDetecting(learnFrames);
    }
    // The camera streams and the detector's start-up learning is over.
    bool WaitUntilDetecting(uint32_t frames = kLearningFrames) const {
        return WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000) && Learn(frames);
    }
    // Every camera has delivered `frames` frames more (0: learnFrames).
    bool Learn(uint32_t frames = 0) const {
        for (int k = 0; k < cameras; ++k)
            if (!WaitForNewFrames(frames ? frames : learnFrames, k)) return false;
        return true;
    }
    // A run's end as the pen meets it. The flow sets the cameras' exposure, lets it settle for a
    // second, restarts the detector 0.4 s later and closes what is still open; the manual window
    // is gone before all that. Waited for as frames from the time no window is left: those 1.4 s,
    // the learning after a run (30 frames) and as much again to spare.
    bool AfterRun() const {
        WaitFor([&] { return driver.Windows(true).empty(); }, 5000);
        return Learn(150);
    }
    // Points are published once this process is the camera's ready reader in the screen table.
    bool Bind() {
        if (!points.emplace(1).Ok()) return points.reset(), false;
        return AfterRun();  // the last run has ended, or none was made
    }
    // Published position of the pen held at (x, y); false when none comes. The pen's point is the
    // published one nearest to it: other lights may be in view (Wine's notification-area window
    // sits somewhere on the filmed desktop, and the cameras may not have learnt it as a lamp).
    // `scale`: a calibration that maps onto that part of the screen; `timeoutMs` for it to come.
    bool Published(double x, double y, double& err, double scale = 1, DWORD timeoutMs = 2000) {
        if (!points && !Bind()) return false;
        pen.Down(x, y);
        auto nearest = [&] { return points->Nearest(x * scale, y * scale); };
        const bool seen = WaitFor([&] { return (err = nearest()) < 40; }, timeoutMs);
        WaitForNewFrames(5, 0, 1000);  // the position a reader settles on
        err = nearest();
        pen.Up();
        WaitFor([&] { return nearest() >= 40; }, 1000);
        return seen;
    }
    // Starts a calibration as the tray menu does (by hand, or ID_MENU_CALIBRATE_AUTO); the aiming view
    // once it is laid out, and its box.
    HWND Aim(RECT& box, WPARAM command = ID_MENU_CALIBRATE) {
        PostMessageA(main, WM_COMMAND, command, 0);
        HWND aim = nullptr;
        WaitFor([&] { return (aim = WindowWithChild(driver, 1032)) && GetWindowRect(GetDlgItem(aim, 1032), &box) && box.right - box.left == 640; }, 5000);
        return aim;
    }
    // OK in the aiming view of every camera, once onAim has looked at it.
    bool ConfirmAim(HWND aim) {
        for (int k = 1; k <= cameras; ++k) {
            const std::string mark = cameras > 1 ? "Camera " + std::to_string(k) + "/" : "(1)";
            if (!WaitFor([&] { return IsWindowVisible(aim) && DialogText(aim, 1033).rfind(mark, 0) == 0; }, 8000)) return false;
            if (onAim) onAim(aim, k - 1);
            Click(aim, IDOK);
        }
        return true;
    }
    // The automatic calibration as a user runs it: the command, OK in the aiming view, nothing else.
    // Seconds from OK to the saved record, or a negative number when none is saved.
    double AutoCalibrate(const char* ptCount = "25") {
        folder.Remove("Calibration.ini");
        RECT box{};
        HWND aim = Aim(box, ID_MENU_CALIBRATE_AUTO);
        const DWORD ok = GetTickCount();
        if (!aim || !ConfirmAim(aim)) return -1;
        if (!WaitFor([&] { return folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == ptCount; }, 15000)) return -1;
        const double seconds = (GetTickCount() - ok) / 1000.0;
        // The flow closes its windows and ends with the report, closed here with OK as a user does.
        HWND report = WaitForReport(driver, folder);
        reportVerdict = report ? DialogText(report, 1052) : "";
        if (report) Click(report, IDOK);
        AfterRun();
        return seconds;
    }
    // The calibration the driver saved in Calibration.ini (first camera).
    _SCalibration SavedRecord() const {
        _SCalibration saved{};
        auto key = [&](const char* format, unsigned i = 0) {
            char k[16];
            std::snprintf(k, sizeof k, format, i);
            return static_cast<uint32_t>(std::strtoul(folder.ReadKey("Calibration.ini", "Calibration", k).c_str(), nullptr, 10));
        };
        saved.lPtCount = key("lPtCount"), saved.lWinWidth = key("lWinWidth"), saved.lWinHeight = key("lWinHeight"), saved.lType = 1;
        for (unsigned i = 0; i < saved.lPtCount && i < 36; ++i) saved.x[i] = key("x%u", i), saved.y[i] = key("y%u", i);
        return saved;
    }
    // The pen held over the 9 x 6 grid: mean and largest distance of the published points; the
    // points that never came count as missed.
    struct GridError {
        double mean = 0, worst = 0;
        int missed = 0;
        POINT lastMissed{-1, -1};
    };
    GridError OverGrid() {
        GridError g;
        double x = 0, y = 0, err = 0;
        for (int i = 0; i < 54; ++i) {
            GridPoint(i, x, y);
            if (!Published(x, y, err)) ++g.missed, g.lastMissed = {static_cast<LONG>(x), static_cast<LONG>(y)};
            g.mean += err / 54, g.worst = std::max(g.worst, err);
        }
        return g;
    }
    // A calibration run from the aiming view; stops after `crosses` crosses (-1 = all of them).
    void Calibrate(int crosses, bool pressOkAtAiming = true, bool pressOkAtPrompt = true) {
        RECT box{};
        HWND aim = Aim(box);
        ASSERT_TRUE(aim);
        if (!pressOkAtAiming) return Click(aim, IDCANCEL);
        ASSERT_TRUE(ConfirmAim(aim));
        HWND dlg = nullptr;
        POINT c{};
        ASSERT_TRUE(WaitFor([&] { return (dlg = WindowWithChild(driver, 1004)) && Screen().Red(ScreenWidth() / 2, ScreenHeight() / 2 - 50); }, 8000));
        if (!pressOkAtPrompt) return Click(dlg, IDCANCEL);
        HWND ok = GetDlgItem(dlg, 1004);
        for (int k = 0; k != crosses && IsWindowVisible(dlg); ++k) {
            // Every screen starts at the laser prompt: OK whenever it is offered, the pen lifted first (a
            // pen left on the last cross may stand in another screen's camera's view).
            if (!WaitFor([&] { return (IsWindowEnabled(ok) && (pen.Up(), Click(dlg, 1004), false)) || Desktop().FindCross(c); }, 8000)) break;
            pen.Down(c.x + (k == missCross ? 200 : 0), c.y);
            POINT next{};
            WaitFor([&] { return !IsWindowVisible(dlg) || IsWindowEnabled(ok) || (Desktop().FindCross(next) && (next.x != c.x || next.y != c.y)); }, 8000);
        }
        pen.Up();
        if (crosses >= 0) Click(dlg, IDCANCEL);
    }
};

// The points the driver publishes (whole pixels) for the pen at its exact camera positions over
// the 9 x 6 grid, through the mapping the detector fits to a record: the calibration's error
// alone, without the detector's centroid.
inline Rig::GridError RecordGridError(const _SCalibration& record, const tavori::vcam::Config& camera) {
    tavori::irl::CameraMapping mapping;
    tavori::vcam::LensModel lens;
    Rig::GridError g;
    const bool ok = mapping.fit(record, camera.width, camera.height) && lens.Init(camera);
    for (int i = 0; i < 54; ++i) {
        double x, y, cx, cy, sx = -1e9, sy = 0;
        GridPoint(i, x, y);
        if (!ok || !lens.Project(x, y, cx, cy) || !mapping.map(cx, cy, sx, sy)) ++g.missed;
        const double err = std::hypot(std::round(sx) - x, std::round(sy) - y);
        g.mean += err / 54, g.worst = std::max(g.worst, err);
    }
    return g;
}

// The calibrated driver with the canvas in front, the pen working the desktop. A canvas titled as
// the drawing program never turns a pen held still into a right click.
constexpr const char* kDrawingProgram = "Inkora window";
struct CanvasRig : Rig {
    std::unique_ptr<Canvas> canvas;

    // VirtualCamera.ini may be written in the folder before.
    bool Start(const std::string& title = kDrawingProgram, const char* settings = "[System]\r\nSetPtCount=25\r\n") {
        if (!Launch(settings)) return false;
        canvas = std::make_unique<Canvas>(folder.Path("canvas.log"), title);
        return canvas->Ready() && WaitUntilDetecting();
    }
    std::vector<CanvasEvent> Events(size_t from = 0) const { return canvas->Events(from); }
    std::string Buttons() const { return Canvas::Buttons(Events()); }
    // The canvas logged `what` after its first `from` events.
    bool WaitForEvent(const char* what, size_t from = 0, DWORD timeoutMs = 3000) const {
        return WaitFor([&] {
            const auto events = Events();
            return std::any_of(events.begin() + static_cast<long>(std::min(from, events.size())), events.end(), [&](const CanvasEvent& e) { return e.what == what; });
        }, timeoutMs);
    }
    bool WaitForButtons(const std::string& expected, DWORD timeoutMs = 3000) const {
        return WaitFor([&] { return Buttons() == expected; }, timeoutMs);
    }
    void Touch(double x, double y, DWORD holdMs) {
        pen.Down(x, y);
        Sleep(holdMs);  // the touch's length
        pen.Up();
    }
};

}  // namespace e2e
