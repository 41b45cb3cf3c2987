#include "calibration/CalibrationWindows.h"

#include "calibration/CalibrationMessages.h"
#include "calibration/CalibrationReportDlg.h"
#include "calibration/CollateAutoDlg.h"
#include "calibration/CollateDlg.h"
#include "calibration/ImagePositionDlg.h"
#include "capture/PointHandoff.h"
#include "output/DesktopMouse.h"
#include "output/Monitors.h"

CCalibrationWindows::CCalibrationWindows(HWND owner, UINT procMsg, UINT saveMsg, MessageBoxFn messageBox)
    : m_owner(owner), m_procMsg(procMsg), m_saveMsg(saveMsg), m_messageBox(std::move(messageBox)) {}

CCalibrationWindows::~CCalibrationWindows() = default;

void CCalibrationWindows::ShowImagePosition(int camera, int cameraCount) {
    HideReport();
    m_reportDue = false;  // a run starts here, or at the manual dialog
    if (!m_pImagePositionDlg || !m_pImagePositionDlg->GetSafeHwnd()) {
        m_pImagePositionDlg = std::make_unique<CImagePositionDlg>(m_owner);
        m_pImagePositionDlg->SetNotify(m_owner, m_procMsg, m_saveMsg);
        if (!m_pImagePositionDlg->CreateModeless()) return;
    }
    const std::optional<MonitorArea> screen = ScreenArea(ListScreens(), camera);
    if (screen) m_pImagePositionDlg->Place(screen->work, camera, cameraCount);
    ShowWindow(m_pImagePositionDlg->GetSafeHwnd(), SW_SHOW);
    SetForegroundWindow(m_pImagePositionDlg->GetSafeHwnd());
}

void CCalibrationWindows::ShowCollateDlg(int screenCount) {
    HideReport();
    m_reportDue = false;
    if (!m_pCollateDlg || !m_pCollateDlg->GetSafeHwnd()) {
        m_pCollateDlg = std::make_unique<CCollateDlg>(m_owner);
        m_pCollateDlg->SetNotify(m_owner, m_procMsg, m_saveMsg);
        m_pCollateDlg->CreateModeless();
    }
    HWND dlg = m_pCollateDlg->GetSafeHwnd();
    if (!dlg) return;
    ShowWindow(dlg, SW_SHOWMAXIMIZED);
    SetForegroundWindow(dlg);
    m_pCollateDlg->SetScreenCount(screenCount);
    m_pCollateDlg->StartCollate();
}

void CCalibrationWindows::HideCollateDlg() {
    if (m_pCollateDlg && m_pCollateDlg->GetSafeHwnd()) ShowWindow(m_pCollateDlg->GetSafeHwnd(), SW_HIDE);
}

bool CCalibrationWindows::ShowCollateAutoDlg(int screen) {
    HideReport();
    if (!m_pCollateAutoDlg || !m_pCollateAutoDlg->GetSafeHwnd()) {
        m_pCollateAutoDlg = std::make_unique<CCollateAutoDlg>(m_owner);
        m_pCollateAutoDlg->SetNotify(m_owner, m_procMsg, m_saveMsg);
        if (!m_pCollateAutoDlg->CreateModeless()) return false;
    }
    ShowWindow(m_pCollateAutoDlg->GetSafeHwnd(), SW_SHOW);
    m_pCollateAutoDlg->CreateBackBuffer(screen);
    m_pCollateAutoDlg->StartAutoCalib();
    m_pCollateAutoDlg->SetStage(0);
    return true;
}

void CCalibrationWindows::HideCollateAutoDlg() {
    if (m_pCollateAutoDlg && m_pCollateAutoDlg->GetSafeHwnd()) ShowWindow(m_pCollateAutoDlg->GetSafeHwnd(), SW_HIDE);
}

void CCalibrationWindows::RestartAutoCalib() {
    if (m_pCollateAutoDlg && m_pCollateAutoDlg->GetSafeHwnd()) m_pCollateAutoDlg->StartAutoCalib();
}

HWND CCalibrationWindows::WindowOf(int status) const {
    const win::Dialog* dialogs[] = {nullptr, m_pCollateDlg.get(), m_pCollateAutoDlg.get(), m_pImagePositionDlg.get()};
    return status >= 1 && status <= 3 && dialogs[status] ? dialogs[status]->GetSafeHwnd() : nullptr;
}

void CCalibrationWindows::BringToFront(int status) {
    HWND window = WindowOf(status);
    if (!window || !IsWindowVisible(window)) return;  // a step between windows: nothing to bring
    SetWindowPos(window, status == kAutoSquaresStep ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
}

void CCalibrationWindows::HideAll() {
    if (m_pCollateDlg) m_pCollateDlg->Stop();
    if (m_pCollateAutoDlg) m_pCollateAutoDlg->Stop();
    for (int status : {1, 2, 3})
        if (HWND window = WindowOf(status)) ShowWindow(window, SW_HIDE);
}

void CCalibrationWindows::ShowReport() {
    if (!m_reportDue) return;  // refused: the box that says so is the run's last word
    m_reportDue = false;
    OpenReport();
}

void CCalibrationWindows::OpenReport() {
    if (!m_pReportDlg) m_pReportDlg = std::make_unique<CCalibrationReportDlg>(m_owner);
    m_pReportDlg->ShowNewest();
}

void CCalibrationWindows::ReportJudged() {
    if (m_pReportDlg) m_pReportDlg->Refresh();
}

void CCalibrationWindows::HideReport() {
    if (m_pReportDlg) m_pReportDlg->Hide();
}

void CCalibrationWindows::NotifyDrawingProgram(int code) {
    if (HWND drawing = static_cast<HWND>(FindDrawWindow()))
        PostMessageA(drawing, WM_DRAW_NOTIFY, static_cast<WPARAM>(code), 0);
}

void CCalibrationWindows::Message(const char* text) { m_messageBox(text, MB_OK); }

bool CCalibrationWindows::AskYesNo(const char* text) { return m_messageBox(text, MB_YESNO) == IDYES; }

void CCalibrationWindows::Wait(int ms) { Sleep(static_cast<DWORD>(ms)); }

HWND CCalibrationWindows::ImagePositionWindow() const {
    return m_pImagePositionDlg ? m_pImagePositionDlg->GetSafeHwnd() : nullptr;
}

void CCalibrationWindows::Forward(int status, WPARAM wParam, LPARAM lParam) {
    HWND target = nullptr;
    if (status == kCrossesStep && m_pCollateDlg) target = m_pCollateDlg->GetSafeHwnd();
    if (status == kAutoSquaresStep && m_pCollateAutoDlg) target = m_pCollateAutoDlg->GetSafeHwnd();
    if (status == kAimingStep) target = ImagePositionWindow();
    if (target) SendMessageA(target, WM_COLLATE, wParam, lParam);
    // The dialog takes a frame copy it draws; one it did not take (or no dialog) is freed here.
    if (TakesFrameCopies(status)) ReleaseFrameCopy(TakeFrameCopy(static_cast<uintptr_t>(wParam)));
}
