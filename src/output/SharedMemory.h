// Named shared memory read by the companion drawing program: the screen table, one point buffer
// per camera and a fixed block. Layouts are fixed-width little-endian, identical on 32 and 64 bits.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "MultiIRLight.h"
#include "config/RelaxedWord.h"

constexpr const char* kMultiScreenName = "Multi_Lumora_Mappfile";
constexpr const char* kTouchShareName = "IR_Multi_Touch_Share_Memory";
constexpr int kMaxScreens = 5;
constexpr DWORD kTouchShareSize = 400;
constexpr DWORD kPointShareSize = 1025;
constexpr int kMaxSharedPoints = 64;

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

// The screen table's view; the listeners read it once per pass.
extern RelaxedWord<MultiScreenTable*> g_pMultiScreen;

int CreateMultiScreenShare();   // 0, -4 (mapping not created), -5 (view not mapped)
void CloseMultiScreenShare();
bool CreateTouchShare();
void CloseTouchShare();

// One camera's point buffer: "Multi_Lumora_Mappfile_<captureIndex + 1>", 1025 bytes.
class CPointShare {
public:
    CPointShare() = default;
    ~CPointShare() { ClosePointShare(); }
    CPointShare(const CPointShare&) = delete;
    CPointShare& operator=(const CPointShare&) = delete;

    int CreatePointShare(int captureIndex);  // 0, -4 or -5
    void ClosePointShare();
    bool IsOpen() const { return m_pView != nullptr; }
    // Count byte, then the records unaligned; bytes after the last record are left as they were.
    void Publish(const _SDetectPoint* points, int count);

private:
    HANDLE m_hMap = nullptr;
    uint8_t* m_pView = nullptr;
};
