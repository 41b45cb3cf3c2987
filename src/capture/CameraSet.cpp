#include "capture/CameraSet.h"

#include <objbase.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "ACamDll.h"
#include "capture/KnownCameras.h"
#include "capture/ListenThread.h"
#include "config/Settings.h"
#include "storage/CalibrationIni.h"
#include "win/Trace.h"

namespace {
// Keeps this thread's windows answering while work on other threads finishes.
template <class Done>
void DispatchUntil(Done done) {
    while (!done()) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            Sleep(1);
        }
    }
}
}  // namespace

CCameraSet::CCameraSet(ICameraSetOwner& owner) : m_owner(owner) {}

// The owner is going away too: the listeners are ended without telling it.
CCameraSet::~CCameraSet() {
    for (auto& listener : m_listeners) listener->RequestStop();
    m_listeners.clear();
}

void CCameraSet::SetTarget(HWND window, UINT pointMessage, UINT commandMessage) {
    m_target = window;
    m_pointMessage = pointMessage;
    m_commandMessage = commandMessage;
}

int CCameraSet::CountKnownCameras() {
    int known = 0;
    const int n = DevGetCaptureNum(1);
    for (int i = 0; i < n; ++i) {
        SInfoParam info{};
        info.nType = 1;
        info.nIndex = i;
        DevGetCaptureInfo(1, &info);
        if (IsKnownCamera(info)) ++known;
    }
    return known;
}

int CCameraSet::Start() {
    // A start from a timer that fires while a stop dispatches messages would race that stop.
    if (m_stopDepth > 0) return 0;
    if (m_wanted == 0) m_wanted = g_Settings.MultiScreen > 0 ? g_Settings.MultiScreen : 1;
    const int n = DevGetCaptureNum(1);
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
            Stop();
            break;
        }
        listener->SetCameraIds(g_strCamPid, g_strCamVid);
        info.szName[sizeof(info.szName) - 1] = 0;
        listener->SetCameraName(info.szName);
        listener->SetTarget(m_target, m_pointMessage, m_commandMessage);
        listener->SetImgConfig(image);
        listener->SetCaptureControl(g_nExposure, 200);
        listener->StartCapture();
        m_listeners.push_back(std::move(listener));
        ++started;
        result = 1;
        if (started >= m_wanted) break;
    }
    // In memory only: the screens this run serves. The next start asks for m_wanted again.
    g_Settings.MultiScreen = started > 0 && started < m_wanted ? started : m_wanted;
    if (started == 0) result = 0;
    return result;
}

void CCameraSet::Stop() {
    m_owner.OnCamerasStopping();
    // Take the list first: a nested Stop (a message dispatched while a thread ends) then finds
    // nothing, and never frees a listener whose Stop is still on the stack below it.
    std::vector<std::unique_ptr<CListenThread>> stopping;
    stopping.swap(m_listeners);
    ++m_stopDepth;
    // Every loop is told first, so the threads end together instead of one after another; the
    // cameras are closed side by side too, while this thread keeps answering its messages.
    for (auto& listener : stopping) listener->RequestStop();
    for (auto& listener : stopping) listener->Stop();
    std::atomic<size_t> open{stopping.size()};
    std::vector<std::thread> closers;
    for (auto& listener : stopping) {
        auto close = [&open, l = listener.get()] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            l->ReleaseDevice();
            if (SUCCEEDED(com)) CoUninitialize();
            open.fetch_sub(1);
        };
        try {
            closers.emplace_back(close);
        } catch (const std::system_error&) {
            close();  // no thread to spare: close it here
        }
    }
    DispatchUntil([&open] { return open.load() == 0; });
    for (auto& closer : closers) closer.join();
    stopping.clear();
    if (--m_stopDepth > 0) return;
    m_owner.OnCamerasStopped();
    ALC_UnInitialize();
}

void CCameraSet::ForEach(const std::function<void(CListenThread&)>& action) {
    for (auto& listener : m_listeners)
        if (listener) action(*listener);
}

int CCameraSet::RefusedCalibration(std::string& name) const {
    for (const auto& listener : m_listeners)
        if (listener && listener->CalibrationRefused()) {
            name = listener->CameraName();
            return listener->GetCaptureIndex() + 1;
        }
    return 0;
}

void CCameraSet::SetCaptureControl(int value, int delayMs) {
    // The cameras settle side by side: one wait for all of them, not one per camera.
    std::vector<CListenThread*> changed;
    ForEach([&](CListenThread& l) {
        if (l.SetExposure(value)) changed.push_back(&l);
    });
    if (changed.empty()) return;
    Sleep(static_cast<DWORD>(delayMs > 0 ? delayMs : 0));
    for (CListenThread* l : changed) l->RestartDetector(value);
}

void CCameraSet::ResetEnroll(int type) {
    ForEach([&](CListenThread& l) { l.ResetEnroll(type); });
}

void CCameraSet::ClearSetting() {
    ForEach([](CListenThread& l) { l.ClearSetting(); });
}

void CCameraSet::SwitchCaptureMode(int on) {
    ForEach([&](CListenThread& l) { l.SwitchCaptureMode(on); });
}

void CCameraSet::ApplyScreenCalibrations() {
    ForEach([](CListenThread& l) {
        const int screen = FindScreenForCamera(l.GetCaptureIndex());
        if (screen < 0) return;
        l.SetScreen(screen);
        l.ApplyCalibration(ReadScreenCalibration(screen));
    });
}

FlashWrite CCameraSet::SaveCalibration(const _SCalibration& cal, int captureIndex) {
    FlashWrite first = FlashWrite::Ok;
    ForEach([&](CListenThread& l) {
        if (captureIndex != kEveryCamera && l.GetCaptureIndex() != captureIndex) return;
        const FlashWrite written = l.SaveCalibration(cal);
        if (first == FlashWrite::Ok) first = written;
    });
    return first;
}
