// The manual calibration: a black screen with one red cross at a time; the pen is held on each
// until the cross moves on. Also the laser check of the automatic flow. Calibrates one screen after
// another when there are several, each measured first with the screen probe.
#pragma once
#include <windows.h>

#include "MultiIRLight.h"
#include "calibration/CollatePoints.h"
#include "win/Dialog.h"
#include "win/Scoped.h"

class CTestDlg;

class CCollateDlg : public win::MappedDialog<CCollateDlg> {
public:
    explicit CCollateDlg(HWND parent);
    ~CCollateDlg() override;
    void SetNotify(HWND window, UINT procMsg, UINT saveMsg);
    void SetScreenCount(int count) { m_screenCount = count < 1 ? 1 : count; }
    void StartCollate();
    // The run is over without this dialog's doing (its cameras went away): nothing more is collected.
    void Stop();

    // m_nStatus values that are not a cross.
    static constexpr int kLaserPrompt = -4;
    static constexpr int kScreenFinished = -3;
    static constexpr int kCollectionStart = -1;

protected:
    BOOL OnInitDialog() override;

private:
    TAVORI_DECLARE_MESSAGE_MAP(CCollateDlg)
    LRESULT OnCollate(WPARAM wParam, LPARAM lParam);
    LRESULT OnScreenSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnButtonOk(WPARAM wParam, LPARAM lParam);
    LRESULT OnCancel(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);

    // Measures screen m_screenIndex with the probe (true when it did, and the run goes on).
    bool ProbeScreen();
    void ArmLaserPrompt();
    void PlaceControls(int top);
    void RelayoutControls();
    void ShowPoint();
    void DrawCurrent(HDC dc);
    void EraseCross(HDC dc);
    void DrawCross(HDC dc, int x, int y, COLORREF colour);
    void DrawDisc(HDC dc, int left, int top, int right, int bottom, COLORREF colour);
    void FinishScreen();
    int PostCalibration();
    void Post(WPARAM code);

    HWND m_hNotify = nullptr;
    UINT m_procMsg = 0, m_saveMsg = 0;
    int m_nStatus = kLaserPrompt;
    int m_bWorking = 0;
    int m_targetX = 0, m_targetY = 0;
    bool m_crossShown = false;
    bool m_bPromptShown = false;  // the laser prompt is up and its OK counts
    int m_screenCount = 1, m_screenIndex = 0;
    int m_winX = 0, m_winY = 0;
    int m_width = 0, m_height = 0;
    collate::CollatePoints m_points;
    _SCalibration* m_record = nullptr;
    CTestDlg* m_probe = nullptr;  // the screen probe while it measures
    win::GdiObject<HBRUSH> m_brush;
};
