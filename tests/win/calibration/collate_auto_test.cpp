// The automatic calibration window on its own: what it does with frames it must not trust and
// with Cancel. (Its whole run, filmed by the virtual camera, is the automatic calibration
// end-to-end scenario.)
#include <vector>

#include "ProgramFolderFixture.h"
#include "calibration/CalibrationMessages.h"
#include "calibration/CollateAutoDlg.h"
#include "capture/PointHandoff.h"
#include "win/Messages.h"

using CollateAutoTest = ProgramFolderTest;

TEST_F(CollateAutoTest, CancelAndForgedFramesAreHandled) {
    WriteFile(ini, "[System]\r\nSetPtCount=25\r\n");
    LoadSettings();
    HWND notify = CreateWindowExA(0, "STATIC", "notify", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    CCollateAutoDlg dlg{nullptr};
    ASSERT_TRUE(dlg.CreateModeless());
    dlg.SetNotify(notify, WM_PROC_CMD, WM_SAVE_CALIBRATION);
    ShowWindow(dlg.GetSafeHwnd(), SW_SHOWMAXIMIZED);
    dlg.CreateBackBuffer();
    dlg.StartAutoCalib();
    dlg.SetStage(0);

    // An address that no listener registered is never read.
    static uint8_t junk[64];
    PostMessageA(dlg.GetSafeHwnd(), WM_COLLATE, reinterpret_cast<WPARAM>(junk), 0);
    // A frame of another size is scaled, not refused or overrun.
    std::vector<uint8_t> small(SCapFrameStride(320) * 240, 10);
    SCapFrame* copy = NewFrameCopy({320, 240, 24, static_cast<uint32_t>(small.size()), small.data()});
    ASSERT_NE(copy, nullptr);
    if (!PostMessageA(dlg.GetSafeHwnd(), WM_COLLATE, reinterpret_cast<WPARAM>(copy), 0)) ReleaseFrameCopy(copy);

    // The window's messages run; the codes it posts to the notify window are collected.
    std::vector<WPARAM> codes;
    bool saved = false;
    auto pump = [&] {
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) {
            if (m.hwnd != notify) DispatchMessageA(&m);
            else if (m.message == WM_SAVE_CALIBRATION) saved = true;
            else if (m.message == WM_PROC_CMD) codes.push_back(m.wParam);
        }
    };
    pump();
    SendMessageA(dlg.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
    pump();
    EXPECT_EQ(codes, std::vector<WPARAM>{12});
    EXPECT_FALSE(saved);
    DestroyWindow(notify);
}
