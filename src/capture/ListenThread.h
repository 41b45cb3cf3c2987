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
#include "capture/Thread.h"
#include "config/SharedWords.h"
#include "output/PointFilter.h"
#include "output/SharedMemory.h"
#include "output/TuioSender.h"
#include "storage/MCUThread.h"

class CListenThread : public CThread {
public:
    CListenThread();
    ~CListenThread() override;

    int Init(const SCapParam& param);  // 0, 1 (already open), -2, -3, -4
    int SetTarget(HWND window, UINT pointMessage, UINT commandMessage);
    void SetImgConfig(const _SImgPara& para);
    int SetCaptureControl(int nVal, int nDelay);  // exposure, nDelay to settle, then RestartDetector
    int SetExposure(int nVal);                     // 0: automatic; non-zero when the camera took it
    void RestartDetector(int nVal);
    void ResetEnroll(int type);
    void SwitchCaptureMode(int on);
    int StartCapture();
    void StopCapture();
    // Closes the camera (its streaming threads end here, which may take a while). Any thread may
    // call it once the loop has stopped; Teardown then finds no device.
    void ReleaseDevice();
    // The detector first, then the screen table, then the drawing program.
    void ApplyCalibration(const _SCalibration& cal);
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
    // Stores a finished calibration for this camera: flash, then the file, then the detector.
    FlashWrite SaveCalibration(const _SCalibration& posted);

    int ProcFrame();  // -1 = stop the loop, 0 = go on

protected:
    int Run() override;

private:
    bool CheckCameraPresent();
    void CountPresence();  // the presence check runs on every 32nd pass
    void OnMissedFrame(uint32_t now, long why);
    void Teardown();
    void Detect(uint32_t now);
    void PostPoints(WPARAM wParam);
    void SendTuio(int count);  // this frame's first `count` points, in screen pixels
    void PostFrameCopy();
    bool ConfigureDetector(const _SCalibration& cal);  // false: no detector or no calibration
    // Notes, on the listener's thread, when its detection leaves the calibration's modes.
    void NoteCalibration(uint32_t now);

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
    // The detector's configuration calls come from the UI thread while the loop finds points; every
    // call on m_hDetector after Init holds this lock.
    std::mutex m_detectorLock;
};
