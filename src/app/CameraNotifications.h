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
    // For WM_DEVICECHANGE: true when the message announces a camera interface's arrival or removal.
    static bool IsCameraChange(WPARAM event, LPARAM data, bool& arrived);

private:
    HDEVNOTIFY m_handles[2] = {};
};
