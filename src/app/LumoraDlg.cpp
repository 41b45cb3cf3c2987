#include "app/LumoraDlg.h"

#include <objbase.h>

#include "config/Settings.h"
#include "res/resource.h"

TAVORI_BEGIN_MESSAGE_MAP(CLumoraDlg)
TAVORI_ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
TAVORI_ON_MESSAGE(WM_PAINT, OnPaint)
TAVORI_ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
TAVORI_ON_MESSAGE(WM_DESTROY, OnDestroy)
TAVORI_ON_MESSAGE(WM_SET_SEARCH_TYPE, OnSetSearchType)
TAVORI_ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColorDlg)
TAVORI_ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
TAVORI_ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
TAVORI_ON_COMMAND(ID_MENU_QUIT, OnQuit)
TAVORI_ON_COMMAND(ID_MENU_SHOW, OnShow)
TAVORI_ON_MESSAGE(WM_TIMER, OnTimer)
TAVORI_END_MESSAGE_MAP()

CLumoraDlg::CLumoraDlg() : MappedDialog(IDD_LUMORA_DIALOG, nullptr) {
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CLumoraDlg::~CLumoraDlg() {
    if (m_brush) DeleteObject(m_brush);
}

BOOL CLumoraDlg::OnInitDialog() {
    m_brush = CreateSolidBrush(RGB(0, 0, 0));
    SetWindowTextA(m_hWnd, kMainWindowCaption);

    HMENU sysMenu = GetSystemMenu(m_hWnd, FALSE);
    char about[128] = {};
    if (sysMenu && LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof(about)) > 0) {
        AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Zero size at the origin and a tool window: never seen, never in the task bar.
    MoveWindow(m_hWnd, 0, 0, 0, 0, FALSE);
    SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);

    CoInitialize(nullptr);
    m_bCameraRunning = 0;
    m_nScreenW = GetSystemMetrics(SM_CXSCREEN);
    m_nScreenH = GetSystemMetrics(SM_CYSCREEN);

    m_bCameraRunning = 1;
    m_nHideCount = 0;
    SetTimer(m_hWnd, IDT_HIDE_WINDOW, 500, nullptr);
    SetTimer(m_hWnd, IDT_SEARCH_TYPE, 2000, nullptr);
    return TRUE;
}

LRESULT CLumoraDlg::OnSysCommand(WPARAM wParam, LPARAM lParam) {
    switch (wParam & 0xFFF0) {
    case IDM_ABOUTBOX:
        return 0;
    case SC_MINIMIZE:
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    case SC_RESTORE:
        ShowWindow(m_hWnd, SW_SHOW);
        SetActiveWindow(m_hWnd);
        SetForegroundWindow(m_hWnd);
        return 0;
    case SC_CLOSE:
        EndDialog(IDCANCEL);
        return 0;
    default:
        return DefWindowProcA(m_hWnd, WM_SYSCOMMAND, wParam, lParam);
    }
}

LRESULT CLumoraDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (IsIconic(m_hWnd)) {
        SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (rc.right - cx + 1) / 2, (rc.bottom - cy + 1) / 2, m_hIcon);
    }
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CLumoraDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

LRESULT CLumoraDlg::OnDestroy(WPARAM, LPARAM) {
    KillTimer(m_hWnd, IDT_HIDE_WINDOW);
    KillTimer(m_hWnd, IDT_SEARCH_TYPE);
    CoUninitialize();
    return 0;
}

LRESULT CLumoraDlg::OnSetSearchType(WPARAM wParam, LPARAM lParam) {
    if (wParam == 1) searchType = static_cast<int32_t>(lParam);
    return 0;
}

LRESULT CLumoraDlg::OnCtlColorDlg(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_brush); }

LRESULT CLumoraDlg::OnCtlColorStatic(WPARAM wParam, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CLumoraDlg::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT CLumoraDlg::OnQuit(WPARAM, LPARAM) {
    WriteManagementZero();
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CLumoraDlg::OnShow(WPARAM, LPARAM) {
    ShowWindow(m_hWnd, SW_SHOW);
    SendMessageA(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    return 0;
}

LRESULT CLumoraDlg::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam == IDT_HIDE_WINDOW) {
        if (m_nHideCount > 8) KillTimer(m_hWnd, IDT_HIDE_WINDOW);
        ShowWindow(m_hWnd, SW_HIDE);
        ++m_nHideCount;
    }
    if (wParam == IDT_SEARCH_TYPE) ReloadSearchType();
    return 0;
}
