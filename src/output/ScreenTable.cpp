#include "output/ScreenTable.h"

bool RegisterCameraScreen(MultiScreenTable& table, int32_t cameraId, const _SCalibration& cal) {
    int count = SharedLoad(table.nCount);
    if (count < 0 || count > kMaxScreens) count = count < 0 ? 0 : kMaxScreens;  // another writer's garbage
    int entry = -1;
    for (int i = 0; i < count; ++i)
        if (SharedLoad(table.nCameraId[i]) == cameraId) {
            entry = i;
            break;
        }
    if (entry >= 0 && SharedLoad(table.bReady[entry]) != 0) {
        SharedStore(table.bConfigured[entry], 1);  // a camera back after a loss, its reader still registered
        return false;
    }
    if (entry < 0) {
        if (count >= kMaxScreens) return false;
        entry = count;
        SharedStore(table.nCameraId[entry], cameraId);
        SharedStore(table.nCount, count + 1);
    }
    // The rectangle first: a reader that sees the entry configured sees its rectangle.
    SharedStore(table.nTop[entry], static_cast<int32_t>(cal.lWinTop));
    SharedStore(table.nLeft[entry], static_cast<int32_t>(cal.lWinLeft));
    SharedStore(table.nWidth[entry], static_cast<int32_t>(cal.lWinWidth));
    SharedStore(table.nHeight[entry], static_cast<int32_t>(cal.lWinHeight));
    SharedStore(table.bConfigured[entry], 1);
    return true;
}
