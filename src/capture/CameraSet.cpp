#include "capture/CameraSet.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

#include "ACamDll.h"
#include "capture/KnownCameras.h"
#include "capture/ListenThread.h"
#include "config/Settings.h"
#include "storage/CalibrationIni.h"
#include "win/Trace.h"
#include "win/Scoped.h"

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

namespace {
std::string DevicePath(const SInfoParam& info) {
    char path[sizeof(info.szPath) + 1] = {};
    memcpy(path, info.szPath, sizeof(info.szPath));  // never trust the terminator
    return path;
}

// The known cameras listed now: their device indexes and paths.
struct ListedCamera {
    SInfoParam info;
    std::string path;
};
std::vector<ListedCamera> ListKnownCameras() {
    std::vector<ListedCamera> known;
    const int n = DevGetCaptureNum(1);
    for (int i = 0; i < n; ++i) {
        SInfoParam info{};
        info.nType = 1;
        info.nIndex = i;
        DevGetCaptureInfo(1, &info);
        if (IsKnownCamera(info)) known.push_back({info, DevicePath(info)});
    }
    return known;
}
}  // namespace

int CCameraSet::CountKnownCameras() { return static_cast<int>(ListKnownCameras().size()); }

int CCameraSet::Start() {
    // A start from a timer that fires while a stop dispatches messages would race that stop.
    if (m_stopDepth > 0) return 0;
    if (m_wanted == 0) m_wanted = g_Settings.MultiScreen > 0 ? g_Settings.MultiScreen : 1;
    const _SImgPara image{g_Settings.Width, g_Settings.Height, 0, g_Settings.MaxColor, g_Settings.MoveStep};
    // Each camera's calibration is found by its path: the capture indexes shift when one is missing.
    std::vector<ListedCamera> listed = ListKnownCameras();
    std::vector<std::string> paths, starting;
    for (const ListedCamera& c : listed) paths.push_back(c.path);
    if (listed.size() > static_cast<size_t>(m_wanted)) listed.resize(static_cast<size_t>(m_wanted));
    for (const ListedCamera& c : listed) starting.push_back(c.path);
    const std::vector<int> sections = AssignCalibrationSections(ReadCalibrationSections(), starting, paths);
    int result = 0;
    int started = 0;
    for (size_t k = 0; k < listed.size(); ++k) {
        SInfoParam& info = listed[k].info;
        if (!IdentifyCamera(info)) continue;

        SCapParam param{};
        param.nType = 1;
        param.nWidth = g_Settings.Width;
        param.nHeight = g_Settings.Height;
        param.nIndex = info.nIndex;
        auto listener = std::make_unique<CListenThread>();
        listener->SetCalibrationPlace({listed[k].path, sections[k], listed.size() == 1});
        int init = listener->Init(param);
        if (init != 0) {
            TRACE("StartCameras: camera %d Init failed (%d)", info.nIndex, init);
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
        if (m_laserWriting) listener->SwitchCaptureMode(1);
        m_listeners.push_back(std::move(listener));
        ++started;
        result = 1;
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
            {
                const win::ComApartment com(COINIT_MULTITHREADED);
                l->ReleaseDevice();
            }
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

void CCameraSet::SetLaserWriting(bool on) {
    m_laserWriting = on;
    ForEach([&](CListenThread& l) { l.SwitchCaptureMode(on ? 1 : 0); });
}

int CCameraSet::NormalExposure() const { return m_laserWriting ? kLaserWritingExposure : g_nExposure.load(); }

int CCameraSet::CaptureIndexAt(int n) const {
    return n >= 0 && static_cast<size_t>(n) < m_listeners.size() ? m_listeners[static_cast<size_t>(n)]->GetCaptureIndex() : -1;
}

CCameraSet::SaveResult CCameraSet::SaveCalibration(const _SCalibration& cal, int captureIndex) {
    SaveResult result;
    ForEach([&](CListenThread& l) {
        if (l.GetCaptureIndex() != captureIndex) return;
        FlashWrite flash = FlashWrite::Ok;
        if (l.SaveCalibration(cal, flash) == CalibrationSave::Refused) {
            if (result.refused < 0) result.refused = l.GetCaptureIndex();
            return;
        }
        result.stored.push_back(l.GetCaptureIndex());
        if (result.flash == FlashWrite::Ok) result.flash = flash;
    });
    return result;
}

CCameraSet::NamedApply CCameraSet::ApplyNamedCalibration(const std::string& entry) {
    std::vector<std::pair<CListenThread*, _SCalibration>> held;
    ForEach([&](CListenThread& l) {
        const int screen = FindScreenForCamera(entry, l.DevicePath(), l.GetCaptureIndex());
        if (screen >= 0) held.emplace_back(&l, ReadScreenCalibration(entry, screen));
    });
    if (held.empty()) return NamedApply::Empty;
    for (auto& [listener, cal] : held) {
        if (listener->TryCalibration(cal)) continue;
        for (auto& tried : held) tried.first->RestoreCalibration();
        return NamedApply::Refused;
    }
    for (auto& [listener, cal] : held) {
        FlashWrite flash = FlashWrite::Ok;
        listener->SaveCalibration(cal, flash);
    }
    return NamedApply::Applied;
}

void CCameraSet::StoreNamedCalibration(const std::string& entry) {
    uint32_t used = 0;  // screens of the entry already written
    ForEach([&](CListenThread& l) {
        if (!l.IsCalibrated() || l.CalibrationRefused()) return;
        int screen = std::clamp(l.GetScreen(), 0, kMaxNamedScreens - 1);
        while (used & (1u << screen)) screen = (screen + 1) % kMaxNamedScreens;
        used |= 1u << screen;
        WriteScreenCalibration(entry, screen, l.DevicePath(), l.GetCaptureIndex(), l.Calibration());
    });
}
