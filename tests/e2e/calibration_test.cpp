// Calibrating by hand, as a user does it: the aiming view, the laser prompt, a red cross after
// another found on the screen and held with the virtual pen; then the pen's published points.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "VirtualRig.h"

using namespace e2e;

// A scripted user calibrates with `ptCount` crosses, reads the report that ends the run, and the pen
// is measured over a 9 x 6 grid.
void CalibrateAndMeasure(int ptCount) {
    Rig rig;
    ASSERT_TRUE(rig.Start(ptCount, false));
    rig.Calibrate(-1);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == std::to_string(ptCount); }, 10000));
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Setting"), "1");
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "PtCount"), std::to_string(ptCount));
    EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin").size(), 8192u);
    // The run ends with its report on the screen; the file keeps every point for the picture.
    HWND report = WaitForReport(rig.driver, rig.folder);
    ASSERT_NE(report, nullptr) << "no report at the end of the run";
    printf("report: %s\n%s", DialogText(report, 1052).c_str(), DialogText(report, 1053).c_str());
    EXPECT_NE(DialogText(report, 1053).find("Mean error: "), std::string::npos);
    char last[8];
    snprintf(last, sizeof(last), "P%d", ptCount - 1);
    EXPECT_FALSE(rig.folder.ReadKey("CalibrationReport.ini", "Calibration", last).empty());
    Click(report, IDOK);
    const Rig::GridError g = rig.OverGrid();
    printf("SetPtCount %d: mean %.2f px, max %.2f px over a 9 x 6 grid\n", ptCount, g.mean, g.worst);
    EXPECT_EQ(g.missed, 0) << "the last at " << g.lastMissed.x << "," << g.lastMissed.y;
    EXPECT_LE(g.mean, 1.0);
    EXPECT_LE(g.worst, 3.0);
}

TEST(ManualCalibration, TwentyFivePoints) { CalibrateAndMeasure(25); }
TEST(ManualCalibration, NinePoints) { CalibrateAndMeasure(9); }
TEST(ManualCalibration, ThirtySixPoints) { CalibrateAndMeasure(36); }

// Three flows cancelled one after another in one run: at the aiming view, at the laser prompt and
// after three crosses.
TEST(ManualCalibration, CancelLeavesFilesAndPenAsTheyWere) {
    Rig rig;
    ASSERT_TRUE(rig.Start(25, true));
    HWND inkora = CreateWindowExA(0, "STATIC", "Inkora window", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    const std::string flash = FileBytes(rig.folder, "CameraFlash.bin"), ini = FileBytes(rig.folder, "Calibration.ini");
    struct {
        const char* where;
        int crosses;
        bool okAtAiming, okAtPrompt;
    } cases[] = {{"aiming view", 0, false, true}, {"laser prompt", 0, true, false}, {"after 3 crosses", 3, true, true}};
    for (auto c : cases) {
        SCOPED_TRACE(c.where);
        rig.Calibrate(c.crosses, c.okAtAiming, c.okAtPrompt);
        PressOk(WaitForBox(rig.driver));  // nothing has changed
        int notified24 = 0;
        MSG msg;
        while (PeekMessageA(&msg, inkora, WM_DRAW_NOTIFY, WM_DRAW_NOTIFY, PM_REMOVE)) notified24 += msg.wParam == DRAW_CALIBRATION_END;
        EXPECT_EQ(notified24, 1);
        EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin"), flash);
        EXPECT_EQ(FileBytes(rig.folder, "Calibration.ini"), ini);
        double err = 0;
        rig.points.reset();  // the flow applied the calibration again: the reader registers anew
        EXPECT_TRUE(rig.Published(700, 400, err) && err < 3);
    }
    DestroyWindow(inkora);
}

// The camera lost in each step of a run (a USB hiccup) and plugged in again: the run ends as a
// Cancel ends it, one message and no window left, nothing stored changes; within 10 s of the plug
// the pen is published where it is, and the driver's memory then stays flat.
TEST(ManualCalibration, ACameraLostInAnyStepEndsTheRunAndThePenWorksOnceItIsBack) {
    for (const auto& [step, command, window] : {std::tuple{"aiming view", ID_MENU_CALIBRATE, 1032}, {"crosses", ID_MENU_CALIBRATE, 1004}, {"squares", ID_MENU_CALIBRATE_AUTO, 1013}}) {
        SCOPED_TRACE(step);
        Rig rig;
        ASSERT_TRUE(rig.Start(25, true, "ApplicationVersion=1\r\n"));  // no laser prompt
        const std::string stored = FileBytes(rig.folder, "Calibration.ini") + FileBytes(rig.folder, "CameraFlash.bin");
        RECT box{};
        HWND aim = rig.Aim(box, static_cast<WPARAM>(command)), shown = nullptr, lost = nullptr;
        if (window != 1032) Click(aim, IDOK);
        ASSERT_TRUE(WaitFor([&, w = window] { return (shown = WindowWithChild(rig.driver, w)) && IsWindowVisible(shown); }, 8000));
        WaitForNewFrames(10), rig.pen.Unplug(0);  // lost while the step reads frames
        ASSERT_NE(lost = WaitForBox(rig.driver, 8000), nullptr);
        EXPECT_EQ(rig.driver.Windows(true), std::vector<HWND>{lost}) << "a calibration window is left";
        PressOk(lost), rig.pen.Plug(0), PenControl::AnnounceArrival(rig.main);
        const DWORD plugged = GetTickCount();
        double err = 0;
        EXPECT_TRUE(rig.Published(700, 400, err) && err < 3 && GetTickCount() - plugged < 10000) << err;
        const SIZE_T memory = rig.driver.Memory();
        Sleep(10000);  // the driver's memory watched over ten seconds
        EXPECT_LT(rig.driver.Memory(), memory + (16u << 20)) << memory;
        EXPECT_TRUE(rig.driver.Windows(true).empty()) << "one message only";
        EXPECT_TRUE(FileBytes(rig.folder, "Calibration.ini") + FileBytes(rig.folder, "CameraFlash.bin") == stored);
    }
}

// A run whose pen was beside one cross is refused and says so: files and pen keep the calibration
// from before. A named calibration holds the one in force when it is made, and Set active brings it
// back whatever came since. The calibration at start maps the whole camera view onto the screen's
// top left quarter, so a pen mapped by it is told apart.
TEST(ManualCalibration, ARefusedRunKeepsTheCalibrationBeforeAndANamedOneBringsItsOwnBack) {
    Rig rig;
    rig.camera.k1 = -0.12;
    _SCalibration quarter = CalibrationFromModel(rig.camera, 5);
    quarter.lWinWidth /= 2, quarter.lWinHeight /= 2;
    WriteCalibrationIni(rig.folder, quarter);
    ASSERT_TRUE(rig.Start(9, false));
    double err = 0;
    auto penAt = [&](double scale) { return rig.points.reset(), rig.Published(700, 400, err, scale) && err < 3; };
    auto files = [&] { return FileBytes(rig.folder, "Calibration.ini") + FileBytes(rig.folder, "CameraFlash.bin"); };
    auto options = [&](bool setActive) {  // New with the name "first", or Set active on it
        PostMessageA(rig.main, WM_COMMAND, ID_MENU_OPTIONS, 0);
        HWND dlg = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (dlg = FindWindowA(nullptr, "Calibrations")) && IsWindowVisible(dlg); }, 5000));
        if (setActive) {
            SendDlgItemMessageA(dlg, 1023, LB_SETCURSEL, 1, 0), Click(dlg, 1024);
            // Applied once it is recorded as the active entry.
            ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "System", "Active") != "<missing>"; }, 5000));
        }
        else {
            Click(dlg, 1027);  // New makes the name writable
            ASSERT_TRUE(WaitFor([&] { return !(GetWindowLongA(GetDlgItem(dlg, 1021), GWL_STYLE) & ES_READONLY); }, 3000));
            SetDlgItemTextA(dlg, 1021, "first"), Click(dlg, 1022);
            ASSERT_TRUE(WaitFor([&] { return !rig.folder.ReadKey("Calibration.ini", "System", "End").empty(); }, 3000));
            Click(dlg, IDCANCEL);
        }
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(dlg); }, 5000));
    };
    options(false);
    const std::string before = files();
    rig.missCross = 4, rig.Calibrate(-1);
    EXPECT_NE(MessageBoxText(WaitForBox(rig.driver)).find(L"could not be used"), std::wstring::npos);
    PressOk(WaitForBox(rig.driver));
    EXPECT_TRUE(files() == before);
    EXPECT_TRUE(penAt(0.5)) << "the refused run: " << err;
    rig.missCross = -1, rig.Calibrate(-1);
    if (HWND report = WaitForReport(rig.driver, rig.folder)) Click(report, IDOK);
    EXPECT_TRUE(penAt(1)) << "the new run: " << err;
    options(true);
    EXPECT_TRUE(penAt(0.5)) << "set active on the first entry: " << err;
}

// The aiming view shows the camera's live picture, mirrored, while the driver keeps answering. Then
// another program's messages to the main window and to the calibration dialogs, any code and any
// value: the driver neither crashes nor hangs, the pen works as before, and a flood of requests to
// calibrate opens one run at a time.
TEST(ManualCalibration, AimingViewShowsTheLivePictureMirroredAndHostileMessagesNeitherCrashNorHang) {
    Rig rig;
    ASSERT_TRUE(rig.Start(25, true));
    RECT box{};
    HWND aim = rig.Aim(box);
    ASSERT_TRUE(aim);
    tavori::vcam::LensModel lens;
    ASSERT_TRUE(lens.Init(rig.camera));
    double cx = 0, cy = 0, gx = 0, gy = 0;
    lens.Project(300, 300, cx, cy);
    lens.Project(300, 700, gx, gy);
    rig.pen.Down(300, 300);
    auto boxAt = [&](const Screen& s, double x, double y) { return s.At(box.left + static_cast<int>(std::lround(x)), box.top + static_cast<int>(std::lround(y))); };
    // The pen's spot, mirrored (the guide picture is never this red): one pixel grabbed a look.
    const int spotX = box.left + static_cast<int>(std::lround(639 - cx)), spotY = box.top + static_cast<int>(std::lround(cy));
    EXPECT_TRUE(WaitFor([&] { return Screen(spotX, spotY, 1, 1).At(0, 0)[2] > 200; }, 3000)) << "the pen's spot, mirrored";
    WaitForNewFrames(30);  // the live picture shown a while before the window is timed
    DWORD_PTR r = 0;
    for (const DWORD t0 = GetTickCount(); GetTickCount() - t0 < 2000; Sleep(20))  // two seconds of live picture
        EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &r)) << "the main window stopped answering";
    const Screen s;
    EXPECT_LT(boxAt(s, cx, cy)[2], 150) << "where an unmirrored picture puts it";
    EXPECT_GT(boxAt(s, 639 - gx, gy)[1], boxAt(s, 634, 240)[1] + 10) << "filmed screen brighter than beside it";
    rig.pen.Up();

    const LPARAM values[] = {0, 1, 2, 10, 0x10, -1, 0x10000, 0x7FFFFFFF, static_cast<LPARAM>(0xDEADBEEF)};
    for (LPARAM v : values) {
        PostMessageA(aim, WM_COLLATE, static_cast<WPARAM>(v), v);
        // Codes 4 and 7 open boxes, 9 is a camera loss, 12 and 16 end a calibration: sent below.
        for (WPARAM code = 0; code <= 20; ++code)
            if (code != PROC_CALIBRATION_FAILED && code != PROC_ASK_RECALIBRATION && code != PROC_CAMERA_LOST &&
                code != PROC_CALIBRATION_CANCEL && code != PROC_IMAGE_POSITION_OK) PostMessageA(rig.main, WM_PROC_CMD, code, v);
        PostMessageA(rig.main, WM_PROC_CMD, 0xFFFF, v);
        for (UINT message : {0x802u, 0x803u, WM_USER + 2u})
            for (WPARAM w : {WPARAM{0}, static_cast<WPARAM>(v)}) PostMessageA(rig.main, message, w, v);
    }
    PostMessageA(rig.main, WM_PROC_CMD, 0, 10);  // laser writing, switched on above, off again
    PostMessageA(aim, WM_COMMAND, IDOK, 0);
    HWND dlg = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dlg = WindowWithChild(rig.driver, 1004)); }, 8000));
    for (LPARAM v : values) {
        PostMessageA(dlg, WM_COLLATE, static_cast<WPARAM>(v), v);
        PostMessageA(dlg, WM_SCREEN_SIZE, static_cast<WPARAM>(v), v);
    }
    for (WPARAM code : {4u, 7u, 12u, 16u, 0xFFFFFFFFu}) {  // boxes that come up are answered with OK
        PostMessageA(rig.main, WM_PROC_CMD, code, 1);
        for (HWND box; (box = WaitForBox(rig.driver, 1500));) PressOk(box);
    }
    EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &r));
    EXPECT_TRUE(rig.driver.Running());
    // The codes above ended a calibration run: the cameras settle and learn the scene again, and a
    // still light in their first frames would be taken for a lamp.
    ASSERT_TRUE(rig.AfterRun());
    double err = 0;
    EXPECT_TRUE(rig.Published(700, 400, err) && err < 3);  // the pen works as before

    // Requests to calibrate and codes 4 and 7 by the thousand while a run is on, every box answered
    // Yes: one run at a time, never a window over another, the driver answering.
    ASSERT_TRUE(rig.Aim(box));
    for (int i = 0; i < 4500; ++i) PostMessageA(rig.main, i % 3 ? WM_PROC_CMD : WM_COMMAND, i % 3 ? 4 + i % 3 % 2 * 3 : ID_MENU_COLLEAT, i % 3 != 0);
    for (int boxes = 0; HWND yes = boxes++ < 20 && SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &r) ? WaitForBox(rig.driver, 2000) : nullptr;)
        PostMessageA(yes, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &r));
    // A screen probe measures for half a second, then one window at most is left.
    EXPECT_TRUE(WaitFor([&] { return rig.driver.Windows(true).size() <= 1; }, 3000)) << rig.driver.Windows(true).size();
}
namespace {
// The monitor beside the primary one (a zero rectangle when there is none) and the virtual cameras
// filming each: the second camera sees the other monitor.
RECT OtherMonitor() {
    RECT other{};
    EnumDisplayMonitors(nullptr, nullptr, [](HMONITOR, HDC, LPRECT r, LPARAM out) {
        if (r->left) *reinterpret_cast<RECT*>(out) = *r;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&other));
    return other;
}
std::string CameraPerMonitor(const RECT& other) {
    return "[Camera0]\r\nK1=-0.12\r\n[Camera1]\r\nProductId=3016\r\nK1=-0.12\r\nScreenRect=" + std::to_string(other.left) + ",0," +
           std::to_string(other.right - other.left) + "," + std::to_string(other.bottom - other.top) + "\r\n";
}
// The cursor from the pen over a 3 x 2 grid of the monitor: the mean distance.
double CursorErrorOver(PenControl& pen, const RECT& m) {
    double mean = 0;
    for (int i = 0; i < 6; ++i) {
        const double x = m.left + 60 + i % 3 * (m.right - m.left - 120) / 2.0, y = m.top + 60 + i / 3 * (m.bottom - m.top - 120.0);
        POINT p{};
        pen.Down(x, y);
        WaitFor([&] { return GetCursorPos(&p) && std::hypot(p.x - x, p.y - y) < 4; }, 2000);
        WaitForNewFrames(6), GetCursorPos(&p), pen.Up();  // where the cursor settles
        Sleep(400);  // released a while: no double click with the next
        mean += std::hypot(p.x - x, p.y - y) / 6;
    }
    return mean;
}
}  // namespace

// Two monitors, a camera filming each (ctest e2e.TwoMonitors; TAVORI_PRIMARY=right puts the other
// monitor left of the primary one, at negative coordinates). Each aiming view shows its own camera
// alone, on the monitor it films; after one run calibrates both monitors, a restart, and the
// primary's camera unplugged and back (the other's capture index shifts meanwhile), each pen lands
// on its own monitor.
TEST(TwoMonitors, EachCameraKeepsItsMonitorAcrossARestartAndAnUnplug) {
    const RECT other = OtherMonitor();
    if (!other.left) GTEST_SKIP() << "needs a desktop of two monitors (ctest e2e.TwoMonitors brings one up)";
    const RECT primary{0, 0, ScreenWidth(), ScreenHeight()};
    const int w = other.right - other.left, h = other.bottom - other.top;
    Rig rig;
    rig.cameras = 2;
    // The pen on the primary's left quarter, a light on the other's right quarter: each camera's spot,
    // mirrored, lies in its own half of its picture, and never in the other half.
    rig.onAim = [&](HWND aim, int camera) {
        RECT box{};
        GetWindowRect(GetDlgItem(aim, 1032), &box);
        rig.pen.Down(primary.right / 4.0, primary.bottom / 2.0), rig.pen.Set(1, true, other.left + 0.75 * w, h / 2.0);
        int bright[2] = {};
        auto grab = [&] {
            const Screen grabbed(box.left, box.top, 640, 480);
            bright[0] = bright[1] = 0;
            for (int i = 0; i < 640 * 480; ++i) bright[i % 640 < 320] += grabbed.At(i % 640, i / 640)[1] > 200;
            return bright[camera] > 0;
        };
        WaitFor(grab, 3000);
        for (int k = 0; k < 10; ++k, Sleep(50), grab())  // watched for half a second
            EXPECT_TRUE(bright[camera] && !bright[1 - camera]) << "camera " << camera + 1 << ": " << bright[0] << " " << bright[1];
        rig.pen.Up(), rig.pen.Set(1, false, 0, 0);
    };
    ASSERT_TRUE(rig.Start(9, false, "MultiScreen=2\r\n", CameraPerMonitor(other)));
    rig.Calibrate(-1);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration2", "lWinLeft") == std::to_string(other.left); }, 15000));
    rig.driver.Quit();
    Driver again;
    ASSERT_TRUE(rig.driver.WaitForExit() && again.Start(rig.folder));
    for (const char* when : {"after a restart", "after an unplug"}) {
        if (strstr(when, "unplug")) rig.pen.Unplug(0), PressOk(WaitForBox(again)), rig.pen.Plug(0), PenControl::AnnounceArrival(again.WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1") && MappingExists("Multi_Lumora_Mappfile_2"); }, 15000));
        ASSERT_TRUE(rig.Learn());
        for (const RECT& m : {primary, other}) EXPECT_LE(CursorErrorOver(rig.pen, m), 2.0) << when << ", monitor at " << m.left;
    }
}

// The automatic calibration with two cameras on two monitors: each camera is calibrated in turn on
// the monitor it films, and each pen lands on its own monitor.
TEST(TwoMonitors, TheAutomaticCalibrationCalibratesEachCameraOnItsMonitor) {
    const RECT other = OtherMonitor();
    if (!other.left) GTEST_SKIP() << "needs a desktop of two monitors (ctest e2e.TwoMonitors brings one up)";
    Rig rig;
    rig.cameras = 2;
    ASSERT_TRUE(rig.Start(25, false, "MultiScreen=2\r\nApplicationVersion=1\r\n", CameraPerMonitor(other)));  // no laser prompt
    ASSERT_GE(rig.AutoCalibrate(), 0);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration2", "lWinLeft") == std::to_string(other.left); }, 20000));
    ASSERT_TRUE(rig.AfterRun());
    for (const RECT& m : {RECT{0, 0, ScreenWidth(), ScreenHeight()}, other})
        EXPECT_LE(CursorErrorOver(rig.pen, m), 2.0) << "monitor at " << m.left;
}
