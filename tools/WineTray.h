// Where Wine shows the notification area when no desktop shell has one: a window of its own whose
// client area holds the icons in a row. It moves and grows with the desktop's scaling, so it is
// looked up each time, never remembered.
#pragma once
#include <windows.h>

// The icons' area in screen coordinates; empty when there is no such window.
inline RECT WineTrayIcons() {
    RECT r{};
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (!tray) return r;
    GetClientRect(tray, &r);
    MapWindowPoints(tray, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The centre of the first icon, the driver's in a session of its own. Icons are square.
inline POINT WineTrayFirstIcon() {
    const RECT r = WineTrayIcons();
    return {r.left + (r.bottom - r.top) / 2, (r.top + r.bottom) / 2};
}
