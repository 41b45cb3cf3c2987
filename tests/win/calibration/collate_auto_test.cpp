// The automatic calibration window on the desktop: the patterns it shows are filmed through the
// virtual camera's model and handed back as frames, as the listeners would, until it posts the
// calibration to its notify window.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include <cstdio>

#include "ProgramFolderFixture.h"
#include "VcamModel.h"
#include "calibration/AutoCalibStages.h"
#include "calibration/CalibrationMessages.h"
#include "calibration/CollateAutoDlg.h"
#include "capture/PointHandoff.h"
#include "storage/CalibrationSources.h"

namespace {
constexpr UINT kProcMsg = 0x801, kSaveMsg = 0x803;

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class CollateAutoTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        WriteFile(ini, "[System]\r\nSetPtCount=25\r\n");
        LoadSettings();
        notify = CreateWindowExA(0, "STATIC", "notify", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(dlg.CreateModeless());
        dlg.SetNotify(notify, kProcMsg, kSaveMsg);
        ShowWindow(dlg.GetSafeHwnd(), SW_SHOWMAXIMIZED);
        dlg.CreateBackBuffer();
        dlg.StartAutoCalib();
        dlg.SetStage(0);
    }
    void TearDown() override {
        DestroyWindow(notify);
        ProgramFolderTest::TearDown();
    }

    // Runs the window's messages; what it posts to the notify window is collected.
    void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.hwnd == notify && (m.message == kProcMsg || m.message == kSaveMsg))
                posted.push_back({m.message, m.wParam, m.lParam});
            else
                DispatchMessageA(&m);
        }
    }

    void PostFrame(const SCapFrame& source) {
        SCapFrame* copy = NewFrameCopy(source);
        ASSERT_NE(copy, nullptr);
        if (!PostMessageA(dlg.GetSafeHwnd(), WM_COLLATE, reinterpret_cast<WPARAM>(copy), 0))
            ReleaseFrameCopy(copy);
    }

    bool Got(UINT message, WPARAM code) const {
        for (const Posted& p : posted)
            if (p.message == message && (message == kSaveMsg || p.wParam == code)) return true;
        return false;
    }

    HWND notify = nullptr;
    CCollateAutoDlg dlg{nullptr};
    std::vector<Posted> posted;
};

// The primary monitor as the virtual camera films it: the desktop is captured on a thread of
// its own at about 20 Hz (a capture costs 10-28 ms under Wine), frames are composed from the
// latest capture at the camera's rate.
class DesktopCamera {
public:
    explicit DesktopCamera(double k1) {
        tavori::vcam::Config c;
        c.hasScreenRect = true;
        c.rect[2] = w_;
        c.rect[3] = h_;
        c.k1 = k1;
        ok_ = composer_.Configure(c);
        latest_.Resize(w_, h_);
        capture_ = std::thread([this] {
            tavori::vcam::ScreenImage shot;
            shot.Resize(w_, h_);
            std::vector<uint8_t> bgra(static_cast<size_t>(w_) * static_cast<size_t>(h_) * 4);
            while (!stop_) {
                Capture(shot, bgra);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    std::swap(latest_, shot);
                    fresh_ = true;
                }
                Sleep(50);
            }
        });
    }
    ~DesktopCamera() {
        stop_ = true;
        capture_.join();
    }
    bool Ok() const { return ok_; }
    const tavori::vcam::Composer& Composer() const { return composer_; }

    void Frame(uint8_t* out) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (fresh_) composer_.Film(&latest_);
            fresh_ = false;
        }
        composer_.Frame({}, out);
    }

private:
    void Capture(tavori::vcam::ScreenImage& shot, std::vector<uint8_t>& bgra) const {
        HDC desk = GetDC(nullptr), mem = CreateCompatibleDC(desk);
        HBITMAP bmp = CreateCompatibleBitmap(desk, w_, h_);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w_, h_, desk, 0, 0, SRCCOPY);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w_, -h_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        GetDIBits(mem, bmp, 0, static_cast<UINT>(h_), bgra.data(), &bi, DIB_RGB_COLORS);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, desk);
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                shot.Row(y)[x] = bgra[(static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x)) * 4 + 1];
    }

    int w_ = GetSystemMetrics(SM_CXSCREEN), h_ = GetSystemMetrics(SM_CYSCREEN);
    tavori::vcam::Composer composer_;
    tavori::vcam::ScreenImage latest_;
    std::mutex mutex_;
    bool fresh_ = false, ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread capture_;
};
}  // namespace

TEST_F(CollateAutoTest, FilmedPatternsBecomeACalibrationWithinTheFirstAttempt) {
    DesktopCamera cam(-0.12);
    ASSERT_TRUE(cam.Ok());
    std::vector<uint8_t> pixels(cam.Composer().FrameBytes());
    SCapFrame frame{640, 480, 24, cam.Composer().FrameBytes(), pixels.data()};
    const DWORD start = GetTickCount();
    DWORD next = start;
    while (!Got(kProcMsg, 1) && !Got(kProcMsg, 12) && GetTickCount() - start < 13000) {
        cam.Frame(pixels.data());
        PostFrame(frame);
        Pump();
        next += 16;  // 60 frames a second
        const DWORD now = GetTickCount();
        if (static_cast<int32_t>(next - now) > 0) Sleep(next - now);
    }
    const DWORD took = GetTickCount() - start;
    ASSERT_TRUE(Got(kProcMsg, 1)) << "no calibration after " << took << " ms";
    // Within the first exposure attempt: no new exposure was asked for.
    EXPECT_FALSE(Got(kProcMsg, 14)) << took << " ms";
    std::printf("automatic calibration: %lu ms from the start\n", static_cast<unsigned long>(took));
    size_t save = 0;
    while (save < posted.size() && posted[save].message != kSaveMsg) ++save;
    ASSERT_LT(save, posted.size());
    EXPECT_EQ(posted.back().wParam, 1u) << "the success code comes after the record";
    _SCalibration* rec = FindCalibrationSource(static_cast<uintptr_t>(posted[save].lParam));
    ASSERT_NE(rec, nullptr) << "the main window would refuse the record";
    EXPECT_EQ(rec->lPtCount, 25u);
    // Each stored centre is the camera position of its grid target (stored positions truncate).
    double worst = 0;
    for (int i = 0; i < 25; ++i) {
        int32_t gx, gy;
        AutoCalibGridPoint(rec->lWinWidth, rec->lWinHeight, 5, i / 5, i % 5, gx, gy);
        double cx, cy;
        ASSERT_TRUE(cam.Composer().Model().Project(gx, gy, cx, cy));
        worst = std::max(worst, std::hypot(rec->x[i] + 0.5 - (cx + 0.5), rec->y[i] + 0.5 - (cy + 0.5)));
    }
    EXPECT_LE(worst, 1.5);
    std::printf("largest distance of a stored centre from its target: %.2f camera px\n", worst);
}

TEST_F(CollateAutoTest, CancelAndForgedFramesAreHandled) {
    // An address that no listener registered is never read.
    static uint8_t junk[64];
    PostMessageA(dlg.GetSafeHwnd(), WM_COLLATE, reinterpret_cast<WPARAM>(junk), 0);
    // A frame of another size is scaled, not refused or overrun.
    std::vector<uint8_t> small(SCapFrameStride(320) * 240, 10);
    PostFrame({320, 240, 24, static_cast<uint32_t>(small.size()), small.data()});
    Pump();
    SendMessageA(dlg.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    Pump();
    EXPECT_TRUE(Got(kProcMsg, 12));
    EXPECT_FALSE(Got(kSaveMsg, 0));
}
