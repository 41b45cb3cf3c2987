// The program's one top-level window: a hidden dialog where tray commands, listener messages,
// commands from other programs and the timers meet.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CameraNotifications.h"
#include "calibration/CalibrationFlow.h"
#include "capture/CameraSet.h"
#include "config/RelaxedWord.h"
#include "output/ContactOutput.h"
#include "output/DesktopMouse.h"
#include "output/MouseEmulator.h"
#include "win/Dialog.h"
#include "win/Messages.h"
#include "win/Scoped.h"

class CAnimateTrayIcon;
class CLaserWriteDlg;
class CCalibrationWindows;

constexpr UINT_PTR IDT_HIDE_WINDOW = 2039;
constexpr UINT_PTR IDT_RECONNECT = 2043;
constexpr UINT_PTR IDT_SEARCH_TYPE = 2057;
constexpr UINT_PTR IDT_DEVICE_CHANGE = 2058;  // device events settle, then the cameras are looked at
// Held touch and pen contacts are sent again from here, whether or not the cameras deliver frames.
constexpr UINT_PTR IDT_CONTACTS = 2059;
constexpr UINT kContactsTickMs = 25;

class CLumoraDlg : public win::MappedDialog<CLumoraDlg>, private ICameraSetOwner, private ICalibrationCameras {
public:
    CLumoraDlg();
    ~CLumoraDlg() override;

    // 1 when at least one camera runs and none failed to start.
    int StartCameras();
    void StopCameras();

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CLumoraDlg)

    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetSearchType(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColorDlg(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuit(WPARAM wParam, LPARAM lParam);
    LRESULT OnDialogKey(WPARAM wParam, LPARAM lParam);
    LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
    LRESULT OnDisplayChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnCalibrationRefused(WPARAM wParam, LPARAM lParam);
    LRESULT OnCalibrationJudged(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowReport(WPARAM wParam, LPARAM lParam);
    LRESULT OnCameraMoved(WPARAM wParam, LPARAM lParam);
    LRESULT OnStrayLight(WPARAM wParam, LPARAM lParam);
    LRESULT OnShow(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnPointEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnPointsEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnOutputUnavailable(WPARAM wParam, LPARAM lParam);
    // The output g_Settings names, or the mouse (said once) where this Windows lacks it.
    void ApplyOutput();
    LRESULT OnProcCmd(WPARAM wParam, LPARAM lParam);
    LRESULT OnSaveCalibration(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnHelp(WPARAM wParam, LPARAM lParam);
    LRESULT OnAbout(WPARAM wParam, LPARAM lParam);
    LRESULT OnOptions(WPARAM wParam, LPARAM lParam);
    LRESULT OnLaserWrite(WPARAM wParam, LPARAM lParam);
    LRESULT OnMeasureItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowCollate(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowCollateAuto(WPARAM wParam, LPARAM lParam);
    LRESULT OnMenuitemColleat(WPARAM wParam, LPARAM lParam);
    bool CalibrationFlowReady();  // the flow with the current settings; false without cameras
    bool CalibrationRequest();
    // ICalibrationCameras: every listener in order.
    void SetCaptureControl(int value, int delayMs) override;
    void ResetEnroll(int type) override;
    void RestoreStoredCalibration() override;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnCameraLost();
    void CalibrationAccepted(int captureIndex);
    void Reconnect();
    // The primary screen's size for the mouse: the given one, or the system's when 0.
    void RefreshScreenSize(int width = 0, int height = 0);
    // Tooltip and a message (once per camera) when a camera has no usable calibration.
    void CheckCalibrations();
    LRESULT OnDeviceChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
    // Reconnects now rather than at the next poll; the poll goes on while cameras are missing.
    void ReconnectNow();
    void OnDevicesSettled();
    // Every way out of the driver ends here: Management=0 written, open boxes closed.
    void EndDriver();
    static MouseSettings CurrentMouseSettings();
    void OnCamerasStopping() override;
    void OnCamerasStopped() override;

    HICON m_hIcon = nullptr;
    win::GdiObject<HBRUSH> m_brush;
    std::optional<win::ComApartment> m_com;  // the window thread's apartment, from init to destroy
    std::unique_ptr<CAnimateTrayIcon> m_pTrayIcon;
    std::unique_ptr<CLaserWriteDlg> m_pLaserWriteDlg;
    CCameraSet m_listListeners{*this};
    int m_nHideCount = 0;
    RelaxedWord<int32_t> m_bCameraRunning{0};
    bool m_bEnding = false;  // quitting: camera losses are no longer reported
    int m_nScreenW = 0;
    int m_nScreenH = 0;
    std::unique_ptr<CCalibrationWindows> m_pCalibrationWindows;
    std::unique_ptr<CCalibrationFlow> m_pCalibrationFlow;
    CDesktopMouse m_desktopMouse;
    CMouseEmulator m_mouse{m_desktopMouse};
    CContactOutput m_contacts{SystemPointerApi()};
    int m_unavailableOutput = 0;  // the output to name in the message still to show; 0: none
    UINT m_uTaskbarCreated = 0;
    uint32_t m_refusalsShown = 0;  // bit n: camera n was named in a message already
    std::string m_refusalText;     // the message still to show
    bool m_balloonRecalibrates = false;  // a click on the balloon shown last calibrates
    CCameraNotifications m_cameraNotifications;
};
