#include "ui/LaserWriteDlg.h"

#include "config/LangText.h"
#include "res/resource.h"
#include "win/Messages.h"

CLaserWriteDlg::CLaserWriteDlg(HWND owner) : Dialog(IDD_LASERWRITE, owner) {}

void CLaserWriteDlg::SetNotify(HWND window, UINT message, UINT secondMessage) {
    m_hNotify = window;
    m_notifyMessage = message;
    m_secondMessage = secondMessage;
}

namespace {
HWND g_laserDlg = nullptr;
HHOOK g_keyboardHook = nullptr;

// The main window runs its own modal loop, which gives dialog keys (Tab, Space, Enter, Escape)
// only to itself; this gives them to the laser-write dialog while it has the focus.
LRESULT CALLBACK DialogKeys(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && g_laserDlg && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST && (msg->hwnd == g_laserDlg || IsChild(g_laserDlg, msg->hwnd)) &&
        IsDialogMessageA(g_laserDlg, msg))
        msg->message = WM_NULL;
    return CallNextHookEx(g_keyboardHook, code, wParam, lParam);
}
}  // namespace

CLaserWriteDlg::~CLaserWriteDlg() {
    if (g_keyboardHook) UnhookWindowsHookEx(g_keyboardHook);
    g_keyboardHook = nullptr;
    g_laserDlg = nullptr;
}

void CLaserWriteDlg::Show(bool on) {
    CheckDlgButton(m_hWnd, ID_CHECK_LASERWRITE, on ? BST_CHECKED : BST_UNCHECKED);
    // Set before showing too: activation gives the focus back to the control the dialog remembers.
    const WPARAM box = reinterpret_cast<WPARAM>(GetDlgItem(m_hWnd, ID_CHECK_LASERWRITE));
    SendMessageA(m_hWnd, WM_NEXTDLGCTL, box, TRUE);
    ShowWindow(m_hWnd, SW_SHOW);
    SetForegroundWindow(m_hWnd);
    SendMessageA(m_hWnd, WM_NEXTDLGCTL, box, TRUE);
}

BOOL CLaserWriteDlg::OnInitDialog() {
    SetDlgItemTextA(m_hWnd, ID_CHECK_LASERWRITE, g_Lang.IDS_LASERWRIT.c_str());
    g_laserDlg = m_hWnd;
    if (!g_keyboardHook) g_keyboardHook = SetWindowsHookExA(WH_GETMESSAGE, DialogKeys, nullptr, GetCurrentThreadId());
    return TRUE;
}

bool CLaserWriteDlg::Dispatch(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || LOWORD(wParam) != IDOK) return false;
    OnOK();
    result = 0;
    return true;
}

void CLaserWriteDlg::OnOK() {
    const WPARAM state = IsDlgButtonChecked(m_hWnd, ID_CHECK_LASERWRITE) == BST_CHECKED ? 1 : 0;
    if (m_hNotify) PostMessageA(m_hNotify, m_notifyMessage, state, PROC_KIND_CAPTURE_MODE);
    // Hidden, never ended; the next showing ticks the box as the cameras run.
    ShowWindow(m_hWnd, SW_HIDE);
}
