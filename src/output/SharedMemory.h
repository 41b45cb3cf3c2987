// Named shared memory read by the companion drawing program: the screen table, one point buffer
// per camera and a fixed block. Layouts are fixed-width little-endian, identical on 32 and 64 bits.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "MultiIRLight.h"
#include "config/RelaxedWord.h"
#include "output/ScreenTable.h"
#include "win/Scoped.h"

constexpr const char* kMultiScreenName = "Multi_Lumora_Mappfile";
constexpr const char* kTouchShareName = "IR_Multi_Touch_Share_Memory";
constexpr DWORD kTouchShareSize = 400;
constexpr DWORD kPointShareSize = 1025;
constexpr int kMaxSharedPoints = 64;

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
    win::SharedMapping m_mapping;
    uint8_t* m_pView = nullptr;  // m_mapping's view, null while closed
};
