// Tells a window when a camera comes or goes (WM_DEVICECHANGE with device-interface broadcasts),
// so that cameras are reconnected at once instead of at the next poll.
#pragma once
#include <windows.h>

class CCameraNotifications {
public:
    CCameraNotifications() = default;
    ~CCameraNotifications() { Unregister(); }
    CCameraNotifications(const CCameraNotifications&) = delete;
    CCameraNotifications& operator=(const CCameraNotifications&) = delete;

    void Register(HWND window);
    void Unregister();
    // For WM_DEVICECHANGE: a device arrived or went. Only wParam is read: a message posted by
    // another program may carry any lParam, so the event is a hint to look again, nothing more.
    static bool IsDeviceChange(WPARAM event);

private:
    HDEVNOTIFY m_handles[2] = {};
};
