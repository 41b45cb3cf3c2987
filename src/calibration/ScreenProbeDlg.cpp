#include "calibration/ScreenProbeDlg.h"

#include "res/resource.h"

namespace {
constexpr UINT_PTR kReportTimer = 2025;
constexpr UINT kReportDelayMs = 500;  // the maximized size has settled by then
}  // namespace

TAVORI_BEGIN_MESSAGE_MAP(CTestDlg)
TAVORI_ON_MESSAGE(WM_TIMER, OnTimer)
TAVORI_ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColor)
TAVORI_ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)
TAVORI_END_MESSAGE_MAP()

CTestDlg::CTestDlg(HWND parent) : MappedDialog(IDD_SCREEN_PROBE, parent) {}

CTestDlg::~CTestDlg() = default;

void CTestDlg::SetNotify(HWND window, UINT message) {
    m_hNotify = window;
    m_sizeMessage = message;
}

void CTestDlg::SetPosition(int x, int y) {
    m_x = x;
    m_y = y;
}

BOOL CTestDlg::OnInitDialog() {
    if (!m_brush) m_brush.reset(CreateSolidBrush(RGB(0, 0, 0)));
    MoveWindow(m_hWnd, m_x + 20, m_y + 20, 200, 200, FALSE);
    ShowWindow(m_hWnd, SW_SHOWMAXIMIZED);
    SetTimer(m_hWnd, kReportTimer, kReportDelayMs, nullptr);
    return TRUE;
}

LRESULT CTestDlg::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam != kReportTimer) return 0;
    KillTimer(m_hWnd, kReportTimer);
    // Maximized is the work area of the monitor the probe opened on; where the system did not
    // maximize the window (a modal dialog shown again at its own size, no window manager), the
    // probe takes that area itself.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT now{};
    GetWindowRect(m_hWnd, &now);
    if (GetMonitorInfoA(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor) && !EqualRect(&now, &monitor.rcWork)) {
        const RECT& work = monitor.rcWork;
        SetWindowPos(m_hWnd, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top, SWP_NOZORDER);
    }
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    if (m_hNotify && m_sizeMessage)
        SendMessageA(m_hNotify, m_sizeMessage, static_cast<WPARAM>(rc.right - rc.left), rc.bottom - rc.top);
    EndDialog(IDOK);
    return 0;
}

LRESULT CTestDlg::OnCtlColor(WPARAM wParam, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 0, 0));
    return reinterpret_cast<LRESULT>(m_brush.get());
}
