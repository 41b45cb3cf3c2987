// The calibration windows of the flow: the aiming view, the manual dialog, the automatic dialog
// and the report that ends a run, created on first use and afterwards only shown and hidden; and where the points and
// frame copies of the listeners go while a calibration runs.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>

#include "calibration/CalibrationFlow.h"

class CImagePositionDlg;
class CCollateDlg;
class CCollateAutoDlg;
class CCalibrationReportDlg;

class CCalibrationWindows : public ICalibrationWindows {
public:
    using MessageBoxFn = std::function<int(const char* text, UINT type)>;
    CCalibrationWindows(HWND owner, UINT procMsg, UINT saveMsg, MessageBoxFn messageBox);
    ~CCalibrationWindows() override;

    void ShowImagePosition(int camera, int cameraCount) override;
    void ShowCollateDlg(int screenCount) override;
    void HideCollateDlg() override;
    bool ShowCollateAutoDlg(int screen) override;
    void HideCollateAutoDlg() override;
    void RestartAutoCalib() override;
    void BringToFront(int status) override;
    void HideAll() override;
    void ShowReport() override;
    void NotifyDrawingProgram(int code) override;
    void Message(const char* text) override;
    bool AskYesNo(const char* text) override;
    void Wait(int ms) override;

    // A listener's point (status 1) or frame copy (status 2, 3) for the dialog collecting now. A
    // frame copy no dialog took is let go of here.
    void Forward(int status, WPARAM wParam, LPARAM lParam);
    HWND ImagePositionWindow() const;
    // A calibration was accepted: the run's end shows its report.
    void ReportDue() { m_reportDue = true; }
    // The reports of the file, from the tray.
    void OpenReport();
    // A report came into the file: an open report window shows it.
    void ReportJudged();

private:
    HWND WindowOf(int status) const;
    void HideReport();  // a run's windows come: the last run's report makes way

    HWND m_owner;
    UINT m_procMsg, m_saveMsg;
    MessageBoxFn m_messageBox;
    std::unique_ptr<CImagePositionDlg> m_pImagePositionDlg;
    std::unique_ptr<CCollateDlg> m_pCollateDlg;
    std::unique_ptr<CCollateAutoDlg> m_pCollateAutoDlg;
    std::unique_ptr<CCalibrationReportDlg> m_pReportDlg;
    bool m_reportDue = false;
};
