// Calibrating by hand, as a user does it: the aiming view, the laser prompt, a red cross after
// another found on the screen and held with the virtual pen; then the pen's published points.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "CalibrationRig.h"

using namespace e2e;

// A scripted user calibrates with `ptCount` crosses, and the pen is measured over a 9 x 6 grid.
void CalibrateAndMeasure(int ptCount) {
    Rig rig;
    ASSERT_TRUE(rig.Start(ptCount, false));
    rig.Calibrate(-1);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == std::to_string(ptCount); }, 10000));
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Setting"), "1");
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "PtCount"), std::to_string(ptCount));
    EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin").size(), 8192u);
    const Rig::GridError g = rig.OverGrid();
    printf("SetPtCount %d: mean %.2f px, max %.2f px over a 9 x 6 grid\n", ptCount, g.mean, g.worst);
    EXPECT_EQ(g.missed, 0);
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
        while (PeekMessageA(&msg, inkora, kDrawNotify, kDrawNotify, PM_REMOVE)) notified24 += msg.wParam == 24;
        EXPECT_EQ(notified24, 1);
        EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin"), flash);
        EXPECT_EQ(FileBytes(rig.folder, "Calibration.ini"), ini);
        double err = 0;
        rig.points.reset();  // the flow applied the calibration again: the reader registers anew
        EXPECT_TRUE(rig.Published(700, 400, err) && err < 3);
    }
    DestroyWindow(inkora);
}

// The aiming view shows the camera's live picture, mirrored, while the driver keeps answering. Then
// another program's messages to the main window and to the calibration dialogs, any code and any
// value: the driver neither crashes nor hangs, and the pen works as before.
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
    Sleep(500);
    DWORD worstAnswer = 0;
    std::vector<uint8_t> last;
    int changes = 0, samples = 0;
    for (const DWORD t0 = GetTickCount(); GetTickCount() - t0 < 2000; ++samples) {
        Screen row(box.left, box.top + 240, 640, 1);  // noise changes every picture drawn
        changes += row.px != last;
        last = row.px;
        DWORD_PTR r = 0;
        const DWORD t = GetTickCount();
        EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &r));
        worstAnswer = std::max(worstAnswer, GetTickCount() - t);
    }
    Screen s;
    auto boxAt = [&](double x, double y) { return s.At(box.left + static_cast<int>(std::lround(x)), box.top + static_cast<int>(std::lround(y))); };
    EXPECT_GT(boxAt(639 - cx, cy)[2], 200) << "the pen's spot, mirrored";  // the guide picture is never this red
    EXPECT_LT(boxAt(cx, cy)[2], 150) << "where an unmirrored picture puts it";
    EXPECT_GT(boxAt(639 - gx, gy)[1], boxAt(634, 240)[1] + 10) << "filmed screen brighter than beside it";
    printf("aiming view at 60 fps: %.1f pictures/s drawn (%.1f looks/s), main window answered within %lu ms\n",
           changes / 2.0, samples / 2.0, worstAnswer);
    rig.pen.Up();

    const LPARAM values[] = {0, 1, 2, 10, 0x10, -1, 0x10000, 0x7FFFFFFF, static_cast<LPARAM>(0xDEADBEEF)};
    for (LPARAM v : values) {
        PostMessageA(aim, kCollate, static_cast<WPARAM>(v), v);
        // Codes 4 and 7 open boxes, 9 is a camera loss, 12 and 16 end a calibration: sent below.
        for (WPARAM code = 0; code <= 20; ++code)
            if (code != 4 && code != 7 && code != 9 && code != 12 && code != 16) PostMessageA(rig.main, kProcCmd, code, v);
        PostMessageA(rig.main, kProcCmd, 0xFFFF, v);
        for (UINT message : {0x802u, 0x803u, WM_USER + 2u})
            for (WPARAM w : {WPARAM{0}, static_cast<WPARAM>(v)}) PostMessageA(rig.main, message, w, v);
    }
    PostMessageA(rig.main, kProcCmd, 0, 10);  // laser writing, switched on above, off again
    PostMessageA(aim, WM_COMMAND, IDOK, 0);
    HWND dlg = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dlg = WindowWithChild(rig.driver, 1004)); }, 8000));
    for (LPARAM v : values) {
        PostMessageA(dlg, kCollate, static_cast<WPARAM>(v), v);
        PostMessageA(dlg, kScreenSize, static_cast<WPARAM>(v), v);
    }
    for (WPARAM code : {4u, 7u, 12u, 16u, 0xFFFFFFFFu}) {  // boxes that come up are answered with OK
        PostMessageA(rig.main, kProcCmd, code, 1);
        for (HWND box; (box = WaitForBox(rig.driver, 1500));) PressOk(box);
    }
    DWORD_PTR r = 0;
    EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &r));
    EXPECT_TRUE(rig.driver.Running());
    // The codes above ended a calibration run: the cameras settle and learn the scene again, and a
    // still light in their first frames would be taken for a lamp.
    Sleep(2000);
    double err = 0;
    EXPECT_TRUE(rig.Published(700, 400, err) && err < 3);  // the pen works as before
}
// Two monitors side by side, a camera filming each: one run calibrates both, and afterwards the pen
// on the right monitor drives the cursor there.
TEST(ManualCalibration, TwoMonitorsInOneRun) {
    RECT right{};
    EnumDisplayMonitors(nullptr, nullptr, [](HMONITOR, HDC, LPRECT r, LPARAM out) {
        if (r->left > 0) *reinterpret_cast<RECT*>(out) = *r;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&right));
    if (right.left == 0) GTEST_SKIP() << "needs a desktop of two monitors side by side (ctest e2e.TwoMonitors brings one up)";
    const int w = right.right - right.left, h = right.bottom - right.top;
    Rig rig;
    const std::string cameras = "[Camera0]\r\nK1=-0.12\r\n[Camera1]\r\nProductId=3016\r\nK1=-0.12\r\nScreenRect=" +
                                std::to_string(right.left) + ",0," + std::to_string(w) + "," + std::to_string(h) + "\r\n";
    ASSERT_TRUE(rig.Start(9, false, "MultiScreen=2\r\n", cameras));
    rig.Calibrate(-1);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration", "lScreenIndex") == "1"; }, 10000));
    EXPECT_EQ(rig.folder.ReadKey("Calibration.ini", "Calibration", "lWinLeft"), std::to_string(right.left));
    EXPECT_EQ(rig.folder.ReadKey("Calibration.ini", "Calibration", "lWinWidth"), std::to_string(w));
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Setting"), "1");
    // The detector learns the scene again once a calibration is applied (the right camera's comes
    // last), with the pen still on the last cross: give it the time a user takes to pick the pen up.
    Sleep(5000);
    double sum = 0, worst = 0;
    const int n = 12;  // a 4 x 3 grid on the right monitor
    for (int i = 0; i < n; ++i) {
        const double x = right.left + 60 + i % 4 * (w - 120) / 3.0, y = 60 + i / 4 * (h - 120) / 2.0;
        POINT p{};
        rig.pen.Down(x, y);
        WaitFor([&] { return GetCursorPos(&p) && std::hypot(p.x - x, p.y - y) < 4; }, 2000);
        Sleep(100);
        GetCursorPos(&p);
        rig.pen.Up();
        Sleep(400);  // released, and no double click with the next point
        sum += std::hypot(p.x - x, p.y - y), worst = std::max(worst, std::hypot(p.x - x, p.y - y));
        EXPECT_LE(std::hypot(p.x - x, p.y - y), 6.0) << "pen at " << x << "," << y << ", cursor at " << p.x << "," << p.y;
    }
    printf("second monitor: cursor %.2f px from the pen on average (max %.2f) over a 4 x 3 grid\n", sum / n, worst);
    EXPECT_LE(sum / n, 2.0);
}
