// What the calibration scenarios share: desktop grabs, the driver's dialogs, and a rig of the
// driver on a virtual camera whose published pen points this process reads.
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
#include "calibration/CalibrationMessages.h"
#include "res/resource.h"
#include "win/Messages.h"
#include <optional>
#include <string>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"
#include "libs/irlight/src/mapping.h"
#include "output/SharedMemory.h"

namespace e2e {

// Every monitor at once: the crosses of a second screen are right of the primary one.
inline Screen Desktop() {
    return Screen(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                  GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

inline HWND WindowWithChild(const Driver& d, int childId) {
    for (HWND w : d.Windows(true))
        if (GetDlgItem(w, childId)) return w;
    return nullptr;
}

// A message box of the driver: the calibration windows are dialogs too, but only a box has text 0xFFFF.
inline HWND WaitForBox(const Driver& d, DWORD timeoutMs = 15000) {
    HWND box = nullptr;
    WaitFor([&] { return (box = WindowWithChild(d, 0xFFFF)); }, timeoutMs);
    return box;
}

inline void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }

// The calibration report that ends a run or comes from the tray (1051: its picture), once it shows
// the finished report of `section` (the file no longer says it is being judged); null when none.
inline HWND WaitForReport(const Driver& d, const ProgramFolder& f, const char* section = "Calibration", DWORD timeoutMs = 8000) {
    HWND report = nullptr;
    const bool shown = WaitFor([&] { return (report = WindowWithChild(d, 1051)) && IsWindowVisible(report) &&
                                            f.ReadKey("CalibrationReport.ini", section, "Verdict") != "judging"; }, timeoutMs);
    Sleep(300);  // the window reads the file again when the report comes in
    return shown ? report : nullptr;
}
inline std::string DialogText(HWND dialog, int id) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

inline std::string FileBytes(const ProgramFolder& f, const char* name) {
    std::ifstream in(f.Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The driver on a camera with strong lens distortion, its points published to this process.
struct Rig {
    PenControl pen;
    ProgramFolder folder;
    Driver driver;
    HWND main = nullptr;
    std::optional<CameraPoints> points;  // closed with the rig: no mapping outlives its case
    tavori::vcam::Config camera = DefaultCamera();
    // The detector's learning after a start, as time at the camera's 60 frames a second; waited for
    // as that many frames, which a loaded machine delivers later. Beyond the learning proper (30
    // frames at most) an uncalibrated start needs about two seconds before an automatic run succeeds.
    DWORD learnMs = 2500;
    int cameras = 1;       // each is aimed in turn
    int missCross = -1;    // the cross the scripted user holds the pen 200 px beside
    std::function<void(HWND aim, int camera)> onAim;  // looks at each camera's aiming view
    std::string reportVerdict;  // the report that ended the last automatic calibration ("" for none)

    // Quit as a user does, never killed: a killed driver's balloon outlives it in Wine's tray,
    // which then takes the next case's clicks.
    ~Rig() {
        if (!driver.Running()) return;
        driver.Quit();
        driver.WaitForExitCountingBoxes();
    }

    bool Start(int ptCount, bool calibrated, const std::string& moreSystemKeys = "",
               const std::string& cameras = "[Camera0]\r\nK1=-0.12\r\n") {
        camera.k1 = -0.12;
        folder.Write("VirtualCamera.ini", cameras);
        folder.Write("Tavori.ini", "[System]\r\nSearchPtType=1\r\nSetPtCount=" + std::to_string(ptCount) + "\r\n" + moreSystemKeys);
        if (calibrated) WriteCalibrationIni(folder, CalibrationFromModel(camera, 5));
        if (!(main = driver.Launch(folder))) return false;
        return WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000) && Learn();
    }
    // Every camera has delivered the frames the detector learns from (`frames`: learnMs' worth).
    bool Learn(uint32_t frames = ~0u) const {
        for (int k = 0; k < cameras; ++k)
            if (!WaitForNewFrames(frames != ~0u ? frames : learnMs * 60 / 1000, k)) return false;
        return true;
    }
    // A run's end as the pen meets it. The flow sets the cameras' exposure, lets it settle for a
    // second, restarts the detector 0.4 s later and closes what is still open; the manual window
    // is gone before all that. Waited for as frames from the time no window is left: those 1.4 s,
    // the learning after a run (30 frames) and as much again to spare.
    static constexpr uint32_t kRunEndFrames = 150;
    bool AfterRun() const {
        WaitFor([&] { return driver.Windows(true).empty(); }, 5000);
        return Learn(kRunEndFrames);
    }
    // Points are published once this process is the camera's ready reader in the screen table.
    bool Bind() {
        if (!points.emplace(1, 5000).Ok()) return points.reset(), false;
        return AfterRun();  // the last run has ended, or none was made
    }
    // Published position of the pen held at (x, y); false when none comes. The pen's point is the
    // published one nearest to it: other lights may be in view (Wine's notification-area window
    // sits somewhere on the filmed desktop, and the cameras may not have learnt it as a lamp).
    // `scale`: a calibration that maps onto that part of the screen.
    bool Published(double x, double y, double& err, double scale = 1) {
        if (!points && !Bind()) return false;
        pen.Down(x, y);
        auto nearest = [&] { return points->Nearest(x * scale, y * scale); };
        const bool seen = WaitFor([&] { return (err = nearest()) < 40; }, 2000);
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
            char text[256] = {};
            if (!WaitFor([&] { return IsWindowVisible(aim) && GetDlgItemTextA(aim, 1033, text, 256) && std::string(text).rfind(mark, 0) == 0; }, 8000)) return false;
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
        _SCalibration cal{};
        auto key = [&](const char* format, unsigned i = 0) {
            char k[16];
            std::snprintf(k, sizeof k, format, i);
            return static_cast<uint32_t>(std::strtoul(folder.ReadKey("Calibration.ini", "Calibration", k).c_str(), nullptr, 10));
        };
        cal.lPtCount = key("lPtCount"), cal.lWinWidth = key("lWinWidth"), cal.lWinHeight = key("lWinHeight"), cal.lType = 1;
        for (unsigned i = 0; i < cal.lPtCount && i < 36; ++i) cal.x[i] = key("x%u", i), cal.y[i] = key("y%u", i);
        return cal;
    }
    // The pen held over a 9 x 6 grid: mean and largest distance of the published points; the
    // points that never came count as missed.
    struct GridError {
        double mean = 0, worst = 0;
        int missed = 0;
        POINT lastMissed{-1, -1};
    };
    GridError OverGrid() {
        GridError g;
        double err = 0;
        const int n = 54;
        for (int i = 0; i < n; ++i) {
            const double x = 60 + i % 9 * (ScreenWidth() - 120) / 8.0, y = 60 + i / 9 * (ScreenHeight() - 120) / 5.0;
            if (!Published(x, y, err)) ++g.missed, g.lastMissed = {static_cast<LONG>(x), static_cast<LONG>(y)};
            g.mean += err / n, g.worst = std::max(g.worst, err);
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
inline Rig::GridError RecordGridError(const _SCalibration& cal, const tavori::vcam::Config& camera) {
    tavori::irl::CameraMapping mapping;
    tavori::vcam::LensModel lens;
    Rig::GridError g;
    const bool ok = mapping.fit(cal, camera.width, camera.height) && lens.Init(camera);
    for (int i = 0; i < 54; ++i) {
        const double x = 60 + i % 9 * (ScreenWidth() - 120) / 8.0, y = 60 + i / 9 * (ScreenHeight() - 120) / 5.0;
        double cx, cy, sx = -1e9, sy = 0;
        if (!ok || !lens.Project(x, y, cx, cy) || !mapping.map(cx, cy, sx, sy)) ++g.missed;
        const double err = std::hypot(std::round(sx) - x, std::round(sy) - y);
        g.mean += err / 54, g.worst = std::max(g.worst, err);
    }
    return g;
}
}  // namespace e2e
