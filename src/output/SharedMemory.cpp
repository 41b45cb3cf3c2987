#include "output/SharedMemory.h"

#include <cstdio>
#include <cstring>

#include "output/ShareRestrictedSD.h"

RelaxedWord<MultiScreenTable*> g_pMultiScreen{nullptr};

namespace {
HANDLE g_hMultiScreenMap = nullptr;
HANDLE g_hTouchShareMap = nullptr;
void* g_pTouchShareView = nullptr;

// A page-file-backed mapping that every user may open; 0, -4 or -5 as the callers report it.
int CreateSharedMapping(const char* name, DWORD size, HANDLE& map, void*& view) {
    CShareRestrictedSD sd;
    map = CreateFileMappingA(INVALID_HANDLE_VALUE, sd.GetSA(), PAGE_READWRITE, 0, size, name);
    if (!map) return -4;
    view = MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!view) {
        CloseHandle(map);
        map = nullptr;
        return -5;
    }
    return 0;
}

void CloseMapping(HANDLE& map, void*& view) {
    if (view) UnmapViewOfFile(view);
    view = nullptr;
    if (map) CloseHandle(map);
    map = nullptr;
}
}  // namespace

int CreateMultiScreenShare() {
    g_pMultiScreen = nullptr;
    void* view = nullptr;
    int r = CreateSharedMapping(kMultiScreenName, sizeof(MultiScreenTable), g_hMultiScreenMap, view);
    if (r != 0) return r;
    memset(view, 0, sizeof(MultiScreenTable));
    g_pMultiScreen = static_cast<MultiScreenTable*>(view);
    return 0;
}

void CloseMultiScreenShare() {
    void* view = g_pMultiScreen;
    g_pMultiScreen = nullptr;
    CloseMapping(g_hMultiScreenMap, view);
}

bool CreateTouchShare() {
    g_hTouchShareMap =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kTouchShareSize, kTouchShareName);
    if (!g_hTouchShareMap) return false;
    g_pTouchShareView = MapViewOfFile(g_hTouchShareMap, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!g_pTouchShareView) {
        CloseMapping(g_hTouchShareMap, g_pTouchShareView);  // no handle without its view
        return false;
    }
    auto* words = static_cast<int32_t*>(g_pTouchShareView);
    words[0] = 0;
    words[4] = 0;
    return true;
}

void CloseTouchShare() {
    if (g_hTouchShareMap) CloseMapping(g_hTouchShareMap, g_pTouchShareView);
}

int CPointShare::CreatePointShare(int captureIndex) {
    ClosePointShare();
    char name[64];
    snprintf(name, sizeof(name), "%s_%d", kMultiScreenName, captureIndex + 1);
    void* view = nullptr;
    int r = CreateSharedMapping(name, kPointShareSize, m_hMap, view);
    if (r != 0) return r;
    m_pView = static_cast<uint8_t*>(view);
    m_pView[0] = 0;
    return 0;
}

void CPointShare::ClosePointShare() {
    void* view = m_pView;
    m_pView = nullptr;
    CloseMapping(m_hMap, view);
}

void CPointShare::Publish(const _SDetectPoint* points, int count) {
    if (!m_pView || !points) return;
    if (count < 0) count = 0;
    if (count > kMaxSharedPoints) count = kMaxSharedPoints;
    m_pView[0] = static_cast<uint8_t>(count);
    memcpy(m_pView + 1, points, static_cast<size_t>(count) * sizeof(_SDetectPoint));
}
