#include "app/CameraNotifications.h"

#include <dbt.h>

#include <cstring>

namespace {

// Video cameras (Windows 10 and later register them here) and capture devices (every version).
const GUID kCameraCategories[2] = {
    {0xE5323777, 0xF976, 0x4F5B, {0x9B, 0x55, 0xB9, 0x46, 0x99, 0xC4, 0x6E, 0x44}},
    {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}},
};

}  // namespace

void CCameraNotifications::Register(HWND window) {
    Unregister();
    for (int i = 0; i < 2; ++i) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter;
        std::memset(&filter, 0, sizeof filter);
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kCameraCategories[i];
        m_handles[i] = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
}

void CCameraNotifications::Unregister() {
    for (HDEVNOTIFY& h : m_handles) {
        if (h) UnregisterDeviceNotification(h);
        h = nullptr;
    }
}

bool CCameraNotifications::IsDeviceChange(WPARAM event) {
    return event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE;
}
