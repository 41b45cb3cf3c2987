// The calibration flow: which window the user sees, what the listeners do with their frames and at
// which exposure, from the first aiming view to the stored calibration (or back to the one stored
// before). Runs on the window thread; talks to the cameras and the windows through two interfaces,
// so the fast suite drives the very transitions that ship.
#pragma once
#include <cstdint>

#include "config/SharedWords.h"

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

// What the flow asks of the windows.
class ICalibrationWindows {
public:
    virtual ~ICalibrationWindows() = default;
    virtual void ShowImagePosition() = 0;
    // Shows the manual dialog maximized, gives it the screen count and starts it.
    virtual void ShowCollateDlg(int screenCount) = 0;
    virtual void HideCollateDlg() = 0;
    // Shows and starts the automatic dialog; false when it cannot run.
    virtual bool ShowCollateAutoDlg() = 0;
    virtual void HideCollateAutoDlg() = 0;
    virtual void RestartAutoCalib() = 0;
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
};

struct FlowTexts {
    const char* calibrateFail = "";
    const char* recalibration = "";
    const char* unchanged = "";  // a manual run ended without a new calibration
};

// WM_DRAW_NOTIFY codes to the drawing program.
constexpr int kDrawImagePositionConfirmed = 20;
constexpr int kDrawCalibrationEnded = 24;

class CCalibrationFlow {
public:
    CCalibrationFlow(ICalibrationCameras& cameras, ICalibrationWindows& windows, FlowFlags flags);

    void SetSettings(const FlowSettings& settings) { m_settings = settings; }
    void SetTexts(const FlowTexts& texts) { m_texts = texts; }

    void OnShowCollate();      // manual flow
    void OnShowCollateAuto();  // automatic flow
    void OnMenuitemColleat();  // the manual dialog without the aiming view
    // WM_PROC_CMD with lParam 1; other codes and the camera ones are the main window's.
    void OnProcCmd(int code);
    void FinishCollage(int nSign);

    // 0 normal, 1 manual dialog, 2 automatic dialog, 3 image position: where points go.
    int Status() const { return status; }
    int CalType() const { return calType; }
    // Freshly started cameras send their points to the mouse.
    void ResetRouting() {
        status = 0;
        calType = 0;
    }

private:
    void OnShowImagePosition();
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
};
