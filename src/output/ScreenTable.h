// The screen table the companion drawing program reads: which camera serves which screen rectangle,
// and whether each camera is configured and its reader ready. Shared with another process, so the
// layout is fixed-width and identical on 32 and 64 bits.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "MultiIRLight.h"

constexpr int kMaxScreens = 5;

// Another process writes the table while we read it: each access is one whole-word atomic access,
// which the compiler may neither tear nor keep in a register, and a reader that sees bReady or
// nCount sees what was written before it.
template <class T>
T SharedLoad(const T& word) {
    return std::atomic_ref<T>(const_cast<T&>(word)).load(std::memory_order_acquire);
}
template <class T>
void SharedStore(T& word, T value) {
    std::atomic_ref<T>(word).store(value, std::memory_order_release);
}

struct MultiScreenTable {
    int32_t nCount;
    uint32_t hReader[kMaxScreens];  // window handle of the reading program (32 bits on both targets)
    int32_t nCameraId[kMaxScreens];
    int32_t bConfigured[kMaxScreens];
    int32_t bReady[kMaxScreens];
    int32_t nTop[kMaxScreens];
    int32_t nLeft[kMaxScreens];
    int32_t nWidth[kMaxScreens];
    int32_t nHeight[kMaxScreens];
};
static_assert(sizeof(MultiScreenTable) == 164, "screen table layout");
static_assert(offsetof(MultiScreenTable, hReader) == 4 && offsetof(MultiScreenTable, nCameraId) == 24 &&
                  offsetof(MultiScreenTable, bConfigured) == 44 && offsetof(MultiScreenTable, bReady) == 64 &&
                  offsetof(MultiScreenTable, nTop) == 84 && offsetof(MultiScreenTable, nLeft) == 104 &&
                  offsetof(MultiScreenTable, nWidth) == 124 && offsetof(MultiScreenTable, nHeight) == 144,
              "screen table offsets");

// Marks the camera configured for the calibration's screen rectangle, adding its entry when it has
// none. True when the rectangle was (re)written; false when the table is full, or when the entry's
// reader is still registered from before a camera loss (that reader keeps the rectangle it knows).
bool RegisterCameraScreen(MultiScreenTable& table, int32_t cameraId, const _SCalibration& cal);
