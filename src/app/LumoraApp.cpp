#include "app/LumoraApp.h"

#include <commctrl.h>
#include <objidl.h>  // gdiplus.h needs it under WIN32_LEAN_AND_MEAN
#include <gdiplus.h>
#include <cstring>
#include <string>

#include "ACamDll.h"
#include "app/LumoraDlg.h"
#include "config/LangText.h"
#include "config/Settings.h"
#include "output/SharedMemory.h"
#include "storage/FolderAccess.h"

const char* AppTitle() {
    static std::string title;
    if (title.empty()) {
        const std::string& exe = g_Settings.ExePath;
        size_t slash = exe.find_last_of('\\');
        title = exe.substr(slash == std::string::npos ? 0 : slash + 1);
        size_t dot = title.find_last_of('.');
        if (dot != std::string::npos) title.resize(dot);
        if (title.empty()) title = "Tavori";
    }
    return title.c_str();
}

static bool s_boxOpen = false;

int AppMessageBox(const char* text, UINT type) {
    // A box runs a message loop of its own: whatever arrives meanwhile (another loss, a flood of
    // commands from another program) must not open a second box on top, nor nest without bound.
    if (s_boxOpen) return 0;
    s_boxOpen = true;
    const int answer = MessageBoxA(nullptr, text, AppTitle(), type | MB_SETFOREGROUND);
    s_boxOpen = false;
    return answer;
}

bool AppMessageBoxOpen() { return s_boxOpen; }

static BOOL CALLBACK CloseIfAppMessageBox(HWND hwnd, LPARAM) {
    char cls[16] = {}, title[64] = {};
    GetClassNameA(hwnd, cls, sizeof(cls));
    GetWindowTextA(hwnd, title, sizeof(title));
    if (strcmp(cls, "#32770") == 0 && strcmp(title, AppTitle()) == 0) PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CloseAppMessageBoxes() { EnumThreadWindows(GetCurrentThreadId(), CloseIfAppMessageBox, 0); }

bool CLumoraApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    LoadSettings();

    m_instanceMutex.reset(CreateMutexA(nullptr, FALSE, "Lumora"));
    if (!m_instanceMutex) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        m_instanceMutex.reset();
        return false;
    }

    Gdiplus::GdiplusStartupInput input;
    m_bGdiplusStarted = Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) == Gdiplus::Ok;

    if (ALC_Initialize() != 1) {
        if (CanWriteFolder(g_Settings.AppDir)) {
            AppMessageBox(g_Lang.IDS_INSTAVORI.c_str());
            WriteManagementZero();
            return false;
        }
        // A read-only folder (Program Files for a normal user) is no camera fault: say what it is
        // and run, the calibration kept in memory until the driver ends.
        const std::string text = LangFormat(g_Lang.IDS_FOLDERREADONLY,
                                            "Tavori cannot write to its folder %s. It runs, but settings and "
                                            "calibrations are kept only until it ends. Move Tavori to a folder you "
                                            "can write to, for example in your user profile.",
                                            g_Settings.AppDir);
        AppMessageBox(text.c_str(), MB_OK | MB_ICONWARNING);
    }

    if (CreateMultiScreenShare() != 0) {
        AppMessageBox("System error");
        return false;
    }
    CreateTouchShare();

    {
        CLumoraDlg dlg;
        dlg.DoModal();
    }
    return false;
}

int CLumoraApp::ExitInstance() {
    CloseMultiScreenShare();
    CloseTouchShare();
    if (m_bGdiplusStarted) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_bGdiplusStarted = false;
    }
    return 0;
}

int CLumoraApp::Run() {
    InitInstance();
    return ExitInstance();
}
