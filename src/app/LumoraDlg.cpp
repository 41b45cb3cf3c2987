#include "app/LumoraDlg.h"

#include <objbase.h>
#include <shellapi.h>

#include "ACamDll.h"
#include "app/LumoraApp.h"
#include "capture/ListenThread.h"
#include "capture/MediaFoundation.h"
#include "capture/PointHandoff.h"
#include "config/LangText.h"
#include "config/Settings.h"
#include "res/resource.h"
#include "calibration/CalibrationWindows.h"
#include "storage/CalibrationIni.h"
#include "storage/CalibrationSources.h"
#include "output/Monitors.h"
#include "output/PointRouting.h"
#include "storage/OptionsDlg.h"
#include "app/SceneNotices.h"
#include "capture/StrayLights.h"
#include "ui/AboutDlg.h"
#include "ui/AnimateTrayIcon.h"
#include "ui/LaserWriteDlg.h"
#include "ui/TrayMenu.h"
#include "win/Trace.h"

namespace {
constexpr UINT kReconnectMs = 5000;
constexpr const char* kNoCameraYet =
    "No Tavori camera was found. Tavori keeps running in the notification area and starts the camera as "
    "soon as it is plugged in.";
constexpr const char* kNoMediaFeaturePack =
    "Windows lacks the Media Feature Pack: Tavori runs on but cannot use USB cameras. Windows 10/11: Settings > "
    "Apps > Optional features > Add a feature. Windows 7/8.1: download it from Microsoft (search for \"Media "
    "Feature Pack\"). Then restart Windows.";
constexpr const char* kCalibrationRefused =
    "Camera %s has no usable calibration: the pen is not followed until it is calibrated again.";
constexpr const char* kCalibrationKept =
    "The new calibration of camera %s could not be used: the pen was not seen where the marks were. The "
    "calibration from before stays in force.";
constexpr const char* kNamedCalibrationRefused =
    "The saved calibration \"%s\" is damaged or holds no calibration for the cameras running. Nothing has "
    "changed: the pen keeps the calibration it had.";
constexpr const char* kOutputUnavailable = "%s is not available on this version of Windows. Tavori uses the mouse.";
}

TAVORI_BEGIN_MESSAGE_MAP(CLumoraDlg)
TAVORI_ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
TAVORI_ON_MESSAGE(WM_PAINT, OnPaint)
TAVORI_ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
TAVORI_ON_MESSAGE(WM_DESTROY, OnDestroy)
TAVORI_ON_MESSAGE(WM_POINT_EVENT, OnPointEvent)
TAVORI_ON_MESSAGE(WM_POINTS_EVENT, OnPointsEvent)
TAVORI_ON_MESSAGE(WM_OUTPUT_UNAVAILABLE, OnOutputUnavailable)
TAVORI_ON_MESSAGE(WM_PROC_CMD, OnProcCmd)
TAVORI_ON_MESSAGE(WM_SAVE_CALIBRATION, OnSaveCalibration)
TAVORI_ON_MESSAGE(WM_SET_SEARCH_TYPE, OnSetSearchType)
TAVORI_ON_MESSAGE(WM_CTLCOLORDLG, OnCtlColorDlg)
TAVORI_ON_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColorStatic)
TAVORI_ON_COMMAND(ID_MENU_COLLEAT, OnMenuitemColleat)
TAVORI_ON_MESSAGE(WM_TRAY_NOTIFY, OnTrayNotify)
TAVORI_ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
TAVORI_ON_COMMAND(ID_MENU_QUIT, OnQuit)
TAVORI_ON_COMMAND(IDOK, OnDialogKey)
TAVORI_ON_COMMAND(IDCANCEL, OnDialogKey)
TAVORI_ON_MESSAGE(WM_CLOSE, OnDialogKey)
TAVORI_ON_MESSAGE(WM_ENDSESSION, OnEndSession)
TAVORI_ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChange)
TAVORI_ON_MESSAGE(WM_CALIBRATION_REFUSED, OnCalibrationRefused)
TAVORI_ON_MESSAGE(WM_CALIBRATION_JUDGED, OnCalibrationJudged)
TAVORI_ON_COMMAND(ID_MENU_REPORT, OnShowReport)
TAVORI_ON_MESSAGE(WM_CAMERA_MOVED, OnCameraMoved)
TAVORI_ON_MESSAGE(WM_STRAY_LIGHT, OnStrayLight)
TAVORI_ON_COMMAND(ID_MENU_SHOW, OnShow)
TAVORI_ON_COMMAND(ID_MENU_CALIBRATE, OnShowCollate)
TAVORI_ON_COMMAND(ID_MENU_CALIBRATE_AUTO, OnShowCollateAuto)
TAVORI_ON_COMMAND(ID_MENU_HELP, OnHelp)
TAVORI_ON_COMMAND(ID_MENU_ABOUT, OnAbout)
TAVORI_ON_COMMAND(ID_MENU_OPTIONS, OnOptions)
TAVORI_ON_MESSAGE(WM_TIMER, OnTimer)
TAVORI_ON_MESSAGE(WM_DEVICECHANGE, OnDeviceChange)
TAVORI_ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
TAVORI_ON_COMMAND(ID_MENU_LASERWRITE, OnLaserWrite)
TAVORI_ON_MESSAGE(WM_MEASUREITEM, OnMeasureItem)
TAVORI_ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
TAVORI_END_MESSAGE_MAP()

CLumoraDlg::CLumoraDlg() : MappedDialog(IDD_LUMORA_DIALOG, nullptr) {
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    g_bCollateA = 0;
    g_nBackgroundMode = 0;
}

CLumoraDlg::~CLumoraDlg() = default;

bool CLumoraDlg::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == m_uTaskbarCreated && m_uTaskbarCreated != 0) {
        // The shell restarted: its new task bar knows nothing of our icon.
        if (m_pTrayIcon) m_pTrayIcon->Readd();
        result = 0;
        return true;
    }
    return MappedDialog::Dispatch(message, wParam, lParam, result);
}

BOOL CLumoraDlg::OnInitDialog() {
    m_brush.reset(CreateSolidBrush(RGB(0, 0, 0)));
    SetWindowTextA(m_hWnd, kMainWindowCaption);

    HMENU sysMenu = GetSystemMenu(m_hWnd, FALSE);
    char about[128] = {};
    if (sysMenu && LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof(about)) > 0) {
        AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Zero size at the origin and a tool window: never seen, never in the task bar.
    MoveWindow(m_hWnd, 0, 0, 0, 0, FALSE);
    SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);

    m_com.emplace(COINIT_APARTMENTTHREADED);
    m_pTrayIcon.reset();
    m_bCameraRunning = 0;
    RefreshScreenSize();
    ApplyOutput();

    m_pCalibrationWindows = std::make_unique<CCalibrationWindows>(
        m_hWnd, WM_PROC_CMD, WM_SAVE_CALIBRATION, [](const char* text, UINT type) { return AppMessageBox(text, type); });
    ICalibrationCameras& cameras = *this;
    m_pCalibrationFlow = std::make_unique<CCalibrationFlow>(
        cameras, *m_pCalibrationWindows,
        FlowFlags{enrollSign, g_bCollate, g_bCollateA, searchType, g_nBackgroundMode, g_nBackgroundSnap});

    m_uTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    m_pTrayIcon = std::make_unique<CAnimateTrayIcon>(m_hWnd, WM_TRAY_NOTIFY, 0, 0, IDR_MAINFRAME, RGB(255, 255, 255));
    m_pTrayIcon->SetAnimationInterval(500);
    m_pTrayIcon->SetTooltipText(g_Lang.IDS_TAVORI.c_str());

    m_listListeners.SetTarget(m_hWnd, WM_POINT_EVENT, WM_PROC_CMD);
    m_cameraNotifications.Register(m_hWnd);
    const bool started = StartCameras() != 0;
    const bool mediaFoundation = MediaFoundationPresent();
    CheckCalibrations();
    g_nBackgroundMode = 2;
    m_bCameraRunning = started ? 1 : 0;
    m_nHideCount = 0;
    SetTimer(m_hWnd, IDT_HIDE_WINDOW, 500, nullptr);
    SetTimer(m_hWnd, IDT_SEARCH_TYPE, 2000, nullptr);
    m_pLaserWriteDlg = std::make_unique<CLaserWriteDlg>(m_hWnd);
    if (m_pLaserWriteDlg->CreateModeless()) ShowWindow(m_pLaserWriteDlg->GetSafeHwnd(), SW_HIDE);
    if (!started) {
        // A camera plugged in after logon, or slower than the autostart: wait for it in the tray
        // (the reconnect timer starts it) instead of leaving the user without a driver.
        if (m_pTrayIcon) m_pTrayIcon->SetIcon(IDI_DISCONNECTED);
        SetTimer(m_hWnd, IDT_RECONNECT, kReconnectMs, nullptr);
        if (mediaFoundation)
            AppMessageBox(LangFormat(g_Lang.IDS_NOCAMERAYET, kNoCameraYet).c_str(), MB_OK | MB_ICONINFORMATION);
    }
    // Without it no real camera can ever start (virtual ones still do): the reason is said once, in
    // place of the wait for a camera that could not be used if it came.
    if (!mediaFoundation)
        AppMessageBox(LangFormat(g_Lang.IDS_NOMEDIAFEATUREPACK, kNoMediaFeaturePack).c_str(), MB_OK | MB_ICONWARNING);
    return TRUE;
}

LRESULT CLumoraDlg::OnSysCommand(WPARAM wParam, LPARAM lParam) {
    switch (wParam & 0xFFF0) {
    case IDM_ABOUTBOX:
        return OnAbout(0, 0);
    case SC_MINIMIZE:
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    case SC_RESTORE:
        ShowWindow(m_hWnd, SW_SHOW);
        SetActiveWindow(m_hWnd);
        SetForegroundWindow(m_hWnd);
        return 0;
    case SC_CLOSE:
        // Alt+F4 reaches this hidden window after the tray menu: only Quit ends the driver.
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    default:
        return DefWindowProcA(m_hWnd, WM_SYSCOMMAND, wParam, lParam);
    }
}

LRESULT CLumoraDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (IsIconic(m_hWnd)) {
        SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(dc, (rc.right - cx + 1) / 2, (rc.bottom - cy + 1) / 2, m_hIcon);
    }
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CLumoraDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

LRESULT CLumoraDlg::OnDestroy(WPARAM, LPARAM) {
    m_bEnding = true;
    WriteManagementZero();
    KillTimer(m_hWnd, IDT_HIDE_WINDOW);
    KillTimer(m_hWnd, IDT_SEARCH_TYPE);
    KillTimer(m_hWnd, IDT_RECONNECT);
    KillTimer(m_hWnd, IDT_DEVICE_CHANGE);
    KillTimer(m_hWnd, IDT_CONTACTS);
    m_cameraNotifications.Unregister();
    m_pCalibrationFlow.reset();
    m_pCalibrationWindows.reset();
    StopCameras();
    m_contacts.Stop();
    g_bContactOutput = 0;
    ReleaseAllFrameCopies();  // the listeners have ended; what they posted dies with the queue
    m_pLaserWriteDlg.reset();
    m_pTrayIcon.reset();
    m_com.reset();
    return 0;
}

LRESULT CLumoraDlg::OnSetSearchType(WPARAM wParam, LPARAM lParam) {
    if (wParam == 1) searchType = static_cast<int32_t>(lParam);
    return 0;
}

LRESULT CLumoraDlg::OnCtlColorDlg(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_brush.get()); }

LRESULT CLumoraDlg::OnCtlColorStatic(WPARAM wParam, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CLumoraDlg::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT CLumoraDlg::OnQuit(WPARAM, LPARAM) {
    EndDriver();
    return 0;
}

// Enter and Escape become IDOK and IDCANCEL for the foreground dialog, and the tray menu leaves this
// window in the foreground: a key pressed after using the menu must not end the driver.
LRESULT CLumoraDlg::OnDialogKey(WPARAM, LPARAM) { return 0; }

void CLumoraDlg::EndDriver() {
    m_bEnding = true;
    WriteManagementZero();
    CloseAppMessageBoxes();
    // An open tray menu runs its own loop on this thread: the dialogs could not end until someone
    // closed the menu by hand.
    EndMenu();
    win::Dialog::EndAllModal(IDCANCEL);  // About or Options, and this window last
}

// The session ends without the window being destroyed: the settings file must still say so.
LRESULT CLumoraDlg::OnEndSession(WPARAM wParam, LPARAM) {
    if (wParam) {
        m_bEnding = true;
        WriteManagementZero();
    }
    return 0;
}

LRESULT CLumoraDlg::OnShow(WPARAM, LPARAM) {
    ShowWindow(m_hWnd, SW_SHOW);
    SendMessageA(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    return 0;
}

// The user guide ships beside the program, so Help works offline and never leads to a dead address.
LRESULT CLumoraDlg::OnHelp(WPARAM, LPARAM) {
    const std::string guide = g_Settings.AppDir + "\\guide\\index.html";
    if (GetFileAttributesA(guide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        AppMessageBox(("The user guide was not found:\n" + guide).c_str(), MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ShellExecuteA(nullptr, "open", guide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}

// A dialog that runs its own loop opens only when nothing else of ours does: commands that arrive
// meanwhile (a flood from another program) must not nest one dialog in another without bound.
// This window itself runs modally, so it is the one modal dialog allowed to be open.
static bool CanOpenModal() { return win::Dialog::OpenModalCount() <= 1 && !AppMessageBoxOpen(); }

LRESULT CLumoraDlg::OnAbout(WPARAM, LPARAM) {
    if (!CanOpenModal()) return 0;
    CAboutDlg(m_hWnd).DoModal();
    return 0;
}

// New stores every camera's calibration in force in the new entry; the entry set active (or the
// active one, for OK) is applied at once and kept as the cameras' own, or refused whole with a
// message, the calibration in force unchanged.
LRESULT CLumoraDlg::OnOptions(WPARAM, LPARAM) {
    if (!CanOpenModal()) return 0;
    COptionsDlg options(m_hWnd, AppTitle(), [this](const std::string& entry) { m_listListeners.StoreNamedCalibration(entry); });
    const int32_t output = g_Settings.Output;
    const INT_PTR result = options.DoModal();
    if (g_Settings.Output != output) ApplyOutput();
    if (result != IDOK) return 0;
    SetTimer(m_hWnd, IDT_HIDE_WINDOW, 500, nullptr);
    const std::string entry = options.ChosenEntry();
    const CCameraSet::NamedApply applied = m_listListeners.ApplyNamedCalibration(entry);
    // OK alone re-applies the active entry: one that holds nothing is no news.
    if (applied == CCameraSet::NamedApply::Empty && !options.SetActivePressed()) return 0;
    if (applied != CCameraSet::NamedApply::Applied) {
        const std::string text = LangFormat(g_Lang.IDS_NAMEDCALIBRATIONREFUSED, kNamedCalibrationRefused, options.ChosenName());
        AppMessageBox(text.c_str(), MB_OK | MB_ICONWARNING);
        return 0;
    }
    SetActiveCalibrationEntry(entry);
    return 0;
}

LRESULT CLumoraDlg::OnLaserWrite(WPARAM, LPARAM) {
    if (!m_pLaserWriteDlg || !m_pLaserWriteDlg->GetSafeHwnd()) return 0;
    m_pLaserWriteDlg->SetNotify(m_hWnd, WM_PROC_CMD, WM_SAVE_CALIBRATION);
    m_pLaserWriteDlg->Show(m_listListeners.LaserWriting());  // the box says what the cameras do
    return 0;
}

LRESULT CLumoraDlg::OnMeasureItem(WPARAM, LPARAM lParam) { return RouteTrayMenuMessage(WM_MEASUREITEM, lParam); }
LRESULT CLumoraDlg::OnDrawItem(WPARAM, LPARAM lParam) { return RouteTrayMenuMessage(WM_DRAWITEM, lParam); }

// The menu opens on the left button's press; bringing this window to the foreground first is what
// lets a click elsewhere close the menu, and WM_NULL afterwards lets the next click open it again.
LRESULT CLumoraDlg::OnTrayNotify(WPARAM, LPARAM lParam) {
    if (lParam == NIN_BALLOONUSERCLICK) {
        // The camera moved: one click calibrates it again, automatically (a failed automatic run
        // falls back to the manual one by itself).
        if (m_balloonRecalibrates && !m_bEnding) PostMessageA(m_hWnd, WM_COMMAND, ID_MENU_CALIBRATE_AUTO, 0);
        m_balloonRecalibrates = false;
        return 0;
    }
    // Enter or Space on the icon (reached with Win+B) opens the menu as the left button does.
    if ((lParam != WM_LBUTTONDOWN && lParam != NIN_KEYSELECT) || m_bEnding) return 0;
    POINT pt{};
    GetCursorPos(&pt);
    SetForegroundWindow(m_hWnd);
    ShowTrayMenu(m_hWnd, pt.x, pt.y, m_bCameraRunning != 0);
    PostMessageA(m_hWnd, WM_NULL, 0, 0);
    return 0;
}

LRESULT CLumoraDlg::OnTimer(WPARAM wParam, LPARAM) {
    if (m_pTrayIcon && m_pTrayIcon->OnTimer(wParam)) return 0;
    if (wParam == IDT_HIDE_WINDOW) {
        if (m_nHideCount > 8) KillTimer(m_hWnd, IDT_HIDE_WINDOW);
        ShowWindow(m_hWnd, SW_HIDE);
        ++m_nHideCount;
    }
    if (wParam == IDT_RECONNECT) Reconnect();
    if (wParam == IDT_SEARCH_TYPE) ReloadSearchType();
    if (wParam == IDT_DEVICE_CHANGE) OnDevicesSettled();
    if (wParam == IDT_CONTACTS) m_contacts.OnTick(GetTickCount());
    return 0;
}

MouseSettings CLumoraDlg::CurrentMouseSettings() {
    const CSystemSettings& s = g_Settings;
    MouseSettings m;
    m.rightButtonTime = s.OnRightButtonTime;
    m.rightButtonStep = s.OnRightButtonStep;
    m.ignoreMove = s.IgnoreMove;
    m.dbClickTime = s.TimeDBClick;
    m.dbClickQuiet = s.TimeDBClickDis;
    m.releaseGap = s.TimeRight;
    return m;
}

LRESULT CLumoraDlg::OnPointEvent(WPARAM wParam, LPARAM lParam) {
    const int status = m_pCalibrationFlow ? m_pCalibrationFlow->Status() : 0;
    _SDetectPoint point{};
    int camera = -1;
    const bool framePayload = TakesFrameCopies(status);
    if (lParam == 0 && FrameCopyCamera(static_cast<uintptr_t>(wParam), camera)) {
        // A frame copy: for the aiming view or the automatic dialog, and only of the camera it is
        // for; one that comes after its step (the mode changed while it was queued) is let go.
        if (!framePayload || !m_pCalibrationWindows ||
            camera != m_listListeners.CaptureIndexAt(m_pCalibrationFlow->Camera()))
            ReleaseFrameCopy(TakeFrameCopy(static_cast<uintptr_t>(wParam)));
        else
            m_pCalibrationWindows->Forward(status, wParam, lParam);
        return m_bCameraRunning ? 0 : -1;
    }
    if (!TakePoint(static_cast<uintptr_t>(lParam), point)) return m_bCameraRunning ? 0 : -1;
    PointRoute route = RoutePoint(m_bCameraRunning != 0, status, searchType, point.state);
    // One queued before the touch or pen output took over.
    if (m_contacts.Active() && (route == PointRoute::MousePoint || route == PointRoute::MouseNoPoint)) route = PointRoute::Ignore;
    switch (route) {
    case PointRoute::MousePoint:
        m_mouse.OnMousePoint(static_cast<int>(wParam), true, point.x, point.y, CurrentMouseSettings());
        break;
    case PointRoute::MouseNoPoint:
        m_mouse.OnMousePoint(static_cast<int>(wParam), false, 0, 0, CurrentMouseSettings());
        break;
    case PointRoute::ManualDialog:
        // The ticket was taken here; the dialog gets a fresh one for the same point.
        if (m_pCalibrationWindows) m_pCalibrationWindows->Forward(status, wParam, static_cast<LPARAM>(PublishPoint(point)));
        break;
    case PointRoute::FrameDialog:  // a point while frames are wanted: one queued before the step
    case PointRoute::Ignore:
        break;
    }
    return m_bCameraRunning ? 0 : -1;
}

LRESULT CLumoraDlg::OnPointsEvent(WPARAM wParam, LPARAM lParam) {
    _SDetectPoint points[kMaxHandoffPoints];
    const int count = TakePoints(static_cast<uintptr_t>(lParam), points);
    const int status = m_pCalibrationFlow ? m_pCalibrationFlow->Status() : kNotCalibrating;
    if (count < 0 || !m_bCameraRunning || status != kNotCalibrating) return 0;
    m_contacts.OnFrame(static_cast<int>(wParam), points, count, GetTickCount(), CurrentMouseSettings());
    return 0;
}

void CLumoraDlg::ApplyOutput() {
    m_mouse.ReleaseButtons();
    const bool available = m_contacts.Start(static_cast<OutputKind>(g_Settings.Output), VirtualDesktop());
    g_bContactOutput = m_contacts.Active() ? 1 : 0;
    if (m_contacts.Active()) SetTimer(m_hWnd, IDT_CONTACTS, kContactsTickMs, nullptr);
    else KillTimer(m_hWnd, IDT_CONTACTS);
    if (available) return;
    // Shown from the queue, as the start goes on meanwhile.
    m_unavailableOutput = g_Settings.Output;
    PostMessageA(m_hWnd, WM_OUTPUT_UNAVAILABLE, 0, 0);
}

LRESULT CLumoraDlg::OnOutputUnavailable(WPARAM, LPARAM) {
    const int output = m_unavailableOutput;
    m_unavailableOutput = 0;
    if (output == 0) return 0;  // not ours: any program can post this
    const std::string& name = output == static_cast<int>(OutputKind::Pen) ? g_Lang.IDS_OUTPUTPEN : g_Lang.IDS_OUTPUTTOUCH;
    AppMessageBox(LangFormat(g_Lang.IDS_OUTPUTUNAVAILABLE, kOutputUnavailable, name).c_str(), MB_OK | MB_ICONINFORMATION);
    return 0;
}

int CLumoraDlg::StartCameras() {
    if (m_pCalibrationFlow) m_pCalibrationFlow->ResetRouting();
    m_bCameraRunning = 0;
    m_mouse.ResetForCameraStart();
    return m_listListeners.Start();
}

void CLumoraDlg::StopCameras() { m_listListeners.Stop(); }

// Points queued behind this moment must not press anything: the emulation stops first. A
// calibration cannot go on without its cameras: it ends as if cancelled, its windows gone.
void CLumoraDlg::OnCamerasStopping() {
    m_bCameraRunning = 0;
    if (m_pCalibrationFlow) m_pCalibrationFlow->Abandon();
}

// Released after the last listener has ended, so no late point can press the button again.
void CLumoraDlg::OnCamerasStopped() {
    m_mouse.ReleaseButtons();
    m_contacts.ReleaseAll();
    if (m_pTrayIcon) m_pTrayIcon->SetIcon(IDI_DISCONNECTED);
}

// Runs while cameras are missing: none at all, or fewer than were asked for (then all of them are
// started again once more are present, so a brief unplug of one of two never loses it for good).
void CLumoraDlg::Reconnect() {
    if (m_bCameraRunning) {
        const int running = static_cast<int>(m_listListeners.Count());
        if (running >= m_listListeners.Wanted()) {
            KillTimer(m_hWnd, IDT_RECONNECT);
            return;
        }
        if (CCameraSet::CountKnownCameras() <= running) return;
        StopCameras();
    }
    ALC_Initialize();
    if (!StartCameras()) return;
    CheckCalibrations();
    m_bCameraRunning = 1;
    if (m_pTrayIcon) m_pTrayIcon->SetIcon(IDR_MAINFRAME);
    if (static_cast<int>(m_listListeners.Count()) >= m_listListeners.Wanted()) KillTimer(m_hWnd, IDT_RECONNECT);
}

void CLumoraDlg::ReconnectNow() {
    if (m_bEnding) return;
    Reconnect();
    if (!m_bCameraRunning || static_cast<int>(m_listListeners.Count()) < m_listListeners.Wanted())
        SetTimer(m_hWnd, IDT_RECONNECT, 5000, nullptr);
}

// Devices came or went: once the events have been quiet for 300 ms (a hub brings several, and
// another program may post any number), missing cameras are reconnected and a camera no longer
// listed is handled as lost, without waiting for the poll or the presence check.
LRESULT CLumoraDlg::OnDeviceChange(WPARAM wParam, LPARAM) {
    if (!m_bEnding && CCameraNotifications::IsDeviceChange(wParam)) SetTimer(m_hWnd, IDT_DEVICE_CHANGE, 300, nullptr);
    return TRUE;
}

void CLumoraDlg::OnDevicesSettled() {
    KillTimer(m_hWnd, IDT_DEVICE_CHANGE);
    if (m_bEnding || m_listListeners.Stopping()) return;
    const int running = static_cast<int>(m_listListeners.Count());
    if (!m_bCameraRunning || running < m_listListeners.Wanted()) {
        ReconnectNow();
    } else if (CCameraSet::CountKnownCameras() < running) {
        OnCameraLost();
    }
}

// After sleep the cameras' streams are gone or stale whatever the drivers say: start them again,
// without the disconnection box.
LRESULT CLumoraDlg::OnPowerBroadcast(WPARAM wParam, LPARAM) {
    // Resume always brings PBT_APMRESUMEAUTOMATIC (and PBT_APMRESUMESUSPEND too when a user is there).
    if (wParam != PBT_APMRESUMEAUTOMATIC || m_bEnding || m_listListeners.Stopping())
        return TRUE;
    TRACE("resume from sleep: restarting cameras");
    m_bCameraRunning = 0;
    StopCameras();
    ReconnectNow();
    return TRUE;
}

void CLumoraDlg::OnCameraLost() {
    m_bCameraRunning = 0;
    StopCameras();
    if (m_bEnding) return;  // a quit was dispatched while the listeners ended
    SetTimer(m_hWnd, IDT_RECONNECT, kReconnectMs, nullptr);
    AppMessageBox(g_Lang.IDS_DISCONNECTION.c_str());
}

LRESULT CLumoraDlg::OnProcCmd(WPARAM wParam, LPARAM lParam) {
    if (lParam == PROC_KIND_CAPTURE_MODE) {
        if (wParam == 0 || wParam == 1) m_listListeners.SetLaserWriting(wParam == 1);
        return 0;
    }
    if (lParam != PROC_KIND_COMMAND) return 0;
    switch (wParam) {
    case PROC_DEFAULT_EXPOSURE:
        m_listListeners.SetCaptureControl(-5, 50);
        break;
    case PROC_CAMERA_LOST:
        // Several listeners may report the same loss, and reports still queued while the cameras
        // stop or the driver ends are stale: only a loss of running cameras is acted on.
        if (m_bCameraRunning && !m_bEnding && !m_listListeners.Stopping()) OnCameraLost();
        break;
    case PROC_CALIB_EXPOSURE:
        m_listListeners.SetCaptureControl(g_nCalibExposure, 50);
        break;
    default:
        if (wParam <= 16 && CalibrationFlowReady()) m_pCalibrationFlow->OnProcCmd(static_cast<int>(wParam));
        break;
    }
    return 0;
}

LRESULT CLumoraDlg::OnSaveCalibration(WPARAM wParam, LPARAM lParam) {
    const CalibrationSource* source = FindCalibrationSource(static_cast<uintptr_t>(lParam));
    if (!source) return 0;
    _SCalibration& posted = *source->record;
    posted.lPtCount = static_cast<uint32_t>(g_Settings.SetPtCount);
    // Only the camera that completed the crosses films that screen; the automatic dialog's record
    // is the camera's it took frames from.
    int camera = m_listListeners.CaptureIndexAt(m_pCalibrationFlow ? m_pCalibrationFlow->Camera() : -1);
    if (source->cameraOfSlot) camera = wParam < 0x10000 ? source->cameraOfSlot(static_cast<int>(wParam)) : -1;
    if (camera < 0) return 0;  // not a slot that posted a record, or no camera it belongs to
    const CCameraSet::SaveResult saved = m_listListeners.SaveCalibration(posted, camera);
    for (int stored : saved.stored) CalibrationAccepted(stored);
    CheckCalibrations();
    if (saved.refused >= 0) {
        const std::string text = LangFormat(g_Lang.IDS_CALIBRATIONKEPT, kCalibrationKept, std::to_string(saved.refused + 1));
        AppMessageBox(text.c_str(), MB_OK | MB_ICONWARNING);
    }
    const char* failure = FlashWriteMessage(saved.flash);
    if (*failure) AppMessageBox(failure);
    return 0;
}

// The one place where a calibration has become camera `captureIndex`'s: stored, and in force.
void CLumoraDlg::CalibrationAccepted(int captureIndex) {
    TRACE("calibration of camera %d accepted", captureIndex);
    if (m_pCalibrationWindows) m_pCalibrationWindows->ReportDue();
    m_refusalsShown &= ~(1u << ((captureIndex + 1) & 31));  // a later refusal is news again
}

// A projector plugged in or a resolution changed: the mouse must map onto the screen as it is now.
// The message carries the new size (under a virtual display it is the only source that changes).
LRESULT CLumoraDlg::OnDisplayChange(WPARAM, LPARAM lParam) {
    RefreshScreenSize(LOWORD(lParam), HIWORD(lParam));
    // Contacts held across the change would land elsewhere: they are cancelled and start afresh.
    m_contacts.CancelAll(VirtualDesktop(LOWORD(lParam), HIWORD(lParam)));
    return 0;
}

void CLumoraDlg::RefreshScreenSize(int width, int height) {
    m_nScreenW = width > 0 ? width : GetSystemMetrics(SM_CXSCREEN);
    m_nScreenH = height > 0 ? height : GetSystemMetrics(SM_CYSCREEN);
    m_desktopMouse.SetDesktop(VirtualDesktop(width, height));
}

void CLumoraDlg::CheckCalibrations() {
    std::string name;
    const int camera = m_listListeners.RefusedCalibration(name);
    if (camera == 0) {
        if (m_pTrayIcon) m_pTrayIcon->SetTooltipText(g_Lang.IDS_TAVORI.c_str());
        return;
    }
    const std::string text = LangFormat(g_Lang.IDS_CALIBRATIONREFUSED, kCalibrationRefused,
                                        std::to_string(camera) + (name.empty() ? "" : " (" + name + ")"));
    if (m_pTrayIcon) m_pTrayIcon->SetTooltipText(text.c_str());
    const uint32_t bit = 1u << (camera & 31);
    if (m_refusalsShown & bit) return;
    m_refusalsShown |= bit;
    // Shown from the queue: a box opened here would run its loop inside a camera start.
    m_refusalText = text;
    PostMessageA(m_hWnd, WM_CALIBRATION_REFUSED, 0, 0);
}

LRESULT CLumoraDlg::OnCalibrationRefused(WPARAM, LPARAM) {
    if (m_refusalText.empty()) return 0;  // not ours: any program can post this
    const std::string text = std::move(m_refusalText);
    m_refusalText.clear();
    AppMessageBox(text.c_str(), MB_OK | MB_ICONWARNING);
    return 0;
}

LRESULT CLumoraDlg::OnCalibrationJudged(WPARAM, LPARAM) {
    if (m_pCalibrationWindows) m_pCalibrationWindows->ReportJudged();
    return 0;
}

LRESULT CLumoraDlg::OnShowReport(WPARAM, LPARAM) {
    // Not over a run's windows: the run's end shows its own report.
    if (m_pCalibrationWindows && !(m_pCalibrationFlow && m_pCalibrationFlow->Running())) m_pCalibrationWindows->OpenReport();
    return 0;
}

// A listener's word that its camera's view has moved since the calibration (said once per
// calibration by the listener itself).
LRESULT CLumoraDlg::OnCameraMoved(WPARAM wParam, LPARAM) {
    if (wParam >= 64 || m_bEnding || !m_pTrayIcon) return 0;
    const std::string text = CameraMovedText(static_cast<int>(wParam) + 1);
    m_balloonRecalibrates = m_pTrayIcon->ShowBalloon(CameraMovedTitle().c_str(), text.c_str());
    return 0;
}

LRESULT CLumoraDlg::OnStrayLight(WPARAM wParam, LPARAM) {
    if (wParam >= kPlaceCount || m_bEnding || !m_pTrayIcon) return 0;
    if (m_pTrayIcon->ShowBalloon(StrayLightTitle().c_str(), StrayLightText(static_cast<int>(wParam)).c_str()))
        m_balloonRecalibrates = false;
    return 0;
}

bool CLumoraDlg::CalibrationFlowReady() {
    if (!m_pCalibrationFlow || !m_bCameraRunning) return false;
    const CSystemSettings& s = g_Settings;
    m_pCalibrationFlow->SetSettings(FlowSettings{m_listListeners.NormalExposure(), s.IRFilter, s.MultiScreen,
                                                 s.LaserBuild(),
                                                 static_cast<int>(m_listListeners.Count())});
    m_pCalibrationFlow->SetTexts(FlowTexts{g_Lang.IDS_CALIBRATEFAIL.c_str(), g_Lang.IDS_RECALIBRATION.c_str(),
                                           g_Lang.IDS_CALIBRATIONUNCHANGED.c_str()});
    return true;
}

// A request to calibrate. The run that is on comes to the front (the flow sees to it); none starts
// while a box or dialog of ours waits for an answer: it would open inside that one's loop, and a
// flood of requests would nest runs without end.
bool CLumoraDlg::CalibrationRequest() {
    RefreshScreenSize();  // each calibration maps onto the screen as it is now
    return CalibrationFlowReady() && (m_pCalibrationFlow->Running() || CanOpenModal());
}

LRESULT CLumoraDlg::OnShowCollate(WPARAM, LPARAM) {
    if (CalibrationRequest()) m_pCalibrationFlow->OnShowCollate();
    return 0;
}

LRESULT CLumoraDlg::OnShowCollateAuto(WPARAM, LPARAM) {
    if (CalibrationRequest()) m_pCalibrationFlow->OnShowCollateAuto();
    return 0;
}

LRESULT CLumoraDlg::OnMenuitemColleat(WPARAM, LPARAM) {
    if (CalibrationRequest()) m_pCalibrationFlow->OnMenuitemColleat();
    return 0;
}

void CLumoraDlg::SetCaptureControl(int value, int delayMs) { m_listListeners.SetCaptureControl(value, delayMs); }

void CLumoraDlg::ResetEnroll(int type) { m_listListeners.ResetEnroll(type); }

void CLumoraDlg::RestoreStoredCalibration() {
    m_listListeners.ForEach([](CListenThread& listener) { listener.RestoreCalibration(); });
}
