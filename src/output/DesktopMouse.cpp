#include "output/DesktopMouse.h"

#include <windows.h>

#include <cstring>

namespace {
constexpr const char* kDrawCaption = "Inkora window";
}

uint32_t CDesktopMouse::Now() { return GetTickCount(); }

// Points arrive in desktop pixels, so the position is one on the whole virtual desktop: a monitor
// left of or above the primary one, or of another size, is reached like the primary itself.
void CDesktopMouse::Send(int x, int y, int action, int) {
    static const DWORD kFlags[] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN,
                                   MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP, MOUSEEVENTF_MOVE | MOUSEEVENTF_RIGHTDOWN,
                                   MOUSEEVENTF_MOVE | MOUSEEVENTF_RIGHTUP};
    const DWORD flags = action >= 0 && action <= 4 ? kFlags[action] : kFlags[0];
    const AbsolutePoint p = DesktopToAbsolute(x, y, m_desktop);
    mouse_event(flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK, p.x, p.y, 0, 0);
}

bool CDesktopMouse::IsDrawForeground() {
    char title[64] = {};
    HWND front = GetForegroundWindow();
    if (!front) return false;
    GetWindowTextA(front, title, sizeof(title));
    return strstr(title, kDrawCaption) != nullptr;
}

void* FindDrawWindow() { return FindWindowA(nullptr, kDrawCaption); }
