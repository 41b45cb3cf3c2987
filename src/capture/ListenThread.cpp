#include "capture/ListenThread.h"

#include <objbase.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <string>

#include "capture/BackgroundSubtraction.h"
#include "capture/CameraIdentity.h"
#include "capture/PointHandoff.h"
#include "capture/FramePacing.h"
#include "config/Settings.h"
#include "storage/CalibrationIni.h"
#include "storage/CalibrationReport.h"
#include "storage/CalibrationRecord.h"
#include "storage/MCUThread.h"
#include "storage/SceneReferenceFile.h"
#include "FixedLights.h"
#include "win/Messages.h"
#include "win/Trace.h"

namespace {
constexpr int kMaxPoints = 64;
constexpr uint32_t kNoPointResetMs = 60000;

bool TraceDue(uint32_t now, uint32_t& last) {
    if (now - last <= 1000) return false;
    last = now;
    return true;
}
}  // namespace

CListenThread::CListenThread() { g_nBackgroundSnap = 1; }

CListenThread::~CListenThread() {
    Stop();
    Teardown();
}

int CListenThread::Init(const SCapParam& param) {
    m_setting = 0;
    m_screen = 0;
    m_bound = 0;
    m_periodMs = g_Settings.FramePeriodMs();
    // The window thread owns g_Settings: the frame loop reads its own copy, taken here.
    m_filterSettings = PenFilterSettings(g_Settings);
    m_lastDetection = GetTickCount();
    if (m_hDevice) return 1;

    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_bComInitialised = SUCCEEDED(hr);

    m_hDevice = DevCreate(&param);
    if (!m_hDevice) {
        Teardown();
        return -2;
    }
    if (!DevInitCapture(m_hDevice)) {
        Teardown();
        return -3;
    }
    SCapFrameFree(&m_frame);
    m_captureIndex = param.nIndex;
    if (m_pointShare.CreatePointShare(m_captureIndex) != 0) {
        Teardown();
        return -4;
    }
    m_hDetector = IRLCreate();
    m_points = new (std::nothrow) _SDetectPoint[kMaxPoints]();
    if (!m_hDetector || !m_points) {  // out of memory: this camera does not start, the others do
        Teardown();
        return -6;
    }
    IRLInit(m_hDetector);
    GreyValue(m_hDetector, g_Settings.GreyValue);

    m_pMCU = std::make_unique<CMCUThread>();
    bool fromFlash = m_pMCU->GetCalibration(m_calibration, FlashCameraTag(m_place.devicePath), m_place.trustUntagged);
    TRACE("MCU GetCalibration ret=%d pt=%lu win=%lux%lu", fromFlash ? 1 : 0,
          static_cast<unsigned long>(m_calibration.lPtCount), static_cast<unsigned long>(m_calibration.lWinWidth),
          static_cast<unsigned long>(m_calibration.lWinHeight));
    if (!fromFlash || !ValidateCalibration(m_calibration)) {
        TRACE("MCU invalid, fallback to INI");
        // A rejected flash record (an erased flash reads as all 0xFF) must never reach the detector.
        m_calibration = _SCalibration{};
        _SCalibration fromFile{};
        if (m_place.section >= 0 && LoadIni(fromFile, CalibrationSectionName(m_place.section))) {
            m_calibration = fromFile;
            SetCaptureControl(g_nExposure, 200);
        }
    }
    if (m_calibration.lPtCount > 0) g_nPtCount = static_cast<int32_t>(m_calibration.lPtCount);
    // The camera serves the screen it was calibrated on, from the start.
    if (m_calibration.lScreenIndex < static_cast<uint32_t>(kMaxScreens)) m_screen = static_cast<int32_t>(m_calibration.lScreenIndex);
    ApplyCalibration(m_calibration);
    // The scene kept when this calibration was made; none (or one of another calibration or
    // camera size): no watch until the next calibration.
    tavori::irl::SceneReference scene;
    if (m_place.section >= 0 && LoadSceneReference(SceneReferencePath(CalibrationSectionName(m_place.section)), scene) &&
        scene.calibrationTag == tavori::irl::SceneCalibrationTag(m_calibration) && scene.cameraWidth == param.nWidth &&
        scene.cameraHeight == param.nHeight)
        m_drift.Adopt(std::move(scene));

    m_tuio = CTuioSender::Instance();  // resolves the host here, never in the frame loop
    SCapFrameCreate(&m_frame, static_cast<uint32_t>(param.nWidth), static_cast<uint32_t>(param.nHeight), nullptr);
    return 0;
}

int CListenThread::SetTarget(HWND window, UINT pointMessage, UINT commandMessage) {
    m_hTarget = window;
    m_pointMessage = pointMessage;
    m_commandMessage = commandMessage;
    return 0;
}

void CListenThread::SetImgConfig(const _SImgPara& para) {
    if (!m_hDetector) return;
    std::lock_guard<std::mutex> lock(m_detectorLock);
    IRLSetImgConfig(m_hDetector, &para);
}

int CListenThread::SetCaptureControl(int nVal, int nDelay) {
    const int result = SetExposure(nVal);
    if (result) {
        Sleep(static_cast<DWORD>(nDelay > 0 ? nDelay : 0));
        RestartDetector(nVal);
    }
    return result;
}

int CListenThread::SetExposure(int nVal) {
    int result = 0;
    if (m_hDevice) {
        TRACE("SetExposure enter nVal=%d", nVal);
        if (nVal == 0) {
            SCapControl control{DEV_PROP_EXPOSURE, DEV_FLAG_AUTO, -3};
            result = DevSetControl(m_hDevice, &control);
            m_startEnroll = 1;
            m_initEnroll = 1;
        } else {
            m_startEnroll = 0;
            SCapControl control{DEV_PROP_EXPOSURE, DEV_FLAG_MANUAL, static_cast<int16_t>(nVal)};
            result = DevSetControl(m_hDevice, &control);
        }
    }
    TRACE("SetExposure exit nVal=%d ret=%d", nVal, result);
    return result;
}

// Once the camera has settled on its new exposure the scene is learned again; automatic exposure
// brings lamps over the threshold while it settles, so it learns for longer.
void CListenThread::RestartDetector(int nVal) {
    {
        std::lock_guard<std::mutex> lock(m_detectorLock);
        IRLSetCmpPara(m_hDetector, 15);
    }
    ResetEnroll(nVal == 0 ? 1 : 0);
}

void CListenThread::ResetEnroll(int type) {
    TRACE("ResetEnroll call type=%d enrollSign=%d startEnroll=%d initEnroll=%d", type, enrollSign.load(),
          m_startEnroll ? 1 : 0, m_initEnroll ? 1 : 0);
    if (!m_hDetector) return;
    // The calibration's windows go away just after the reset that ends it, and the desktop they
    // covered comes back: that reset learns for as long as one after automatic exposure, so what
    // shines then is taken for a light that was there at the start, not for a pen.
    const bool endsCalibration = m_calibrationEnded && GetTickCount() - m_calibrationEndTick < kCalibrationEndMs &&
                                 enrollSign == kEnrollNormal && g_bCollateA == 0;
    std::lock_guard<std::mutex> lock(m_detectorLock);
    if (type == 1 || endsCalibration)
        IRLResetAutoEnroll(m_hDetector);
    else
        IRLResetEnroll(m_hDetector);
}

// Whatever the calibration's point count: a switch that does nothing while its box says otherwise
// is worse than none. Off goes back to the values the driver runs with, not to fixed ones.
void CListenThread::SwitchCaptureMode(int on) {
    m_captureMode = on;
    if (m_hDetector) {
        std::lock_guard<std::mutex> lock(m_detectorLock);
        GreyValue(m_hDetector, on ? kLaserWritingGrey : g_Settings.GreyValue);
    }
    SetCaptureControl(on ? kLaserWritingExposure : g_nExposure.load(), 50);
}

int CListenThread::StartCapture() {
    if (!m_hDevice) return -1;
    DevPlay(m_hDevice, 0);
    TRACE("DevPlay done, re-apply exposure exp=%ld", static_cast<long>(g_nExposure.load()));
    Sleep(300);
    SetCaptureControl(g_nExposure, 200);
    m_lastFrameTick = GetTickCount();
    m_lastLostReport = m_lastFrameTick - kStallLostMs;
    return Start();
}

// Opens the drawing program once a calibrated camera has a screen, when the user asked for that.
static void LaunchDrawProgram() {
    if (g_Settings.Setting == 1 && g_Settings.AutoRunDraw == 1 && !g_Settings.DrawFile.empty()) {
        std::string path = g_Settings.AppDir + "\\" + g_Settings.DrawFile;
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
}

bool CListenThread::ConfigureDetector(const _SCalibration& cal) {
    if (!m_hDetector) return false;
    m_setting = 0;
    m_bCalibrationRefused = false;
    if (cal.lWinWidth == 0) return false;
    int accepted;
    {
        std::lock_guard<std::mutex> lock(m_detectorLock);
        accepted = IRLSetConfig(m_hDetector, &cal);
    }
    m_calibrationTag = tavori::irl::SceneCalibrationTag(cal);
    m_originX = static_cast<int32_t>(cal.lWinLeft);
    m_originY = static_cast<int32_t>(cal.lWinTop);
    m_setting = 1;
    m_bCalibrationRefused = accepted == 0;
    return true;
}

bool CListenThread::TryCalibration(const _SCalibration& cal) { return ConfigureDetector(cal) && !m_bCalibrationRefused; }

void CListenThread::ApplyCalibration(const _SCalibration& cal) {
    if (!ConfigureDetector(cal)) return;
    MultiScreenTable* table = g_pMultiScreen;
    if (table && RegisterCameraScreen(*table, m_captureIndex + 1, cal)) LaunchDrawProgram();
}

CalibrationSave CListenThread::SaveCalibration(const _SCalibration& posted, FlashWrite& flash) {
    const uint32_t count = posted.lPtCount;
    _SCalibration next = m_calibration;
    next.lScreenIndex = posted.lScreenIndex;
    next.lWinLeft = posted.lWinLeft;
    next.lWinTop = posted.lWinTop;
    next.lWinWidth = posted.lWinWidth;
    next.lWinHeight = posted.lWinHeight;
    next.lPtCount = count;
    next.lType = 1;
    for (unsigned i = 0; i < UsedPoints(count); ++i) {
        next.x[i] = posted.x[i];
        next.y[i] = posted.y[i];
    }
    // Judged before anything is written: a calibration the detector cannot use must not replace
    // the one that works, in the detector, the flash or the file.
    flash = FlashWrite::Ok;
    if (!TryCalibration(next)) {
        RestoreCalibration();
        return CalibrationSave::Refused;
    }
    m_calibration = next;
    if (m_pMCU) flash = m_pMCU->SetCalibration(m_calibration, FlashCameraTag(m_place.devicePath));
    m_place.section = SaveSection(ReadCalibrationSections(), m_place.section);
    SaveIni(m_calibration, CalibrationSectionName(m_place.section), m_place.devicePath);
    // How good it is, from its own points: 25 fits, judged beside the window thread, which must
    // not keep the pen waiting (the frame size is fixed from Init on). Until then the file says the
    // report is coming, so no one shows the last calibration's report for this one.
    const std::string section = CalibrationSectionName(m_place.section);
    SaveReport(PendingReport(m_calibration), section, m_place.devicePath);
    auto report = [cal = m_calibration, w = static_cast<int>(m_frame.nWidth), h = static_cast<int>(m_frame.nHeight), section,
                   camera = m_place.devicePath, window = m_hTarget, index = m_captureIndex] {
        SaveReport(JudgeCalibration(cal, w, h), section, camera);
        if (window) PostMessageA(window, WM_CALIBRATION_JUDGED, static_cast<WPARAM>(index), 0);
    };
    try {
        std::thread(report).detach();
    } catch (const std::system_error&) {
        report();  // no thread to spare: judged here
    }
    // The camera now serves the screen it was calibrated on: its points go to that monitor.
    if (next.lScreenIndex < static_cast<uint32_t>(kMaxScreens)) SetScreen(static_cast<int>(next.lScreenIndex));
    ApplyCalibration(m_calibration);
    {
        std::lock_guard<std::mutex> lock(m_watchLock);
        m_watchCalibration = m_calibration;
        m_watchPath = SceneReferencePath(section);
    }
    m_watchWanted = true;
    return CalibrationSave::Stored;
}

int CListenThread::Run() {
    while (IsRunning()) {
        DWORD t0 = timeGetTime();
        if (ProcFrame() < 0) break;
        DWORD elapsed = timeGetTime() - t0;
        Sleep(SleepAfterPass(m_periodMs, elapsed));
    }
    return 0;
}

void CListenThread::NoteCalibration(uint32_t now) {
    const bool calibrating = g_bCollateA != 0 || enrollSign != kEnrollNormal;
    if (m_calibrating && !calibrating) {
        m_calibrationEndTick = now;
        m_calibrationEnded = true;
    }
    m_calibrating = calibrating;
}

int CListenThread::ProcFrame() {
    const uint32_t now = GetTickCount();
    NoteCalibration(now);
    if (g_bCollateA) {
        if (TraceDue(now, m_lastTrace))
            TRACE("ProcFrame skip: g_bCollateA=1 enrollSign=%d setting=%d screen=%d", enrollSign.load(),
                  m_setting ? 1 : 0, m_screen.load());
        return 0;
    }
    if (!m_hDevice || !m_frame.pData) return -1;
    long size = static_cast<long>(m_frame.nSize);
    if (!DevGetFrame(m_hDevice, m_frame.pData, &size)) {
        // No frame, nothing to detect; but a camera that never streams (lost before it started)
        // must still be found missing.
        OnMissedFrame(now, size);
        CountPresence();
        return 0;
    }
    m_lastFrameTick = now;
    WatchScene(now);  // the scene as filmed, before fixed lights are taken out of it

    if (g_nBackgroundMode == 2) {
        // Several listeners may take theirs at once: the word goes from wanted to taken once.
        if (g_nBackgroundSnap == 1 && m_background.Take(m_frame, now)) g_nBackgroundSnap.CompareExchange(1, 2);
        m_background.Subtract(m_frame, now);
    }

    if (!m_hTarget || !m_pointMessage) return 0;
    Detect(now);
    CountPresence();
    return 0;
}

// A camera that sends nothing new: after a short gap the pen it last showed is gone for the
// mouse (a "no point" every pass, never the old frame again), and a stream that ended or stalled
// too long is reported lost, so that the main window reopens it.
void CListenThread::OnMissedFrame(uint32_t now, long why) {
    const uint32_t gap = now - m_lastFrameTick;
    const bool dead = why == DEV_FRAME_ENDED || (why == DEV_FRAME_STALLED && gap >= kStallLostMs);
    if (dead && m_hTarget && now - m_lastLostReport >= kStallLostMs) {
        m_lastLostReport = now;
        PostMessageA(m_hTarget, m_commandMessage, PROC_CAMERA_LOST, PROC_KIND_COMMAND);
    }
    const int32_t mode = enrollSign;
    if (gap < kNoFrameGapMs || !m_hTarget || !m_pointMessage || mode != kEnrollNormal || !m_setting) return;
    m_points[0].x = m_points[0].y = m_points[0].state = 0;
    if (g_bContactOutput) PostAllPoints(0);
    else PostPoints(static_cast<WPARAM>(m_screen), true);
    if (searchType != 0 && m_bound) m_pointShare.Publish(m_points, 0);
    SendTuio(0);
}

void CListenThread::CountPresence() {
    if (!m_hTarget) return;
    if (m_presenceCounter <= 30) {
        ++m_presenceCounter;
        return;
    }
    if (!CheckCameraPresent()) PostMessageA(m_hTarget, m_commandMessage, PROC_CAMERA_LOST, PROC_KIND_COMMAND);
    m_presenceCounter = 0;
}

void CListenThread::Detect(uint32_t now) {
    const int32_t mode = enrollSign;
    // A calibration's points are camera pixels: no pen is on the desktop meanwhile.
    if (mode != kEnrollNormal) SendTuio(0);
    if (mode == kEnrollBrightestSpot) {
        int found;
        {
            std::lock_guard<std::mutex> lock(m_detectorLock);
            found = IRLFindMostLight(m_hDetector, &m_frame, m_points);
        }
        if (found) PostPoints(static_cast<WPARAM>(m_captureIndex), false);
        return;
    }
    if (mode == kEnrollFrameCopies) {
        PostFrameCopy();
        return;
    }
    if (!m_setting) return;

    bool found;
    if (searchType == 0) {
        {
            std::lock_guard<std::mutex> lock(m_detectorLock);
            found = IRLFindWinPointOne(m_hDetector, &m_frame, m_points) != 0;
        }
        // Without a point the record must say so, or the window would see the last pen forever.
        if (!found) m_points[0].x = m_points[0].y = m_points[0].state = 0;
        m_penFilters.Apply(m_points, found ? 1 : 0, timeGetTime(), m_filterSettings);
        if (g_bContactOutput) PostAllPoints(found ? 1 : 0);
        else PostPoints(static_cast<WPARAM>(m_screen), true);
        SendTuio(found ? 1 : 0);
    } else {
        int n;
        {
            std::lock_guard<std::mutex> lock(m_detectorLock);
            n = IRLFindWinPoint(m_hDetector, &m_frame, m_points, kMaxPoints);
        }
        if (n < 0) n = 0;
        if (n > kMaxPoints) n = kMaxPoints;
        m_penFilters.Apply(m_points, n, timeGetTime(), m_filterSettings);
        SendTuio(n);
        found = n > 0;
        if (g_bContactOutput) {
            PostAllPoints(n);
        } else if (n < 2) {
            if (n == 0) m_points[0].x = m_points[0].y = m_points[0].state = 0;
            PostPoints(static_cast<WPARAM>(m_screen), true);
        }
        if (m_bound) {
            m_pointShare.Publish(m_points, n);
        } else if (MultiScreenTable* table = g_pMultiScreen) {
            for (int i = 0; i < kMaxScreens; ++i)
                if (SharedLoad(table->nCameraId[i]) == m_captureIndex + 1 && SharedLoad(table->bReady[i]) == 1) {
                    m_bound = 1;
                    break;
                }
        }
    }
    if (now - m_lastLightLook >= StrayLightLog::kLookMs) {
        m_lastLightLook = now;
        LookForStrayLights(now);
    }
    if (found) {
        m_lastDetection = m_lastPenTick = now;
    } else if (now - m_lastDetection > kNoPointResetMs) {
        m_lastDetection = now;
        ResetEnroll(0);
    }
}

void CListenThread::WatchScene(uint32_t now) {
    if (!m_hTarget || !m_setting || enrollSign != kEnrollNormal) {
        m_drift.Hold(now);
        return;
    }
    if (m_watchWanted) {
        std::lock_guard<std::mutex> lock(m_watchLock);
        m_drift.Want(m_watchCalibration, now);
        m_watchWanted = false;
    }
    // The pen's own light is no scene: a pen seen in the last frames keeps the compare waiting.
    const bool pen = now - m_lastPenTick < 3 * m_periodMs + 50;
    switch (m_drift.OnFrame(m_frame, now, pen, m_calibrationTag)) {
    case DriftEvent::ReferenceTaken: {
        std::string path;
        {
            std::lock_guard<std::mutex> lock(m_watchLock);
            path = m_watchPath;
        }
        SaveSceneReference(path, m_drift.Reference());  // a few tens of kilobytes, once per calibration
        break;
    }
    case DriftEvent::Moved:
        PostMessageA(m_hTarget, WM_CAMERA_MOVED, static_cast<WPARAM>(m_captureIndex), 0);
        break;
    case DriftEvent::None:
        break;
    }
}

void CListenThread::LookForStrayLights(uint32_t now) {
    tavori::irl::FixedLight lights[16];
    int n;
    {
        std::lock_guard<std::mutex> lock(m_detectorLock);
        n = tavori::irl::ReadFixedLights(m_hDetector, lights, 16);
    }
    // Lights there when the camera started never reach the detector: the start's snapshot takes
    // them out of every frame. They are fixed lights all the same, named and ringed with the rest
    // once they have shone as long.
    for (const BackgroundLights::Centre& c : m_background.Lights(now))
        if (n < 16) lights[n++] = tavori::irl::FixedLight{c.x, c.y, 0, 0, 0, 0};
    std::vector<StrayLightLog::Spot> spots;
    for (int i = 0; i < n; ++i) spots.push_back({lights[i].x, lights[i].y});
    PublishFixedLights(m_captureIndex, spots, static_cast<int>(m_frame.nWidth), static_cast<int>(m_frame.nHeight));
    for (size_t i : m_strayLights.Look(spots, now)) {
        double sx = 0, sy = 0;
        int32_t w = 0, h = 0;
        int place = kPlaceInView;
        {
            std::lock_guard<std::mutex> lock(m_detectorLock);
            if (tavori::irl::ScreenPlaceOfLight(m_hDetector, lights[i], sx, sy, w, h)) place = ScreenPlace(sx, sy, w, h);
        }
        PostMessageA(m_hTarget, WM_STRAY_LIGHT, static_cast<WPARAM>(place), static_cast<LPARAM>(m_captureIndex));
    }
}

void CListenThread::PostPoints(WPARAM wParam, bool onDesktop) {
    _SDetectPoint point = m_points[0];
    if (onDesktop && point.state == 1) {
        point.x += m_originX;
        point.y += m_originY;
    }
    PostMessageA(m_hTarget, m_pointMessage, wParam, static_cast<LPARAM>(PublishPoint(point)));
}

void CListenThread::PostAllPoints(int count) {
    _SDetectPoint points[kMaxHandoffPoints];
    count = count < kMaxHandoffPoints ? count : kMaxHandoffPoints;
    for (int i = 0; i < count; ++i) {
        points[i] = m_points[i];
        points[i].x += m_originX;
        points[i].y += m_originY;
    }
    PostMessageA(m_hTarget, WM_POINTS_EVENT, static_cast<WPARAM>(m_screen), static_cast<LPARAM>(PublishPoints(points, count)));
}

void CListenThread::SendTuio(int count) {
    if (m_tuio) m_tuio->SendFrame(m_captureIndex, m_points, count, m_originX, m_originY, timeGetTime());
}

void CListenThread::PostFrameCopy() {
    SCapFrame* copy = NewFrameCopy(m_frame, m_captureIndex);
    if (copy && !PostMessageA(m_hTarget, m_pointMessage, reinterpret_cast<WPARAM>(copy), 0)) ReleaseFrameCopy(copy);
}

bool CListenThread::CheckCameraPresent() {
    SInfoParam info{};
    info.nType = 1;
    info.nIndex = m_captureIndex;
    DevGetCaptureInfo(1, &info);
    info.szPath[sizeof(info.szPath) - 1] = 0;
    return PathNamesCamera(info.szPath, m_cameraPid, m_cameraVid);
}

void CListenThread::ReleaseDevice() {
    if (!m_hDevice) return;
    DevStop(m_hDevice);
    DevDestroy(m_hDevice);
    m_hDevice = nullptr;
}

void CListenThread::Teardown() {
    ReleaseDevice();
    SCapFrameFree(&m_frame);
    if (m_background.Taken()) {
        m_background.Clear();
        g_nBackgroundSnap = 1;
    }
    delete[] m_points;
    m_points = nullptr;
    if (m_hDetector) {
        IRLUninit(m_hDetector);
        m_hDetector = nullptr;
    }
    m_pMCU.reset();
    if (MultiScreenTable* table = g_pMultiScreen) {
        for (int i = 0; i < kMaxScreens; ++i) {
            if (SharedLoad(table->nCameraId[i]) != m_captureIndex + 1) continue;
            // A camera that is gone must not look configured to the drawing program.
            SharedStore(table->bConfigured[i], 0);
            HWND reader = reinterpret_cast<HWND>(static_cast<uintptr_t>(SharedLoad(table->hReader[i])));
            // A reader that stopped responding must not hang the driver's shutdown.
            if (reader && IsWindow(reader))
                SendMessageTimeoutA(reader, WM_DRAW_NOTIFY, DRAW_CAMERA_GONE, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000,
                                    nullptr);
            break;
        }
    }
    m_pointShare.ClosePointShare();
    if (m_bComInitialised) {
        CoUninitialize();
        m_bComInitialised = false;
    }
}
