// Watches one camera for a knock: after a calibration it keeps the scene it saw (once the
// calibration's windows are gone and the exposure has settled) and, while no pen is down, compares
// the scene with it every few seconds. A move that stays is reported once per calibration.
// Free of Win32: the listener feeds it frames and acts on what it says.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"
#include "SceneDrift.h"

enum class DriftEvent { None, ReferenceTaken, Moved };

class DriftWatch {
public:
    static constexpr uint32_t kSettleMs = 3000;    // after a calibration, before its scene is kept
    static constexpr uint32_t kQuietMs = 1000;     // after a pen, before the scene is compared
    static constexpr uint32_t kCheckMs = 3000;     // between compares
    // and at least this many frames: a compare costs several detector calls, so a slower camera
    // compares less often and the cost per frame stays the same.
    static constexpr uint32_t kCheckFrames = 180;
    static constexpr uint32_t kMovedForMs = 3000;  // a move must stay this long to be reported
    static constexpr double kMovedPx = 2.0;        // camera pixels, at the screen's worst corner

    // A calibration was accepted: its scene is kept once settled, and a move is news again.
    void Want(const _SCalibration& cal, uint32_t now);
    // The scene kept for the calibration in force, read back at start.
    void Adopt(tavori::irl::SceneReference ref);
    // Frames that show no usable scene (a calibration running): watching starts again after them.
    void Hold(uint32_t now) { m_quietSince = now; }
    // Every frame of normal detection; `calibrationTag` names the calibration in force.
    DriftEvent OnFrame(const SCapFrame& frame, uint32_t now, bool penDown, uint32_t calibrationTag);

    bool Watching() const { return m_haveReference; }
    const tavori::irl::SceneReference& Reference() const { return m_reference; }
    double LastMove() const { return m_lastMove; }

private:
    tavori::irl::SceneReference m_reference;
    _SCalibration m_calibration{};
    bool m_haveReference = false, m_wanted = false, m_moving = false, m_warned = false;
    uint32_t m_quietSince = 0, m_lastCheck = 0, m_movedSince = 0, m_framesSinceCheck = 0;
    double m_lastMove = 0;
};
