// Calibrating by hand, as a user does it: the aiming view, the laser prompt, a red cross after
// another found on the screen and held with the virtual pen; then the pen's published points.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"
#include "output/SharedMemory.h"

using namespace e2e;

namespace {
constexpr UINT kProcCmd = 0x801, kCollate = 0x84B, kScreenSize = 0xFB9, kDrawNotify = 0x7EB;

struct Screen {  // one grab of the desktop (or of a part from its top left), 32-bit top-down
    int w, h;
    std::vector<uint8_t> px;
    explicit Screen(int left = 0, int top = 0, int width = ScreenWidth(), int height = ScreenHeight())
        : w(width), h(height), px(static_cast<size_t>(w) * h * 4) {
        HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, left, top, SRCCOPY);
        SelectObject(mem, old);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        GetDIBits(mem, bmp, 0, static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
    }
    const uint8_t* At(int x, int y) const { return &px[(static_cast<size_t>(y) * w + x) * 4]; }
    bool Red(int x, int y) const { return At(x, y)[2] > 200 && At(x, y)[1] < 60 && At(x, y)[0] < 60; }
    // The centre of the red cross: the middle of the rows holding a red run of 58 pixels or more.
    bool FindCross(POINT& c) const {
        int rows = 0, sx = 0, sy = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0, run = 0; x < w; ++x) {
                run = Red(x, y) ? run + 1 : 0;
                if (run < 58) continue;
                while (x + 1 < w && Red(x + 1, y)) ++x, ++run;
                sx += x - run / 2, sy += y, ++rows;
                break;
            }
        if (rows == 0) return false;
        c = {sx / rows, sy / rows};
        return true;
    }
};

HWND WindowWithChild(const Driver& d, int childId) {
    for (HWND w : d.Windows(true))
        if (GetDlgItem(w, childId)) return w;
    return nullptr;
}

// A message box of the driver: the calibration windows are dialogs too, but only a box has text 0xFFFF.
HWND WaitForBox(const Driver& d, DWORD timeoutMs = 15000) {
    HWND box = nullptr;
    WaitFor([&] { return (box = WindowWithChild(d, 0xFFFF)); }, timeoutMs);
    return box;
}

void Click(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }

std::string FileBytes(const ProgramFolder& f, const char* name) {
    std::ifstream in(f.Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The driver on a camera with strong lens distortion, its points published to this process.
struct Rig {
    PenControl pen;
    ProgramFolder folder;
    Driver driver;
    HWND main = nullptr;
    HANDLE tableMap = nullptr, pointMap = nullptr;
    const uint8_t* points = nullptr;
    bool bound = false;
    tavori::vcam::Config camera = DefaultCamera();

    bool Start(int ptCount, bool calibrated) {
        camera.k1 = -0.12;
        DeclareVirtualCameras(folder, "[Camera0]\r\nK1=-0.12\r\n");
        folder.Write("Tavori.ini", "[System]\r\nSearchPtType=1\r\nSetPtCount=" + std::to_string(ptCount) + "\r\n");
        if (calibrated) WriteCalibrationIni(folder, CalibrationFromModel(camera, 5));
        if (!driver.Start(folder) || !(main = driver.WaitForMainWindow())) return false;
        if (!WaitFor([&] { return (pointMap = OpenFileMappingA(FILE_MAP_READ, FALSE, "Multi_Lumora_Mappfile_1")); }, 10000)) return false;
        points = static_cast<const uint8_t*>(MapViewOfFile(pointMap, FILE_MAP_READ, 0, 0, kPointShareSize));
        Sleep(2500);  // the detector's start-up learning
        return points != nullptr;
    }
    // Points are published once this process is the camera's ready reader in the screen table.
    bool Bind() {
        if (!tableMap && !WaitFor([&] { return (tableMap = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kMultiScreenName)); }, 5000)) return false;
        auto* t = static_cast<MultiScreenTable*>(MapViewOfFile(tableMap, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(MultiScreenTable)));
        if (!WaitFor([&] { return t->nCount > 0 && t->nCameraId[0] == 1; }, 5000)) return false;
        t->bReady[0] = 1;
        Sleep(2500);  // the detector learns the scene again after a calibration
        return true;
    }
    // Published position of the pen held at (x, y); false when none comes.
    bool Published(double x, double y, double& err) {
        if (!bound && !(bound = Bind())) return false;
        pen.Down(x, y);
        auto error = [&] { _SDetectPoint p{}; memcpy(&p, points + 1, sizeof(p)); return err = std::hypot(p.x - x, p.y - y); };
        const bool seen = WaitFor([&] { return points[0] == 1 && error() < 40; }, 2000);
        Sleep(80);  // a few frames: the position a reader settles on
        error();
        pen.Up();
        WaitFor([&] { return points[0] == 0; }, 1000);
        return seen;
    }
    // Starts a calibration as the tray menu does; the aiming view once it is laid out, and its box.
    HWND Aim(RECT& box) {
        PostMessageA(main, WM_COMMAND, 2037, 0);
        HWND aim = nullptr;
        WaitFor([&] { return (aim = WindowWithChild(driver, 1032)) && GetWindowRect(GetDlgItem(aim, 1032), &box) && box.right - box.left == 640; }, 5000);
        return aim;
    }
    // A calibration run from the aiming view; stops after `crosses` crosses (-1 = all of them).
    void Calibrate(int crosses, bool pressOkAtAiming = true, bool pressOkAtPrompt = true) {
        RECT box{};
        HWND aim = Aim(box);
        ASSERT_TRUE(aim);
        if (!pressOkAtAiming) return Click(aim, IDCANCEL);
        Click(aim, IDOK);
        HWND dlg = nullptr;
        POINT c{};
        ASSERT_TRUE(WaitFor([&] { return (dlg = WindowWithChild(driver, 1004)) && Screen().Red(ScreenWidth() / 2, ScreenHeight() / 2 - 50); }, 8000));
        if (!pressOkAtPrompt) return Click(dlg, IDCANCEL);
        Click(dlg, 1004);
        for (int k = 0; k != crosses && IsWindowVisible(dlg); ++k) {
            if (!WaitFor([&] { return Screen().FindCross(c); }, 3000)) break;
            pen.Down(c.x, c.y);
            POINT next{};
            WaitFor([&] { return !IsWindowVisible(dlg) || (Screen().FindCross(next) && (next.x != c.x || next.y != c.y)); }, 8000);
        }
        pen.Up();
        if (crosses >= 0) Click(dlg, IDCANCEL);
    }
};
}  // namespace

TEST(ManualCalibration, AimingViewShowsTheLivePictureMirroredWhileTheDriverAnswers) {
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
}

// A scripted user calibrates with `ptCount` crosses, and the pen is measured over a 9 x 6 grid.
void CalibrateAndMeasure(int ptCount) {
    Rig rig;
    ASSERT_TRUE(rig.Start(ptCount, false));
    rig.Calibrate(-1);
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == std::to_string(ptCount); }, 10000));
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Setting"), "1");
    EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "PtCount"), std::to_string(ptCount));
    EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin").size(), 8192u);
    double sum = 0, worst = 0, err = 0;
    const int n = 54;  // a 9 x 6 grid
    for (int i = 0; i < n; ++i) {
        const double x = 60 + i % 9 * (ScreenWidth() - 120) / 8.0, y = 60 + i / 9 * (ScreenHeight() - 120) / 5.0;
        EXPECT_TRUE(rig.Published(x, y, err)) << "pen at " << x << "," << y << " not published";
        sum += err, worst = std::max(worst, err);
    }
    printf("SetPtCount %d: mean %.2f px, max %.2f px over a 9 x 6 grid\n", ptCount, sum / n, worst);
    if (ptCount == 4) return;  // four points cannot follow the lens: reported only
    EXPECT_LE(sum / n, 1.0);
    EXPECT_LE(worst, 3.0);
}

TEST(ManualCalibration, TwentyFivePoints) { CalibrateAndMeasure(25); }
TEST(ManualCalibration, FourPoints) { CalibrateAndMeasure(4); }
TEST(ManualCalibration, NinePoints) { CalibrateAndMeasure(9); }
TEST(ManualCalibration, ThirtySixPoints) { CalibrateAndMeasure(36); }

TEST(ManualCalibration, CancelLeavesFilesAndPenAsTheyWere) {
    struct {
        const char* where;
        int crosses;
        bool okAtAiming, okAtPrompt;
    } cases[] = {{"aiming view", 0, false, true}, {"laser prompt", 0, true, false}, {"after 3 crosses", 3, true, true}};
    for (auto c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.Start(25, true));
        HWND inkora = CreateWindowExA(0, "STATIC", "Inkora window", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        const std::string flash = FileBytes(rig.folder, "CameraFlash.bin"), ini = FileBytes(rig.folder, "Calibration.ini");
        rig.Calibrate(c.crosses, c.okAtAiming, c.okAtPrompt);
        PressOk(WaitForBox(rig.driver));  // nothing has changed
        int notified24 = 0;
        MSG msg;
        while (PeekMessageA(&msg, inkora, kDrawNotify, kDrawNotify, PM_REMOVE)) notified24 += msg.wParam == 24;
        EXPECT_EQ(notified24, 1) << c.where;
        EXPECT_EQ(FileBytes(rig.folder, "CameraFlash.bin"), flash) << c.where;
        EXPECT_EQ(FileBytes(rig.folder, "Calibration.ini"), ini) << c.where;
        double err = 0;
        EXPECT_TRUE(rig.Published(700, 400, err) && err < 3) << c.where;
        DestroyWindow(inkora);
    }
}

TEST(ManualCalibration, HostileMessagesNeitherCrashNorHang) {
    Rig rig;
    ASSERT_TRUE(rig.Start(25, true));
    RECT box{};
    HWND aim = rig.Aim(box);
    ASSERT_TRUE(aim);
    const LPARAM values[] = {0, 1, -1, 0x10000, 0x7FFFFFFF, static_cast<LPARAM>(0xDEADBEEF)};
    for (LPARAM v : values) {
        PostMessageA(aim, kCollate, static_cast<WPARAM>(v), v);
        for (WPARAM code : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 10u, 11u, 13u, 14u, 15u, 17u, 0xFFFFu}) PostMessageA(rig.main, kProcCmd, code, v);
    }
    PostMessageA(aim, WM_COMMAND, IDOK, 0);
    HWND dlg = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dlg = WindowWithChild(rig.driver, 1004)); }, 8000));
    for (LPARAM v : values) {
        PostMessageA(dlg, kCollate, static_cast<WPARAM>(v), v);
        PostMessageA(dlg, kScreenSize, static_cast<WPARAM>(v), v);
    }
    for (WPARAM code : {4u, 7u}) {  // codes that bring up boxes: each answered with OK
        PostMessageA(rig.main, kProcCmd, code, 1);
        for (HWND box; (box = WaitForBox(rig.driver, 1500));) PressOk(box);
    }
    DWORD_PTR r = 0;
    EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &r));
    EXPECT_TRUE(rig.driver.Running());
    double err = 0;
    EXPECT_TRUE(rig.Published(700, 400, err) && err < 3);  // the pen works as before
}
