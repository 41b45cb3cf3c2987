// Collecting the camera positions of the pen at the crosses of a manual calibration: where each
// cross is drawn, the order they are visited in, and which camera's frames count for which cross.
// No window here: the dialog feeds it points and draws what it says.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"
#include "storage/CalibrationRecord.h"  // GridSide

namespace collate {

constexpr int kMaxCameras = 5;
constexpr int kMaxTargets = 36;
constexpr int kCameraIndexLimit = 100;  // listeners number their cameras 0..99
constexpr int kSettleFrames = 6;        // frames dropped while the light settles on a cross
constexpr int kLastSampleFrame = 12;    // the position of this frame is the one recorded
constexpr int kMinMove = 5;             // camera pixels the light must leave the previous cross by

// A usable point count: a square of 2..6. Anything else (an empty or hand-edited setting) gives 25.
int UsablePointCount(int setPtCount);

struct GridCell {
    int row, column;
};
// Cross k in visiting order: row by row, left to right on even rows, right to left on odd rows.
GridCell VisitCell(int k, int n);

struct GridPoint {
    int x, y;
};
// Client position of the cross in `cell` on a width x height screen.
GridPoint TargetPosition(GridCell cell, int n, int width, int height);

struct CameraSlot {
    int32_t camera = 0, count = 0, lastX = 0, lastY = 0;
    int32_t state = 0;  // 0 seen, not taking part; 1 taking part; 2 record posted
    int32_t x[kMaxTargets] = {}, y[kMaxTargets] = {};
    int32_t samples[kMaxTargets] = {};
};

enum class AddResult { Ignored, Joined, Sampled, TargetDone, ScreenDone };

class CollatePoints {
public:
    void Start(int pointCount);  // clears every slot; the first cross is next
    AddResult AddPoint(int camera, int x, int y);
    // The first slot that completed every cross, marked as posted; -1 when there is none.
    int TakeCompleteSlot();
    // The camera whose record a slot posted; -1 for a slot that posted nothing.
    int PostedCamera(int slot) const;
    // Between screens: slots not yet posted forget everything, their camera too.
    void ClearUnfinishedSlots();
    // Fills the screen-independent part of a record from a slot: positions in grid order.
    void FillRecord(int slot, _SCalibration& record) const;

    int Target() const { return m_target; }  // cross now shown, in visiting order
    int PointCount() const { return m_pointCount; }
    int Side() const { return m_n; }
    int CameraCount() const { return m_camCount; }
    const CameraSlot& Slot(int i) const { return m_slots[i]; }

private:
    CameraSlot m_slots[kMaxCameras];
    int m_camCount = 0;
    int m_target = 0;
    int m_pointCount = 25;
    int m_n = 5;
};

}  // namespace collate
