#include "output/DesktopMouse.h"

#include <windows.h>

#include <cstring>

namespace {
constexpr const char* kDrawCaption = "Inkora window";
}

uint32_t CDesktopMouse::Now() { return GetTickCount(); }

void CDesktopMouse::Send(int x, int y, int action, int ownerScreen) {
    static const DWORD kFlags[] = {MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE,
                                   MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN,
                                   MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP,
                                   MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_RIGHTDOWN,
                                   MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_RIGHTUP};
    const DWORD flags = action >= 0 && action <= 4 ? kFlags[action] : kFlags[0];
    AbsolutePoint p = NormaliseMousePoint(x, y, ownerScreen, m_nScreenW, m_nScreenH);
    mouse_event(flags, p.x, p.y, 0, 0);
}

bool CDesktopMouse::IsDrawForeground() {
    char title[64] = {};
    HWND front = GetForegroundWindow();
    if (!front) return false;
    GetWindowTextA(front, title, sizeof(title));
    return strstr(title, kDrawCaption) != nullptr;
}

void* FindDrawWindow() { return FindWindowA(nullptr, kDrawCaption); }
