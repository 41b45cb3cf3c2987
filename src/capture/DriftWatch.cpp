#include "capture/DriftWatch.h"

#include <utility>

void DriftWatch::Want(const _SCalibration& cal, uint32_t now) {
    m_calibration = cal;
    m_wanted = true;
    m_haveReference = m_moving = m_warned = false;
    m_quietSince = now;
}

void DriftWatch::Adopt(tavori::irl::SceneReference ref) {
    m_reference = std::move(ref);
    m_haveReference = m_reference.Usable();
    m_wanted = m_moving = m_warned = false;
}

DriftEvent DriftWatch::OnFrame(const SCapFrame& frame, uint32_t now, bool penDown, uint32_t calibrationTag) {
    if (penDown) m_quietSince = now;
    ++m_framesSinceCheck;
    if (m_wanted) {
        if (penDown || now - m_quietSince < kSettleMs) return DriftEvent::None;
        m_wanted = false;
        m_haveReference = tavori::irl::MakeSceneReference(frame, m_calibration, m_reference);
        m_lastCheck = now;
        m_framesSinceCheck = 0;
        return m_haveReference ? DriftEvent::ReferenceTaken : DriftEvent::None;
    }
    if (!m_haveReference || m_warned || m_reference.calibrationTag != calibrationTag) return DriftEvent::None;
    if (now - m_quietSince < kQuietMs || now - m_lastCheck < kCheckMs || m_framesSinceCheck < kCheckFrames)
        return DriftEvent::None;
    m_lastCheck = now;
    m_framesSinceCheck = 0;
    const tavori::irl::SceneShift shift = tavori::irl::MeasureSceneShift(m_reference, frame);
    if (!shift.measured) return DriftEvent::None;  // the view blocked for a moment, or too dark
    m_lastMove = shift.worst;
    if (shift.worst <= kMovedPx) {
        m_moving = false;
        return DriftEvent::None;
    }
    if (!m_moving) {
        m_moving = true;
        m_movedSince = now;
    }
    if (now - m_movedSince < kMovedForMs) return DriftEvent::None;
    m_warned = true;
    return DriftEvent::Moved;
}
