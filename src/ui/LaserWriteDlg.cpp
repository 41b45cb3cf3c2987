#include "ui/LaserWriteDlg.h"

#include "config/LangText.h"
#include "res/resource.h"

namespace {
constexpr LPARAM kLaserWriteCommand = 10;
}

CLaserWriteDlg::CLaserWriteDlg(HWND owner) : Dialog(IDD_LASERWRITE, owner) {}

void CLaserWriteDlg::SetNotify(HWND window, UINT message, UINT secondMessage) {
    m_hNotify = window;
    m_notifyMessage = message;
    m_secondMessage = secondMessage;
}

BOOL CLaserWriteDlg::OnInitDialog() {
    SetDlgItemTextA(m_hWnd, ID_CHECK_LASERWRITE, g_Lang.IDS_LASERWRIT.c_str());
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
    if (m_hNotify) PostMessageA(m_hNotify, m_notifyMessage, state, kLaserWriteCommand);
    // Hidden, never ended: the box keeps its state for the next showing.
    ShowWindow(m_hWnd, SW_HIDE);
}
