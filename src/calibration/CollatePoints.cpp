#include "calibration/CollatePoints.h"

#include <cstdlib>

namespace collate {

int UsablePointCount(int setPtCount) {
    for (int n = 2; n <= 6; ++n)
        if (n * n == setPtCount) return setPtCount;
    return 25;
}

GridCell VisitCell(int k, int n) {
    const int row = k / n;
    const int c0 = k % n;
    return {row, (row % 2 == 1) ? n - 1 - c0 : c0};
}

GridPoint TargetPosition(GridCell cell, int n, int width, int height) {
    const int u = (width * 10) / (8 * n - 6);
    const int v = (height * 10) / (8 * n - 6);
    return {static_cast<int>(0.1 * u + 0.8 * (cell.column * u)), static_cast<int>(0.1 * v + 0.8 * (cell.row * v))};
}

void CollatePoints::Start(int pointCount) {
    m_pointCount = UsablePointCount(pointCount);
    m_n = GridSide(m_pointCount);
    for (CameraSlot& s : m_slots) s = CameraSlot{};
    m_camCount = 0;
    m_target = 0;
}

AddResult CollatePoints::AddPoint(int camera, int x, int y) {
    if (m_target < 0 || m_target >= m_pointCount) return AddResult::Ignored;
    int found = -1;
    for (int i = 0; i < m_camCount; ++i)
        if (m_slots[i].camera == camera) {
            found = i;
            break;
        }
    if (found < 0) {
        // A camera is first only seen: it takes part from the next cross it completes with the
        // others, and only when it was there from the first cross.
        if (m_camCount >= kMaxCameras) return AddResult::Ignored;
        CameraSlot& s = m_slots[m_camCount++];
        s.camera = camera;
        s.count = 0;
        s.samples[m_target] = 0;
        return AddResult::Joined;
    }
    CameraSlot& s = m_slots[found];
    if (s.state == 2) return AddResult::Ignored;
    if (m_target > 0 && s.state == 0) return AddResult::Ignored;
    // The light has to leave the cross just completed before it counts for the next one.
    if (m_target > 0 && std::abs(s.lastX - x) < kMinMove && std::abs(s.lastY - y) < kMinMove) return AddResult::Ignored;

    int32_t& samples = s.samples[m_target];
    if (samples < kSettleFrames) {
        ++samples;
        return AddResult::Sampled;
    }
    const GridCell cell = VisitCell(m_target, m_n);
    const int index = cell.row * m_n + cell.column;
    if (samples < kLastSampleFrame) {
        s.x[index] = x;
        s.y[index] = y;
        ++samples;
        return AddResult::Sampled;
    }
    s.lastX = x;
    s.lastY = y;
    ++s.count;
    s.state = 1;
    for (int i = 0; i < m_camCount; ++i) {
        CameraSlot& other = m_slots[i];
        if (i == found || other.state >= 2 || other.samples[m_target] <= kSettleFrames) continue;
        ++other.count;
        other.state = 1;
        // Its light, too, has to leave this cross before it counts for the next: cameras whose views
        // overlap complete the crosses by turns, and a frame from before the pen moved is no point.
        other.lastX = other.x[index];
        other.lastY = other.y[index];
    }
    ++m_target;
    if (m_target >= m_pointCount) return AddResult::ScreenDone;
    s.samples[m_target] = 0;
    return AddResult::TargetDone;
}

int CollatePoints::TakeCompleteSlot() {
    for (int i = 0; i < m_camCount; ++i)
        if (m_slots[i].count == m_pointCount && m_slots[i].state == 1) {
            m_slots[i].state = 2;
            return i;
        }
    return -1;
}

int CollatePoints::PostedCamera(int slot) const {
    if (slot < 0 || slot >= kMaxCameras || m_slots[slot].state != 2) return -1;
    return m_slots[slot].camera;
}

void CollatePoints::ClearUnfinishedSlots() {
    for (CameraSlot& s : m_slots)
        if (s.state < 2) s = CameraSlot{};
    m_target = 0;
}

void CollatePoints::FillRecord(int slot, _SCalibration& record) const {
    const CameraSlot& s = m_slots[slot];
    record.lPtCount = static_cast<uint32_t>(s.count);
    for (int i = 0; i < s.count && i < kMaxTargets; ++i) {
        record.x[i] = static_cast<uint32_t>(s.x[i]);
        record.y[i] = static_cast<uint32_t>(s.y[i]);
    }
}

}  // namespace collate
