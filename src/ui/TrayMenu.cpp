#include "ui/TrayMenu.h"

#include <array>

#include "config/LangText.h"
#include "res/resource.h"
#include "ui/XPMenu.h"

namespace {
CXPMenu* g_openMenu = nullptr;  // UI thread only: the menu being tracked
}

void ShowTrayMenu(HWND owner, int x, int y, bool cameraRunning) {
    if (g_openMenu) return;  // a click on the icon while the menu is open: no second, nested menu
    while (GetWindowLongPtrA(owner, GWL_STYLE) & WS_CHILD) owner = GetParent(owner);
    // The report is read from the file: it is there with or without a camera.
    const std::array<TrayMenuItem, 6> items{{
        {IDI_MENU_CALIBRATE, IDI_MENU_CALIBRATE, g_Lang.IDS_Calibration_Auto},
        {IDI_MENU_CALIBRATE, IDI_MENU_CALIBRATE, g_Lang.IDS_Calibration},
        {IDI_MENU_CALIBRATE, IDI_MENU_CALIBRATE, g_Lang.IDS_REPORT},
        {IDI_MENU_HELP, IDI_MENU_HELP, g_Lang.IDS_HELP},
        {IDI_MENU_ABOUT, IDI_MENU_ABOUT, g_Lang.IDS_ABOUT},
        {IDI_MENU_QUIT, IDI_MENU_QUIT, g_Lang.IDS_QUIT},
    }};
    const std::array<UINT, 6> commands{ID_MENU_CALIBRATE_AUTO, ID_MENU_CALIBRATE, ID_MENU_REPORT, ID_MENU_HELP,
                                       ID_MENU_ABOUT, ID_MENU_QUIT};
    CXPMenu menu(DpiAtPoint(POINT{x, y}));
    for (size_t i = cameraRunning ? 0 : 2; i < items.size(); ++i) menu.AppendItem(commands[i], &items[i]);
    g_openMenu = &menu;
    TrackPopupMenu(menu.GetSafeHmenu(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
    g_openMenu = nullptr;
}

bool RouteTrayMenuMessage(UINT message, LPARAM lParam) {
    if (!g_openMenu) return false;
    if (message == WM_MEASUREITEM) {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mis->CtlType != ODT_MENU) return false;
        g_openMenu->MeasureItem(*mis);
        return true;
    }
    if (message == WM_DRAWITEM) {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (dis->CtlType != ODT_MENU || reinterpret_cast<HMENU>(dis->hwndItem) != g_openMenu->GetSafeHmenu())
            return false;
        g_openMenu->DrawItem(*dis);
        return true;
    }
    return false;
}
