// The calibration flow: which window the user sees, what the listeners do with their frames and at
// which exposure, from the first aiming view to the stored calibration (or back to the one stored
// before). Runs on the window thread; talks to the cameras and the windows through two interfaces,
// so the fast suite drives the very transitions that ship.
#pragma once
#include <cstdint>

#include "config/SharedWords.h"
#include "win/ProtocolCodes.h"

// What the flow asks of the cameras; each call goes to every listener in order.
class ICalibrationCameras {
public:
    virtual ~ICalibrationCameras() = default;
    virtual void SetCaptureControl(int value, int delayMs) = 0;
    virtual void ResetEnroll(int type) = 0;
    // Puts back the calibration each camera had before the flow (flash or file): a failed or
    // cancelled run leaves the pen working as it did.
    virtual void RestoreStoredCalibration() = 0;
};

// What the flow asks of the windows. Camera k (from 0, in start order) is aimed and calibrated
// automatically on screen k.
class ICalibrationWindows {
public:
    virtual ~ICalibrationWindows() = default;
    // The aiming view of camera `camera` of `cameraCount`, on that camera's screen.
    virtual void ShowImagePosition(int camera, int cameraCount) = 0;
    // Shows the manual dialog maximized, gives it the screen count and starts it.
    virtual void ShowCollateDlg(int screenCount) = 0;
    virtual void HideCollateDlg() = 0;
    // Shows and starts the automatic dialog on that screen; false when it cannot run.
    virtual bool ShowCollateAutoDlg(int screen) = 0;
    virtual void HideCollateAutoDlg() = 0;
    virtual void RestartAutoCalib() = 0;
    // The window of the step at `status` (1 manual, 2 automatic, 3 aiming) in front of all others.
    virtual void BringToFront(int status) = 0;
    // Every calibration window hidden and stopped.
    virtual void HideAll() = 0;
    // The last step of a run that stored its calibration: the report on it, when one was accepted.
    virtual void ShowReport() = 0;
    virtual void NotifyDrawingProgram(int code) = 0;  // only when its window exists
    virtual void Message(const char* text) = 0;
    virtual bool AskYesNo(const char* text) = 0;
    virtual void Wait(int ms) = 0;
};

// The process-wide mode words the listeners read; references so the tests can give their own.
struct FlowFlags {
    SharedWord& enrollSign;
    SharedWord& collate;   // g_bCollate
    SharedWord& collateA;  // g_bCollateA
    SharedWord& searchType;
    SharedWord& backgroundMode;
    SharedWord& backgroundSnap;
};

struct FlowSettings {
    int exposure = -6;          // the normal exposure
    int irFilter = 650;
    int screenCount = 1;        // MultiScreen
    bool skipLaserPrompt = false;  // device variants whose manual dialog skips the laser prompt
    int cameraCount = 1;           // the cameras running: each is aimed, and calibrated automatically, in turn
};

struct FlowTexts {
    const char* calibrateFail = "";
    const char* recalibration = "";
    const char* unchanged = "";  // a manual run ended without a new calibration
};

class CCalibrationFlow {
public:
    CCalibrationFlow(ICalibrationCameras& cameras, ICalibrationWindows& windows, FlowFlags flags);

    void SetSettings(const FlowSettings& settings) { m_settings = settings; }
    void SetTexts(const FlowTexts& texts) { m_texts = texts; }

    // Requests to calibrate. While a run is on, each brings its window to the front instead:
    // one calibration at a time, however many requests come.
    void OnShowCollate();      // manual flow
    void OnShowCollateAuto();  // automatic flow
    void OnMenuitemColleat();  // the manual dialog without the aiming view
    // WM_PROC_CMD with lParam 1; other codes and the camera ones are the main window's.
    void OnProcCmd(int code);
    void FinishCollage(int nSign);
    // The cameras are gone (unplugged, stalled, taken, asleep): the run ends as Cancel ends it, with
    // every window gone, and says nothing itself: the camera's loss is the one message.
    void Abandon();

    // Where points go: a CalibrationStatus.
    int Status() const { return status; }
    int CalType() const { return calType; }
    bool Running() const { return status != kNotCalibrating; }
    // The camera (from 0) whose frames the aiming view or the automatic dialog takes now.
    int Camera() const { return TakesFrameCopies(status) ? m_camera : -1; }
    // Freshly started cameras send their points to the mouse.
    void ResetRouting() {
        status = kNotCalibrating;
        calType = 0;
    }

private:
    bool BringRunningToFront();
    void OnShowImagePosition();
    void OpenManualDialog();  // the manual dialog as a step of the flow
    void OnCollate();
    void OnCollateAuto();
    void ShowCollateDlg();
    void OnShowCollateAuto2();
    void ShowCollateAutoDlg();
    void EndRun(int nSign, bool allowFallback);

    ICalibrationCameras& m_cameras;
    ICalibrationWindows& m_windows;
    FlowFlags m_flags;
    FlowSettings m_settings;
    FlowTexts m_texts;
    int status = 0;
    int calType = 0;
    int m_bSavedSearchType = 0;
    int m_camera = 0;
};
