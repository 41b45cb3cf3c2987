#include "storage/CalibrationRecord.h"

bool ValidateCalibration(const _SCalibration& cal) {
    if (cal.lPtCount == 0 || cal.lWinWidth < 100 || cal.lWinHeight < 100) return false;
    bool anyPoint = false;
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        if (cal.x[i] == 0 && cal.y[i] == 0) continue;
        anyPoint = true;
        if (cal.x[i] >= cal.lWinWidth || cal.y[i] >= cal.lWinHeight) return false;
    }
    return anyPoint;
}
