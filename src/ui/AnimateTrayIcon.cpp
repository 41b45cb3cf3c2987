#include "ui/AnimateTrayIcon.h"

#include <commctrl.h>

#include <cstring>

namespace {
constexpr UINT kRetryMs = 2000;
constexpr int kRetries = 30;  // a minute: the shell is normally up long before

template <size_t N>
void CopyTip(char (&field)[N], const char* text) {
    strncpy(field, text ? text : "", N - 1);
    field[N - 1] = 0;
}
}  // namespace

CAnimateTrayIcon::CAnimateTrayIcon(HWND parent, UINT callbackMessage, UINT bitmapId, int frameWidth, UINT iconId,
                                   COLORREF maskColour)
    : m_hParent(parent) {
    m_nid.cbSize = sizeof(m_nid);
    m_nid.hWnd = parent;
    m_nid.uID = 0xFFFFFFFF;
    m_nid.uCallbackMessage = callbackMessage;
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
    if (bitmapId != 0 && frameWidth > 0) {
        m_frames = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId), frameWidth, 0,
                                        maskColour, IMAGE_BITMAP, LR_DEFAULTCOLOR);
        m_nFrames = m_frames ? ImageList_GetImageCount(m_frames) : 0;
        m_bAnimate = m_bAnimateAlways = m_nFrames >= 2;
    }
    AddOrRetry();
}

CAnimateTrayIcon::~CAnimateTrayIcon() {
    RemoveIcon();
    KillTimer(m_hParent, reinterpret_cast<UINT_PTR>(this));
    KillTimer(m_hParent, RetryTimerId());
    if (m_frames) ImageList_Destroy(m_frames);
}

void CAnimateTrayIcon::SetAnimationInterval(UINT ms) {
    m_nInterval = ms;
    UpdateTimer();
}

void CAnimateTrayIcon::UpdateTimer() {
    if (m_bAdded && (m_bAnimate || m_bAnimateAlways))
        SetTimer(m_hParent, reinterpret_cast<UINT_PTR>(this), m_nInterval, nullptr);
    else
        KillTimer(m_hParent, reinterpret_cast<UINT_PTR>(this));
}

bool CAnimateTrayIcon::AddIcon(const char* tooltip) {
    if (m_bAdded) return false;
    CopyTip(m_nid.szTip, tooltip);
    m_nid.hIcon = m_hIcon;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (!Shell_NotifyIconA(NIM_ADD, &m_nid)) return false;
    // The icons come from LoadIcon: shared by the system, never destroyed by us.
    SendMessageA(m_hParent, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    m_bAdded = true;
    UpdateTimer();
    return true;
}

bool CAnimateTrayIcon::RemoveIcon() {
    if (!m_bAdded) return false;
    if (m_balloonShown) {
        // A balloon still up is taken down first: a shell may otherwise keep it (Wine's tray does,
        // and moves its own window after it) once its icon is gone.
        m_nid.szInfo[0] = m_nid.szInfoTitle[0] = 0;
        m_nid.uFlags = NIF_INFO;
        Shell_NotifyIconA(NIM_MODIFY, &m_nid);
        m_balloonShown = false;
    }
    // Icons loaded from resources are shared: the handle is dropped, not destroyed.
    m_nid.hIcon = nullptr;
    m_nid.szTip[0] = 0;
    m_nid.uFlags = NIF_MESSAGE;
    if (!Shell_NotifyIconA(NIM_DELETE, &m_nid)) return false;
    m_bAdded = false;
    if (!m_bAnimateAlways) KillTimer(m_hParent, reinterpret_cast<UINT_PTR>(this));
    return true;
}

void CAnimateTrayIcon::SetIcon(UINT iconId) {
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
    m_nid.hIcon = m_hIcon;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON;
    Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

bool CAnimateTrayIcon::SetTooltipText(const char* text) {
    CopyTip(m_nid.szTip, text);  // kept for an add that is still to come
    if (!m_bAdded) return false;
    m_nid.uFlags = NIF_MESSAGE | NIF_TIP;
    return Shell_NotifyIconA(NIM_MODIFY, &m_nid) != FALSE;
}

bool CAnimateTrayIcon::ShowBalloon(const char* title, const char* text) {
    if (!m_bAdded) return false;
    CopyTip(m_nid.szInfoTitle, title);
    CopyTip(m_nid.szInfo, text);
    m_nid.uTimeout = 10000;  // the shell's own limits apply
    m_nid.dwInfoFlags = NIIF_WARNING;
    m_nid.uFlags = NIF_MESSAGE | NIF_INFO;
    const bool shown = Shell_NotifyIconA(NIM_MODIFY, &m_nid) != FALSE;
    m_balloonShown = m_balloonShown || shown;
    m_nid.szInfo[0] = m_nid.szInfoTitle[0] = 0;  // said once: a later change of the icon says nothing
    return shown;
}

void CAnimateTrayIcon::Readd() {
    m_bAdded = false;
    AddOrRetry();
}

void CAnimateTrayIcon::AddOrRetry() {
    const std::string tip = m_nid.szTip;
    if (AddIcon(tip.c_str())) {
        KillTimer(m_hParent, RetryTimerId());
        return;
    }
    m_nRetriesLeft = kRetries;
    SetTimer(m_hParent, RetryTimerId(), kRetryMs, nullptr);
}

bool CAnimateTrayIcon::OnTimer(UINT_PTR id) {
    if (id != RetryTimerId()) return false;
    const std::string tip = m_nid.szTip;
    if (AddIcon(tip.c_str()) || m_bAdded || --m_nRetriesLeft <= 0) KillTimer(m_hParent, RetryTimerId());
    return true;
}
