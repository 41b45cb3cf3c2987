#include "calibration/CollateDlg.h"

#include <cstdio>
#include <string>

#include "calibration/CalibrationFlags.h"
#include "calibration/CalibrationMessages.h"
#include "calibration/ScreenProbeDlg.h"
#include "capture/PointHandoff.h"
#include "config/IniFile.h"
#include "config/LangText.h"
#include "config/Settings.h"
#include "output/Monitors.h"
#include "res/resource.h"
#include "storage/CalibrationSources.h"
#include "win/Trace.h"
#include "win/Dpi.h"
#include "win/Scoped.h"

namespace {
constexpr UINT_PTR kLaserPromptTimer = 1026;
constexpr int kCrossArm = 30;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kLargestScreen = 16384;  // larger sizes are not from the probe
}  // namespace

TAVORI_BEGIN_MESSAGE_MAP(CCollateDlg)
TAVORI_ON_MESSAGE(WM_COLLATE, OnCollate)
TAVORI_ON_MESSAGE(WM_SCREEN_SIZE, OnScreenSize)
TAVORI_ON_MESSAGE(WM_TIMER, OnTimer)
TAVORI_ON_MESSAGE(WM_PAINT, OnPaint)
TAVORI_ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColor)
TAVORI_ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)
TAVORI_ON_MESSAGE(WM_CTLCOLOREDIT, OnCtlColor)
TAVORI_ON_MESSAGE(WM_DESTROY, OnDestroy)
TAVORI_ON_COMMAND(IDC_COLLATE_OK, OnButtonOk)
TAVORI_ON_COMMAND(IDOK, OnButtonOk)
TAVORI_ON_COMMAND(IDCANCEL, OnCancel)
TAVORI_END_MESSAGE_MAP()

CCollateDlg::CCollateDlg(HWND parent) : MappedDialog(IDD_COLLATE, parent) {}

CCollateDlg::~CCollateDlg() {
    if (m_record) {
        UnregisterCalibrationSource(m_record);
        delete m_record;
    }
}

void CCollateDlg::SetNotify(HWND window, UINT procMsg, UINT saveMsg) {
    m_hNotify = window;
    m_procMsg = procMsg;
    m_saveMsg = saveMsg;
}

BOOL CCollateDlg::OnInitDialog() {
    if (!m_brush) m_brush.reset(CreateSolidBrush(kBlack));
    ShowWindow(m_hWnd, SW_SHOWMAXIMIZED);
    m_nStatus = kLaserPrompt;
    m_bPromptShown = false;
    m_targetX = m_targetY = 0;
    m_bWorking = 0;
    if (!m_record) {
        m_record = new _SCalibration{};
        RegisterCalibrationSource(m_record, [this](int slot) { return m_points.PostedCamera(slot); });
    }
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    m_width = rc.right;
    m_height = rc.bottom;
    m_points.Start(g_Settings.SetPtCount);
    PlaceControls(m_height - win::ScaledPixels(m_hWnd, 40));
    return TRUE;
}

LRESULT CCollateDlg::OnDestroy(WPARAM, LPARAM) {
    KillTimer(m_hWnd, kLaserPromptTimer);
    return 0;
}

void CCollateDlg::Post(WPARAM code) {
    if (m_hNotify) PostMessageA(m_hNotify, m_procMsg, code, 1);
}

void CCollateDlg::PlaceControls(int top) {
    const int w = m_width;
    const auto px = [this](int length) { return win::ScaledPixels(m_hWnd, length); };
    MoveWindow(GetDlgItem(m_hWnd, IDC_COLLATE_TEXT), px(10), top, w - px(250), px(25), TRUE);
    MoveWindow(GetDlgItem(m_hWnd, IDC_COLLATE_OK), w - px(220), top, px(100), px(25), TRUE);
    MoveWindow(GetDlgItem(m_hWnd, IDCANCEL), w - px(110), top, px(100), px(25), TRUE);
    SetDlgItemTextA(m_hWnd, IDC_COLLATE_OK, g_Lang.IDS_OK.c_str());
    SetDlgItemTextA(m_hWnd, IDCANCEL, g_Lang.IDS_CANCEL.c_str());
    EnableWindow(GetDlgItem(m_hWnd, IDC_COLLATE_OK), TRUE);
}

void CCollateDlg::RelayoutControls() {
    MoveWindow(m_hWnd, m_winX, m_winY, m_width, m_height, TRUE);
    PlaceControls(m_height - win::ScaledPixels(m_hWnd, 40));
}

// Each screen's rectangle starts at its monitor's work area, wherever that monitor lies: left of or
// above the primary one, or beside a task bar on its left or top.
bool CCollateDlg::ProbeScreen() {
    if (const std::optional<MonitorArea> area = ScreenArea(ListScreens(), m_screenIndex)) {
        m_winX = area->work.left;
        m_winY = area->work.top;
    }
    CTestDlg probe(m_hWnd);
    probe.SetNotify(m_hWnd, WM_SCREEN_SIZE);
    probe.SetPosition(m_winX, m_winY);
    m_probe = &probe;
    const INT_PTR measured = probe.DoModal();
    m_probe = nullptr;
    // The run may have ended while the probe measured (the cameras went away).
    return measured == IDOK && IsWindowVisible(m_hWnd);
}

void CCollateDlg::ArmLaserPrompt() {
    m_nStatus = kLaserPrompt;
    m_bPromptShown = false;
    RelayoutControls();
    EraseCross(win::WindowDC(m_hWnd).get());
    SetTimer(m_hWnd, kLaserPromptTimer, 100, nullptr);
}

void CCollateDlg::StartCollate() {
    m_winX = m_winY = 0;
    m_screenIndex = 0;
    m_bWorking = 0;
    m_points.Start(g_Settings.SetPtCount);
    // A setting that is no square of 2..6 calibrates 25 points; the stored record says so too.
    g_Settings.SetPtCount = m_points.PointCount();
    if (ProbeScreen()) ArmLaserPrompt();
}

void CCollateDlg::Stop() {
    // A probe still measuring goes with the run: nothing of a stopped run stays on the screen.
    if (m_probe) {
        ShowWindow(m_probe->GetSafeHwnd(), SW_HIDE);
        m_probe->EndDialog(IDCANCEL);
    }
    KillTimer(m_hWnd, kLaserPromptTimer);
    m_bWorking = 0;
    m_bPromptShown = false;
}

LRESULT CCollateDlg::OnScreenSize(WPARAM wParam, LPARAM lParam) {
    if (wParam == 0 || wParam > kLargestScreen || lParam <= 0 || lParam > kLargestScreen) return 0;
    m_width = static_cast<int>(wParam);
    m_height = static_cast<int>(lParam);
    return 0;
}

LRESULT CCollateDlg::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam != kLaserPromptTimer) return 0;
    KillTimer(m_hWnd, kLaserPromptTimer);
    PlaceControls(m_height - win::ScaledPixels(m_hWnd, 30));
    m_bPromptShown = true;
    if (g_Settings.LaserBuild()) return OnButtonOk(0, 0);
    ShowPoint();
    Post(PROC_LASER_PROMPT);
    return 0;
}

void CCollateDlg::DrawCross(HDC dc, int x, int y, COLORREF colour) {
    const win::GdiObject<HPEN> pen(CreatePen(PS_SOLID, 3, colour));
    const win::Selection selected(dc, pen.get());
    MoveToEx(dc, x - kCrossArm, y, nullptr);
    LineTo(dc, x + kCrossArm, y);
    MoveToEx(dc, x, y - kCrossArm, nullptr);
    LineTo(dc, x, y + kCrossArm);
}

void CCollateDlg::DrawDisc(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    const win::GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    const win::GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    const win::Selection penSelected(dc, pen.get()), brushSelected(dc, brush.get());
    Ellipse(dc, left, top, right, bottom);
}

void CCollateDlg::EraseCross(HDC dc) {
    DrawCross(dc, m_targetX, m_targetY, kBlack);
    m_crossShown = false;
}

// What the current step shows; also what a repaint puts back.
void CCollateDlg::DrawCurrent(HDC dc) {
    const int cx = m_width / 2, cy = m_height / 2;
    if (m_nStatus == kLaserPrompt && m_bPromptShown) {
        DrawDisc(dc, cx - 25, cy - 75, cx + 25, cy - 25, kRed);
        DrawDisc(dc, cx - 18, cy - 68, cx + 18, cy - 32, kBlack);
        DrawDisc(dc, cx - 10, cy - 60, cx + 10, cy - 40, kRed);
    }
    if (m_crossShown) DrawCross(dc, m_targetX, m_targetY, kRed);
}

void CCollateDlg::ShowPoint() {
    const win::WindowDC window(m_hWnd);
    HDC dc = window.get();
    const int cx = m_width / 2, cy = m_height / 2;
    std::string text;
    if (m_nStatus == kLaserPrompt) {
        EraseCross(dc);
        DrawCurrent(dc);
        text = "(1) " + g_Lang.IDS_TURNONLASER + " (2) " + g_Lang.IDS_TURNOFFLASER;
    } else if (m_nStatus == kScreenFinished) {
        EraseCross(dc);
        text = g_Lang.IDS_CHKLIGHT;
    } else if (m_nStatus == kCollectionStart) {
        DrawDisc(dc, cx - 25, cy - 75, cx + 25, cy - 25, kBlack);
        text = g_Lang.IDS_CHKLIGHT;
    } else if (m_nStatus >= 0) {
        const int n = m_points.Side();
        if (m_nStatus == (n - 1) * n) {
            // The buttons make way for the last row's crosses; OK stays as the run left it (off while
            // the crosses run: a click there would start the run again).
            const BOOL okEnabled = IsWindowEnabled(GetDlgItem(m_hWnd, IDC_COLLATE_OK));
            PlaceControls(win::ScaledPixels(m_hWnd, 20));
            EnableWindow(GetDlgItem(m_hWnd, IDC_COLLATE_OK), okEnabled);
        }
        if (m_nStatus > 0) EraseCross(dc);
        const collate::GridPoint p =
            collate::TargetPosition(collate::VisitCell(m_nStatus, n), n, m_width, m_height);
        m_targetX = p.x;
        m_targetY = p.y;
        m_crossShown = true;
        DrawCurrent(dc);
        text = g_Lang.IDS_WHILECAING;
    }
    SetDlgItemTextA(m_hWnd, IDC_COLLATE_TEXT, text.c_str());
}

LRESULT CCollateDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    DrawCurrent(dc);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CCollateDlg::OnButtonOk(WPARAM, LPARAM) {
    // Only the prompt's OK: not while the probe measures, not a second press.
    if (m_nStatus != kLaserPrompt || !m_bPromptShown || !IsWindowVisible(m_hWnd)) return 0;
    m_bPromptShown = false;
    if (g_bCollate == 1) {
        TRACE("CollateDlg::OnButtonOk auto-bridge: clear int(g_bCollateA) and switch to auto stage2");
        g_bCollateA = 0;
        ShowWindow(m_hWnd, SW_HIDE);
        Post(PROC_COLLECTION_STARTED);
        Post(PROC_AUTO_STAGE2);
        return 0;
    }
    TRACE("CollateDlg::OnButtonOk manual-start: status=%d camCount=%d setPtCount=%d", m_nStatus,
          m_points.CameraCount(), m_points.PointCount());
    Post(PROC_COLLECTION_STARTED);
    EnableWindow(GetDlgItem(m_hWnd, IDC_COLLATE_OK), FALSE);
    m_nStatus = kCollectionStart;
    ShowPoint();
    m_nStatus = 0;
    ShowPoint();
    m_bWorking = 1;
    return 0;
}

LRESULT CCollateDlg::OnCancel(WPARAM, LPARAM) {
    TRACE("CollateDlg::OnCancel: int(g_bCollate)=%d int(g_bCollateA)=%d status=%d", int(g_bCollate), int(g_bCollateA), m_nStatus);
    KillTimer(m_hWnd, kLaserPromptTimer);
    m_bWorking = 0;
    m_bPromptShown = false;
    ShowWindow(m_hWnd, SW_HIDE);
    Post(PROC_COLLECTION_STARTED);
    Post(PROC_CALIBRATION_CANCEL);
    return 0;
}

LRESULT CCollateDlg::OnCollate(WPARAM wParam, LPARAM lParam) {
    if (!m_bWorking || m_nStatus < 0 || m_nStatus >= m_points.PointCount()) return 0;
    // The point is the listener's ticket: a later frame or a forged message never reaches here.
    _SDetectPoint point{};
    if (!TakePoint(static_cast<uintptr_t>(lParam), point)) return 0;
    if (wParam >= static_cast<WPARAM>(collate::kCameraIndexLimit)) {
        char line[128];
        std::snprintf(line, sizeof(line), "OnCollate: invalid index=%d, ignoring.\r\n", static_cast<int>(wParam));
        OutputDebugStringA(line);
        return 0;
    }
    if (point.state != 1) return 0;
    switch (m_points.AddPoint(static_cast<int>(wParam), point.x, point.y)) {
    case collate::AddResult::TargetDone:
        m_nStatus = m_points.Target();
        ShowPoint();
        break;
    case collate::AddResult::ScreenDone:
        FinishScreen();
        break;
    default:
        break;
    }
    return 0;
}

int CCollateDlg::PostCalibration() {
    m_bWorking = 0;
    const int slot = m_points.TakeCompleteSlot();
    if (slot < 0 || !m_record) return 0;
    *m_record = _SCalibration{};
    m_record->lScreenIndex = static_cast<uint32_t>(m_screenIndex);
    m_record->lWinLeft = static_cast<uint32_t>(m_winX);
    m_record->lWinTop = static_cast<uint32_t>(m_winY);
    m_record->lWinWidth = static_cast<uint32_t>(m_width);
    m_record->lWinHeight = static_cast<uint32_t>(m_height);
    m_points.FillRecord(slot, *m_record);
    if (m_hNotify) PostMessageA(m_hNotify, m_saveMsg, static_cast<WPARAM>(slot), reinterpret_cast<LPARAM>(m_record));
    return 1;
}

void CCollateDlg::FinishScreen() {
    m_nStatus = kScreenFinished;
    ShowPoint();
    const int count = m_points.PointCount();
    g_nPtCount = count;
    g_Settings.PtCount = count;
    ini::WriteInt(g_Settings.IniPath, "System", "PtCount", count);
    PostCalibration();
    if (m_screenIndex >= m_screenCount - 1) {
        g_Settings.Setting = 1;
        ini::WriteInt(g_Settings.IniPath, "System", "Setting", 1);
        ShowWindow(m_hWnd, SW_HIDE);
        Post(PROC_CALIBRATION_DONE);
        return;
    }
    m_points.ClearUnfinishedSlots();
    ++m_screenIndex;
    if (ProbeScreen()) ArmLaserPrompt();
}

LRESULT CCollateDlg::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != m_hWnd) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetBkColor(dc, kBlack);
        SetTextColor(dc, kRed);
    }
    return reinterpret_cast<LRESULT>(m_brush.get());
}
