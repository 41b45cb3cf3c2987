// Starting and stopping the cameras: the main window owns the running listeners.
#include "capture/CameraStartStop.h"

#include <cstring>

#include "ACamDll.h"
#include "app/LumoraDlg.h"
#include "capture/CameraIdentity.h"
#include "capture/ListenThread.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "res/resource.h"
#include "ui/AnimateTrayIcon.h"
#include "win/Trace.h"

std::string g_strCamPid;
std::string g_strCamVid;

bool IdentifyCamera(const SInfoParam& info) {
    char path[sizeof(info.szPath) + 1] = {};
    memcpy(path, info.szPath, sizeof(info.szPath));  // never trust the terminator
    CameraMatch match = MatchKnownCamera(path);
    if (match.kind == CameraKind::Unknown) return false;
    const CSystemSettings& s = g_Settings;
    CameraModelChoice model = ChooseCameraModel(
        match.kind, {s.ApplicationVersion, s.PtCount, s.AddExposureSF, s.AddExposureHSF, s.AddExposureLF});
    g_strCamPid = match.pid;
    g_strCamVid = match.vid;
    g_nPtCount = model.pointCount;
    ini::WriteInt(s.IniPath, "Enroll", "Exposure", model.exposure);
    ini::WriteInt(s.IniPath, "Data", "Exposure", model.exposure);
    g_nExposure = model.exposure;
    g_Settings.EnrollExposure = model.exposure;
    return true;
}

int CLumoraDlg::StartCameras() {
    int n = DevGetCaptureNum(1);
    if (m_pCalibrationFlow) m_pCalibrationFlow->ResetRouting();
    m_bCameraRunning = 0;
    m_mouse.ResetForCameraStart();

    const _SImgPara image{g_Settings.Width, g_Settings.Height, 0, g_Settings.MaxColor, g_Settings.MoveStep};
    int result = 0;
    int started = 0;
    for (int i = 0; i < n; ++i) {
        SInfoParam info{};
        info.nType = 1;
        info.nIndex = i;
        DevGetCaptureInfo(1, &info);
        if (!IdentifyCamera(info)) continue;

        SCapParam param{};
        param.nType = 1;
        param.nWidth = g_Settings.Width;
        param.nHeight = g_Settings.Height;
        param.nIndex = i;
        auto listener = std::make_unique<CListenThread>();
        int init = listener->Init(param);
        if (init != 0) {
            TRACE("StartCameras: camera %d Init failed (%d)", i, init);
            result = 0;
            listener.reset();
            StopCameras();
            break;
        }
        listener->SetCameraIds(g_strCamPid, g_strCamVid);
        listener->SetTarget(m_hWnd, WM_POINT_EVENT, WM_PROC_CMD);
        listener->SetImgConfig(image);
        listener->SetCaptureControl(g_nExposure, 200);
        listener->StartCapture();
        m_listListeners.push_back(std::move(listener));
        ++started;
        result = 1;
        if (started >= g_Settings.MultiScreen) break;
    }
    if (started < g_Settings.MultiScreen) {
        if (started > 0)
            g_Settings.MultiScreen = started;
        else
            result = 0;
    }
    return result;
}

void CLumoraDlg::StopCameras() {
    // A button the pen holds down must not stay down once no camera can lift it.
    m_mouse.ReleaseButtons();
    for (auto& listener : m_listListeners) {
        if (!listener) continue;
        listener->StopCapture();
        listener.reset();
    }
    m_listListeners.clear();
    if (m_pTrayIcon) m_pTrayIcon->SetIcon(IDI_DISCONNECTED);
    ALC_UnInitialize();
}
