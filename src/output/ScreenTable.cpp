#include "output/ScreenTable.h"

bool RegisterCameraScreen(MultiScreenTable& table, int32_t cameraId, const _SCalibration& cal) {
    int count = table.nCount;
    if (count < 0 || count > kMaxScreens) count = count < 0 ? 0 : kMaxScreens;  // another writer's garbage
    int entry = -1;
    for (int i = 0; i < count; ++i)
        if (table.nCameraId[i] == cameraId) {
            entry = i;
            break;
        }
    if (entry >= 0 && table.bReady[entry] != 0) {
        table.bConfigured[entry] = 1;  // a camera back after a loss, its reader still registered
        return false;
    }
    if (entry < 0) {
        if (count >= kMaxScreens) return false;
        entry = count;
        table.nCameraId[entry] = cameraId;
        table.nCount = count + 1;
    }
    table.bConfigured[entry] = 1;
    table.nTop[entry] = static_cast<int32_t>(cal.lWinTop);
    table.nLeft[entry] = static_cast<int32_t>(cal.lWinLeft);
    table.nWidth[entry] = static_cast<int32_t>(cal.lWinWidth);
    table.nHeight[entry] = static_cast<int32_t>(cal.lWinHeight);
    return true;
}
