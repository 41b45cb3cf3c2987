#include "ui/AboutDlg.h"

#include "config/LangText.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(HWND parent) : Dialog(IDD_ABOUTBOX, parent) {}

BOOL CAboutDlg::OnInitDialog() {
    SetWindowTextA(m_hWnd, g_Lang.IDS_ABOUT.c_str());
    SetDlgItemTextA(m_hWnd, IDOK, g_Lang.IDS_OK.c_str());
    return TRUE;
}
