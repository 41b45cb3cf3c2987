// The driver's icon in the notification area: added when the main window opens, its picture
// switched when the cameras stop and start, removed when the window goes.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <string>

class CAnimateTrayIcon {
public:
    // The frame strip animates the icon; the driver passes none (bitmapId 0).
    CAnimateTrayIcon(HWND parent, UINT callbackMessage, UINT bitmapId, int frameWidth, UINT iconId,
                     COLORREF maskColour);
    virtual ~CAnimateTrayIcon();
    CAnimateTrayIcon(const CAnimateTrayIcon&) = delete;
    CAnimateTrayIcon& operator=(const CAnimateTrayIcon&) = delete;

    void SetAnimationInterval(UINT ms);
    bool AddIcon(const char* tooltip);
    bool RemoveIcon();
    void SetIcon(UINT iconId);
    bool SetTooltipText(const char* text);
    // A warning balloon at the icon; a click on it reaches the owner as NIN_BALLOONUSERCLICK.
    bool ShowBalloon(const char* title, const char* text);
    // The shell restarted (TaskbarCreated): the icon is gone from the new task bar; add it again.
    void Readd();
    // The owner's WM_TIMER: true when the tick was this icon's retry (then it is handled).
    bool OnTimer(UINT_PTR id);

private:
    void UpdateTimer();
    // At logon the shell may not take icons yet: a refused add is tried again a few times.
    void AddOrRetry();
    UINT_PTR RetryTimerId() const { return reinterpret_cast<UINT_PTR>(this) + 1; }

    HICON m_hIcon = nullptr;
    HWND m_hParent;
    NOTIFYICONDATAA m_nid{};
    bool m_bAdded = false;
    bool m_balloonShown = false;  // since the icon was added
    HIMAGELIST m_frames = nullptr;
    int m_nFrames = 0;
    bool m_bAnimate = false;
    bool m_bAnimateAlways = false;
    UINT m_nInterval = 500;
    int m_nRetriesLeft = 0;
};
