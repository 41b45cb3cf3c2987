// One running camera: opens the device and a detector, loads the camera's calibration and runs the
// paced frame loop on its own thread. Results reach the main window only as posted messages.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <mutex>

#include "Dev.h"
#include "MultiIRLight.h"
#include "capture/BackgroundSubtraction.h"
#include "capture/DriftWatch.h"
#include "capture/StrayLights.h"
#include "capture/Thread.h"
#include "config/SharedWords.h"
#include "output/PointFilter.h"
#include "output/SharedMemory.h"
#include "output/TuioSender.h"
#include "storage/MCUThread.h"

// Where a camera's calibration is kept: its device path names it in the flash record and in its
// section of Calibration.ini (CameraCalibrations.h).
struct CalibrationPlace {
    std::string devicePath;
    int section = -1;            // the section it loads and saves; -1: none yet
    bool trustUntagged = true;   // a flash record that names no camera is its own (it runs alone)
};

// Laser writing: a laser's spot on the screen is faint beside a pen's light.
constexpr int kLaserWritingExposure = -8;
constexpr int kLaserWritingGrey = 5;

// How a finished calibration was taken: stored, or refused by the detector (the one before stays).
enum class CalibrationSave { Stored, Refused };

class CListenThread : public CThread {
public:
    CListenThread();
    ~CListenThread() override;

    // Before Init: where this camera's calibration is found.
    void SetCalibrationPlace(CalibrationPlace place) { m_place = std::move(place); }
    const std::string& DevicePath() const { return m_place.devicePath; }
    int Init(const SCapParam& param);  // 0, 1 (already open), -2, -3, -4, -6 (no memory for its detector)
    int SetTarget(HWND window, UINT pointMessage, UINT commandMessage);
    void SetImgConfig(const _SImgPara& para);
    int SetCaptureControl(int nVal, int nDelay);  // exposure, nDelay to settle, then RestartDetector
    int SetExposure(int nVal);                     // 0: automatic; non-zero when the camera took it
    void RestartDetector(int nVal);
    void ResetEnroll(int type);
    // Laser writing: on, a low grey threshold and exposure -8; off, the driver's own values.
    void SwitchCaptureMode(int on);
    int StartCapture();
    // Closes the camera (its streaming threads end here, which may take a while). Any thread may
    // call it once the loop has stopped; Teardown then finds no device.
    void ReleaseDevice();
    // The detector first, then the screen table, then the drawing program.
    void ApplyCalibration(const _SCalibration& cal);
    // The detector given `cal`: true when it can use it. Until stored, RestoreCalibration goes back.
    bool TryCalibration(const _SCalibration& cal);
    void RestoreCalibration() { ApplyCalibration(m_calibration); }
    void ClearSetting() { m_setting = 0; }
    int GetCaptureIndex() const { return m_captureIndex; }
    void SetScreen(int screen) { m_screen = screen; }
    int GetScreen() const { return m_screen; }
    bool IsCalibrated() const { return m_setting != 0; }
    // The last calibration applied was one the detector could not use (degenerate points).
    bool CalibrationRefused() const { return m_bCalibrationRefused; }
    void SetCameraName(const std::string& name) { m_cameraName = name; }
    const std::string& CameraName() const { return m_cameraName; }
    // The ids of this listener's own camera: with cameras of two models, the ids of the one
    // identified last would make the other look lost on every check.
    void SetCameraIds(const std::string& pid, const std::string& vid) {
        m_cameraPid = pid;
        m_cameraVid = vid;
    }
    const _SCalibration& Calibration() const { return m_calibration; }
    // A finished calibration for this camera: judged by the detector first; only one it can use is
    // stored (flash, then the file) and kept in force. `flash` says how the flash write went.
    CalibrationSave SaveCalibration(const _SCalibration& posted, FlashWrite& flash);

    int ProcFrame();  // -1 = stop the loop, 0 = go on

protected:
    int Run() override;

private:
    bool CheckCameraPresent();
    void CountPresence();  // the presence check runs on every 32nd pass
    void OnMissedFrame(uint32_t now, long why);
    void Teardown();
    void Detect(uint32_t now);
    // The brightest spot in camera pixels (calibration), or the pen in desktop pixels (the mouse).
    void PostPoints(WPARAM wParam, bool onDesktop);
    // Every pen of the frame, in desktop pixels, for the touch and pen outputs.
    void PostAllPoints(int count);
    void SendTuio(int count);  // this frame's first `count` points, in the desktop's pixels
    void PostFrameCopy();
    // Every frame of normal detection: the scene against the one kept at calibration (DriftWatch).
    void WatchScene(uint32_t now);
    // Every few seconds: fixed lights not told before go to the window (WM_STRAY_LIGHT).
    void LookForStrayLights(uint32_t now);
    bool ConfigureDetector(const _SCalibration& cal);  // false: no detector or no calibration
    // Notes, on the listener's thread, when its detection leaves the calibration's modes.
    void NoteCalibration(uint32_t now);

    CalibrationPlace m_place;
    // Where the calibrated rectangle lies on the desktop: detected points are relative to it.
    RelaxedWord<int32_t> m_originX{0}, m_originY{0};
    HWND m_hTarget = nullptr;
    UINT m_pointMessage = 0;
    UINT m_commandMessage = 0;
    RelaxedWord<uint32_t> m_setting{0};
    HDEVCTR m_hDevice = nullptr;
    HMULTIIRLIGHT m_hDetector = nullptr;
    SCapFrame m_frame{};
    _SDetectPoint* m_points = nullptr;
    std::unique_ptr<CMCUThread> m_pMCU;
    RelaxedWord<uint32_t> m_bound{0};
    int32_t m_captureIndex = 0;
    RelaxedWord<int32_t> m_screen{0};
    uint32_t m_presenceCounter = 0;
    uint32_t m_periodMs = 30;
    CPointShare m_pointShare;
    CPenFilters m_penFilters;  // steadies this camera's pens before every output
    PointFilterSettings m_filterSettings;  // copied from the settings at Init
    CTuioSender* m_tuio = nullptr;
    _SCalibration m_calibration{};
    uint32_t m_startEnroll = 0;
    uint32_t m_initEnroll = 0;
    uint32_t m_lastDetection = 0;
    int32_t m_captureMode = 0;
    BackgroundLights m_background;
    uint32_t m_lastTrace = 0;
    // Frame gaps: the pen counts as lifted after kNoFrameGapMs without a frame; a stream stalled
    // for kStallLostMs (or ended) is reported lost, at most once per kStallLostMs.
    static constexpr uint32_t kNoFrameGapMs = 100;
    static constexpr uint32_t kStallLostMs = 3000;
    uint32_t m_lastFrameTick = 0;
    uint32_t m_lastLostReport = 0;
    // The last return from a calibration's modes to normal detection; a reset this soon after it is
    // the one that ends the calibration.
    static constexpr uint32_t kCalibrationEndMs = 2000;
    bool m_calibrating = false;
    RelaxedWord<bool> m_calibrationEnded{false};
    RelaxedWord<uint32_t> m_calibrationEndTick{0};
    bool m_bComInitialised = false;
    std::string m_cameraPid, m_cameraVid, m_cameraName;
    bool m_bCalibrationRefused = false;
    // The drift watch runs on the listener's thread; a calibration the window thread stores reaches
    // it through m_watchWanted and the record and file name kept under m_watchLock.
    DriftWatch m_drift;
    RelaxedWord<uint32_t> m_calibrationTag{0};  // SceneCalibrationTag of the calibration in force
    RelaxedWord<bool> m_watchWanted{false};
    std::mutex m_watchLock;
    _SCalibration m_watchCalibration{};
    std::string m_watchPath;
    uint32_t m_lastPenTick = 0;
    StrayLightLog m_strayLights;
    uint32_t m_lastLightLook = 0;
    // The detector's configuration calls come from the UI thread while the loop finds points; every
    // call on m_hDetector after Init holds this lock.
    std::mutex m_detectorLock;
};
