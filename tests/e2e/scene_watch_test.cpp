// The driver watching its camera's view: a camera knocked after its calibration, slides changing on
// a camera that stays, a lamp in view. What it says shows as Wine's balloon: a tooltip window of
// balloon style, which appears only while a notification-area balloon is up.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "VirtualRig.h"

using namespace e2e;

namespace {
constexpr LPARAM kBalloonClick = WM_USER + 5;  // NIN_BALLOONUSERCLICK
const char* const kRoomCamera = "[Camera0]\r\nK1=-0.12\r\nRoom=1\r\n";

BOOL CALLBACK CountBalloon(HWND h, LPARAM count) {
    char cls[32] = {};
    GetClassNameA(h, cls, sizeof cls);
    *reinterpret_cast<int*>(count) += !std::strcmp(cls, TOOLTIPS_CLASSA) && IsWindowVisible(h) && (GetWindowLongA(h, GWL_STYLE) & TTS_BALLOON);
    return TRUE;
}
int Balloons() {
    int n = 0;
    EnumWindows(CountBalloon, reinterpret_cast<LPARAM>(&n));
    return n;
}

// A calibrated driver on a camera that films a wall around the screen, its scene kept.
void CalibrateAndKeepTheScene(Rig& rig) {
    ASSERT_TRUE(rig.Start(25, false, "ApplicationVersion=1\r\n", kRoomCamera));  // no laser prompt
    ASSERT_GE(rig.AutoCalibrate(), 0);
    ASSERT_TRUE(WaitFor([&] { return FileBytes(rig.folder, "CalibrationScene.bin").size() > 1000; }, 10000));
}

// Slides in front of everything, a new one every second (dark, bright or blocks), from a thread
// of this process.
class Slides {
public:
    Slides() : m_thread([this] { Run(); }) {}
    ~Slides() { m_stop = true, m_thread.join(); }

private:
    void Run() {
        const int W = ScreenWidth(), H = ScreenHeight();
        HWND w = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, W, H, nullptr, nullptr, nullptr, nullptr);
        for (int slide = 0; !m_stop; ++slide) {
            HDC dc = GetDC(w);
            for (int k = 0; k < 48; ++k) {
                const RECT r{k % 8 * W / 8, k / 8 * H / 6, (k % 8 + 1) * W / 8, (k / 8 + 1) * H / 6};
                FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject((k * 7 + slide * 5) % 11 < 4 || slide % 3 == 0 ? BLACK_BRUSH : WHITE_BRUSH)));
            }
            ReleaseDC(w, dc);
            for (DWORD t = GetTickCount(); GetTickCount() - t < 1000 && !m_stop; Sleep(20))
                for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&m);
        }
        DestroyWindow(w);
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
}  // namespace

TEST(DriftWatch, AKnockedCameraIsSaidOnceAndOneClickCalibratesItBack) {
    Rig rig;
    CalibrateAndKeepTheScene(rig);
    const _SCalibration before = rig.SavedRecord();
    const tavori::vcam::Config knocked = tavori::vcam::Shifted(rig.camera, 0, 3, 0);
    EXPECT_GT(RecordGridError(before, knocked).mean, 2.0) << "three camera pixels are several screen pixels";

    rig.pen.Shift(0, 3);
    const DWORD knock = GetTickCount();
    ASSERT_TRUE(WaitFor([] { return Balloons() == 1; }, 15000)) << "no balloon";
    std::printf("knocked by 3 px: balloon after %.1f s\n", (GetTickCount() - knock) / 1000.0);

    // Wine's balloon tells its owner nothing of a click: this is what the shell sends.
    rig.folder.Remove("Calibration.ini");
    PostMessageA(rig.main, 0xC33, 0, kBalloonClick);
    HWND aim = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (aim = WindowWithChild(rig.driver, 1032)) && IsWindowVisible(aim); }, 8000))
        << "the click starts a calibration";
    ASSERT_TRUE(rig.ConfirmAim(aim));
    ASSERT_TRUE(WaitFor([&] { return rig.folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == "25"; }, 15000));
    const Rig::GridError after = RecordGridError(rig.SavedRecord(), knocked);
    std::printf("grid after the recalibration: mean %.2f px, max %.2f px\n", after.mean, after.worst);
    EXPECT_LE(after.mean, 1.0);
    EXPECT_EQ(after.missed, 0);
}

TEST(DriftWatch, SlidesOnAStillCameraSayNothingForAMinute) {
    Rig rig;
    CalibrateAndKeepTheScene(rig);
    const Slides slides;
    const DWORD start = GetTickCount();
    bool quiet = true;
    while (quiet && GetTickCount() - start < 60000) {
        quiet = Balloons() == 0;
        Sleep(200);
    }
    EXPECT_TRUE(quiet) << "a balloon after " << (GetTickCount() - start) / 1000 << " s";
}

TEST(StrayLight, ALampAtStartIsNamedOnce) {
    Rig rig;
    rig.pen.Set(1, true, ScreenWidth() * 0.15, ScreenHeight() * 0.2, 4, 1);  // a lamp, upper left
    ASSERT_TRUE(rig.Start(25, true));
    ASSERT_TRUE(WaitFor([] { return Balloons() == 1; }, 30000)) << "the lamp is not named";
    ASSERT_TRUE(WaitFor([] { return Balloons() == 0; }, 40000)) << "the balloon stays";
    EXPECT_FALSE(WaitFor([] { return Balloons() > 0; }, 15000)) << "named again";
}
