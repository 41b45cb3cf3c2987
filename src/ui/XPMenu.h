// The owner-drawn popup menu of the tray icon: an icon column and flat colours, measured and
// drawn for the DPI of the monitor it opens on.
#pragma once
#include <windows.h>

#include <string>

#include "win/Scoped.h"

// One item's record; its address is the item's data.
struct TrayMenuItem {
    UINT normalIcon = 0;
    UINT selectedIcon = 0;
    std::string text;
};

class CXPMenu {
public:
    explicit CXPMenu(int dpi);
    ~CXPMenu();
    CXPMenu(const CXPMenu&) = delete;
    CXPMenu& operator=(const CXPMenu&) = delete;

    HMENU GetSafeHmenu() const { return m_hMenu; }
    bool AppendItem(UINT command, const TrayMenuItem* item);
    void MeasureItem(MEASUREITEMSTRUCT& mis) const;
    void DrawItem(const DRAWITEMSTRUCT& dis) const;

private:
    HICON Icon(UINT id) const;

    HMENU m_hMenu = nullptr;
    int m_dpi = 96;
    win::GdiObject<HFONT> m_font;  // the menu font at this DPI
};

// The DPI of the monitor that holds the point (96 where the system cannot say).
int DpiAtPoint(POINT pt);
