// The running cameras: one listener per accepted camera, started and stopped together. The main
// window owns one set and hears about its state through ICameraSetOwner, so capture never needs
// to know the window.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "storage/MCUThread.h"

class CListenThread;

class ICameraSetOwner {
public:
    virtual ~ICameraSetOwner() = default;
    // The cameras are about to stop: from now on no point may reach the mouse.
    virtual void OnCamerasStopping() = 0;
    // The last listener has ended (nested stops included): buttons go up, the icon shows it.
    virtual void OnCamerasStopped() = 0;
};

class CCameraSet {
public:
    explicit CCameraSet(ICameraSetOwner& owner);
    ~CCameraSet();  // ends the listeners without calling the owner
    CCameraSet(const CCameraSet&) = delete;
    CCameraSet& operator=(const CCameraSet&) = delete;

    // Where the listeners post their points and commands.
    void SetTarget(HWND window, UINT pointMessage, UINT commandMessage);
    // Starts the known cameras, up to the MultiScreen setting as read at the first start (a
    // reconnection asks for all of them again). 1 when at least one runs and none failed.
    int Start();
    // Stops and deletes every listener; safe to call again from inside (messages are dispatched
    // while a listener ends): the inner call finds the list already taken.
    void Stop();
    bool Stopping() const { return m_stopDepth > 0; }
    size_t Count() const { return m_listeners.size(); }
    // The cameras asked for: MultiScreen as it was before a start lowered it.
    int Wanted() const { return m_wanted; }
    // Known cameras the system lists now (no side effects on the settings).
    static int CountKnownCameras();

    void SetCaptureControl(int value, int delayMs);
    void ResetEnroll(int type);
    void ClearSetting();
    // Laser writing for every camera, now and for every camera started later, until switched off.
    void SetLaserWriting(bool on);
    bool LaserWriting() const { return m_laserWriting; }
    // The exposure the cameras run with outside a calibration: laser writing's, or the camera's own.
    int NormalExposure() const;
    // The capture index of the camera started n-th (from 0); -1 when there is none.
    int CaptureIndexAt(int n) const;

    // A finished calibration for the camera of that capture index.
    struct SaveResult {
        FlashWrite flash = FlashWrite::Ok;  // the first failed flash write
        std::vector<int> stored;            // capture indexes whose calibration is now this one
        int refused = -1;                   // capture index of a camera the detector refused it for
    };
    SaveResult SaveCalibration(const _SCalibration& cal, int captureIndex);
    // The named calibration `entry` for every camera it holds one for, stored as the cameras'
    // own (so a restart keeps it); all or nothing: a record the detector refuses changes nothing.
    enum class NamedApply { Applied, Empty, Refused };
    NamedApply ApplyNamedCalibration(const std::string& entry);
    // Every camera's calibration in force into the named calibration `entry`.
    void StoreNamedCalibration(const std::string& entry);
    void ForEach(const std::function<void(CListenThread&)>& action);
    // The first camera whose calibration the detector refused: its number (from 1) and name; 0 when
    // every running camera has a usable one (or none).
    int RefusedCalibration(std::string& name) const;

private:
    ICameraSetOwner& m_owner;
    std::vector<std::unique_ptr<CListenThread>> m_listeners;
    HWND m_target = nullptr;
    UINT m_pointMessage = 0;
    UINT m_commandMessage = 0;
    int m_wanted = 0;
    int m_stopDepth = 0;
    bool m_laserWriting = false;
};
